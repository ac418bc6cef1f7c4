// The wizard as a person meets it: packages built by kvpack, started in their own process and
// driven through their real pages with the mouse and the keyboard; the files on disk, the exit
// code, the relay runtime's log of the variables and an empty temporary folder checked after.
#include "window_finder.h"
#include "wizard_session.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kStillActive = 0xDEAD;

class WizardTest : public SessionTest {
 protected:
  // Starts the relay package with the instructions given.
  void StartRelay(const std::vector<std::string>& instructions = {}, const std::wstring& startDir = L"") {
    WriteRelayConfig(s, instructions);
    ASSERT_TRUE(StartSession(&s, WizardData(L"relay.exe"), startDir));
  }
  // From the welcome page to the destination page.
  HWND ToDestination() {
    if (!NextFrom(&s.driver, WindowKind::kWelcome)) return nullptr;
    if (!NextFrom(&s.driver, WindowKind::kReadme)) return nullptr;
    return WaitForWindow(&s.driver, WindowKind::kDestination);
  }
  // Types folder on the destination page and goes on; the final page, or null.
  HWND InstallTo(HWND destination, const std::wstring& folder) {
    if (!ReplaceEditText(destination, 20, folder)) return nullptr;
    Click(destination, 1);
    return WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
  }
  DWORD Finish() { return FinishPackage(&s.driver, 20000); }
  // Starts a slowed-down extraction into the session's destination and clicks Cancel in the
  // progress box; the cancel question, or null.
  HWND CancelDuringTheExtraction(HWND* progress) {
    StartRelay({"slow 150"});
    HWND destination = ToDestination();
    if (!destination || !ReplaceEditText(destination, 20, s.dest)) return nullptr;
    Click(destination, 1);
    *progress = WaitForWindow(&s.driver, WindowKind::kProgress);
    if (!*progress) return nullptr;
    Click(*progress, 2);
    return WaitForWindow(&s.driver, WindowKind::kMessageBox);
  }
};

std::wstring DocumentsFolder() {
  wchar_t path[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

TEST_F(WizardTest, EveryDefaultInstallsIntoTheDocumentsFolder) {
  std::wstring documents = DocumentsFolder();
  ASSERT_FALSE(documents.empty());
  std::wstring reference = WizardData(L"tree_reference");
  std::vector<TreeEntry> payload = ReadTree(reference);
  ASSERT_FALSE(payload.empty());
  for (const TreeEntry& entry : payload) {
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((documents + L"\\" + entry.path).c_str()))
        << "left from an earlier run: " << WideToUtf8(entry.path);
  }
  ASSERT_TRUE(StartSession(&s, WizardData(L"tree.exe")));

  HWND welcome = WaitForWindow(&s.driver, WindowKind::kWelcome);
  ASSERT_NE(nullptr, welcome);
  EXPECT_EQ(L"Tree Package", WindowCaption(welcome));
  EXPECT_FALSE(ControlEnabled(welcome, 3)) << "Back on the first page";
  EXPECT_EQ(L"&Next >", ControlText(welcome, 1));
  Click(welcome, 1);

  HWND readme = WaitForWindow(&s.driver, WindowKind::kReadme);
  ASSERT_NE(nullptr, readme);
  EXPECT_TRUE(ControlEnabled(readme, 3));
  EXPECT_EQ(20, FocusedControl(readme)) << "the document has the focus";
  EXPECT_EQ(L"Readme Information", ControlText(readme, 10));
  EXPECT_EQ(L"Tree Setup", ControlText(readme, 12));
  Click(readme, 1);

  HWND destination = WaitForWindow(&s.driver, WindowKind::kDestination);
  ASSERT_NE(nullptr, destination);
  EXPECT_EQ(documents, ControlText(destination, 20));
  EXPECT_EQ(20, FocusedControl(destination));
  EXPECT_TRUE(ControlEnabled(destination, 3));
  EXPECT_TRUE(ControlEnabled(destination, 21));
  Click(destination, 1);

  HWND final = WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
  ASSERT_NE(nullptr, final);
  EXPECT_FALSE(ControlEnabled(final, 3)) << "Back on the final page";
  EXPECT_FALSE(ControlVisible(final, 2)) << "Cancel on the final page";
  EXPECT_FALSE(ControlVisible(final, 6));
  EXPECT_FALSE(ControlVisible(final, 7));
  EXPECT_EQ(L"&Close", ControlText(final, 1));
  Click(final, 1);
  EXPECT_EQ(0u, Finish());

  // Every file of the payload arrived as 7zz extracts it.
  for (const TreeEntry& entry : payload) {
    if (entry.folder) continue;
    std::wstring path = documents + L"\\" + entry.path;
    DWORD attributes = GetFileAttributesW(path.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << "missing " << WideToUtf8(entry.path);
  }
  std::wstring installed = s.root + L"\\installed";
  CreateDirectoryW(installed.c_str(), nullptr);
  for (const TreeEntry& entry : payload) {
    if (entry.path.find(L'\\') != std::wstring::npos) continue;
    MoveFileW((documents + L"\\" + entry.path).c_str(), (installed + L"\\" + entry.path).c_str());
  }
  std::vector<std::wstring> differences = CompareTrees(reference, installed, true);
  for (const std::wstring& difference : differences) ADD_FAILURE() << WideToUtf8(difference);
  EXPECT_TRUE(LeftRuntimeFolders(s).empty()) << "runtime folder left in the temporary folder";
}

TEST_F(WizardTest, BackReturnsAndStoresThePageVariablesAgain) {
  StartRelay();
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kWelcome));
  HWND readme = WaitForWindow(&s.driver, WindowKind::kReadme);
  ASSERT_NE(nullptr, readme);
  Click(readme, 3);
  HWND welcome = WaitForWindow(&s.driver, WindowKind::kWelcome);
  ASSERT_NE(nullptr, welcome) << "Back on the readme page";
  EXPECT_FALSE(ControlEnabled(welcome, 3)) << "Back on the welcome page after returning";
  Click(welcome, 1);
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kReadme));
  HWND destination = WaitForWindow(&s.driver, WindowKind::kDestination);
  ASSERT_NE(nullptr, destination);
  Click(destination, 3);
  readme = WaitForWindow(&s.driver, WindowKind::kReadme);
  ASSERT_NE(nullptr, readme) << "Back on the destination page";
  EXPECT_TRUE(ControlEnabled(readme, 3));
  Click(readme, 1);
  destination = WaitForWindow(&s.driver, WindowKind::kDestination);
  ASSERT_NE(nullptr, destination);
  HWND final = InstallTo(destination, s.dest);
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());

  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ(3u, Values(log, "GKVDLGREADTXT").size()) << "readme variables, once per showing";
  EXPECT_EQ(2u, Values(log, "KVWELCRTF").size()) << "welcome variables, once per showing";
  EXPECT_EQ(3u, Values(log, "DLGSELPATH").size()) << "once per showing and once on Next";
  EXPECT_EQ((std::vector<int>{1, 1}), DialogResults(log, "dlgwizwelc"));
  EXPECT_EQ((std::vector<int>{3, 1, 1}), DialogResults(log, "dlgwizreadme"));
  EXPECT_EQ((std::vector<int>{3, 1}), DialogResults(log, "dlgwizseldir"));
  EXPECT_EQ(WideToUtf8(s.dest), LastValue(log, "DLGSELPATH"));
  EXPECT_EQ("%DLGSELPATH%", LastValue(log, "DESTPATH"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((s.dest + L"\\first.txt").c_str()));
}

// Leaving one of the first three pages by Cancel or by its close button ends the run with 2 and
// asks nothing.
struct LeaveCase {
  const char* name;
  int pagesBefore;  // Next clicks before the page to leave
  bool closeButton;
};

void PrintTo(const LeaveCase& c, std::ostream* os) { *os << c.name; }

class LeaveTest : public WizardTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveTest, EndsWithTwoWithoutAQuestion) {
  const LeaveCase& c = GetParam();
  StartRelay();
  const WindowKind kinds[] = {WindowKind::kWelcome, WindowKind::kReadme, WindowKind::kDestination};
  for (int i = 0; i < c.pagesBefore; ++i) ASSERT_NE(nullptr, NextFrom(&s.driver, kinds[i]));
  HWND page = WaitForWindow(&s.driver, kinds[c.pagesBefore]);
  ASSERT_NE(nullptr, page);
  if (c.closeButton) {
    ASSERT_TRUE(ClickCloseButton(page));
  } else {
    Click(page, 2);
  }
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000)) << "something was asked";
  EXPECT_EQ(2u, Finish());
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, LeaveTest,
    ::testing::Values(LeaveCase{"welcome_cancel", 0, false}, LeaveCase{"welcome_close", 0, true},
                      LeaveCase{"readme_cancel", 1, false}, LeaveCase{"readme_close", 1, true},
                      LeaveCase{"destination_cancel", 2, false},
                      LeaveCase{"destination_close", 2, true}),
    [](const ::testing::TestParamInfo<LeaveCase>& info) { return std::string(info.param.name); });

// The welcome page takes no answer of its own from Return; the key presses the button that has
// the focus, which is Next when the page opens.
TEST_F(WizardTest, ReturnOnTheWelcomePagePressesTheFocusedButton) {
  StartRelay();
  HWND welcome = WaitForWindow(&s.driver, WindowKind::kWelcome);
  ASSERT_NE(nullptr, welcome);
  EXPECT_EQ(1, FocusedControl(welcome));
  PressKey(welcome, VK_RETURN);
  HWND readme = WaitForWindow(&s.driver, WindowKind::kReadme);
  ASSERT_NE(nullptr, readme);
  Click(readme, 2);
  EXPECT_EQ(2u, Finish());
  EXPECT_EQ((std::vector<int>{1}), DialogResults(RelayLog(s), "dlgwizwelc"));
}

TEST_F(WizardTest, ReturnOnTheDestinationPageTakesTheFolder) {
  StartRelay();
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  ASSERT_TRUE(ReplaceEditText(destination, 20, s.dest));
  PressKey(destination, VK_RETURN);
  HWND final = WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ((std::vector<int>{1}), DialogResults(log, "dlgwizseldir"));
  EXPECT_EQ(WideToUtf8(s.dest), LastValue(log, "DLGSELPATH"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((s.dest + L"\\sub\\part01.txt").c_str()));
}

TEST_F(WizardTest, AnEmptyFolderIsRefusedAndThePageStays) {
  StartRelay();
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  for (bool byReturn : {false, true}) {
    ASSERT_TRUE(ReplaceEditText(destination, 20, L""));
    if (byReturn) {
      PressKey(destination, VK_RETURN);
    } else {
      Click(destination, 1);
    }
    HWND box = WaitForWindow(&s.driver, WindowKind::kMessageBox);
    ASSERT_NE(nullptr, box) << (byReturn ? "Return" : "Next");
    // The box has the system's default caption ("Error" on Windows; Wine differs), so only its
    // text is checked.
    EXPECT_EQ(L"You must specify a destination folder before continuing!", ReadBox(box).text);
    AnswerBox(box, IDOK);
    ASSERT_TRUE(WaitUntilGone(box));
    EXPECT_TRUE(IsWindowVisible(destination));
  }
  Click(destination, 2);
  EXPECT_EQ(2u, Finish());
  EXPECT_EQ((std::vector<std::string>{"%DESTPATH%"}), Values(RelayLog(s), "DLGSELPATH"))
      << "nothing stored but the page's initial value";
}

// A folder typed without a drive or share would be taken relative to the runtime folder and
// deleted with it: it lands below the start directory instead, and stays after the run.
TEST_F(WizardTest, ARelativeFolderLandsBelowTheStartDirectory) {
  std::wstring start = s.root + L"\\start";
  CreateDirectoryW(start.c_str(), nullptr);
  StartRelay({}, start);
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  HWND final = InstallTo(destination, L"MyApp");
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());
  EXPECT_EQ(WideToUtf8(start + L"\\MyApp"), LastValue(RelayLog(s), "DLGSELPATH"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((start + L"\\MyApp\\zlast.txt").c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((start + L"\\MyApp\\sub\\part24.txt").c_str()));
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

TEST_F(WizardTest, AFixedDestinationDisablesTheFieldAndBrowse) {
  StartRelay({"set init KVDISABDIR=1"});
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  EXPECT_FALSE(ControlEnabled(destination, 20));
  EXPECT_FALSE(ControlEnabled(destination, 21));
  EXPECT_TRUE(ControlEnabled(destination, 1));
  std::wstring shown = ControlText(destination, 20);
  Click(destination, 1);
  HWND final = WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());
  EXPECT_EQ(WideToUtf8(shown), LastValue(RelayLog(s), "DLGSELPATH")) << "Next takes the field's text";
  // The documents folder received the payload: take it away again.
  RemoveTree(shown + L"\\first.txt");
  RemoveTree(shown + L"\\zlast.txt");
  RemoveTree(shown + L"\\sub");
}

TEST_F(WizardTest, BrowseOpensThePickerOnTheFieldsFolder) {
  // A folder at the top of the bench's own drive C:; Wine's picker does not walk down to a
  // deep one (it stops at the build folder on Z:).
  std::wstring chosen = L"C:\\kv picker test";
  RemoveTree(chosen);
  CreateDirectoryW(chosen.c_str(), nullptr);
  StartRelay();
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  // Cancelled, the picker leaves the field as it was.
  ASSERT_TRUE(ReplaceEditText(destination, 20, L"C:\\typed by hand"));
  Click(destination, 21);
  HWND picker = WaitForWindow(&s.driver, WindowKind::kFolderPicker);
  ASSERT_NE(nullptr, picker);
  EXPECT_NE(std::wstring::npos, ReadBox(picker).text.find(L"Please select the destination folder:"));
  AnswerBox(picker, IDCANCEL);
  ASSERT_TRUE(WaitUntilGone(picker));
  EXPECT_EQ(L"C:\\typed by hand", ControlText(destination, 20));
  // Confirmed at once, it gives back the folder it opened on: the one in the field.
  ASSERT_TRUE(ReplaceEditText(destination, 20, chosen));
  Click(destination, 21);
  picker = WaitForWindow(&s.driver, WindowKind::kFolderPicker);
  ASSERT_NE(nullptr, picker);
  AnswerBox(picker, IDOK);
  ASSERT_TRUE(WaitUntilGone(picker));
  EXPECT_EQ(0, _wcsicmp(chosen.c_str(), ControlText(destination, 20).c_str()))
      << WideToUtf8(ControlText(destination, 20));
  Click(destination, 2);
  EXPECT_EQ(2u, Finish());
  RemoveTree(chosen);
}

// The run-task boxes of the final page follow KVRUNTASK1V/2V (shown) and 1S/2S (ticked); on
// leaving, their states are stored, hidden or not.
struct RunTaskCase {
  const char* name;
  std::vector<std::string> instructions;
  bool visible1, ticked1, visible2, ticked2;
  std::vector<int> clicks;  // boxes clicked before Close
  const char* stored1;
  const char* stored2;
};

void PrintTo(const RunTaskCase& c, std::ostream* os) { *os << c.name; }

class RunTaskTest : public WizardTest, public ::testing::WithParamInterface<RunTaskCase> {};

TEST_P(RunTaskTest, BoxesFollowTheVariables) {
  const RunTaskCase& c = GetParam();
  std::vector<std::string> instructions = c.instructions;
  instructions.push_back("set init KVRUNTASK1C=Start the first task");
  instructions.push_back("set init KVRUNTASK2C=Start the second task");
  StartRelay(instructions);
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  HWND final = InstallTo(destination, s.dest);
  ASSERT_NE(nullptr, final);
  EXPECT_EQ(c.visible1, ControlVisible(final, 6));
  EXPECT_EQ(c.visible2, ControlVisible(final, 7));
  EXPECT_EQ(c.ticked1, ControlChecked(final, 6));
  EXPECT_EQ(c.ticked2, ControlChecked(final, 7));
  if (c.visible1) {
    EXPECT_EQ(L"Start the first task", ControlText(final, 6));
  }
  EXPECT_FALSE(ControlVisible(final, 2));
  for (int id : c.clicks) Click(final, id);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());
  std::vector<std::string> log = RelayLog(s);
  EXPECT_EQ(c.stored1, LastValue(log, "KVRUNTASK1S"));
  EXPECT_EQ(c.stored2, LastValue(log, "KVRUNTASK2S"));
}

INSTANTIATE_TEST_SUITE_P(
    FinalPage, RunTaskTest,
    ::testing::Values(
        RunTaskCase{"none_set", {}, false, false, false, false, {}, "0", "0"},
        RunTaskCase{"first_shown_ticked_then_unticked",
                    {"set init KVRUNTASK1V=1", "set init KVRUNTASK1S=1"}, true, true, false, false,
                    {6}, "0", "0"},
        RunTaskCase{"both_shown_second_ticked_by_the_user",
                    {"set init KVRUNTASK1V=1", "set init KVRUNTASK2V=1"}, true, false, true, false,
                    {7}, "0", "1"},
        RunTaskCase{"hidden_but_ticked_is_stored",
                    {"set init KVRUNTASK2S=1"}, false, false, false, true, {}, "0", "1"},
        RunTaskCase{"flags_that_are_not_exactly_1",
                    {"set init KVRUNTASK1V=1 ", "set init KVRUNTASK2V=yes", "set init KVRUNTASK1S=11"},
                    false, false, false, false, {}, "0", "0"}),
    [](const ::testing::TestParamInfo<RunTaskCase>& info) { return std::string(info.param.name); });

// Cancel in the progress box asks first; No lets the extraction go on, Yes ends it after the
// current file with 2, and the files written so far stay.
TEST_F(WizardTest, CancelInTheProgressBoxAnsweredNoGoesOn) {
  HWND progress = nullptr;
  HWND box = CancelDuringTheExtraction(&progress);
  ASSERT_NE(nullptr, box);
  EXPECT_FALSE(ControlEnabled(progress, 1));
  EXPECT_FALSE(ControlEnabled(progress, 3));
  EXPECT_TRUE(ControlEnabled(progress, 2));
  EXPECT_EQ(L"Unpacking Files", ControlText(progress, 10));
  BoxContent content = ReadBox(box);
  EXPECT_EQ(L"Do you really want to abort the extraction process?", content.text);
  EXPECT_EQ(L"Relay Package", content.caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), content.buttons);
  AnswerBox(box, IDNO);
  HWND final = WaitForWindow(&s.driver, WindowKind::kFinal, 60000);
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(0u, Finish());
  EXPECT_EQ("27", LastValue(RelayLog(s), "TOTALEXTFILE"));
}

TEST_F(WizardTest, CancelInTheProgressBoxAnsweredYesEndsWithTwo) {
  HWND progress = nullptr;
  HWND box = CancelDuringTheExtraction(&progress);
  ASSERT_NE(nullptr, box);
  AnswerBox(box, IDYES);
  EXPECT_TRUE(WaitUntilGone(progress));
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000)) << "no page after a cancel";
  EXPECT_EQ(2u, Finish());
  std::vector<std::string> log = RelayLog(s);
  int counted = atoi(LastValue(log, "TOTALEXTFILE").c_str());
  EXPECT_GT(counted, 0);
  EXPECT_LT(counted, 27);
  // The files written before the cancel stay. The count is of files released for writing: when
  // the cancel arrives between a file's release and its creation, that file counts but is not
  // written.
  int onDisk = 0;
  for (const TreeEntry& entry : ReadTree(s.dest)) onDisk += entry.folder ? 0 : 1;
  EXPECT_GE(counted, onDisk);
  EXPECT_LE(counted, onDisk + 1);
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

// The exit code is EXITCODE's text read as a decimal number when the final page is left.
struct ExitCase {
  const char* name;
  const char* text;
  DWORD code;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class ExitCodeTest : public WizardTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodeTest, ComesFromExitcode) {
  const ExitCase& c = GetParam();
  StartRelay({std::string("set dlgwizfinal EXITCODE=") + c.text});
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  HWND final = InstallTo(destination, s.dest);
  ASSERT_NE(nullptr, final);
  Click(final, 1);
  EXPECT_EQ(c.code, Finish());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ExitCodeTest,
    ::testing::Values(ExitCase{"zero", "0", 0}, ExitCase{"twelve", "12", 12},
                      ExitCase{"leading_blank", " 7", 7},
                      ExitCase{"negative", "-2", static_cast<DWORD>(-2)},
                      ExitCase{"empty", "", 0}, ExitCase{"trailing_letter", "12a", static_cast<DWORD>(-1)},
                      ExitCase{"word", "abc", static_cast<DWORD>(-1)},
                      ExitCase{"too_large_clamps", "99999999999", 0x7FFFFFFF},
                      ExitCase{"too_small_clamps", "-99999999999", 0x80000000}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(WizardTest, AnIncompletePackageSaysSoBeforeAnyPage) {
  ASSERT_TRUE(StartSession(&s, WizardData(L"off_by_one.exe")));
  HWND window = nullptr;
  ASSERT_EQ(WindowKind::kMessageBox, WaitForAnyWindow(&s.driver, 20000, &window));
  BoxContent content = ReadBox(window);
  EXPECT_EQ(L"Package integrity check failed: the package has been truncated or corrupted, and it "
            L"will close. Please try to obtain a valid copy.",
            content.text);
  EXPECT_EQ(L"Relay Package", content.caption);
  AnswerBox(window, IDOK);
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000));
  EXPECT_EQ(3u, Finish());
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

TEST_F(WizardTest, APageThatCannotBeShownEndsWithThree) {
  ASSERT_TRUE(StartSession(&s, WizardData(L"missing_page.exe")));
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kWelcome));
  HWND box = WaitForWindow(&s.driver, WindowKind::kMessageBox);
  ASSERT_NE(nullptr, box);
  EXPECT_NE(std::wstring::npos, ReadBox(box).text.find(L"dlgwizreadme")) << WideToUtf8(ReadBox(box).text);
  AnswerBox(box, IDOK);
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000));
  EXPECT_EQ(3u, Finish());
  EXPECT_TRUE(LeftRuntimeFolders(s).empty());
}

// An exception from a page callback reaches the guard around the wizard: its message, then the
// whole clean-up, exit code 0.
TEST_F(WizardTest, AnExceptionInAPageEndsAtTheGuard) {
  StartRelay({"raise dlgwizreadme 0"});
  ASSERT_NE(nullptr, NextFrom(&s.driver, WindowKind::kWelcome));
  HWND box = WaitForWindow(&s.driver, WindowKind::kMessageBox);
  ASSERT_NE(nullptr, box);
  BoxContent content = ReadBox(box);
  EXPECT_EQ(L"Unexpected error in script: code e0524c01.\nPackage execution aborted.", content.text);
  EXPECT_EQ(L"Relay Package", content.caption);
  AnswerBox(box, IDOK);
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000)) << "a page stayed open";
  EXPECT_EQ(0u, Finish());
  EXPECT_TRUE(LeftRuntimeFolders(s).empty()) << "the runtime folder was not deleted";
}

// The same from the overwrite question, while the progress box is open on its own thread: the
// box is closed too, and the clean-up is complete.
TEST_F(WizardTest, AnExceptionDuringTheExtractionEndsAtTheGuard) {
  CreateDirectoryW(s.dest.c_str(), nullptr);
  ASSERT_TRUE(WriteTextFile(s.dest + L"\\first.txt", "old\r\n"));
  StartRelay({"raise dlgoverwrite 0"});
  HWND destination = ToDestination();
  ASSERT_NE(nullptr, destination);
  ASSERT_TRUE(ReplaceEditText(destination, 20, s.dest));
  Click(destination, 1);
  HWND box = WaitForWindow(&s.driver, WindowKind::kMessageBox);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"Unexpected error in script: code e0524c01.\nPackage execution aborted.",
            ReadBox(box).text);
  AnswerBox(box, IDOK);
  EXPECT_EQ(WindowKind::kNone, WaitForAnyWindow(&s.driver, 3000)) << "a window stayed open";
  EXPECT_EQ(0u, Finish());
  EXPECT_TRUE(LeftRuntimeFolders(s).empty()) << "the runtime folder was not deleted";
}

}  // namespace
