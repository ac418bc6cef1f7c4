// File-system and path helpers over the Win32 file interface; no state, no messages.
#include "common/path_helpers.h"

#include <string.h>
#include <wchar.h>

#include <iterator>

namespace {

// Capacity of the buffer AppendBackslash works in.
constexpr size_t kShortPathUnits = 260;
// Capacity of the buffers CreateDirectoryPath works in: a PathBuffer.
constexpr size_t kFolderPathUnits = 782;

// A search handle closed on every way out of the function that opened it.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() { Close(); }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (IsValid()) FindClose(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

}  // namespace

const wchar_t* FileSystemPath(const wchar_t* path, wchar_t* buffer, size_t capacity) {
  if (wcslen(path) < kLongPathFrom || wcsncmp(path, L"\\\\?\\", 4) == 0) return path;
  // The full form resolves "." and "..", '/' and a relative start, which the extended form
  // would take literally; it is written behind room for the prefix.
  const size_t kRoom = 8;
  if (capacity <= kRoom) return path;
  wchar_t* full = buffer + kRoom;
  DWORD length = GetFullPathNameW(path, static_cast<DWORD>(capacity - kRoom), full, nullptr);
  if (length == 0 || length >= capacity - kRoom) return path;
  if (full[0] == L'\\' && full[1] == L'\\') {
    // \\server\share\... becomes \\?\UNC\server\share\...: the "UNC\" takes the place of
    // the two leading backslashes.
    memcpy(buffer + 2, L"\\\\?\\UNC", 7 * sizeof(wchar_t));
    return buffer + 2;
  }
  memcpy(buffer + kRoom - 4, L"\\\\?\\", 4 * sizeof(wchar_t));
  return buffer + kRoom - 4;
}

bool IsDirectory(const wchar_t* path) {
  wchar_t buffer[kFileSystemPathUnits];
  DWORD attributes = GetFileAttributesW(FileSystemPath(path, buffer, std::size(buffer)));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const wchar_t* path) {
  wchar_t buffer[kFileSystemPathUnits];
  WIN32_FIND_DATAW data;
  FindHandle search(FindFirstFileW(FileSystemPath(path, buffer, std::size(buffer)), &data));
  return search.IsValid();
}

void AppendBackslash(wchar_t* path) {
  size_t length = wcslen(path);
  if (length == 0) {
    path[0] = L'\\';
    path[1] = 0;
    return;
  }
  if (path[length - 1] == L'\\') return;
  // A backslash and the terminator must still fit the 260-unit buffer.
  if (length > kShortPathUnits - 2) return;
  path[length] = L'\\';
  path[length + 1] = 0;
}

void StripFileName(wchar_t* path) {
  // Windows takes "/" as a separator too, so the last separator of either kind ends the folder
  // part ("C:\a/b" names the file b in C:\a).
  wchar_t* cut = wcsrchr(path, L'\\');
  wchar_t* slash = wcsrchr(path, L'/');
  if (slash && (!cut || slash > cut)) cut = slash;
  if (cut) {
    *cut = 0;
    return;
  }
  wchar_t* colon = wcsrchr(path, L':');
  if (colon) {
    colon[1] = 0;
    return;
  }
  path[0] = 0;
}

DWORD CreateDirectoryPath(const wchar_t* path) {
  wchar_t copy[kFolderPathUnits];
  wchar_t level[kFolderPathUnits];
  wchar_t extended[kFileSystemPathUnits];
  memset(copy, 0, sizeof(copy));
  memset(level, 0, sizeof(level));
  size_t length = wcslen(path);
  // Room for a final backslash and the terminator.
  if (length + 2 > std::size(copy)) return ERROR_WRITE_FAULT;
  memcpy(copy, path, length * sizeof(wchar_t));
  if (length > 0 && copy[length - 1] != L'\\') copy[length] = L'\\';
  if (!wcschr(copy, L'\\')) return 0;

  // Every level is attempted; one that exists already fails and creation goes on below it.
  DWORD result = 0;
  for (size_t i = 0; copy[i] != 0; ++i) {
    if (copy[i] != L'\\') continue;
    memcpy(level, copy, (i + 1) * sizeof(wchar_t));
    level[i + 1] = 0;
    if (!CreateDirectoryW(FileSystemPath(level, extended, std::size(extended)), nullptr)) {
      result = GetLastError();
    }
  }
  return result;
}

DWORD DeleteTree(wchar_t* path, size_t capacity) {
  size_t n = wcslen(path);
  // The walk writes names behind the final backslash; without one it would reach siblings
  // whose names merely begin with the folder's name.
  if (n == 0 || n >= capacity || path[n - 1] != L'\\') return ERROR_BAD_PATHNAME;
  // Room for the "*" of the search pattern and its terminator.
  if (n + 2 > capacity) return ERROR_FILENAME_EXCED_RANGE;

  path[n] = L'*';
  path[n + 1] = 0;
  WIN32_FIND_DATAW data;
  FindHandle search(FindFirstFileW(path, &data));
  DWORD searchError = search.IsValid() ? 0 : GetLastError();
  path[n] = 0;
  if (!search.IsValid()) return searchError;

  for (;;) {
    if (!IsDotEntry(data.cFileName)) {
      size_t nameLength = wcslen(data.cFileName);
      bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A link to a folder elsewhere is removed as a link; its target is not ours to empty.
      bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      size_t needed = n + nameLength + (isFolder && !isLink ? 1 : 0) + 1;
      if (needed > capacity) {
        path[n] = 0;
        return ERROR_FILENAME_EXCED_RANGE;
      }
      memcpy(path + n, data.cFileName, (nameLength + 1) * sizeof(wchar_t));
      if (isFolder && !isLink) {
        path[n + nameLength] = L'\\';
        path[n + nameLength + 1] = 0;
        DWORD result = DeleteTree(path, capacity);
        if (result != 0) {
          path[n] = 0;
          return result;
        }
      } else if (isFolder) {
        SetFileAttributesW(path, 0);
        if (!RemoveDirectoryW(path)) {
          DWORD error = GetLastError();
          if (error != 0) {
            path[n] = 0;
            return error;
          }
        }
      } else {
        SetFileAttributesW(path, 0);
        if (!DeleteFileW(path)) {
          DWORD error = GetLastError();
          if (error != 0) {
            path[n] = 0;
            return error;
          }
        }
      }
    }
    if (!FindNextFileW(search.Get(), &data)) break;
  }

  DWORD endCode = GetLastError();
  path[n] = 0;
  search.Close();
  if (endCode != ERROR_NO_MORE_FILES && endCode != 0) return endCode;
  if (!RemoveDirectoryW(path)) return GetLastError();
  return 0;
}
