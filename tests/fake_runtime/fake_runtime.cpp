// A stand-in for the runtime library in tests: exports the eight operations, logs every call as a
// UTF-16 line to the file named by KV_FAKE_RUNTIME_LOG, and misbehaves on request through the
// comma-separated flags of KV_FAKE_RUNTIME_MODE:
//   raise  every call after InitSFX raises exception 0xE0424B01
//   av     every call after InitSFX writes through a null pointer
//   pin    InitSFX pins the library, so that it stays until the process ends and logs the
//          current directory then
//   chdir  the first call after InitSFX makes the folder of the log file current
//   box    ShowDialogBox first shows a message box captioned "Stand-in page" with the dialog's
//          name, so that a test can look at the process while the wizard shows a page
// ShowDialogBox calls the page callback directly (event 0) and returns its result, so that an
// exception raised by a callback passes through this library's frames.
#include "runtime/zudada.h"

#include <string.h>
#include <wchar.h>

namespace {

constexpr DWORD kFakeRaisedCode = 0xE0424B01;
constexpr int kMaxVariables = 64;

struct Variable {
  wchar_t name[64];
  wchar_t value[800];
};

Variable variables[kMaxVariables];
int variableCount;
bool initialised;
bool pinned;
bool changedDirectory;
HMODULE self;

bool ModeHas(const wchar_t* flag) {
  wchar_t mode[256];
  DWORD length = GetEnvironmentVariableW(L"KV_FAKE_RUNTIME_MODE", mode, 256);
  if (length == 0 || length >= 256) return false;
  size_t flagLength = wcslen(flag);
  for (wchar_t* p = mode; *p != L'\0';) {
    wchar_t* end = wcschr(p, L',');
    size_t partLength = end ? static_cast<size_t>(end - p) : wcslen(p);
    if (partLength == flagLength && wcsncmp(p, flag, flagLength) == 0) return true;
    if (!end) break;
    p = end + 1;
  }
  return false;
}

void Log(const wchar_t* what, const wchar_t* detail) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KV_FAKE_RUNTIME_LOG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, what, static_cast<DWORD>(wcslen(what) * sizeof(wchar_t)), &written, nullptr);
  if (detail != nullptr) {
    WriteFile(file, L" ", sizeof(wchar_t), &written, nullptr);
    WriteFile(file, detail, static_cast<DWORD>(wcslen(detail) * sizeof(wchar_t)), &written,
              nullptr);
  }
  WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
  CloseHandle(file);
}

// Called on entry of every operation that the wizard may use.
void AfterInitBehaviour() {
  if (!initialised) return;
  if (ModeHas(L"chdir") && !changedDirectory) {
    changedDirectory = true;
    wchar_t folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"KV_FAKE_RUNTIME_LOG", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      wchar_t* slash = wcsrchr(folder, L'\\');
      if (slash) *slash = L'\0';
      SetCurrentDirectoryW(folder);
    }
  }
  if (ModeHas(L"raise")) RaiseException(kFakeRaisedCode, 0, 0, nullptr);
  if (ModeHas(L"av")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
}

Variable* FindVariable(const wchar_t* name, size_t length) {
  for (int i = 0; i < variableCount; ++i) {
    if (wcslen(variables[i].name) == length && _wcsnicmp(variables[i].name, name, length) == 0) {
      return &variables[i];
    }
  }
  return nullptr;
}

// "%NAME%" alone becomes the variable's value; any other text stays as it is.
const wchar_t* Expand(const wchar_t* text) {
  size_t length = wcslen(text);
  if (length >= 3 && text[0] == L'%' && text[length - 1] == L'%') {
    Variable* variable = FindVariable(text + 1, length - 2);
    if (variable) return variable->value;
  }
  return text;
}

}  // namespace

extern "C" {

int WINAPI SetVar(const wchar_t* name, const wchar_t* value) {
  wchar_t line[900];
  _snwprintf(line, 900, L"%ls=%ls", name, value);
  line[899] = L'\0';
  Log(L"SetVar", line);
  AfterInitBehaviour();
  Variable* variable = FindVariable(name, wcslen(name));
  if (!variable && variableCount < kMaxVariables) variable = &variables[variableCount++];
  if (variable) {
    wcsncpy(variable->name, name, 63);
    variable->name[63] = L'\0';
    wcsncpy(variable->value, value, 799);
    variable->value[799] = L'\0';
  }
  return 0;
}

const wchar_t* WINAPI EvalVar(const wchar_t* text) {
  Log(L"EvalVar", text);
  AfterInitBehaviour();
  return text ? Expand(text) : nullptr;
}

int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int bufferBytes) {
  Log(L"EvalVarBuf", text);
  AfterInitBehaviour();
  int units = bufferBytes / 2;
  if (units < 1) return 0;
  wcsncpy(buffer, Expand(text), units - 1);
  buffer[units - 1] = L'\0';
  return 0;
}

int WINAPI ShowDialogBox(const wchar_t* dialogName, KVPageProc callback) {
  Log(L"ShowDialogBox", dialogName);
  AfterInitBehaviour();
  if (ModeHas(L"box")) MessageBoxW(nullptr, dialogName, L"Stand-in page", MB_OK);
  return callback ? callback(0, nullptr, 0) : kPageNotShown;
}

int WINAPI ShowProgressBox(KVPageProc) {
  Log(L"ShowProgressBox", nullptr);
  AfterInitBehaviour();
  return kPageNotShown;
}

HWND WINAPI KVDlgGetDlgItem(HWND dialog, int controlId) {
  Log(L"KVDlgGetDlgItem", nullptr);
  AfterInitBehaviour();
  return GetDlgItem(dialog, controlId);
}

int WINAPI CheckFileProp(int, wchar_t* path, int) {
  Log(L"CheckFileProp", path);
  AfterInitBehaviour();
  return 1;
}

int WINAPI InitSFX(HINSTANCE) {
  Log(L"InitSFX", nullptr);
  initialised = true;
  if (ModeHas(L"pin")) {
    HMODULE module = nullptr;
    pinned = GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<const wchar_t*>(&InitSFX), &module) != FALSE;
  }
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    Log(L"Attach", nullptr);
  } else if (reason == DLL_PROCESS_DETACH) {
    if (reserved == nullptr) {
      Log(L"Detach", L"unloaded");
    } else {
      wchar_t directory[MAX_PATH] = {};
      GetCurrentDirectoryW(MAX_PATH, directory);
      Log(L"Detach exit cwd", directory);
    }
  }
  return TRUE;
}

}  // extern "C"
