// Tests of the file-system and path helpers on the Wine file system.
#include "common/path_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <string>
#include <vector>

#include "test_files.h"

namespace {

struct EditCase {
  std::wstring input;
  std::wstring expected;
};

// Names the case in test listings by its input, backslashes shown as '~'.
void PrintTo(const EditCase& c, std::ostream* os) {
  std::string text(c.input.begin(), c.input.end());
  for (char& ch : text) if (ch == '\\') ch = '~';
  *os << (text.size() > 12 ? text.substr(0, 4) + "(" + std::to_string(text.size()) + ")" + text.substr(text.size() - 4)
                           : text);
}

std::wstring Units(size_t count) { return std::wstring(count, L'a'); }

class AppendBackslashTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(AppendBackslashTest, EditsInPlace) {
  wchar_t buffer[260] = {};
  wcscpy(buffer, GetParam().input.c_str());
  AppendBackslash(buffer);
  EXPECT_EQ(GetParam().expected, buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendBackslashTest,
    ::testing::Values(EditCase{L"", L"\\"}, EditCase{L"C:\\dir", L"C:\\dir\\"},
                      EditCase{L"C:\\dir\\", L"C:\\dir\\"}, EditCase{L"C:", L"C:\\"},
                      EditCase{L"a/", L"a/\\"}, EditCase{Units(258), Units(258) + L"\\"},
                      EditCase{Units(259), Units(259)},
                      EditCase{Units(258) + L"\\", Units(258) + L"\\"}));

class StripFileNameTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(StripFileNameTest, EditsInPlace) {
  std::vector<wchar_t> buffer(GetParam().input.begin(), GetParam().input.end());
  buffer.push_back(0);
  StripFileName(buffer.data());
  EXPECT_EQ(GetParam().expected, buffer.data());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StripFileNameTest,
    ::testing::Values(EditCase{L"C:\\a\\b.txt", L"C:\\a"}, EditCase{L"C:\\a/b", L"C:\\a"},
                      EditCase{L"a\\b/c", L"a\\b"}, EditCase{L"a/b\\c", L"a/b"}, EditCase{L"a/b/c", L"a/b"},
                      EditCase{L"C:b", L"C:"}, EditCase{L"name", L""},
                      EditCase{L"C:\\setup.exe", L"C:"}, EditCase{L"C:\\dir\\", L"C:\\dir"},
                      EditCase{L"", L""}));

bool MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  if (!WriteWholeFile(path, {'x', 'y'})) return false;
  return SetFileAttributesW(path.c_str(), attributes) != 0;
}

TEST(PathTests, TellFilesFoldersAndMissingPaths) {
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(MakeFile(dir + L"file.txt"));
  ASSERT_TRUE(CreateDirectoryW((dir + L"sub").c_str(), nullptr));
  struct {
    std::wstring path;
    bool isDirectory;
    bool exists;
  } cases[] = {
      {dir + L"file.txt", false, true}, {dir + L"sub", true, true},
      {dir + L"sub\\", true, false},    // a search for a trailing backslash finds nothing
      {dir + L"missing", false, false}, {dir + L"fi*.txt", false, true},
      {dir + L"x*", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.isDirectory, IsDirectory(c.path.c_str())) << std::string(c.path.begin(), c.path.end());
    EXPECT_EQ(c.exists, PathExists(c.path.c_str())) << std::string(c.path.begin(), c.path.end());
  }
  RemoveScratchTree(dir);
}

TEST(CreateDirectoryPathTests, CreatesEveryMissingLevel) {
  std::wstring dir = MakeScratchDir();
  std::wstring target = dir + L"x\\y";
  DWORD result = CreateDirectoryPath(target.c_str());
  EXPECT_TRUE(IsDirectory((dir + L"x").c_str()));
  EXPECT_TRUE(IsDirectory(target.c_str()));
  // Levels above the new ones exist already, so an absolute path reports the last of them.
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), result);
  // Again, with everything present: nothing breaks, the folder stays.
  EXPECT_EQ(ERROR_ALREADY_EXISTS, CreateDirectoryPath((target + L"\\").c_str()));
  EXPECT_TRUE(IsDirectory(target.c_str()));
  RemoveScratchTree(dir);
}

// A folder path past the 260 units of the plain Win32 calls is created through the
// extended-length form, level by level; one that does not fit a PathBuffer is refused whole.
TEST(CreateDirectoryPathTests, CreatesLongPathsAndRefusesThoseOverAPathBuffer) {
  std::wstring dir = MakeScratchDir();
  for (size_t length : {248u, 260u, 300u, 500u}) {
    std::wstring target = dir + L"long" + std::to_wstring(length);
    while (target.size() < length) {
      target += L"\\" + std::wstring(std::min<size_t>(100, length - target.size() - 1), L'b');
    }
    ASSERT_EQ(length, target.size());
    // The levels that exist already fail: the result is theirs.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), CreateDirectoryPath(target.c_str())) << length;
    EXPECT_TRUE(IsDirectory(target.c_str())) << length;
    EXPECT_TRUE(PathExists(target.c_str())) << length;
  }
  std::wstring tooLong = dir + L"first\\" + std::wstring(100, L'c');
  while (tooLong.size() < 781) tooLong += L"\\" + std::wstring(100, L'c');
  EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), CreateDirectoryPath(tooLong.c_str()));
  EXPECT_FALSE(PathExists((dir + L"first").c_str()));
  RemoveScratchTree(dir);
}

struct LongPathCase {
  const char* label;
  std::wstring path;
  std::wstring expected;  // empty: the path itself comes back
};

void PrintTo(const LongPathCase& c, std::ostream* os) { *os << c.label; }

class FileSystemPathTest : public ::testing::TestWithParam<LongPathCase> {};

TEST_P(FileSystemPathTest, ExtendsOnlyLongPaths) {
  const LongPathCase& c = GetParam();
  wchar_t buffer[kFileSystemPathUnits];
  const wchar_t* result = FileSystemPath(c.path.c_str(), buffer, std::size(buffer));
  if (c.expected.empty()) {
    EXPECT_EQ(c.path.c_str(), result);
  } else {
    EXPECT_EQ(c.expected, std::wstring(result));
  }
}

const std::wstring kLong(250, L'x');

INSTANTIATE_TEST_SUITE_P(
    Paths, FileSystemPathTest,
    ::testing::Values(
        LongPathCase{"short", L"C:\\dir\\file.txt", L""},
        LongPathCase{"just_short", L"C:\\" + std::wstring(244, L'x'), L""},
        LongPathCase{"long_drive", L"C:\\a\\" + kLong, L"\\\\?\\C:\\a\\" + kLong},
        LongPathCase{"long_with_slash_and_dots", L"C:\\a/b\\..\\.\\" + kLong,
                     L"\\\\?\\C:\\a\\" + kLong},
        LongPathCase{"long_share", L"\\\\server\\share\\" + kLong,
                     L"\\\\?\\UNC\\server\\share\\" + kLong},
        LongPathCase{"already_extended", L"\\\\?\\C:\\" + kLong, L""}),
    [](const ::testing::TestParamInfo<LongPathCase>& info) { return std::string(info.param.label); });

// A buffer for DeleteTree with guard units behind its capacity, to show nothing is written there.
struct TreeBuffer {
  static constexpr size_t kGuard = 16;
  std::vector<wchar_t> units;
  size_t capacity;

  TreeBuffer(const std::wstring& path, size_t capacityUnits)
      : units(capacityUnits + kGuard, L'#'), capacity(capacityUnits) {
    std::fill(units.begin(), units.begin() + capacity, L'\0');
    std::copy(path.begin(), path.end(), units.begin());
  }
  DWORD Delete() { return DeleteTree(units.data(), capacity); }
  std::wstring Text() const { return units.data(); }
  bool GuardIntact() const {
    for (size_t i = capacity; i < units.size(); ++i)
      if (units[i] != L'#') return false;
    return true;
  }
};

class DeleteTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = MakeScratchDir();
    root = base + L"tree\\";
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root + L"a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root + L"a\\b").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root + L"empty").c_str(), nullptr));
    ASSERT_TRUE(MakeFile(root + L"plain.txt"));
    ASSERT_TRUE(MakeFile(root + L"readonly.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(root + L"a\\hidden.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(MakeFile(root + L"a\\b\\deep.txt", FILE_ATTRIBUTE_READONLY));
  }
  void TearDown() override { RemoveScratchTree(base); }

  std::wstring base;
  std::wstring root;
};

TEST_F(DeleteTreeTest, RemovesReadOnlyFilesAndNestedFolders) {
  TreeBuffer buffer(root, 782);
  EXPECT_EQ(0u, buffer.Delete());
  EXPECT_FALSE(PathExists((base + L"tree").c_str()));
  EXPECT_EQ(root, buffer.Text());
  EXPECT_TRUE(buffer.GuardIntact());
}

TEST_F(DeleteTreeTest, StopsAtAFileHeldOpenWithoutSharing) {
  std::wstring held = root + L"a\\b\\deep.txt";
  SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  TreeBuffer buffer(root, 782);
  DWORD result = buffer.Delete();
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), result);
  EXPECT_TRUE(PathExists(held.c_str()));
  EXPECT_TRUE(IsDirectory((root + L"a\\b").c_str()));
  EXPECT_TRUE(IsDirectory(root.substr(0, root.size() - 1).c_str()));
  EXPECT_EQ(root, buffer.Text());
  CloseHandle(file);
  EXPECT_EQ(0u, buffer.Delete());
  EXPECT_FALSE(PathExists((base + L"tree").c_str()));
}

TEST_F(DeleteTreeTest, MissingFolderReturnsTheSearchError) {
  std::wstring missing = base + L"missing\\";
  TreeBuffer buffer(missing, 782);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), buffer.Delete());
  EXPECT_EQ(missing, buffer.Text());
  EXPECT_TRUE(PathExists((root + L"plain.txt").c_str()));
}

TEST_F(DeleteTreeTest, RefusesAFolderPathWithoutItsBackslash) {
  // Without the backslash the walk would reach "tree.txt", a sibling of "tree".
  ASSERT_TRUE(MakeFile(base + L"tree.txt"));
  TreeBuffer buffer(base + L"tree", 782);
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), buffer.Delete());
  EXPECT_TRUE(PathExists((base + L"tree.txt").c_str()));
  EXPECT_TRUE(PathExists((root + L"plain.txt").c_str()));
}

// The longest paths in a small tree decide whether it fits a buffer: a file needs room for its
// name and the terminator, a folder also for its backslash and the search's "*".
struct FitCase {
  const wchar_t* entry;  // below the tree root; a trailing backslash makes a folder
  bool fits;             // capacity exactly what the longest path needs, or one unit less
  DWORD expected;
};

void PrintTo(const FitCase& c, std::ostream* os) {
  *os << (wcschr(c.entry, L'\\') ? "folder" : "file") << (c.fits ? "-fits" : "-one-short");
}

class DeleteTreeFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(DeleteTreeFitTest, StopsBeforeWritingPastTheBuffer) {
  const FitCase& c = GetParam();
  std::wstring base = MakeScratchDir();
  std::wstring root = base + L"t\\";
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  std::wstring entry = c.entry;
  size_t needed;
  if (entry.back() == L'\\') {
    ASSERT_TRUE(CreateDirectoryW((root + entry).c_str(), nullptr));
    needed = root.size() + entry.size() + 2;
  } else {
    ASSERT_TRUE(MakeFile(root + entry));
    needed = root.size() + entry.size() + 1;
  }
  TreeBuffer buffer(root, c.fits ? needed : needed - 1);
  EXPECT_EQ(c.expected, buffer.Delete());
  EXPECT_EQ(root, buffer.Text());
  EXPECT_TRUE(buffer.GuardIntact());
  EXPECT_EQ(c.expected != 0, PathExists((root + entry.substr(0, entry.find(L'\\'))).c_str()));
  RemoveScratchTree(base);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTreeFitTest,
    ::testing::Values(FitCase{L"long-file-name.txt", true, 0},
                      FitCase{L"long-file-name.txt", false, ERROR_FILENAME_EXCED_RANGE},
                      FitCase{L"long-folder-name\\", true, 0},
                      FitCase{L"long-folder-name\\", false, ERROR_FILENAME_EXCED_RANGE}));

}  // namespace
