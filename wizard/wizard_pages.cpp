// The wizard's page callbacks, the cancel question and the folder picker.
#include "wizard/wizard_pages.h"

#include "common/sfx_state.h"
#include "runtime/zudada.h"
#include "wizard/wizard_text.h"

#include <shlobj.h>
#include <iterator>
#include <wchar.h>

namespace {

// Controls by their ids in the dialog definitions.
constexpr int kNextButton = 1;
constexpr int kCancelButton = 2;
constexpr int kBackButton = 3;
constexpr int kReadmeDocument = 20;
constexpr int kFolderEdit = 20;
constexpr int kBrowseButton = 21;
constexpr int kProgressBar = 20;
constexpr int kProgressLabel = 21;
constexpr int kRunTask1Box = 6;
constexpr int kRunTask2Box = 7;

// The destination field holds at most 519 characters; prompts and titles are expanded into
// buffers of the same size.
constexpr size_t kFieldUnits = 520;
constexpr int kFieldBytes = static_cast<int>(kFieldUnits * sizeof(wchar_t));
constexpr int kPathBufferBytes = static_cast<int>(kPathBufferUnits * sizeof(wchar_t));

HWND Control(HWND page, int id) { return KVDlgGetDlgItem(page, id); }

// A flag of the variable store is on only when its text is exactly "1".
bool FlagIsOn(const wchar_t* reference) {
  wchar_t value[4];
  EvalVarBuf(reference, value, static_cast<int>(sizeof(value)));
  return wcscmp(value, L"1") == 0;
}

void DisableBackOnFirstPage(HWND page) {
  if (sfx.pageCounter == 0) EnableWindow(Control(page, kBackButton), FALSE);
}

// Next, Cancel and Back of the welcome and readme pages.
int StepResult(LPARAM controlId) {
  switch (controlId) {
    case kNextButton: return kPageNext;
    case kCancelButton: return kPageCancel;
    case kBackButton: return kPageBack;
    default: return 0;
  }
}

// Tells the user why the destination page stays, with the language text of key.
void WarnAboutFolder(HWND page, const wchar_t* key) {
  wchar_t text[kFieldUnits];
  EvalVarBuf(key, text, kFieldBytes);
  MessageBoxW(page, text, nullptr, MB_ICONERROR);
}

// Next or Return on the destination page. A folder that is not a full path would be taken
// relative to the current directory, which during the wizard is the runtime folder, deleted at
// exit with everything in it: it is made full against the start directory instead.
int AcceptDestination(HWND page) {
  HWND edit = Control(page, kFolderEdit);
  wchar_t typed[kFieldUnits];
  typed[0] = L'\0';
  GetWindowTextW(edit, typed, static_cast<int>(std::size(typed)));
  if (typed[0] == L'\0') {
    WarnAboutFolder(page, L"#FolderWarning");
    return 0;
  }
  wchar_t startDir[kPathBufferUnits];
  EvalVarBuf(L"%CUR%", startDir, kPathBufferBytes);
  wchar_t folder[kPathBufferUnits];
  // A text longer than the field's buffer is refused rather than cut to another folder; no
  // folder of that length can be made anyway.
  if (GetWindowTextLengthW(edit) >= static_cast<int>(std::size(typed)) ||
      !MakeFullPath(typed, startDir, folder, std::size(folder))) {
    WarnAboutFolder(page, L"#errordestfolder");
    return 0;
  }
  SetVar(L"DLGSELPATH", folder);
  return kPageNext;
}

void BrowseFromPage(HWND page) {
  HWND edit = Control(page, kFolderEdit);
  wchar_t folder[kFieldUnits];
  folder[0] = L'\0';
  GetWindowTextW(edit, folder, static_cast<int>(std::size(folder)));
  wchar_t title[kFieldUnits];
  EvalVarBuf(L"#AskBrowseFolders", title, kFieldBytes);
  if (BrowseForFolder(page, title, folder, folder)) SetWindowTextW(edit, folder);
}

void Tick(HWND box) { SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0); }

void StoreRunTaskState(HWND page, int boxId, const wchar_t* variable) {
  bool ticked = SendMessageW(Control(page, boxId), BM_GETCHECK, 0, 0) == BST_CHECKED;
  SetVar(variable, ticked ? L"1" : L"0");
}

// Opens the picker on the folder it was given: the folder of the destination field.
int CALLBACK PickerCallback(HWND picker, UINT message, LPARAM, LPARAM initialPath) {
  if (message == BFFM_INITIALIZED && initialPath != 0) {
    SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, initialPath);
  }
  return 0;
}

}  // namespace

int WINAPI WelcomePageProc(int event, HWND page, LPARAM arg) {
  if (event == kPageCreated) DisableBackOnFirstPage(page);
  if (event == kPageCommand) return StepResult(arg);
  return 0;
}

int WINAPI ReadmePageProc(int event, HWND page, LPARAM arg) {
  if (event == kPageCreated) {
    SetFocus(Control(page, kReadmeDocument));
    DisableBackOnFirstPage(page);
  }
  if (event == kPageCommand) return StepResult(arg);
  return 0;
}

int WINAPI DestFolderPageProc(int event, HWND page, LPARAM arg) {
  switch (event) {
    case kPageCreated:
      SetFocus(Control(page, kFolderEdit));
      DisableBackOnFirstPage(page);
      if (FlagIsOn(L"%KVDISABDIR%")) {
        EnableWindow(Control(page, kFolderEdit), FALSE);
        EnableWindow(Control(page, kBrowseButton), FALSE);
      }
      return 0;
    case kPageCommand:
      if (arg == kNextButton) return AcceptDestination(page);
      if (arg == kBrowseButton) {
        BrowseFromPage(page);
        return 0;
      }
      return StepResult(arg);
    case kPageReturnKey:
      return AcceptDestination(page);
    default:
      return 0;
  }
}

int WINAPI ProgressPageProc(int event, HWND page, LPARAM arg) {
  if (event == kPageCreated) {
    sfx.progressBox = page;
    sfx.progressBar = Control(page, kProgressBar);
    sfx.progressLabel = Control(page, kProgressLabel);
    EnableWindow(Control(page, kBackButton), FALSE);
    EnableWindow(Control(page, kNextButton), FALSE);
  }
  // The box stays open; the extraction stops at its next test of the flag.
  if (event == kPageCommand && arg == kCancelButton && ConfirmCancel(page)) sfx.cancelFlag = 1;
  return 0;
}

int WINAPI FinalPageProc(int event, HWND page, LPARAM arg) {
  if (event == kPageCreated) {
    if (!FlagIsOn(L"%KVRUNTASK1V%")) ShowWindow(Control(page, kRunTask1Box), SW_HIDE);
    if (!FlagIsOn(L"%KVRUNTASK2V%")) ShowWindow(Control(page, kRunTask2Box), SW_HIDE);
    if (FlagIsOn(L"%KVRUNTASK1S%")) Tick(Control(page, kRunTask1Box));
    if (FlagIsOn(L"%KVRUNTASK2S%")) Tick(Control(page, kRunTask2Box));
    DisableBackOnFirstPage(page);
    ShowWindow(Control(page, kCancelButton), SW_HIDE);
    return 0;
  }
  if (event != kPageCommand) return 0;
  // Cancel is hidden; a command from it closes the page like Close.
  if (arg == kNextButton || arg == kCancelButton) {
    StoreRunTaskState(page, kRunTask1Box, L"KVRUNTASK1S");
    StoreRunTaskState(page, kRunTask2Box, L"KVRUNTASK2S");
    return kPageNext;
  }
  if (arg == kBackButton) return kPageBack;
  return 0;
}

bool ConfirmCancel(HWND owner) {
  if (sfx.progressBox == nullptr) return true;
  wchar_t text[kFieldUnits];
  EvalVarBuf(L"#askcancelext", text, kFieldBytes);
  UINT style = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;  // No is the default answer
  return MessageBoxW(owner, text, sfx.packageTitle, style) == IDYES;
}

int BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initialPath,
                    wchar_t* outPath) {
  wchar_t displayName[kFieldUnits];
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = PickerCallback;
  info.lParam = reinterpret_cast<LPARAM>(initialPath);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (chosen != nullptr) {
    BOOL gotPath = SHGetPathFromIDListW(chosen, outPath);
    CoTaskMemFree(chosen);
    if (gotPath) return gotPath;
  }
  outPath[0] = L'\0';
  return 0;
}
