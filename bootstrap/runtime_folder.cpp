// The runtime folder: its name and creation, entering it as a DLL directory, and unpacking the
// runtime archive into it with the stored times and attributes.
#include "bootstrap/runtime_folder.h"

#include "archive/archive_reader.h"
#include "bootstrap/package_image.h"
#include "common/path_helpers.h"
#include "common/sfx_state.h"

#include <iterator>
#include <wchar.h>

namespace {

// Entry names may be 258 units; the length the SDK reports counts the terminator.
constexpr size_t kMaxEntryNameUnits = 259;

bool SystemExists(void*, const wchar_t* path) { return PathExists(path); }

DWORD SystemCreate(void*, const wchar_t* path) {
  if (CreateDirectoryW(path, nullptr)) return 0;
  DWORD error = GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

uint32_t SystemTickCount(void*) { return GetTickCount(); }

void ShowExtractionError(const wchar_t* text) {
  MessageBoxW(nullptr, text, nullptr, MB_ICONERROR | MB_OK);
}

// Writes one file entry at the full path now in sfx.runtimeDir; 0 or a start-up error code.
int WriteRuntimeFile(const ArchiveReader* reader, UInt32 index, const Byte* data, size_t size) {
  const wchar_t* path = sfx.runtimeDir;
  if (PathExists(path)) {
    ShowExtractionError(L"Duplicate file found while unpacking data");
    return kStartupWriteFailed;
  }
  CSzFile file;
  File_Construct(&file);
  if (OutFile_OpenW(&file, path) != 0) {
    ShowExtractionError(L"Can't open output file");
    return kStartupWriteFailed;
  }
  size_t written = size;
  bool complete = File_Write(&file, data, &written) == 0 && written == size;
  const CSzArEx* db = &reader->database;
  if (SzBitWithVals_Check(&db->MTime, index)) {
    const CNtfsFileTime* stored = &db->MTime.Vals[index];
    FILETIME time;
    time.dwLowDateTime = stored->Low;
    time.dwHighDateTime = stored->High;
    SetFileTime(file.handle, nullptr, nullptr, &time);
  }
  bool closed = File_Close(&file) == 0;
  if (!complete || !closed) return kStartupWriteFailed;
  if (SzBitWithVals_Check(&db->Attribs, index)) {
    SetFileAttributesW(path, db->Attribs.Vals[index] & kSettableFileAttributes);
  }
  return 0;
}

// Turns the entry path after the folder into a disk path, making each folder on the way.
void MakeEntryFolders(wchar_t* entryPath) {
  for (wchar_t* p = entryPath; *p != L'\0'; ++p) {
    if (*p != L'/') continue;
    *p = L'\0';
    CreateDirectoryPath(sfx.runtimeDir);
    *p = L'\\';
  }
}

int ExtractEntries(ArchiveReader* reader) {
  const CSzArEx* db = &reader->database;
  wchar_t* entryPath = sfx.runtimeDir + sfx.runtimeDirLength;
  for (UInt32 i = 0; i < db->NumFiles; ++i) {
    size_t nameUnits = SzArEx_GetFileNameUtf16(db, i, nullptr);
    if (nameUnits > kMaxEntryNameUnits) return kStartupWriteFailed;
    SzArEx_GetFileNameUtf16(db, i, reinterpret_cast<UInt16*>(entryPath));
    entryPath[nameUnits > 0 ? nameUnits - 1 : 0] = L'\0';
    size_t offset = 0;
    size_t size = 0;
    if (ExtractEntry(reader, i, &offset, &size) != SZ_OK) return kStartupDataDamaged;
    MakeEntryFolders(entryPath);
    if (SzArEx_IsDir(db, i)) {
      CreateDirectoryPath(sfx.runtimeDir);
      continue;
    }
    int result = WriteRuntimeFile(reader, i, reader->blockBuffer + offset, size);
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace

uint32_t MixRuntimeFolderSeed(uint32_t processId, uint32_t threadId, uint32_t tickCount) {
  return processId ^ (threadId << 14) ^ (tickCount << 12);
}

void FormatRuntimeFolderName(uint32_t seed, wchar_t out[kRuntimeFolderNameUnits + 1]) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  out[0] = L'k';
  out[1] = L'v';
  for (int i = 0; i < 8; ++i) out[2 + i] = kDigits[(seed >> (28 - 4 * i)) & 0xF];
  out[kRuntimeFolderNameUnits] = L'\0';
}

bool CreateRuntimeFolderWith(const RuntimeFolderSystem* system, uint32_t seed, wchar_t* path,
                             uint32_t length) {
  if (length + kRuntimeFolderNameUnits + 2 > kPathBufferUnits) return false;
  for (int attempt = 0; attempt < kRuntimeFolderAttempts; ++attempt) {
    FormatRuntimeFolderName(seed, path + length);
    if (!system->exists(system->context, path)) {
      DWORD error = system->create(system->context, path);
      if (error == 0) return true;
      if (error != ERROR_ALREADY_EXISTS) break;
    }
    seed += system->tickCount(system->context);
  }
  path[length] = L'\0';
  return false;
}

bool CreateRuntimeFolder() {
  RuntimeFolderSystem system = {nullptr, SystemExists, SystemCreate, SystemTickCount};
  uint32_t seed = MixRuntimeFolderSeed(GetCurrentProcessId(), GetCurrentThreadId(), GetTickCount());
  return CreateRuntimeFolderWith(&system, seed, sfx.runtimeDir, sfx.runtimeDirLength);
}

void FinishRuntimeFolderPath() {
  size_t length = wcslen(sfx.runtimeDir);
  if (length + 1 < std::size(sfx.runtimeDir) && (length == 0 || sfx.runtimeDir[length - 1] != L'\\')) {
    sfx.runtimeDir[length++] = L'\\';
    sfx.runtimeDir[length] = L'\0';
  }
  sfx.runtimeDirLength = static_cast<uint32_t>(length);
}

void AddRuntimeDllDirectory(const wchar_t* path) {
  typedef void*(WINAPI * AddDllDirectoryFunction)(const wchar_t*);
  HMODULE kernel = GetModuleHandleW(L"Kernel32");
  if (kernel == nullptr) return;
  auto add = reinterpret_cast<AddDllDirectoryFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "AddDllDirectory")));
  if (add != nullptr) add(path);
}

int ExtractRuntimeArchive() {
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  int result = kStartupDataDamaged;
  UInt64 position = 0;
  if (OpenImageFile(&reader, sfx.imagePath) == 0 &&
      LocateRuntimeArchive(&reader.imageStream.file, &position) &&
      OpenArchiveAt(&reader, position) == SZ_OK) {
    result = ExtractEntries(&reader);
  }
  CloseArchiveReader(&reader);
  sfx.runtimeDir[sfx.runtimeDirLength] = L'\0';
  return result;
}
