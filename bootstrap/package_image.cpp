// Reading the package data behind the extractor's own PE image, over the Win32 file calls.
#include "bootstrap/package_image.h"

#include <windows.h>

#include "bootstrap/package_layout.h"
#include "common/sfx_state.h"

namespace {

// A file handle closed on every way out of the function that opened it.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (IsValid()) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Reads exactly 8 bytes as a little-endian value; false on a failed or short read.
bool ReadU64(HANDLE file, uint64_t* value) {
  uint8_t bytes[8] = {};
  DWORD got = 0;
  if (!ReadFile(file, bytes, sizeof(bytes), &got, nullptr) || got < sizeof(bytes)) return false;
  uint64_t result = 0;
  for (int i = 7; i >= 0; --i) result = (result << 8) | bytes[i];
  *value = result;
  return true;
}

int GetImageLength(void* context, uint64_t* length) {
  UInt64 value = 0;
  WRes res = File_GetLength(static_cast<CSzFile*>(context), &value);
  *length = value;
  return static_cast<int>(res);
}

int SeekImage(void* context, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return ERROR_NEGATIVE_SEEK;
  Int64 pos = static_cast<Int64>(offset);
  return static_cast<int>(File_Seek(static_cast<CSzFile*>(context), &pos, SZ_SEEK_SET));
}

int ReadImage(void* context, void* buffer, size_t* size) {
  return static_cast<int>(File_Read(static_cast<CSzFile*>(context), buffer, size));
}

}  // namespace

bool ReadPackageHeader() {
  FileHandle file(CreateFileW(sfx.imagePath, GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;

  uint8_t head[kImageHeadBytes];
  DWORD got = 0;
  if (!ReadFile(file.Get(), head, sizeof(head), &got, nullptr)) return false;
  uint32_t imageEnd = 0;
  if (!FindImageEnd(head, got, &imageEnd)) return false;
  sfx.imageEnd = imageEnd;

  // The two magic bytes are skipped unread.
  if (SetFilePointer(file.Get(), static_cast<LONG>(imageEnd + 2), nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER)
    return false;
  uint64_t payloadSize = 0;
  if (!ReadU64(file.Get(), &payloadSize)) return false;
  sfx.payloadSize = payloadSize;
  uint64_t declaredImageSize = 0;
  if (!ReadU64(file.Get(), &declaredImageSize)) return false;
  sfx.declaredImageSize = declaredImageSize;
  return true;
}

int LocateRuntimeArchive(CSzFile* file, UInt64* position) {
  uint64_t start = static_cast<uint32_t>(sfx.imageEnd + kPackageHeaderBytes);
  // A payload size that wraps the 64-bit offset cannot belong to this file.
  if (sfx.payloadSize > UINT64_MAX - start) return 0;
  start += sfx.payloadSize;
  ImageReadCallbacks io = {file, GetImageLength, SeekImage, ReadImage};
  uint64_t length = 0;
  bool found = LocateArchiveSignature(&io, &start, &length);
  sfx.actualImageSize = length;
  if (!found) return 0;
  *position = start;
  return 1;
}
