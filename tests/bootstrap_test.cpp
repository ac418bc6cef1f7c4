// The start-up sequence end to end: package images made on the host (tests/data/bootstrap.sh)
// started in their own process with the logging stand-in runtime library, their boxes read and
// answered, their exit codes, runtime folders and the stand-in's call log checked.
#include "common/path_helpers.h"
#include "kv_test_paths.h"
#include "package_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kDuplicateText[] = L"Duplicate file found while unpacking data";

std::wstring DataFile(const wchar_t* name) {
  return std::wstring(kTestDataDir) + L"\\bootstrap\\" + name;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring WithoutTrailingBackslash(std::wstring path) {
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(WithoutTrailingBackslash(a).c_str(), WithoutTrailingBackslash(b).c_str()) == 0;
}

void RemoveTree(const std::wstring& folder) {
  wchar_t buffer[1024];
  std::wstring path = folder + L"\\";
  if (path.size() >= 1024) return;
  wcscpy(buffer, path.c_str());
  DeleteTree(buffer, 1024);
}

// A string-table text of a package image, read from its file.
std::wstring ImageString(const std::wstring& image, UINT id) {
  HMODULE module = LoadLibraryExW(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return L"<image not loadable>";
  wchar_t text[1024] = {};
  LoadStringW(module, id, text, 1024);
  FreeLibrary(module);
  return text;
}

std::wstring FatalText(const std::wstring& image, int code) {
  return ImageString(image, 1) + L"\r\n" + ImageString(image, code + 1);
}

bool IsRuntimeFolderName(const std::wstring& name) {
  if (name.size() != 10 || name.compare(0, 2, L"kv") != 0) return false;
  return std::all_of(name.begin() + 2, name.end(), [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
  });
}

// Names of the entries directly inside folder.
std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &data));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring ReadWholeFile(const std::wstring& path) {
  std::wstring text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char bytes[4096];
  DWORD read = 0;
  std::string raw;
  while (ReadFile(file, bytes, sizeof(bytes), &read, nullptr) && read > 0) raw.append(bytes, read);
  CloseHandle(file);
  text.assign(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
  return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// FILETIME of a UTC time.
uint64_t UtcTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME system = {};
  system.wYear = year;
  system.wMonth = month;
  system.wDay = day;
  system.wHour = hour;
  system.wMinute = minute;
  system.wSecond = second;
  FILETIME file;
  SystemTimeToFileTime(&system, &file);
  return FileTimeValue(file);
}

// One scratch area per test: the temporary folder the package sees, its start directory and
// the stand-in runtime library's log.
class PackageStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    base_ = std::wstring(kTestTmpDir) + L"\\bootstrap\\" + std::wstring(name.begin(), name.end());
    RemoveTree(base_);
    CreateDirectoryPath((base_ + L"\\tmp").c_str());
    CreateDirectoryPath((base_ + L"\\start").c_str());
  }
  void TearDown() override { RemoveTree(base_); }

  std::wstring TempDir() const { return base_ + L"\\tmp\\"; }
  std::wstring StartDir() const { return base_ + L"\\start"; }
  std::wstring LogPath() const { return base_ + L"\\runtime.log"; }

  PackageRun Run(const std::wstring& image, const std::wstring& mode = L"",
                 const BoxObserver& observer = nullptr) {
    return RunWith(image, {{L"TMP", TempDir()}, {L"TEMP", TempDir()}}, mode, observer);
  }
  PackageRun RunWith(const std::wstring& image, EnvironmentChanges changes,
                     const std::wstring& mode, const BoxObserver& observer = nullptr) {
    changes.push_back({L"KV_FAKE_RUNTIME_LOG", LogPath()});
    changes.push_back({L"KV_FAKE_RUNTIME_MODE", mode});
    PackageRun run = RunPackage(image, StartDir(), changes, observer);
    EXPECT_TRUE(run.started) << "cannot start the package image";
    EXPECT_TRUE(run.finished) << "the package did not end in time";
    return run;
  }

  std::vector<std::wstring> RuntimeFolders() const {
    std::vector<std::wstring> folders;
    for (const std::wstring& name : FolderEntries(base_ + L"\\tmp")) {
      if (IsRuntimeFolderName(name)) folders.push_back(name);
    }
    return folders;
  }
  std::vector<std::wstring> LogLines() const { return SplitLines(ReadWholeFile(LogPath())); }

  std::wstring base_;
};

TEST_F(PackageStartTest, NormalRunPublishesTheStartupVariablesAndRemovesTheRuntimeFolder) {
  std::wstring image = DataFile(L"good.exe");
  PackageRun run = Run(image);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(RuntimeFolders().empty()) << "the runtime folder is left behind";

  std::vector<std::wstring> sets;
  int initCalls = 0;
  size_t initLine = 0;
  std::vector<std::wstring> lines = LogLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].compare(0, 7, L"SetVar ") == 0 && initCalls == 0) sets.push_back(lines[i].substr(7));
    if (lines[i] == L"InitSFX") {
      ++initCalls;
      initLine = i;
    }
  }
  EXPECT_EQ(1, initCalls);
  ASSERT_EQ(5u, sets.size()) << "start-up variables before InitSFX";
  std::wstring title = ImageString(image, 0);
  EXPECT_EQ(L"APPTITLE=" + title, sets[0]);
  EXPECT_TRUE(SamePath(L"ARCNAME=" + image, sets[1])) << sets[1];
  std::wstring runtimePath = sets[2].substr(sets[2].find(L'=') + 1);
  EXPECT_EQ(L"KVSFXPATH=", sets[2].substr(0, 10));
  ASSERT_EQ(TempDir().size() + 11, runtimePath.size()) << runtimePath;
  EXPECT_EQ(0, _wcsicmp(TempDir().c_str(), runtimePath.substr(0, TempDir().size()).c_str()));
  EXPECT_TRUE(IsRuntimeFolderName(runtimePath.substr(TempDir().size(), 10))) << runtimePath;
  EXPECT_EQ(L'\\', runtimePath.back());
  EXPECT_TRUE(SamePath(L"CUR=" + StartDir(), sets[3])) << sets[3];
  EXPECT_TRUE(SamePath(L"ARCPATH=" + FolderOf(image), sets[4])) << sets[4];
  EXPECT_NE(L'\\', sets[4].back());
  // Both references to the library are gone before the process ends.
  ASSERT_FALSE(lines.empty());
  EXPECT_GT(lines.size(), initLine);
  EXPECT_EQ(L"Detach unloaded", lines.back());
}

TEST_F(PackageStartTest, ImageBuiltByKvpackRunsToTheEnd) {
  std::wstring image = DataFile(L"packed.exe");
  PackageRun run = Run(image);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(RuntimeFolders().empty()) << "the runtime folder is left behind";
  std::vector<std::wstring> lines = LogLines();
  // The title given to kvpack is the one the package publishes.
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), L"SetVar APPTITLE=Packed Bootstrap Test"));
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), L"InitSFX"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(L"Detach unloaded", lines.back());
}

TEST_F(PackageStartTest, RuntimeFolderHoldsTheArchiveWithStoredTimesAndAttributes) {
  std::vector<std::wstring> entries;
  std::wstring folder;
  uint64_t welcomeTime = 0, lockedTime = 0;
  DWORD lockedAttributes = INVALID_FILE_ATTRIBUTES, dllAttributes = INVALID_FILE_ATTRIBUTES;
  std::wstring directoryWhileRunning;
  // While the wizard shows its first page (a box of the stand-in) the runtime folder is complete.
  PackageRun run = Run(DataFile(L"good.exe"), L"box", [&](HANDLE process, const SeenBox&) {
    std::vector<std::wstring> folders = RuntimeFolders();
    if (folders.size() != 1 || !folder.empty()) return;
    folder = TempDir() + folders[0];
    entries = FolderEntries(folder);
    std::vector<std::wstring> dlg = FolderEntries(folder + L"\\dlg");
    for (const auto& name : dlg) entries.push_back(L"dlg\\" + name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW((folder + L"\\dlg\\welcome.txt").c_str(), GetFileExInfoStandard, &data)) {
      welcomeTime = FileTimeValue(data.ftLastWriteTime);
    }
    if (GetFileAttributesExW((folder + L"\\locked.dat").c_str(), GetFileExInfoStandard, &data)) {
      lockedTime = FileTimeValue(data.ftLastWriteTime);
      lockedAttributes = data.dwFileAttributes;
    }
    dllAttributes = GetFileAttributesW((folder + L"\\ZUDada.dll").c_str());
    directoryWhileRunning = ProcessCurrentDirectory(process);
  });
  EXPECT_EQ(0u, run.exitCode);
  ASSERT_FALSE(folder.empty()) << "no runtime folder seen while the wizard ran";
  std::vector<std::wstring> expected = {L"ZUDada.dll", L"big.dat", L"dlg", L"locked.dat",
                                        L"dlg\\welcome.txt"};
  EXPECT_EQ(expected, entries);
  EXPECT_EQ(UtcTime(2001, 2, 3, 4, 5, 6), welcomeTime);
  EXPECT_EQ(UtcTime(2010, 11, 12, 13, 14, 15), lockedTime);
  EXPECT_TRUE(lockedAttributes & FILE_ATTRIBUTE_READONLY) << std::hex << lockedAttributes;
  EXPECT_FALSE(dllAttributes & FILE_ATTRIBUTE_READONLY) << std::hex << dllAttributes;
  EXPECT_TRUE(SamePath(folder, directoryWhileRunning)) << directoryWhileRunning;
  EXPECT_TRUE(RuntimeFolders().empty()) << "the runtime folder is left behind";
}

TEST_F(PackageStartTest, CurrentDirectoryAtExitIsTheImageFolder) {
  // The stand-in changes the directory during the wizard and stays loaded to the end.
  std::wstring image = DataFile(L"good.exe");
  PackageRun run = Run(image, L"pin,chdir");
  EXPECT_EQ(0u, run.exitCode);
  std::vector<std::wstring> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  const std::wstring prefix = L"Detach exit cwd ";
  ASSERT_EQ(prefix, lines.back().substr(0, prefix.size())) << lines.back();
  EXPECT_TRUE(SamePath(FolderOf(image), lines.back().substr(prefix.size()))) << lines.back();
}

struct WizardFault {
  const char* name;
  const wchar_t* mode;
  const wchar_t* code;
};

class WizardExceptionTest : public PackageStartTest,
                            public ::testing::WithParamInterface<WizardFault> {};

TEST_P(WizardExceptionTest, ScriptGuardReportsTheCodeAndCleansUp) {
  std::wstring image = DataFile(L"good.exe");
  PackageRun run = Run(image, GetParam().mode);
  EXPECT_EQ(0u, run.exitCode);
  ASSERT_EQ(1u, run.boxes.size());
  EXPECT_EQ(std::wstring(L"Unexpected error in script: code ") + GetParam().code +
                L".\nPackage execution aborted.",
            run.boxes[0].text);
  EXPECT_EQ(ImageString(image, 0), run.boxes[0].caption);
  EXPECT_TRUE(RuntimeFolders().empty()) << "the runtime folder is left behind";
  std::vector<std::wstring> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(L"Detach unloaded", lines.back());
}

INSTANTIATE_TEST_SUITE_P(Faults, WizardExceptionTest,
                         ::testing::Values(WizardFault{"Raised", L"raise", L"e0424b01"},
                                           WizardFault{"AccessViolation", L"av", L"c0000005"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackageStartTest, MissingRuntimeLibraryEndsAtThePackageFilter) {
  std::wstring image = DataFile(L"no_library.exe");
  PackageRun run = Run(image);
  EXPECT_EQ(0xC06D007Eu, run.exitCode);
  ASSERT_EQ(2u, run.boxes.size());
  std::wstring title = ImageString(image, 0);
  EXPECT_EQ(L"Unable to load module ZUDada", run.boxes[0].text);
  EXPECT_EQ(title, run.boxes[0].caption);
  EXPECT_EQ(L"Unexpected error in package code: code c06d007e.\nPackage execution aborted.",
            run.boxes[1].text);
  EXPECT_EQ(title, run.boxes[1].caption);
  // No clean-up runs after the filter: the folder stays, with what was unpacked.
  std::vector<std::wstring> folders = RuntimeFolders();
  ASSERT_EQ(1u, folders.size());
  EXPECT_EQ(std::vector<std::wstring>{L"data.txt"}, FolderEntries(TempDir() + folders[0]));
}

struct StartFailure {
  const char* name;
  const wchar_t* image;
  int code;                    // start-up error code; the exit code is its negation
  const wchar_t* extraBox;     // a box of the extraction itself before the fatal one, or null
  const wchar_t* tempPath;     // TMP and TEMP for the run; null for the test's own folder
  bool folderMade;             // the runtime folder existed and must be gone again
};

class StartFailureTest : public PackageStartTest,
                         public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, FatalMessageAndExitCode) {
  const StartFailure& failure = GetParam();
  std::wstring image = DataFile(failure.image);
  std::wstring temp = TempDir();
  if (failure.tempPath != nullptr) {
    temp = failure.tempPath[0] == L'*' ? base_ + L"\\" + std::wstring(300, L'x') + L"\\"
                                       : base_ + failure.tempPath;
  }
  std::wstring directoryAtFatal;
  bool folderGoneAtFatal = false;
  std::wstring fatal = FatalText(image, failure.code);
  PackageRun run = RunWith(image, {{L"TMP", temp}, {L"TEMP", temp}}, L"",
                           [&](HANDLE process, const SeenBox& box) {
                             if (box.text != fatal) return;
                             directoryAtFatal = ProcessCurrentDirectory(process);
                             folderGoneAtFatal = RuntimeFolders().empty();
                           });
  EXPECT_EQ(static_cast<DWORD>(-failure.code), run.exitCode);
  std::vector<std::wstring> texts;
  for (const SeenBox& box : run.boxes) texts.push_back(box.text);
  std::vector<std::wstring> expected;
  if (failure.extraBox != nullptr) expected.push_back(failure.extraBox);
  expected.push_back(fatal);
  EXPECT_EQ(expected, texts);
  ASSERT_FALSE(run.boxes.empty());
  EXPECT_EQ(ImageString(image, 0), run.boxes.back().caption);
  EXPECT_TRUE(RuntimeFolders().empty()) << "a runtime folder is left behind";
  if (failure.folderMade) {
    EXPECT_TRUE(folderGoneAtFatal);
    EXPECT_TRUE(SamePath(StartDir(), directoryAtFatal)) << directoryAtFatal;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, StartFailureTest,
    ::testing::Values(
        StartFailure{"TempPathTooLong", L"good.exe", 1, nullptr, L"*", false},
        StartFailure{"TempPathMissing", L"good.exe", 1, nullptr, L"\\missing\\", false},
        StartFailure{"NoPackageData", L"no_data.exe", 3, nullptr, nullptr, false},
        StartFailure{"CutHeader", L"cut_header.exe", 3, nullptr, nullptr, false},
        StartFailure{"DamagedRuntimeArchive", L"damaged_runtime.exe", 3, nullptr, nullptr, true},
        StartFailure{"DuplicateMember", L"duplicate.exe", 2, kDuplicateText, nullptr, true},
        StartFailure{"MemberName259Units", L"long_name.exe", 2, nullptr, nullptr, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
