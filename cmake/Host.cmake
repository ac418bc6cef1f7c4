# The native half: host tools into bin/, their tests, and the Windows half as a sub-build in win/.
include(ExternalProject)
set(KV_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${KV_BIN_DIR})
set(KV_BENCH_DIR ${CMAKE_BINARY_DIR}/winebench)

add_compile_options(-Wall -Wextra -Werror)

# Targets whose outputs the Windows build consumes (icons, images) add themselves to this list.
set(KV_HOST_GENERATORS "" CACHE INTERNAL "")

foreach(dir tools tests/host)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/win
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DKV_BIN_DIR=${KV_BIN_DIR}
    -DKV_HOST_BUILD_DIR=${CMAKE_BINARY_DIR}
    -DKV_LZMA_SDK_DIR=${KV_LZMA_SDK_DIR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
if(KV_HOST_GENERATORS)
  add_dependencies(windows ${KV_HOST_GENERATORS})
endif()

# CTest descends into the Windows build's tests, so that one run covers both halves.
file(WRITE ${CMAKE_BINARY_DIR}/win-tests.cmake "subdirs(\"${CMAKE_BINARY_DIR}/win\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/win-tests.cmake)
