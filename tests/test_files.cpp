// File helpers for Windows-side tests.
#include "test_files.h"

#include <gtest/gtest.h>

#include "kv_test_paths.h"

namespace {

void RemoveTreeBestEffort(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTreeBestEffort(path + L"\\");
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::wstring MakeScratchDir(const wchar_t* tag) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_') c = '_';
  }
  std::wstring folder = std::wstring(kTestTmpDir) + L"\\" + Widen(name) + tag + L"\\";
  RemoveTreeBestEffort(folder);
  CreateDirectoryW(kTestTmpDir, nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void RemoveScratchTree(const std::wstring& folder) { RemoveTreeBestEffort(folder); }

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
  bytes->clear();
  // Sharing writes too: a program's output file may still be held by the processes it started.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (ok) {
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes->empty() ||
         (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) &&
          got == bytes->size());
  }
  CloseHandle(file);
  return ok;
}

std::wstring TestDataPath(const wchar_t* set, const wchar_t* name) {
  return std::wstring(kTestDataDir) + L"\\" + set + L"\\" + name;
}
