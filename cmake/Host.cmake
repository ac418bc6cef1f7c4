# The native half: host tools into bin/, their tests, and the Windows half as two sub-builds from
# the same sources: 32-bit in win/ (products in bin/), 64-bit in win64/ (products in bin/x64/).
include(ExternalProject)
set(KV_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${KV_BIN_DIR})

add_compile_options(-Wall -Wextra -Werror)

# Targets whose outputs the Windows build consumes (icons, images) add themselves to this list.
set(KV_HOST_GENERATORS "" CACHE INTERNAL "")

foreach(dir tools tests/host bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# kv_windows_build(NAME ARCH TOOLCHAIN BINARY_DIR PRODUCT_DIR): one Windows sub-build.
function(kv_windows_build name arch toolchain binaryDir productDir)
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${binaryDir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain}
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DKV_ARCH=${arch}
      -DKV_BIN_DIR=${productDir}
      -DKV_HOST_BIN_DIR=${KV_BIN_DIR}
      -DKV_HOST_BUILD_DIR=${CMAKE_BINARY_DIR}
      -DKV_LZMA_SDK_DIR=${KV_LZMA_SDK_DIR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  if(KV_HOST_GENERATORS)
    add_dependencies(${name} ${KV_HOST_GENERATORS})
  endif()
endfunction()

kv_windows_build(windows x86 mingw-i686.cmake ${CMAKE_BINARY_DIR}/win ${KV_BIN_DIR})
kv_windows_build(windows64 x64 mingw-x86_64.cmake ${CMAKE_BINARY_DIR}/win64 ${KV_BIN_DIR}/x64)
# One sub-build at a time: each uses every core, and two at once only fight over them.
add_dependencies(windows64 windows)

# The products of both builds import only system libraries and are PEs of their architecture.
# No Wine is needed for this, so it runs on every machine.
add_test(NAME x86.products.imports
  COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports.sh x86 ${KV_BIN_DIR} kvsfx.exe ZUDada.dll)
add_test(NAME x64.products.imports
  COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports.sh x64 ${KV_BIN_DIR}/x64 kvsfx.exe ZUDada.dll)

# CTest descends into the Windows builds' tests of each architecture this machine runs, as the
# bench decides when CTest starts (KV_ARCHS chooses by hand). Reading a build's tests runs its
# test programs under Wine, so an architecture that cannot run is not read at all; it appears as
# the test ARCH.not-run instead: skipped with the reason, or failed when KV_ARCHS asked for it.
set(KV_WINDOWS_TEST_DIRS "x86=${CMAKE_BINARY_DIR}/win" "x64=${CMAKE_BINARY_DIR}/win64")
configure_file(${CMAKE_SOURCE_DIR}/cmake/WindowsTests.cmake.in
               ${CMAKE_BINARY_DIR}/win-tests.cmake @ONLY)
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/win-tests.cmake)
