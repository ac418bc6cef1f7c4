// The start-to-exit sequence of the extractor: hardening, package header, runtime folder,
// runtime library and start-up variables, the wizard under the script guard, clean-up.
#include "bootstrap/sfx_main.h"

#include "archive/lzma_sdk.h"
#include "bootstrap/exception_guard.h"
#include "bootstrap/package_image.h"
#include "bootstrap/runtime_binding.h"
#include "bootstrap/runtime_folder.h"
#include "common/path_helpers.h"
#include "common/sfx_state.h"
#include "runtime/zudada.h"
#include "wizard/run_wizard.h"

#include <commctrl.h>
#include <objbase.h>
#include <iterator>
#include <wchar.h>

namespace {

constexpr UINT kTopError = MB_TOPMOST | MB_ICONERROR;
constexpr size_t kExceptionMessageUnits = 4096;

// Libraries preloaded from the system folder where the search cannot be restricted; consecutive
// zero-terminated names ended by an empty one.
const wchar_t kPreloadLibraries[] =
    L"version.dll\0uxtheme.dll\0winmm.dll\0winmmbase.dll\0msimg32.dll\0setupapi.dll\0"
    L"RICHED20.DLL\0";

// Appends src to the zero-terminated text in dest (capacity units), cutting it to fit.
void AppendText(wchar_t* dest, size_t capacity, const wchar_t* src) {
  size_t length = wcslen(dest);
  while (*src != L'\0' && length + 1 < capacity) dest[length++] = *src++;
  dest[length] = L'\0';
}

void CopyText(wchar_t* dest, size_t capacity, const wchar_t* src) {
  dest[0] = L'\0';
  AppendText(dest, capacity, src);
}

// Appends code in lower-case hexadecimal without leading zeros.
void AppendHex(wchar_t* dest, size_t capacity, DWORD code) {
  wchar_t digits[9];
  size_t count = 0;
  do {
    digits[count++] = L"0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  wchar_t text[9];
  for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = L'\0';
  AppendText(dest, capacity, text);
}

// Shows "<lead> code <hex>.\nPackage execution aborted." for an exception code.
void ShowExceptionMessage(const wchar_t* lead, DWORD code) {
  wchar_t message[kExceptionMessageUnits];
  CopyText(message, std::size(message), lead);
  AppendText(message, std::size(message), L" code ");
  AppendHex(message, std::size(message), code);
  AppendText(message, std::size(message), L".\nPackage execution aborted.");
  if (message[0] != L'\0') MessageBoxW(nullptr, message, sfx.packageTitle, kTopError);
}

int WizardBody(void*) { return RunWizard(); }

// Reads the executable's and the temporary path; false when either length is outside 1..260.
bool ReadStartPaths() {
  DWORD imageLength = GetModuleFileNameW(nullptr, sfx.imagePath, kNameBufferUnits);
  DWORD tempLength = GetTempPathW(kNameBufferUnits, sfx.runtimeDir);
  if (tempLength < 1 || tempLength > kNameBufferUnits) {
    sfx.runtimeDir[0] = L'\0';
    return false;
  }
  sfx.runtimeDirLength = tempLength;
  return imageLength >= 1 && imageLength <= kNameBufferUnits;
}

// Loads the runtime library from the runtime folder; null (after telling the user) on failure.
HMODULE LoadRuntimeLibrary() {
  wchar_t libraryPath[kPathBufferUnits];
  CopyText(libraryPath, std::size(libraryPath), sfx.runtimeDir);
  AppendText(libraryPath, std::size(libraryPath), L"ZUDada.dll");
  HMODULE library = LoadLibraryW(libraryPath);
  if (library == nullptr) {
    MessageBoxW(nullptr, L"Unable to load module ZUDada", sfx.packageTitle, kTopError);
  }
  return library;
}

void PublishStartupVariables() {
  SetVar(L"APPTITLE", sfx.packageTitle);
  SetVar(L"ARCNAME", sfx.imagePath);
  SetVar(L"KVSFXPATH", sfx.runtimeDir);
  SetVar(L"CUR", sfx.workDir);
  CopyText(sfx.workDir, std::size(sfx.workDir), sfx.imagePath);
  StripFileName(sfx.workDir);
  SetVar(L"ARCPATH", sfx.workDir);
}

bool InModule(LONG_PTR address, HMODULE module) {
  HMODULE owner = nullptr;
  return address != 0 &&
         GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &owner) &&
         owner == module;
}

// Takes the runtime library's procedures off one window.
BOOL CALLBACK DetachWindow(HWND window, LPARAM module) {
  HMODULE library = reinterpret_cast<HMODULE>(module);
  if (InModule(GetWindowLongPtrW(window, GWLP_WNDPROC), library)) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
  }
  wchar_t className[8] = {};
  GetClassNameW(window, className, static_cast<int>(std::size(className)));
  if (wcscmp(className, L"#32770") == 0 && InModule(GetWindowLongPtrW(window, DWLP_DLGPROC), library)) {
    SetWindowLongPtrW(window, DWLP_DLGPROC, 0);
  }
  return TRUE;
}

BOOL CALLBACK CloseLeftWindow(HWND window, LPARAM module) {
  DetachWindow(window, module);
  EnumChildWindows(window, DetachWindow, module);
  DestroyWindow(window);
  return TRUE;
}

int Fail(int code) {
  ShowFatalError(code);
  return -code;
}

}  // namespace

void HardenDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"Kernel32");
  if (kernel != nullptr) {
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr &&
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) {
      return;
    }
  }
  for (const wchar_t* name = kPreloadLibraries; *name != L'\0'; name += wcslen(name) + 1) {
    wchar_t systemDir[520];
    wchar_t path[kPathBufferUnits];
    UINT length = GetSystemDirectoryW(systemDir, std::size(systemDir));
    if (length == 0 || length > std::size(systemDir)) {
      CopyText(path, std::size(path), name);
    } else {
      AppendBackslash(systemDir);
      CopyText(path, std::size(path), systemDir);
      AppendText(path, std::size(path), name);
    }
    LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

LONG WINAPI PackageExceptionFilter(EXCEPTION_POINTERS* exception) {
  ShowExceptionMessage(L"Unexpected error in package code:",
                       exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

void ShowFatalError(int code) {
  wchar_t line[kNameBufferUnits] = {};
  wchar_t message[522] = {};
  LoadStringW(sfx.instance, 1, line, std::size(line));
  AppendText(line, std::size(line), L"\r\n");
  AppendText(message, std::size(message), line);
  line[0] = L'\0';
  LoadStringW(sfx.instance, code + 1, line, std::size(line));
  AppendText(message, std::size(message), line);
  MessageBoxW(nullptr, message, sfx.packageTitle, kTopError);
}

void CloseLeftWindows(HMODULE runtimeLibrary) {
  if (sfx.progressBox != nullptr) {
    SendMessageW(sfx.progressBox, kProgressCloseMessage, 0, 0);
    sfx.progressBox = nullptr;
  }
  if (runtimeLibrary == nullptr) return;
  EnumThreadWindows(GetCurrentThreadId(), CloseLeftWindow,
                    reinterpret_cast<LPARAM>(runtimeLibrary));
}

int RunWizardGuarded() {
  int exitCode = 0;
  DWORD exceptionCode = 0;
  if (!CallGuarded(WizardBody, nullptr, &exitCode, &exceptionCode)) {
    // The windows go first: a page left on the screen (a confirmation stays on top of every
    // other window) would cover the message and take the user's click.
    HMODULE library = BoundRuntimeModule();
    if (library == nullptr) library = GetModuleHandleW(L"ZUDada.dll");
    CloseLeftWindows(library);
    ShowExceptionMessage(L"Unexpected error in script:", exceptionCode);
    exitCode = 0;
  }
  return exitCode;
}

int SfxMain(HINSTANCE instance) {
  SetUnhandledExceptionFilter(PackageExceptionFilter);
  sfx.instance = instance;
  HardenDllSearch();
  LoadStringW(instance, 0, sfx.packageTitle, std::size(sfx.packageTitle));
  if (!ReadStartPaths()) return Fail(kStartupFolderFailed);
  if (!ReadPackageHeader()) return Fail(kStartupDataDamaged);
  if (!CreateRuntimeFolder()) return Fail(kStartupFolderFailed);
  FinishRuntimeFolderPath();
  GetCurrentDirectoryW(std::size(sfx.workDir), sfx.workDir);
  SetCurrentDirectoryW(sfx.runtimeDir);
  AddRuntimeDllDirectory(sfx.runtimeDir);
  InitCommonControls();
  CrcGenerateTable();
  int extracted = ExtractRuntimeArchive();
  if (extracted != 0) {
    SetCurrentDirectoryW(sfx.workDir);
    DeleteTree(sfx.runtimeDir, std::size(sfx.runtimeDir));
    return Fail(extracted);
  }
  CoInitialize(nullptr);
  HMODULE library = LoadRuntimeLibrary();
  PublishStartupVariables();
  InitSFX(sfx.instance);
  int exitCode = RunWizardGuarded();
  CoUninitialize();
  if (library != nullptr) FreeLibrary(library);
  ReleaseRuntimeBinding();
  SetCurrentDirectoryW(sfx.workDir);
  DeleteTree(sfx.runtimeDir, std::size(sfx.runtimeDir));
  return exitCode;
}
