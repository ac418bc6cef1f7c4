// The runtime library's exported operations, the variable store and the data files they read.
#include "zudada.h"

#include <shlobj.h>

#include "data_lines.h"
#include "dialog_window.h"
#include "file_props.h"
#include "lang_file.h"

RuntimeState runtime;

namespace {

// Variables the library defines itself; set once, before the first expansion, unless the
// caller set them already.
void SetDefaultsLocked() {
  if (runtime.defaultsSet) return;
  runtime.defaultsSet = true;
  if (!FindVariable(runtime.vars, L"MYDOCDIR")) {
    wchar_t path[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
      SetVariable(runtime.vars, L"MYDOCDIR", path);
    }
  }
}

std::wstring DataFilePath(const wchar_t* name) {
  std::wstring dir = ExpandRuntimeText(L"%KVSFXPATH%");
  if (dir == L"%KVSFXPATH%") dir.clear();
  if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir.push_back(L'\\');
  return dir + name;
}

}  // namespace

std::wstring ExpandRuntimeText(const std::wstring& text) {
  RuntimeLock hold;
  SetDefaultsLocked();
  return ExpandText(text, runtime.vars, runtime.lang);
}

void ShowRuntimeError(const std::wstring& text) {
  std::wstring caption = ExpandRuntimeText(L"%APPTITLE%");
  if (caption == L"%APPTITLE%") caption = L"Setup";
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    runtime.module = instance;
    InitializeCriticalSection(&runtime.lock);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    DeleteCriticalSection(&runtime.lock);
  }
  return TRUE;
}

extern "C" {

int WINAPI SetVar(const wchar_t* name, const wchar_t* value) {
  if (!name || !*name) return 0;
  RuntimeLock hold;
  SetVariable(runtime.vars, name, value ? value : L"");
  return 1;
}

const wchar_t* WINAPI EvalVar(const wchar_t* text) {
  if (!text) return nullptr;
  std::wstring expanded = ExpandRuntimeText(text);
  // One result per thread, valid until that thread's next call.
  DWORD thread = GetCurrentThreadId();
  RuntimeLock hold;
  for (auto& slot : runtime.evalResults) {
    if (slot.first == thread) {
      slot.second.swap(expanded);
      return slot.second.c_str();
    }
  }
  runtime.evalResults.emplace_back(thread, std::move(expanded));
  return runtime.evalResults.back().second.c_str();
}

int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int bufferBytes) {
  if (!buffer || bufferBytes < static_cast<int>(sizeof(wchar_t))) return 0;
  CopyToBuffer(text ? ExpandRuntimeText(text) : std::wstring(), buffer, bufferBytes);
  return 1;
}

int WINAPI ShowDialogBox(const wchar_t* dialogName, KVPageProc callback) {
  if (!dialogName) return kPageNotShown;
  return RunDialogBox(dialogName, callback);
}

int WINAPI ShowProgressBox(KVPageProc callback) { return StartProgressBox(callback); }

HWND WINAPI KVDlgGetDlgItem(HWND dialog, int controlId) { return FindDialogControl(dialog, controlId); }

int WINAPI CheckFileProp(int, wchar_t* path, int bufferBytes) {
  if (!path || bufferBytes < static_cast<int>(sizeof(wchar_t))) return kFilePropKeep;
  size_t capacity = static_cast<size_t>(bufferBytes) / sizeof(wchar_t);
  std::wstring current(path, wcsnlen(path, capacity));
  std::wstring replaced;
  int answer;
  {
    RuntimeLock hold;
    SetDefaultsLocked();
    const std::wstring* dest = FindVariable(runtime.vars, L"DESTPATH");
    std::wstring destDir = dest ? ExpandText(*dest, runtime.vars, runtime.lang) : std::wstring();
    answer = CheckFileProps(runtime.props, destDir, current, runtime.vars, runtime.lang, replaced);
  }
  if (answer == kFilePropReplaced) {
    // A replacement that does not fit leaves the file under its own path.
    if (replaced.size() >= capacity) return kFilePropKeep;
    CopyToBuffer(replaced, path, bufferBytes);
  }
  return answer;
}

int WINAPI InitSFX(HINSTANCE) {
  std::string bytes;
  std::wstring error;
  LangTable lang;
  std::wstring langError;
  if (!ReadWholeFile(DataFilePath(L"kvlng.dat"), bytes)) {
    langError = L"the language file kvlng.dat cannot be read";
  } else if (!ParseLanguageFile(bytes, lang, error)) {
    langError = L"the language file kvlng.dat is damaged (" + error + L")";
  }
  std::vector<std::wstring> dialogLines;
  std::wstring dialogError;
  if (!ReadWholeFile(DataFilePath(L"kvdlg.dat"), bytes)) {
    dialogError = L"the dialog file kvdlg.dat cannot be read";
  } else {
    dialogLines = SplitDataLines(bytes);
  }
  std::vector<FileProp> props;
  std::wstring propError;
  if (ReadWholeFile(DataFilePath(L"kvfprop.dat"), bytes) &&
      !ParseFilePropList(bytes, props, error)) {
    propError = L"The file-property list kvfprop.dat is damaged (" + error +
                L"); every file will be extracted under its own name.";
    props.clear();
  }
  {
    RuntimeLock hold;
    runtime.lang = lang;
    runtime.langError = langError;
    runtime.dialogLines = dialogLines;
    runtime.dialogError = dialogError;
    runtime.props = props;
    runtime.initDone = true;
    SetDefaultsLocked();
  }
  if (!propError.empty()) ShowRuntimeError(propError);
  return langError.empty() && dialogError.empty() && propError.empty() ? 0 : 1;
}

}  // extern "C"
