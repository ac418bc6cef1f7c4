// The payload extraction as a person meets it: packages built by kvpack (or put together here
// from hostile archives), driven through the real pages to the destination, with the files on
// disk compared afterwards; the overwrite question, the create prompt, a full disk, a damaged
// archive and names that would leave the destination.
#include "kv_test_paths.h"
#include "package_fixture.h"
#include "seven_zip_builder.h"
#include "test_files.h"
#include "window_finder.h"
#include "wizard_session.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

class ExtractionTest : public SessionTest {
 protected:
  // Starts image and goes to the destination page; types the destination and clicks Next.
  bool StartAndExtract(const std::wstring& image, const std::vector<std::string>& instructions,
                       const std::wstring& destination, const EnvironmentChanges& extra = {}) {
    WriteRelayConfig(s, instructions);
    if (!StartSession(&s, image, L"", extra)) return false;
    if (!NextFrom(&s.driver, WindowKind::kWelcome)) return false;
    if (!NextFrom(&s.driver, WindowKind::kReadme)) return false;
    HWND page = WaitForWindow(&s.driver, WindowKind::kDestination);
    if (!page || !ReplaceEditText(page, 20, destination)) return false;
    Click(page, 1);
    return true;
  }
  // Closes the final page; the exit code.
  DWORD CloseFinalPage() {
    HWND final = WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
    if (!final) return 0xBAD;
    Click(final, 1);
    return FinishPackage(&s.driver, 20000);
  }
  // The next message box: its text, after answering it with the button given.
  std::wstring AnswerNextBox(int button) {
    HWND box = WaitForWindow(&s.driver, WindowKind::kMessageBox, 30000);
    if (!box) return L"(no box)";
    std::wstring text = ReadBox(box).text;
    AnswerBox(box, button);
    WaitUntilGone(box);
    return text;
  }
};

std::string ReadText(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return "(missing)";
  return std::string(bytes.begin(), bytes.end());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The tree as 7zz extracts the same archive: names (non-ASCII, spaces, nested, 258 characters),
// bytes, times and the read-only attribute; an empty file is created, an empty folder is not.
TEST_F(ExtractionTest, TheTreeEqualsWhat7zzExtracts) {
  ASSERT_TRUE(StartAndExtract(WizardData(L"tree.exe"), {}, s.dest));
  EXPECT_EQ(0u, CloseFinalPage());
  std::wstring reference = WizardData(L"tree_reference");
  ASSERT_TRUE(Exists(reference + L"\\empty folder"));
  for (const std::wstring& difference : CompareTrees(reference, s.dest, true)) {
    ADD_FAILURE() << WideToUtf8(difference);
  }
  EXPECT_FALSE(Exists(s.dest + L"\\empty folder")) << "an empty folder of the archive was created";
  EXPECT_TRUE(Exists(s.dest + L"\\empty.txt"));
  DWORD attributes = GetFileAttributesW((s.dest + L"\\Docs\\locked.txt").c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

// The bar moves once per entry, only forward, and ends at 100; the label names each entry as the
// archive stores it, with '/' between folders.
TEST_F(ExtractionTest, TheBarOnlyGrowsToAHundredAndTheLabelNamesEachEntry) {
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  EXPECT_EQ(0u, CloseFinalPage());
  std::vector<std::string> log = RelayLog(s);
  std::vector<int> positions = ProgressPositions(log);
  ASSERT_EQ(28u, positions.size()) << "one position per entry: 27 files and a folder";
  for (size_t i = 1; i < positions.size(); ++i) EXPECT_LE(positions[i - 1], positions[i]);
  EXPECT_EQ(100, positions.back());
  std::vector<std::string> names = Values(log, "EXTNAME");
  ASSERT_EQ(28u, names.size());
  EXPECT_EQ("sub", names[0]) << "kvpack puts folders first";
  EXPECT_EQ("first.txt", names[1]);
  EXPECT_EQ("sub/part01.txt", names[2]);
  EXPECT_EQ("zlast.txt", names.back());
  EXPECT_EQ("27", LastValue(log, "TOTALEXTFILE"));
}

// The overwrite question over files already in the destination: first.txt, sub\part01.txt and
// zlast.txt, asked in that order.
struct Answer {
  bool tick;   // "Do this for all conflicts"
  int button;  // 10 Yes, overwrite it; 11 No, skip it
};

struct OverwriteCase {
  const char* name;
  std::vector<Answer> answers;  // one per question the user sees
  std::vector<int> results;     // what ShowDialogBox gave for them
  bool first, part01, last;     // which files were replaced
  const char* total;            // TOTALEXTFILE
};

void PrintTo(const OverwriteCase& c, std::ostream* os) { *os << c.name; }

class OverwriteTest : public ExtractionTest, public ::testing::WithParamInterface<OverwriteCase> {
 protected:
  void PutOldFiles() {
    CreateDirectoryW(s.dest.c_str(), nullptr);
    CreateDirectoryW((s.dest + L"\\sub").c_str(), nullptr);
    WriteTextFile(s.dest + L"\\first.txt", "old first");
    WriteTextFile(s.dest + L"\\sub\\part01.txt", "old part");
    WriteTextFile(s.dest + L"\\zlast.txt", "old last");
  }
};

TEST_P(OverwriteTest, AnswersDecideWhatIsReplaced) {
  const OverwriteCase& c = GetParam();
  PutOldFiles();
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  for (const Answer& answer : c.answers) {
    HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(L"Confirm File Replace", WindowCaption(question));
    EXPECT_EQ(10, FocusedControl(question)) << "the default button has the focus";
    if (answer.tick) Click(question, 12);
    EXPECT_EQ(answer.tick, ControlChecked(question, 12));
    Click(question, answer.button);
    ASSERT_TRUE(WaitUntilGone(question));
  }
  EXPECT_EQ(0u, CloseFinalPage());
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ(c.results, DialogResults(log, "dlgoverwrite"));
  EXPECT_EQ(c.first ? "first\r\n" : "old first", ReadText(s.dest + L"\\first.txt"));
  EXPECT_EQ(c.part01 ? "file 01\r\n" : "old part", ReadText(s.dest + L"\\sub\\part01.txt"));
  EXPECT_EQ(c.last ? "last\r\n" : "old last", ReadText(s.dest + L"\\zlast.txt"));
  EXPECT_EQ("file 02\r\n", ReadText(s.dest + L"\\sub\\part02.txt")) << "files without conflict";
  EXPECT_EQ(c.total, LastValue(log, "TOTALEXTFILE"));
}

const Answer kYes = {false, 10};
const Answer kNo = {false, 11};
const Answer kYesToAll = {true, 10};
const Answer kNoToAll = {true, 11};

INSTANTIATE_TEST_SUITE_P(
    Conflicts, OverwriteTest,
    ::testing::Values(
        OverwriteCase{"yes_each_time", {kYes, kYes, kYes}, {5, 5, 5}, true, true, true, "27"},
        OverwriteCase{"no_each_time", {kNo, kNo, kNo}, {6, 6, 6}, false, false, false, "24"},
        OverwriteCase{"mixed", {kYes, kNo, kYes}, {5, 6, 5}, true, false, true, "26"},
        OverwriteCase{"yes_for_all", {kYesToAll}, {7}, true, true, true, "27"},
        OverwriteCase{"no_for_all", {kNoToAll}, {8}, false, false, false, "24"},
        OverwriteCase{"no_then_yes_for_all", {kNo, kYesToAll}, {6, 7}, false, true, true, "26"}),
    [](const ::testing::TestParamInfo<OverwriteCase>& info) { return std::string(info.param.name); });

TEST_F(OverwriteTest, StopAskedNoStaysAndYesEndsWithTwo) {
  PutOldFiles();
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  EXPECT_EQ(L"S&top", ControlText(question, 0));
  Click(question, 0);
  EXPECT_EQ(L"Do you really want to abort the extraction process?", AnswerNextBox(IDNO));
  EXPECT_TRUE(IsWindowVisible(question)) << "Stop answered No closed the question";
  Click(question, 0);
  EXPECT_EQ(L"Do you really want to abort the extraction process?", AnswerNextBox(IDYES));
  EXPECT_EQ(2u, FinishPackage(&s.driver, 20000));
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ((std::vector<int>{2}), DialogResults(log, "dlgoverwrite"));
  EXPECT_EQ("old first", ReadText(s.dest + L"\\first.txt"));
  EXPECT_FALSE(Exists(s.dest + L"\\sub\\part02.txt")) << "the extraction went on after Stop";
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

TEST_F(OverwriteTest, TheCloseButtonStopsWithoutAQuestion) {
  PutOldFiles();
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  ASSERT_TRUE(ClickCloseButton(question));
  EXPECT_TRUE(WaitUntilGone(question));
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 5000)) << "something was asked";
  EXPECT_EQ(2u, FinishPackage(&s.driver, 20000));
  EXPECT_EQ((std::vector<int>{2}), DialogResults(RelayLog(s), "dlgoverwrite"));
  EXPECT_EQ("old first", ReadText(s.dest + L"\\first.txt"));
}

// The question's texts: the existing file's and the new one's name, size and local time. The
// tests run in a time zone three hours east of UTC without daylight saving, so that the local
// times are known.
TEST_F(OverwriteTest, TheQuestionDescribesBothFiles) {
  CreateDirectoryW(s.dest.c_str(), nullptr);
  std::wstring existing = s.dest + L"\\first.txt";
  ASSERT_TRUE(WriteTextFile(existing, std::string(1024, 'x')));
  HANDLE file = CreateFileW(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  SYSTEMTIME utc = {2025, 3, 5, 7, 14, 5, 0, 0};  // 7 March 2025, 14:05 UTC
  FILETIME time;
  SystemTimeToFileTime(&utc, &time);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  EXPECT_EQ(L"There is already a file with the same name in the destination folder",
            ControlText(question, 4));
  EXPECT_EQ(L"Would you like to replace the existing file", ControlText(question, 5));
  EXPECT_EQ(L"first.txt (1024 bytes), modified: 03/07/2025 17:05", ControlText(question, 6));
  EXPECT_EQ(L"Location: " + existing, ControlText(question, 7));
  EXPECT_EQ(L"with this one?", ControlText(question, 8));
  // The archive's first.txt: 7 bytes, written 2 January 2020 at 03:04:05 UTC.
  EXPECT_EQ(L"first.txt (7 bytes), modified: 01/02/2020 06:04", ControlText(question, 9));
  Click(question, 11);
  EXPECT_EQ(0u, CloseFinalPage());
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ(WideToUtf8(existing), LastValue(log, "CURFILE"));
  EXPECT_EQ("first.txt", LastValue(log, "CURFILENAME"));
}

// A file name with conversion specifications in it is shown as it is in both texts.
TEST_F(OverwriteTest, APercentSignInANameStaysLiteral) {
  CreateDirectoryW(s.dest.c_str(), nullptr);
  std::wstring existing = s.dest + L"\\50%d %s done.txt";
  ASSERT_TRUE(WriteTextFile(existing, "old"));
  ASSERT_TRUE(StartAndExtract(WizardData(L"percent.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  std::wstring before = ControlText(question, 6);
  std::wstring after = ControlText(question, 9);
  EXPECT_EQ(0u, before.find(L"50%d %s done.txt (3 bytes), modified: ")) << WideToUtf8(before);
  EXPECT_EQ(0u, after.find(L"50%d %s done.txt (9 bytes), modified: ")) << WideToUtf8(after);
  Click(question, 10);
  EXPECT_EQ(0u, CloseFinalPage());
  EXPECT_EQ("percent\r\n", ReadText(existing));
}

// A folder in the place of a file: the question comes (with the texts of no earlier conflict),
// and overwriting leads to the create prompt, since a folder cannot be opened as a file.
TEST_F(OverwriteTest, AFolderWhereAFileGoes) {
  CreateDirectoryW(s.dest.c_str(), nullptr);
  CreateDirectoryW((s.dest + L"\\first.txt").c_str(), nullptr);
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  Click(question, 10);
  std::wstring prompt = AnswerNextBox(IDCONTINUE);
  EXPECT_EQ(L"Cannot open file for writing: " + s.dest + L"\\first.txt", prompt);
  EXPECT_EQ(0u, CloseFinalPage());
  EXPECT_TRUE(GetFileAttributesW((s.dest + L"\\first.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ("last\r\n", ReadText(s.dest + L"\\zlast.txt"));
}

// The file-property list: a listed file whose condition expands to "0" is neither written nor
// counted.
TEST_F(ExtractionTest, APropertyConditionOfZeroSkipsTheFile) {
  ASSERT_TRUE(StartAndExtract(WizardData(L"props.exe"), {"set init KVTESTSKIP=0"}, s.dest));
  EXPECT_EQ(0u, CloseFinalPage());
  EXPECT_FALSE(Exists(s.dest + L"\\sub\\skipped.txt"));
  EXPECT_TRUE(Exists(s.dest + L"\\sub\\part24.txt"));
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ("26", LastValue(log, "TOTALEXTFILE"));
  bool asked = false;
  for (const std::string& line : log) {
    if (line == "checkfile " + WideToUtf8(s.dest) + "\\sub\\skipped.txt 0") asked = true;
  }
  EXPECT_TRUE(asked) << "the property check did not answer 0 for the listed file";
}

// A file held open without sharing by another process: the create prompt with the path, and
// what each answer does.
struct PromptCase {
  const char* name;
  int answer;        // IDTRYAGAIN (after the file is released), IDCONTINUE or IDCANCEL
  DWORD exitCode;
  bool written;
};

void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.name; }

class CreatePromptTest : public ExtractionTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(CreatePromptTest, AnswersToALockedFile) {
  const PromptCase& c = GetParam();
  CreateDirectoryW(s.dest.c_str(), nullptr);
  std::wstring locked = s.dest + L"\\first.txt";
  ASSERT_TRUE(WriteTextFile(locked, "held"));
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  ASSERT_TRUE(StartAndExtract(WizardData(L"relay.exe"), {}, s.dest));
  HWND question = WaitForWindow(&s.driver, WindowKind::kOverwrite);
  ASSERT_NE(nullptr, question);
  Click(question, 10);
  HWND prompt = WaitForWindow(&s.driver, WindowKind::kMessageBox);
  ASSERT_NE(nullptr, prompt);
  BoxContent content = ReadBox(prompt);
  EXPECT_EQ(L"Cannot open file for writing: " + locked, content.text);
  EXPECT_EQ(L"Relay Package", content.caption);
  EXPECT_EQ((std::vector<int>{IDCANCEL, IDTRYAGAIN, IDCONTINUE}), content.buttons);
  if (c.answer == IDTRYAGAIN) {
    // Asked again while the file is still held, then once more after it is released.
    AnswerBox(prompt, IDTRYAGAIN);
    prompt = WaitForWindow(&s.driver, WindowKind::kMessageBox);
    ASSERT_NE(nullptr, prompt) << "Try Again did not ask again";
    CloseHandle(holder);
    holder = INVALID_HANDLE_VALUE;
  }
  AnswerBox(prompt, c.answer);
  WaitUntilGone(prompt);
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
  if (c.answer == IDCANCEL) {
    EXPECT_EQ(L"Error while unpacking archive", AnswerNextBox(IDOK));
    EXPECT_EQ(L"An unexpected error occurred while unpacking file(s). Error code: 11",
              AnswerNextBox(IDOK));
    EXPECT_EQ(c.exitCode, FinishPackage(&s.driver, 20000));
    EXPECT_EQ("11", LastValue(RelayLog(s), "KVEXTERR"));
  } else {
    EXPECT_EQ(c.exitCode, CloseFinalPage());
  }
  EXPECT_EQ(c.written ? "first\r\n" : "held", ReadText(locked));
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CreatePromptTest,
    ::testing::Values(PromptCase{"try_again_after_release", IDTRYAGAIN, 0, true},
                      PromptCase{"continue_skips_the_file", IDCONTINUE, 0, false},
                      PromptCase{"cancel_ends_with_one", IDCANCEL, 1, false}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

// A disk that fills up during a write: the write error with the path, then the archive error,
// then the wizard's, exit 1; the partial file is closed.
TEST_F(ExtractionTest, AFullDisk) {
  std::wstring skip = WizardData(L"fulldisk.skip");
  if (GetFileAttributesW(skip.c_str()) != INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small file system for this test: " << ReadText(skip);
  }
  std::wstring disk = WizardData(L"fulldisk") + L"\\" + Utf8ToWide(std::to_string(GetCurrentProcessId()));
  RemoveTree(disk);
  ASSERT_TRUE(StartAndExtract(WizardData(L"tree.exe"), {}, disk));
  std::wstring written = AnswerNextBox(IDOK);
  EXPECT_EQ(L"Cannot write data to file: " + disk + L"\\Docs\\data.bin", written);
  EXPECT_EQ(L"Error while unpacking archive", AnswerNextBox(IDOK));
  EXPECT_EQ(L"An unexpected error occurred while unpacking file(s). Error code: 11",
            AnswerNextBox(IDOK));
  EXPECT_EQ(1u, FinishPackage(&s.driver, 20000));
  // Closed: it can be opened without sharing and deleted.
  HANDLE partial = CreateFileW((disk + L"\\Docs\\data.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, partial) << "the partial file is missing or still open";
  if (partial != INVALID_HANDLE_VALUE) CloseHandle(partial);
  RemoveTree(disk);
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

TEST_F(ExtractionTest, AFlippedByteGivesTheCrcError) {
  ASSERT_TRUE(StartAndExtract(WizardData(L"crc.exe"), {}, s.dest));
  EXPECT_EQ(L"CRC error: corrupted archive", AnswerNextBox(IDOK));
  EXPECT_EQ(L"An unexpected error occurred while unpacking file(s). Error code: 3",
            AnswerNextBox(IDOK));
  EXPECT_EQ(1u, FinishPackage(&s.driver, 20000));
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

// Entry names that would leave the destination or that Windows would not create as written:
// refused with the name, nothing of the entry written, the extraction stopped with 11. Each
// archive is made here, behind the package's own stub and runtime archive.
struct HostileCase {
  const char* label;
  const wchar_t* name;
  std::vector<std::wstring> outside;  // places that must not exist afterwards, besides x one
                                      // and two levels above the destination
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.label; }

class HostileNameTest : public ExtractionTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileNameTest, IsRefusedAndNothingLeavesTheDestination) {
  const HostileCase& c = GetParam();
  std::vector<uint8_t> stub, runtime;
  ASSERT_TRUE(ReadWholeFile(WizardData(L"stub.exe"), &stub));
  ASSERT_TRUE(ReadWholeFile(WizardData(L"runtime.7z"), &runtime));
  const std::string body = "escaped\r\n";
  PackageSpec spec;
  spec.stub = stub;
  spec.runtime = runtime;
  spec.payload = BuildCopyArchive({{L"ok.txt", {'o', 'k'}, false},
                                   {c.name, std::vector<uint8_t>(body.begin(), body.end()), false}});
  BuiltPackage package;
  ASSERT_TRUE(BuildPackageImage(spec, &package));
  std::wstring image = s.root + L"\\hostile.exe";
  ASSERT_TRUE(WriteWholeFile(image, package.bytes));
  // The start directory lies beside the destination, so a name relative to it is caught too.
  std::wstring start = s.root + L"\\start";
  CreateDirectoryW(start.c_str(), nullptr);
  WriteRelayConfig(s, {});
  ASSERT_TRUE(StartSession(&s, image, start));
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kWelcome));
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kReadme));
  HWND page = WaitForWindow(&s.driver, WindowKind::kDestination);
  ASSERT_NE(nullptr, page);
  ASSERT_TRUE(ReplaceEditText(page, 20, s.dest));
  Click(page, 1);
  EXPECT_EQ(std::wstring(L"This package holds a file name that cannot be extracted safely: ") + c.name,
            AnswerNextBox(IDOK));
  EXPECT_EQ(L"Error while unpacking archive", AnswerNextBox(IDOK));
  EXPECT_EQ(L"An unexpected error occurred while unpacking file(s). Error code: 11",
            AnswerNextBox(IDOK));
  EXPECT_EQ(1u, FinishPackage(&s.driver, 20000));
  EXPECT_EQ("ok", ReadText(s.dest + L"\\ok.txt")) << "the entry before it";
  std::vector<TreeEntry> tree = ReadTree(s.dest);
  ASSERT_EQ(1u, tree.size()) << "more than ok.txt in the destination";
  std::vector<std::wstring> outside = c.outside;
  outside.push_back(s.root + L"\\x");
  outside.push_back(std::wstring(kTestTmpDir) + L"\\x");
  for (const std::wstring& place : outside) EXPECT_FALSE(Exists(place)) << WideToUtf8(place);
  EXPECT_TRUE(ReadTree(start).empty()) << "something was written into the start directory";
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNameTest,
    ::testing::Values(
        HostileCase{"parent", L"..\\x", {}},
        HostileCase{"parent_below", L"a\\..\\..\\x", {}},
        HostileCase{"parent_with_slashes", L"a/../../x", {}},
        HostileCase{"drive_relative", L"C:x", {L"C:x", L"C:\\x"}},
        HostileCase{"drive_absolute", L"C:\\x", {L"C:\\x"}},
        HostileCase{"rooted", L"\\x", {L"Z:\\x", L"C:\\x"}},
        HostileCase{"unc", L"\\\\server\\share\\x", {}},
        HostileCase{"stream", L"a:b", {}},
        HostileCase{"device", L"CON", {}},
        HostileCase{"device_with_extension", L"nul.txt", {}}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.label); });

}  // namespace
