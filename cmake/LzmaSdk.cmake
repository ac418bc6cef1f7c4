# The LZMA SDK's 7z decoder as a static library, compiled from Debian's 7zip sources (fetched by
# tools/deps.sh into the build tree) with its own warning flags. PPMd stays off.
set(KV_LZMA_SDK_DIR "${CMAKE_SOURCE_DIR}/build/_deps/lzma-sdk/src/C" CACHE PATH "LZMA SDK C sources")
if(NOT EXISTS "${KV_LZMA_SDK_DIR}/7zDec.c")
  message(FATAL_ERROR "LZMA SDK sources not found in ${KV_LZMA_SDK_DIR}; run 'make deps'")
endif()

set(kv_lzma_sources 7zArcIn.c 7zBuf.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zFile.c 7zStream.c Bcj2.c Bra.c
    Bra86.c BraIA64.c CpuArch.c Delta.c Lzma2Dec.c LzmaDec.c)
list(TRANSFORM kv_lzma_sources PREPEND "${KV_LZMA_SDK_DIR}/")
add_library(lzmasdk STATIC ${kv_lzma_sources})
target_include_directories(lzmasdk SYSTEM PUBLIC "${KV_LZMA_SDK_DIR}")
target_compile_options(lzmasdk PRIVATE -w -Os)
if(WIN32)
  target_compile_definitions(lzmasdk PUBLIC UNICODE _UNICODE)
endif()
