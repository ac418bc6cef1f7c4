// Scratch folders, relay instructions and logs, and tree comparison for whole-package tests.
#include "wizard_session.h"

#include "kv_test_paths.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

std::wstring Utf8ToWide(const std::string& text) {
  int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  if (units > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
  }
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string narrow(bytes, '\0');
  if (bytes > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], bytes,
                        nullptr, nullptr);
  }
  return narrow;
}

bool WriteTextFile(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && ok;
}

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

std::wstring WizardData(const wchar_t* name) {
  return std::wstring(kTestDataDir) + L"\\wizard\\" + name;
}

void BeginSession(const std::string& name, Session* session) {
  std::wstring folder = Utf8ToWide(name);
  for (wchar_t& c : folder) {
    if (c == L'/' || c == L'\\') c = L'-';
  }
  session->root = std::wstring(kTestTmpDir) + L"\\wizard-" + folder;
  RemoveTree(session->root);
  CreateDirectoryW(session->root.c_str(), nullptr);
  session->temp = session->root + L"\\temp";
  CreateDirectoryW(session->temp.c_str(), nullptr);
  session->dest = session->root + L"\\dest";
  session->config = session->root + L"\\relay.txt";
  session->log = session->root + L"\\relay.log";
  session->driver = Driver();
}

void WriteRelayConfig(const Session& session, const std::vector<std::string>& lines) {
  std::string text = "log " + WideToUtf8(session.log) + "\n";
  for (const std::string& line : lines) text += line + "\n";
  WriteTextFile(session.config, text);
}

bool StartSession(Session* session, const std::wstring& image, const std::wstring& startDir,
                  const EnvironmentChanges& extra) {
  DriverOptions options;
  options.startDir = startDir.empty() ? session->root : startDir;
  options.environment = {{L"TMP", session->temp}, {L"TEMP", session->temp}};
  if (GetFileAttributesW(session->config.c_str()) != INVALID_FILE_ATTRIBUTES) {
    options.environment.push_back({L"KV_RELAY_CONFIG", session->config});
  }
  options.environment.insert(options.environment.end(), extra.begin(), extra.end());
  size_t slash = session->root.find_last_of(L'\\');
  options.screenshotPrefix = session->root.substr(slash + 1);
  return StartPackage(image, options, &session->driver);
}

std::vector<std::string> RelayLog(const Session& session) {
  std::vector<std::string> lines;
  FILE* file = _wfopen(session.log.c_str(), L"rb");
  if (!file) return lines;
  std::string text;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  fclose(file);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::vector<std::string> Values(const std::vector<std::string>& log, const std::string& name) {
  std::vector<std::string> values;
  std::string prefix = "var " + name + "=";
  for (const std::string& line : log) {
    if (line.compare(0, prefix.size(), prefix) == 0) values.push_back(line.substr(prefix.size()));
  }
  return values;
}

std::string LastValue(const std::vector<std::string>& log, const std::string& name) {
  std::vector<std::string> values = Values(log, name);
  return values.empty() ? "(unset)" : values.back();
}

std::vector<int> ProgressPositions(const std::vector<std::string>& log) {
  std::vector<int> positions;
  for (const std::string& line : log) {
    if (line.compare(0, 9, "progress ") == 0) positions.push_back(atoi(line.c_str() + 9));
  }
  return positions;
}

std::vector<int> DialogResults(const std::vector<std::string>& log, const std::string& dialog) {
  std::vector<int> results;
  std::string prefix = "dialog " + dialog + " ";
  for (const std::string& line : log) {
    if (line.compare(0, prefix.size(), prefix) == 0) results.push_back(atoi(line.c_str() + prefix.size()));
  }
  return results;
}

std::vector<std::wstring> LeftRuntimeFolders(const Session& session) {
  std::vector<std::wstring> left;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((session.temp + L"\\kv*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return left;
  do {
    left.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return left;
}

namespace {

void Walk(const std::wstring& root, const std::wstring& relative, std::vector<TreeEntry>* entries) {
  WIN32_FIND_DATAW found;
  std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    TreeEntry entry;
    entry.path = relative.empty() ? name : relative + L"\\" + name;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.written = found.ftLastWriteTime;
    if (!entry.folder) {
      entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      FILE* file = _wfopen((root + L"\\" + entry.path).c_str(), L"rb");
      if (file) {
        char chunk[65536];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) {
          entry.bytes.insert(entry.bytes.end(), chunk, chunk + got);
        }
        fclose(file);
      }
    }
    entries->push_back(entry);
    if (entry.folder) Walk(root, entry.path, entries);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::vector<TreeEntry> ReadTree(const std::wstring& root) {
  std::vector<TreeEntry> entries;
  Walk(root, L"", &entries);
  std::sort(entries.begin(), entries.end(),
            [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
  return entries;
}

std::vector<std::wstring> CompareTrees(const std::wstring& expected, const std::wstring& actual,
                                       bool skipEmptyFolders) {
  std::vector<TreeEntry> want = ReadTree(expected);
  if (skipEmptyFolders) {
    std::vector<TreeEntry> kept;
    for (const TreeEntry& entry : want) {
      bool holdsFile = !entry.folder;
      for (const TreeEntry& other : want) {
        if (!other.folder && other.path.compare(0, entry.path.size() + 1, entry.path + L"\\") == 0) {
          holdsFile = true;
        }
      }
      if (holdsFile) kept.push_back(entry);
    }
    want.swap(kept);
  }
  std::vector<TreeEntry> have = ReadTree(actual);
  std::vector<std::wstring> differences;
  size_t i = 0, j = 0;
  while (i < want.size() || j < have.size()) {
    if (j == have.size() || (i < want.size() && want[i].path < have[j].path)) {
      differences.push_back(L"missing: " + want[i++].path);
      continue;
    }
    if (i == want.size() || have[j].path < want[i].path) {
      differences.push_back(L"not in the archive: " + have[j++].path);
      continue;
    }
    const TreeEntry& a = want[i++];
    const TreeEntry& b = have[j++];
    if (a.folder != b.folder) {
      differences.push_back(L"folder or file: " + a.path);
      continue;
    }
    if (a.folder) continue;
    if (a.size != b.size || a.bytes != b.bytes) differences.push_back(L"bytes differ: " + a.path);
    if (CompareFileTime(&a.written, &b.written) != 0) differences.push_back(L"time differs: " + a.path);
    if (a.readOnly != b.readOnly) differences.push_back(L"read-only differs: " + a.path);
  }
  return differences;
}
