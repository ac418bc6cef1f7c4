// The runtime folder: a private folder under the temporary path that holds the unpacked runtime
// archive for the life of the process. Works on sfx.runtimeDir / sfx.runtimeDirLength.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr size_t kRuntimeFolderNameUnits = 10;  // "kv" and 8 upper-case hexadecimal digits
constexpr int kRuntimeFolderAttempts = 100;

// Start-up error codes.
enum : int {
  kStartupFolderFailed = 1,   // the temporary runtime folder could not be made
  kStartupWriteFailed = 2,    // writing an entry of the runtime archive failed
  kStartupDataDamaged = 3,    // the package image is unreadable or its package data unusable
};

// The first seed of the folder name: pid ^ (tid << 14) ^ (tick << 12), 32-bit.
uint32_t MixRuntimeFolderSeed(uint32_t processId, uint32_t threadId, uint32_t tickCount);
// Writes "kv" and the seed's 8 upper-case hexadecimal digits (leading zeros kept) and a zero.
void FormatRuntimeFolderName(uint32_t seed, wchar_t out[kRuntimeFolderNameUnits + 1]);

// What the folder creation asks of the system, so that its attempt rule can be checked alone.
struct RuntimeFolderSystem {
  void* context;
  bool (*exists)(void* context, const wchar_t* path);
  // 0 when made, else the system error code.
  DWORD (*create)(void* context, const wchar_t* path);
  uint32_t (*tickCount)(void* context);
};

// Makes the folder "kv" + 8 hex digits at position *length of path (a PathBuffer holding the
// temporary path): up to 100 names, starting at seed and adding the tick count after each name
// that is taken; any other failure of the creation ends at once. On success path ends with the
// folder name (no backslash) and true comes back; on failure path holds the temporary path again.
bool CreateRuntimeFolderWith(const RuntimeFolderSystem* system, uint32_t seed, wchar_t* path,
                             uint32_t length);

// The same on sfx.runtimeDir with the real system and the seed from process, thread and tick.
bool CreateRuntimeFolder();

// Appends the backslash to sfx.runtimeDir after CreateRuntimeFolder and updates its length.
void FinishRuntimeFolderPath();

// Makes path one of the process's DLL directories where the system has AddDllDirectory.
void AddRuntimeDllDirectory(const wchar_t* path);

// Unpacks the runtime archive of the package image sfx.imagePath into sfx.runtimeDir, which
// holds the folder path with its trailing backslash (and does again on return). 0, or a start-up
// error code: kStartupDataDamaged when the image cannot be read, the archive is not found or
// cannot be opened, or an entry fails to decode; kStartupWriteFailed when an entry name is too
// long, a file is written twice, cannot be created, is written short or fails to close.
// The two named failures are told in a message box of their own.
int ExtractRuntimeArchive();
