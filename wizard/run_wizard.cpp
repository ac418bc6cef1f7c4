// The wizard driver: published variables, integrity check, the page sequence as a table of steps
// with one loop over the page results, the extraction step and the final page.
#include "wizard/run_wizard.h"

#include "archive/payload_extractor.h"
#include "common/sfx_state.h"
#include "runtime/zudada.h"
#include "wizard/overwrite_confirm.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_text.h"

#include <iterator>

namespace {

// Package constants; the language file's header holds the same name and identifier.
const wchar_t kLanguageName[] = L"English";
constexpr int kLanguageId = 1033;
const wchar_t kPackageVersion[] = L"1.0.0.0";
// String-table entry of the wizard label (kvpack's --label).
constexpr UINT kWizardLabelString = 5;
// The package header ("KV" and two 64-bit sizes) lies between the PE image and the payload.
constexpr uint32_t kPackageHeaderSize = 18;

constexpr size_t kNumberUnits = 33;
constexpr DWORD kEnvironmentUnits = 4096;
constexpr int kPathBufferBytes = static_cast<int>(kPathBufferUnits * sizeof(wchar_t));

// Exit codes of the wizard besides EXITCODE's value.
enum : int {
  kExitFailed = 1,
  kExitCancelled = 2,
  kExitBroken = 3,
};
// Returned by the steps that lead on to the next one.
constexpr int kGoOn = 0;

void PublishNumber(const wchar_t* name, int64_t value) {
  wchar_t text[kNumberUnits];
  FormatDecimal(value, text, std::size(text));
  SetVar(name, text);
}

void PublishStartVariables() {
  sfx.extractedFileCount = 0;
  SetVar(L"EXITCODE", L"0");
  SetVar(L"TOTALEXTFILE", L"0");
  SetVar(L"NEEDREBOOT", L"0");
  SetVar(L"SILENT", L"0");
  SetVar(L"ARCFILEVER", kPackageVersion);
  SetVar(L"ARCPRODVER", kPackageVersion);
  ImportEnvVar(L"USERPROFILE", L"USERPROFILE");
  SetVar(L"SELLANG", kLanguageName);
  PublishNumber(L"KVLANGID", kLanguageId);
  SetVar(L"DESTPATH", L"");
  SetVar(L"VCOMPMAIN", L"1");
  SetVar(L"VCOMPMK64", L"1");
}

void PublishLookVariables() {
  SetVar(L"KVDLGWIZLOOK", L"1");
  wchar_t label[kNameBufferUnits] = {};
  LoadStringW(sfx.instance, kWizardLabelString, label, static_cast<int>(std::size(label)));
  SetVar(L"KVWIZLABEL", label);
  SetVar(L"KVDLGNEXTC", L"#Next");
  sfx.pageCounter = 0;
  SetVar(L"DESTPATH", L"%MYDOCDIR%");
  SetVar(L"KVWIZWATERM", L"%KVSFXPATH%\\kvwaterm.png");
}

void EnterWelcome() { SetVar(L"KVWELCRTF", L"%KVSFXPATH%\\kvwelc%SELLANG%.md"); }

void LeaveWelcome() { SetVar(L"KVWIZHEADER", L"%KVSFXPATH%\\kvheader.png"); }

void EnterReadme() {
  SetVar(L"GKVDLGREADTXT", L"%KVSFXPATH%\\kvsread%SELLANG%.md");
  SetVar(L"KVDLGREADCAPT", L"#WizReadmeTitle");
  SetVar(L"KVDLGREADINTRO", L"#WizReadmeDesc");
  SetVar(L"KVDLGNEXT", L"#Next");
}

void EnterDestination() {
  SetVar(L"DLGSELPATH", L"%DESTPATH%");
  SetVar(L"DLGSELPROMPT", L"#BrowseFolders");
  SetVar(L"KVDLGCAPTION", L"#WizDirTitle");
  SetVar(L"DLGSELPROMPT2", L"#AskBrowseFolders");
}

// The destination page stored the folder itself in DLGSELPATH, so the two never refer to each
// other.
void LeaveDestination() { SetVar(L"DESTPATH", L"%DLGSELPATH%"); }

// One page before the extraction: its dialog, callback, what is stored each time it is entered
// and what each time it is left forward.
struct PageStep {
  const wchar_t* dialog;
  KVPageProc callback;
  void (*enter)();
  void (*leaveForward)();
};

const PageStep kPageSteps[] = {
    {L"dlgwizwelc", WelcomePageProc, EnterWelcome, LeaveWelcome},
    {L"dlgwizreadme", ReadmePageProc, EnterReadme, nullptr},
    {L"dlgwizseldir", DestFolderPageProc, EnterDestination, LeaveDestination},
};

// kGoOn once the destination page is left forward; else the exit code.
int RunPages() {
  size_t step = 0;
  while (step < std::size(kPageSteps)) {
    const PageStep& page = kPageSteps[step];
    page.enter();
    int result = ShowDialogBox(page.dialog, page.callback);
    if (result == kPageCancel) return kExitCancelled;
    if (result == kPageNotShown) return kExitBroken;
    // Back on the welcome page counts as any other result.
    if (result == kPageBack && step > 0) {
      --sfx.pageCounter;
      --step;
      continue;
    }
    ++sfx.pageCounter;
    if (page.leaveForward != nullptr) page.leaveForward();
    ++step;
  }
  return kGoOn;
}

// kGoOn after a complete extraction; else the exit code.
int RunExtraction() {
  SetVar(L"KVEXTTEXT", L"#Extracting");
  SetVar(L"KVEXTHC", L"0");
  wchar_t destination[kPathBufferUnits];
  EvalVarBuf(L"%DESTPATH%", destination, kPathBufferBytes);
  uint32_t payloadOffset = sfx.imageEnd + kPackageHeaderSize;
  int result =
      ExtractPackage(sfx.imagePath, destination, &payloadOffset, ProgressPageProc, OnFileExtract);
  PublishNumber(L"TOTALEXTFILE", sfx.extractedFileCount);
  // A cancelled extraction may also have failed; the cancel counts.
  if (sfx.cancelFlag) return kExitCancelled;
  if (result != 0) {
    PublishNumber(L"KVEXTERR", result);
    MessageBoxW(nullptr, EvalVar(L"#ErrorUnpacking %KVEXTERR%"), sfx.packageTitle, MB_ICONERROR);
    return kExitFailed;
  }
  return kGoOn;
}

// The final page (shown again after Back), the destination made current, and the exit code.
int RunFinalPage() {
  int result;
  do {
    sfx.pageCounter = 0;
    SetVar(L"KVDLGRICHTEXT", L"%KVSFXPATH%\\kvfin%SELLANG%.md");
    result = ShowDialogBox(L"dlgwizfinal", FinalPageProc);
    if (result == kPageNotShown) return kExitBroken;
    if (result == kPageBack) --sfx.pageCounter;
  } while (result == kPageBack);
  ++sfx.pageCounter;
  wchar_t folder[kPathBufferUnits];
  EvalVarBuf(L"%DESTPATH%\\", folder, kPathBufferBytes);
  SetCurrentDirectoryW(folder);
  return ExitCodeFromText(EvalVar(L"%EXITCODE%"));
}

}  // namespace

int RunWizard() {
  PublishStartVariables();
  if (sfx.declaredImageSize != sfx.actualImageSize) {
    MessageBoxW(nullptr, EvalVar(L"#CorruptedPack"), sfx.packageTitle, MB_ICONERROR);
    return kExitBroken;
  }
  PublishLookVariables();
  int result = RunPages();
  if (result != kGoOn) return result;
  result = RunExtraction();
  if (result != kGoOn) return result;
  return RunFinalPage();
}

int ImportEnvVar(const wchar_t* envName, const wchar_t* varName) {
  HANDLE heap = GetProcessHeap();
  DWORD capacity = kEnvironmentUnits;
  wchar_t* value = static_cast<wchar_t*>(HeapAlloc(heap, 0, capacity * sizeof(wchar_t)));
  if (value == nullptr) return 0;
  SetLastError(0);
  DWORD length = GetEnvironmentVariableW(envName, value, capacity);
  if (length == 0) {
    bool missing = GetLastError() == ERROR_ENVVAR_NOT_FOUND;
    HeapFree(heap, 0, value);
    if (!missing) SetVar(varName, L"");
    return 0;
  }
  if (length >= capacity) {
    // Too long for the first buffer: length is the size needed, terminator included.
    capacity = length;
    void* larger = HeapReAlloc(heap, 0, value, capacity * sizeof(wchar_t));
    if (larger == nullptr) {
      HeapFree(heap, 0, value);
      return 0;
    }
    value = static_cast<wchar_t*>(larger);
    length = GetEnvironmentVariableW(envName, value, capacity);
    // The value may have changed in between; only a complete read is stored.
    if (length == 0 || length >= capacity) {
      HeapFree(heap, 0, value);
      return 0;
    }
  }
  SetVar(varName, value);
  HeapFree(heap, 0, value);
  return 1;
}
