// What the runtime library does with a dialog it cannot show: a name the dialog file lacks, and
// damaged or missing data files. The user is told in a message box (which a watcher thread reads
// and answers), ShowDialogBox gives 4 without calling the page, and the undamaged dialogs of the
// same file still come up.
#include "runtime_loader.h"
#include "package_run.h"
#include "test_files.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Answers every message box of this process on a thread of its own while it lives.
class BoxWatcher {
 public:
  BoxWatcher() {
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
  }
  ~BoxWatcher() {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    DeleteCriticalSection(&lock_);
  }
  std::vector<SeenBox> Boxes() {
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> boxes = boxes_;
    LeaveCriticalSection(&lock_);
    return boxes;
  }

 private:
  static DWORD WINAPI Watch(LPVOID parameter) {
    BoxWatcher* self = static_cast<BoxWatcher*>(parameter);
    while (WaitForSingleObject(self->stop_, 50) == WAIT_TIMEOUT) {
      AnswerProcessBox(GetCurrentProcessId(), [self](const SeenBox& seen) {
        EnterCriticalSection(&self->lock_);
        self->boxes_.push_back(seen);
        LeaveCriticalSection(&self->lock_);
      });
    }
    return 0;
  }
  CRITICAL_SECTION lock_;
  HANDLE stop_;
  HANDLE thread_;
  std::vector<SeenBox> boxes_;
};

int pageCalls = 0;

int WINAPI CountingProc(int event, HWND dialog, LPARAM) {
  ++pageCalls;
  if (event == 0) PostMessageW(dialog, WM_CLOSE, 0, 0);
  return 0;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(MissingDialog, GivesFourAfterTellingTheUser) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showDialogBox) << "ZUDada.dll not loadable from bin\\runtime";
  pageCalls = 0;
  std::vector<SeenBox> boxes;
  {
    BoxWatcher watcher;
    EXPECT_EQ(kPageNotShown, runtime.showDialogBox(L"dlgnosuchpage", CountingProc));
    boxes = watcher.Boxes();
  }
  EXPECT_EQ(0, pageCalls) << "the page callback was called for a dialog that was not shown";
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"Dialog Test", boxes[0].caption);
  EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"dlgnosuchpage")) << Narrow(boxes[0].text);
}

// A copy of the shipped data set with one fault put in.
struct Damage {
  const char* name;
  const wchar_t* file;     // the data file to change
  const char* section;     // the edit is made after this section's "[name]" line ...
  const char* find;        // ... at the first occurrence of find
  const char* replace;     // replaced by this, or
  bool cut;                // the file cut off at find
  bool remove;             // the file removed altogether
  const wchar_t* dialog;   // the dialog that cannot be shown
  const wchar_t* named;    // what the message must name
  const wchar_t* healthy;  // a dialog of the same files that still comes up, or null
};

bool ApplyDamage(const Damage& damage, const std::wstring& folder) {
  std::wstring path = folder + damage.file;
  if (damage.remove) return DeleteFileW(path.c_str()) != FALSE;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  std::string text(bytes.begin(), bytes.end());
  size_t from = text.find(std::string("[") + damage.section + "]");
  if (from == std::string::npos) return false;
  size_t at = text.find(damage.find, from);
  if (at == std::string::npos) return false;
  if (damage.cut) {
    text.resize(at);
  } else {
    text.replace(at, strlen(damage.find), damage.replace);
  }
  return WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Copies every file of the built runtime folder into folder.
bool CopyRuntimeFolder(const std::wstring& folder) {
  std::wstring source = TheRuntime().folder;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((source + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ok &= CopyFileW((source + found.cFileName).c_str(), (folder + found.cFileName).c_str(),
                    FALSE) != FALSE;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return ok;
}

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedDataTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedDataTest, TheDialogConcernedFailsWithAMessage) {
  const Damage& damage = GetParam();
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showDialogBox) << "ZUDada.dll not loadable from bin\\runtime";
  std::wstring folder = MakeScratchDir();
  ASSERT_TRUE(CopyRuntimeFolder(folder));
  ASSERT_TRUE(ApplyDamage(damage, folder)) << "the fixture's edit does not apply";
  std::vector<SeenBox> boxes;
  int result = -1;
  int healthyResult = -1;
  {
    BoxWatcher watcher;
    ReadDataFilesFrom(folder);
    pageCalls = 0;
    result = runtime.showDialogBox(damage.dialog, CountingProc);
    EXPECT_EQ(0, pageCalls);
    boxes = watcher.Boxes();
    if (damage.healthy) healthyResult = runtime.showDialogBox(damage.healthy, CountingProc);
  }
  ReadDataFilesFrom(runtime.folder);
  RemoveScratchTree(folder);
  EXPECT_EQ(kPageNotShown, result);
  ASSERT_EQ(1u, boxes.size()) << "expected one message box about the fault";
  EXPECT_NE(std::wstring::npos, boxes[0].text.find(damage.named)) << Narrow(boxes[0].text);
  if (damage.healthy) {
    EXPECT_EQ(kPageCancel, healthyResult) << "the undamaged dialog failed too";
  }
}

INSTANTIATE_TEST_SUITE_P(
    DataFiles, DamagedDataTest,
    ::testing::Values(
        Damage{"no_end_dlg", L"kvdlg.dat", "dlgwizwelc", "#EndDlg\r\n", "", false, false,
               L"dlgwizwelc", L"kvdlg.dat", L"dlgoverwrite"},
        Damage{"bad_number", L"kvdlg.dat", "dlgwizseldir", "\r\n435\r\n", "\r\n4x5\r\n", false,
               false, L"dlgwizseldir", L"4x5", L"dlgwizwelc"},
        Damage{"unknown_keyword", L"kvdlg.dat", "dlgprogress", "#KV.Prog", "#KV.Gauge", false,
               false, L"dlgprogress", L"#KV.Gauge", L"dlgwizfinal"},
        Damage{"unclosed_container", L"kvdlg.dat", "dlgoverwrite", "#EndCont\r\n", "", false,
               false, L"dlgoverwrite", L"kvdlg.dat", L"dlgwizreadme"},
        Damage{"missing_lines", L"kvdlg.dat", "dlgwizfinal", "180\r\n350\r\n9\r\n", "", true,
               false, L"dlgwizfinal", L"kvdlg.dat", L"dlgwizwelc"},
        Damage{"no_dialog_file", L"kvdlg.dat", nullptr, nullptr, nullptr, false, true,
               L"dlgwizwelc", L"kvdlg.dat", nullptr},
        Damage{"no_language_file", L"kvlng.dat", nullptr, nullptr, nullptr, false, true,
               L"dlgwizwelc", L"kvlng.dat", nullptr},
        Damage{"language_header", L"kvlng.dat", "KVLang", "[KVLang]", "[Lang]", false, false,
               L"dlgwizseldir", L"kvlng.dat", nullptr}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

}  // namespace
