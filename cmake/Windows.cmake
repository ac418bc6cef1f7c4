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

# A GoogleTest program run under Wine; every test in it needs the Wine bench (prefix, display).
function(kv_wine_gtest target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE gtest_main)
  target_link_options(${target} PRIVATE -mconsole)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES FIXTURES_REQUIRED winebench
               ENVIRONMENT "KV_BIN_DIR=${KV_BIN_DIR};KV_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp")
endfunction()

add_test(NAME winebench.start COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh start ${KV_BENCH_DIR})
set_tests_properties(winebench.start PROPERTIES FIXTURES_SETUP winebench)
add_test(NAME winebench.stop COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh stop ${KV_BENCH_DIR})
set_tests_properties(winebench.stop PROPERTIES FIXTURES_CLEANUP winebench)

foreach(dir common archive bootstrap wizard runtime tests)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
