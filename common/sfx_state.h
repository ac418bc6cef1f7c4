// The extractor's process-wide state: plain fields, zero or empty at start, one instance (sfx).
#pragma once

#include <windows.h>
#include <stdint.h>

// Every full path the extractor builds lives in a buffer of this many UTF-16 units (3 * 260 + 2);
// short names and titles use 260-unit buffers.
constexpr size_t kPathBufferUnits = 782;
constexpr size_t kNameBufferUnits = 260;

struct SfxState {
  // Bootstrap.
  HINSTANCE instance;
  wchar_t packageTitle[kNameBufferUnits];
  wchar_t imagePath[kPathBufferUnits];
  wchar_t workDir[kPathBufferUnits];
  // Package image layout.
  uint32_t imageEnd;
  uint64_t payloadSize;
  uint64_t declaredImageSize;
  uint64_t actualImageSize;
  // Runtime folder: the temporary path, then the folder path with its trailing backslash.
  wchar_t runtimeDir[kPathBufferUnits];
  uint32_t runtimeDirLength;
};

extern SfxState sfx;
