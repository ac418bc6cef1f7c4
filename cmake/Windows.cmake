# The Windows half, for one architecture (KV_ARCH x86: 32-bit PE, x64: PE32+), linked
# statically and importing only system DLLs. Its tests run on the Wine bench of that architecture,
# carry the architecture as the first part of their names and as their label.
if(NOT KV_ARCH MATCHES "^(x86|x64)$")
  message(FATAL_ERROR "KV_ARCH must be x86 or x64")
endif()
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/out)
set(KV_BENCH_DIR ${KV_HOST_BUILD_DIR}/winebench/${KV_ARCH})
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh run ${KV_BENCH_DIR})

add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
add_compile_options(-Wall -Wextra -Werror -ffunction-sections -fdata-sections)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# Flags of everything the products are made of: small, no C++ exceptions or RTTI, so that no C++
# runtime support is linked in. The 32-bit build also drops the unwind tables, which its
# exception handling does not use; x64 keeps them, since the system's exception dispatcher walks
# every frame through them.
set(KV_PRODUCT_FLAGS -Os -fno-exceptions -fno-rtti)
if(KV_ARCH STREQUAL "x86")
  list(APPEND KV_PRODUCT_FLAGS -fno-asynchronous-unwind-tables)
endif()

# The runtime library's .def files list its WINAPI functions by their plain names. On x86 those
# functions carry stdcall decorations (SetVar@8), which the linker matches to the plain names.
set(KV_STDCALL_EXPORTS "")
if(KV_ARCH STREQUAL "x86")
  set(KV_STDCALL_EXPORTS -Wl,--enable-stdcall-fixup)
endif()

# Products (the stub, the runtime library) are built small and stripped, and copied into the
# architecture's product folder.
function(kv_windows_product target)
  target_compile_options(${target} PRIVATE ${KV_PRODUCT_FLAGS})
  target_link_options(${target} PRIVATE -s)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_BIN_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${KV_BIN_DIR}/)
endfunction()

# Windows forms (on Wine's Z: drive) of the folders the tests read and write, in a generated
# header: kTestBinDir (products), kTestOutDir (test programs and libraries), kTestDataDir (data
# made on the host by tests/data/*.sh), kTestTmpDir (scratch space inside the build tree).
function(kv_windows_path out unixPath)
  string(REPLACE "/" "\\\\" winPath "Z:${unixPath}")
  set(${out} "${winPath}" PARENT_SCOPE)
endfunction()
set(KV_TEST_DATA_DIR ${CMAKE_BINARY_DIR}/testdata)
set(KV_TEST_TMP_DIR ${CMAKE_BINARY_DIR}/testtmp)
kv_windows_path(KV_WIN_BIN_DIR ${KV_BIN_DIR})
kv_windows_path(KV_WIN_TEST_DATA_DIR ${KV_TEST_DATA_DIR})
kv_windows_path(KV_WIN_TEST_TMP_DIR ${KV_TEST_TMP_DIR})
kv_windows_path(KV_WIN_OUT_DIR ${CMAKE_BINARY_DIR}/out)
file(WRITE ${CMAKE_BINARY_DIR}/generated/kv_test_paths.h "// Generated: test folders.
#pragma once
constexpr const wchar_t* kTestBinDir = L\"${KV_WIN_BIN_DIR}\";
constexpr const wchar_t* kTestOutDir = L\"${KV_WIN_OUT_DIR}\";
constexpr const wchar_t* kTestDataDir = L\"${KV_WIN_TEST_DATA_DIR}\";
constexpr const wchar_t* kTestTmpDir = L\"${KV_WIN_TEST_TMP_DIR}\";
")

# The Windows tests run in a time zone of their own, whatever the machine's: three hours east of
# UTC, without daylight saving, so that local times shown to the user are known. Wine takes it
# from TZ, and the programs a test starts inherit it.
set(KV_TEST_TIME_ZONE "KVT-3")

# A GoogleTest program run under Wine; every test in it needs the Wine bench (prefix, display)
# and the test data, both set up by the fixture "winebench.<arch>".
# kv_wine_gtest(target [INPUT] sources...): a GoogleTest program run under the bench. INPUT marks
# tests that press keys or click through SendInput; they run alone, so that no other test's
# window takes the foreground from them.
function(kv_wine_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 KV "INPUT" "" "")
  add_executable(${target} ${KV_UNPARSED_ARGUMENTS} ${CMAKE_SOURCE_DIR}/tests/unbuffered_output.cpp)
  target_link_libraries(${target} PRIVATE gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
  target_link_options(${target} PRIVATE -mconsole)
  set(serial FALSE)
  if(KV_INPUT)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX ${KV_ARCH}.
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES FIXTURES_REQUIRED winebench.${KV_ARCH} RUN_SERIAL ${serial} LABELS ${KV_ARCH}
               ENVIRONMENT "TZ=${KV_TEST_TIME_ZONE}")
endfunction()

# kv_bench_test(NAME COMMAND...): a test of this architecture that is not a GoogleTest program.
function(kv_bench_test name)
  add_test(NAME ${KV_ARCH}.${name} COMMAND ${ARGN})
  set_tests_properties(${KV_ARCH}.${name} PROPERTIES LABELS ${KV_ARCH})
endfunction()

kv_bench_test(winebench.start ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh start ${KV_BENCH_DIR})
set_tests_properties(${KV_ARCH}.winebench.start PROPERTIES FIXTURES_SETUP winebench.${KV_ARCH})
kv_bench_test(winebench.stop ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh stop ${KV_BENCH_DIR})
set_tests_properties(${KV_ARCH}.winebench.stop PROPERTIES FIXTURES_CLEANUP winebench.${KV_ARCH})

kv_bench_test(testdata.make ${CMAKE_SOURCE_DIR}/tools/make-testdata.sh ${KV_ARCH} ${KV_BIN_DIR}
              ${KV_HOST_BIN_DIR} ${CMAKE_BINARY_DIR}/out ${KV_TEST_DATA_DIR})
set_tests_properties(${KV_ARCH}.testdata.make PROPERTIES FIXTURES_SETUP winebench.${KV_ARCH})
kv_bench_test(testdata.release ${CMAKE_SOURCE_DIR}/tools/make-testdata.sh release ${KV_TEST_DATA_DIR})
set_tests_properties(${KV_ARCH}.testdata.release PROPERTIES FIXTURES_CLEANUP winebench.${KV_ARCH})
file(MAKE_DIRECTORY ${KV_TEST_TMP_DIR})

foreach(dir common archive bootstrap wizard runtime tests bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
