// The runtime library's operations bound lazily by the module name "zudada.dll". The first call
// of any operation loads the module by that bare name (LoadLibraryExA, no flags), which finds the
// module already loaded from the runtime folder and takes a second reference to it; each function
// is then resolved once with GetProcAddress. A module or function that cannot be had raises
// 0xC06D007E or 0xC06D007F with a DelayLoadInfo argument, like a delay-load helper; nothing here
// catches it.
#include "bootstrap/runtime_binding.h"

#include "runtime/zudada.h"

#include <delayimp.h>

namespace {

const char kRuntimeModuleName[] = "zudada.dll";

HMODULE boundModule;

enum RuntimeFunction {
  kSetVar,
  kEvalVar,
  kEvalVarBuf,
  kShowDialogBox,
  kShowProgressBox,
  kKVDlgGetDlgItem,
  kCheckFileProp,
  kInitSFX,
  kRuntimeFunctionCount
};

const char* const kFunctionNames[kRuntimeFunctionCount] = {
    "SetVar",          "EvalVar",         "EvalVarBuf",    "ShowDialogBox",
    "ShowProgressBox", "KVDlgGetDlgItem", "CheckFileProp", "InitSFX",
};

FARPROC resolved[kRuntimeFunctionCount];

// Raises the binding failure; when a handler continues execution after it, the caller gets null.
void RaiseBindingFailure(DWORD code, RuntimeFunction function, FARPROC* slot, DWORD lastError) {
  DelayLoadInfo info = {};
  info.cb = sizeof(info);
  info.ppfn = slot;
  info.szDll = kRuntimeModuleName;
  info.dlp.fImportByName = TRUE;
  info.dlp.szProcName = kFunctionNames[function];
  info.hmodCur = boundModule;
  info.dwLastError = lastError;
  ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(&info);
  RaiseException(code, 0, 1, &argument);
}

FARPROC Resolve(RuntimeFunction function) {
  FARPROC* slot = &resolved[function];
  if (*slot != nullptr) return *slot;
  if (boundModule == nullptr) {
    boundModule = LoadLibraryExA(kRuntimeModuleName, nullptr, 0);
    if (boundModule == nullptr) {
      RaiseBindingFailure(kBindModuleNotFound, function, slot, GetLastError());
      return nullptr;
    }
  }
  FARPROC address = GetProcAddress(boundModule, kFunctionNames[function]);
  if (address == nullptr) {
    RaiseBindingFailure(kBindProcNotFound, function, slot, GetLastError());
    return nullptr;
  }
  *slot = address;
  return address;
}

template <typename Function>
Function Bound(RuntimeFunction function) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(Resolve(function)));
}

}  // namespace

HMODULE BoundRuntimeModule() { return boundModule; }

void ReleaseRuntimeBinding() {
  for (FARPROC& slot : resolved) slot = nullptr;
  if (boundModule == nullptr) return;
  FreeLibrary(boundModule);
  boundModule = nullptr;
}

// The thunks. A failed binding that a handler resumes from yields a neutral result.
extern "C" {

int WINAPI SetVar(const wchar_t* name, const wchar_t* value) {
  auto function = Bound<decltype(&SetVar)>(kSetVar);
  return function ? function(name, value) : 0;
}

const wchar_t* WINAPI EvalVar(const wchar_t* text) {
  auto function = Bound<decltype(&EvalVar)>(kEvalVar);
  return function ? function(text) : nullptr;
}

int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int bufferBytes) {
  auto function = Bound<decltype(&EvalVarBuf)>(kEvalVarBuf);
  return function ? function(text, buffer, bufferBytes) : 0;
}

int WINAPI ShowDialogBox(const wchar_t* dialogName, KVPageProc callback) {
  auto function = Bound<decltype(&ShowDialogBox)>(kShowDialogBox);
  return function ? function(dialogName, callback) : kPageNotShown;
}

int WINAPI ShowProgressBox(KVPageProc callback) {
  auto function = Bound<decltype(&ShowProgressBox)>(kShowProgressBox);
  return function ? function(callback) : kPageNotShown;
}

HWND WINAPI KVDlgGetDlgItem(HWND dialog, int controlId) {
  auto function = Bound<decltype(&KVDlgGetDlgItem)>(kKVDlgGetDlgItem);
  return function ? function(dialog, controlId) : nullptr;
}

int WINAPI CheckFileProp(int reserved, wchar_t* path, int bufferBytes) {
  auto function = Bound<decltype(&CheckFileProp)>(kCheckFileProp);
  return function ? function(reserved, path, bufferBytes) : 1;
}

int WINAPI InitSFX(HINSTANCE instance) {
  auto function = Bound<decltype(&InitSFX)>(kInitSFX);
  return function ? function(instance) : 0;
}

}  // extern "C"
