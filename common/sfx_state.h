// The extractor's process-wide state: plain fields, zero or empty at start (the overwrite mode
// excepted), one instance (sfx).
#pragma once

#include <windows.h>
#include <stdint.h>

// Every full path the extractor builds lives in a buffer of this many UTF-16 units (3 * 260 + 2);
// short names and titles use 260-unit buffers.
constexpr size_t kPathBufferUnits = 782;
constexpr size_t kNameBufferUnits = 260;

// The payload extraction's question before each file (answered by the wizard's OnFileExtract).
// path is the PathBuffer with the file's full output path, which the hook may replace; the size
// comes as low and high halves; timeHigh/timeLow point at the stored modification time (a UTC
// FILETIME's halves, both 0 when none is stored). Returns a kFileHook* answer.
typedef int (*ExtractFileHook)(wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh,
                               uint32_t* timeHigh, uint32_t* timeLow);

// Answers of the per-file hook.
enum : int {
  kFileHookWrite = 0,
  kFileHookSkip = 1,
  kFileHookCancel = 2,
};

// What happens to a file that already exists at its output path.
enum : int32_t {
  kOverwriteAll = 0,   // replaced without a question
  kOverwriteNone = 1,  // skipped without a question
  kOverwriteAsk = 2,   // the overwrite dialog asks
};

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
  // Payload extraction. cancelFlag is the one value shared with the progress box's thread: a
  // byte that only goes from 0 to 1 during an extraction, written there and read here.
  volatile uint8_t cancelFlag;
  const wchar_t* extractImagePath;
  const wchar_t* extractDestDir;
  const uint32_t* extractArchiveOffset;  // null means 0
  ExtractFileHook extractFileHook;
  uint64_t progressTotal;  // sum over the entries of (unpacked size + 1)
  uint64_t progressDone;
  // Recorded by the progress box's callback when the box opens; progressBox is null whenever no
  // box is open.
  HWND progressBox;
  HWND progressBar;
  HWND progressLabel;
  // Wizard: pages left forward less those stepped back over (0 disables a page's Back), and the
  // files the per-file hook released for writing.
  int32_t pageCounter;
  int32_t extractedFileCount;
  // Overwrite confirmation; the only field that does not start at zero.
  int32_t overwriteMode = kOverwriteAsk;
};

extern SfxState sfx;
