# The Windows half: 32-bit PE programs linked statically, importing only system DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/out)
set(KV_BENCH_DIR ${KV_HOST_BUILD_DIR}/winebench)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh run ${KV_BENCH_DIR})

add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
add_compile_options(-Wall -Wextra -Werror -ffunction-sections -fdata-sections)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# Products (the stub, the runtime library) are built small and stripped, and copied into bin/.
function(kv_windows_product target)
  target_compile_options(${target} PRIVATE -Os -fno-exceptions -fno-rtti
                         -fno-asynchronous-unwind-tables)
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

# A GoogleTest program run under Wine; every test in it needs the Wine bench (prefix, display)
# and the test data, both set up by the fixture "winebench".
# kv_wine_gtest(target [INPUT] sources...): a GoogleTest program run under the bench. INPUT marks
# tests that press keys or click through SendInput; they run alone, so that no other test's
# window takes the foreground from them.
function(kv_wine_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 KV "INPUT" "" "")
  add_executable(${target} ${KV_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
  target_link_options(${target} PRIVATE -mconsole)
  set(serial FALSE)
  if(KV_INPUT)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES FIXTURES_REQUIRED winebench RUN_SERIAL ${serial})
endfunction()

add_test(NAME winebench.start COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh start ${KV_BENCH_DIR})
set_tests_properties(winebench.start PROPERTIES FIXTURES_SETUP winebench)
add_test(NAME winebench.stop COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh stop ${KV_BENCH_DIR})
set_tests_properties(winebench.stop PROPERTIES FIXTURES_CLEANUP winebench)

# The products import only system libraries and are 32-bit PEs with the 224-byte optional header.
add_test(NAME products.imports
  COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports.sh ${KV_BIN_DIR} kvsfx.exe ZUDada.dll)

add_test(NAME testdata.make
  COMMAND ${CMAKE_SOURCE_DIR}/tools/make-testdata.sh ${KV_BIN_DIR} ${KV_TEST_DATA_DIR})
set_tests_properties(testdata.make PROPERTIES FIXTURES_SETUP winebench)
file(MAKE_DIRECTORY ${KV_TEST_TMP_DIR})

foreach(dir common archive bootstrap wizard runtime tests)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
