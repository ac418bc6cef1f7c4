// A test runtime library that sits between the extractor and the real one: it is carried as
// ZUDada.dll beside the real library, renamed ZUDadaReal.dll, and passes every operation on to
// it. On the way it does what a test asks in the file named by the environment variable
// KV_RELAY_CONFIG (UTF-8, one instruction per line):
//   log PATH              append what the extractor does to PATH (UTF-8 lines, below)
//   set WHEN NAME=VALUE   store a variable: WHEN "init" after InitSFX, or a dialog name, each
//                         time before that dialog is shown ("dlgprogress" for the progress box)
//   slow MS               every CheckFileProp waits MS milliseconds first (a slow extraction)
//   raise DIALOG EVENT    the page callback of DIALOG raises exception 0xE0524C01 on EVENT
// Log lines:
//   var NAME=VALUE        a SetVar of the extractor
//   dialog NAME R         ShowDialogBox of NAME returned R
//   progress P            the extractor moved the progress bar to P
//   checkfile PATH R      CheckFileProp answered R for PATH
// Without KV_RELAY_CONFIG it only passes the operations on.
#include "runtime/zudada.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kRelayRaisedCode = 0xE0524C01;

struct Setting {
  std::wstring when;
  std::wstring name;
  std::wstring value;
};

struct Config {
  std::wstring logPath;
  std::vector<Setting> settings;
  DWORD slowMs = 0;
  std::wstring raiseDialog;
  int raiseEvent = -1;
};

Config config;
bool configRead;
CRITICAL_SECTION logLock;

struct Real {
  HMODULE module;
  decltype(&SetVar) setVar;
  decltype(&EvalVar) evalVar;
  decltype(&EvalVarBuf) evalVarBuf;
  decltype(&ShowDialogBox) showDialogBox;
  decltype(&ShowProgressBox) showProgressBox;
  decltype(&KVDlgGetDlgItem) getItem;
  decltype(&CheckFileProp) checkFileProp;
  decltype(&InitSFX) initSfx;
};
Real real;

std::wstring Widen(const std::string& text) {
  int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string narrow(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], bytes,
                      nullptr, nullptr);
  return narrow;
}

void ReadConfig() {
  if (configRead) return;
  configRead = true;
  InitializeCriticalSection(&logLock);
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KV_RELAY_CONFIG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FILE* file = _wfopen(path, L"rb");
  if (!file) return;
  std::string text;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  fclose(file);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::wstring line = Widen(text.substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    size_t space = line.find(L' ');
    if (space == std::wstring::npos) continue;
    std::wstring word = line.substr(0, space);
    std::wstring rest = line.substr(space + 1);
    if (word == L"log") {
      config.logPath = rest;
    } else if (word == L"slow") {
      config.slowMs = static_cast<DWORD>(wcstoul(rest.c_str(), nullptr, 10));
    } else if (word == L"raise") {
      size_t split = rest.find(L' ');
      if (split == std::wstring::npos) continue;
      config.raiseDialog = rest.substr(0, split);
      config.raiseEvent = static_cast<int>(wcstol(rest.c_str() + split + 1, nullptr, 10));
    } else if (word == L"set") {
      size_t split = rest.find(L' ');
      size_t equals = rest.find(L'=', split);
      if (split == std::wstring::npos || equals == std::wstring::npos) continue;
      config.settings.push_back({rest.substr(0, split), rest.substr(split + 1, equals - split - 1),
                                 rest.substr(equals + 1)});
    }
  }
}

void Log(const std::wstring& line) {
  if (config.logPath.empty()) return;
  EnterCriticalSection(&logLock);
  HANDLE file = CreateFileW(config.logPath.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    std::string bytes = Narrow(line) + "\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  LeaveCriticalSection(&logLock);
}

void ApplySettings(const wchar_t* when) {
  for (const Setting& setting : config.settings) {
    if (setting.when == when) real.setVar(setting.name.c_str(), setting.value.c_str());
  }
}

template <typename Function>
void Bind(Function* target, const char* name) {
  *target = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(real.module, name)));
}

// Loads the real library from this library's own folder, once. A missing real library or
// operation is a broken test package: it ends the process with a message.
void LoadReal() {
  if (real.module) return;
  ReadConfig();
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&LoadReal), &self);
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(self, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) wcscpy(slash + 1, L"ZUDadaReal.dll");
  real.module = LoadLibraryW(path);
  if (real.module) {
    Bind(&real.setVar, "SetVar");
    Bind(&real.evalVar, "EvalVar");
    Bind(&real.evalVarBuf, "EvalVarBuf");
    Bind(&real.showDialogBox, "ShowDialogBox");
    Bind(&real.showProgressBox, "ShowProgressBox");
    Bind(&real.getItem, "KVDlgGetDlgItem");
    Bind(&real.checkFileProp, "CheckFileProp");
    Bind(&real.initSfx, "InitSFX");
  }
  if (!real.module || !real.setVar || !real.evalVar || !real.evalVarBuf || !real.showDialogBox ||
      !real.showProgressBox || !real.getItem || !real.checkFileProp || !real.initSfx) {
    MessageBoxW(nullptr, L"The relay runtime cannot load ZUDadaReal.dll.", L"Relay runtime",
                MB_ICONERROR);
    ExitProcess(0xBAD);
  }
}

// The page callbacks of the dialogs being shown, innermost last, per thread: the progress box
// runs on a thread of its own while the overwrite question runs on the main one. Plain data
// only: a thread_local with a destructor would pin this library until its thread ends.
struct Page {
  wchar_t name[32];
  KVPageProc callback;
};
constexpr int kMaxPages = 8;
thread_local Page pages[kMaxPages];
thread_local int pageCount;

void PushPage(const wchar_t* name, KVPageProc callback) {
  Page& page = pages[pageCount < kMaxPages ? pageCount : kMaxPages - 1];
  wcsncpy(page.name, name, 31);
  page.name[31] = L'\0';
  page.callback = callback;
  if (pageCount < kMaxPages) ++pageCount;
}

WNDPROC originalBarProc;

LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProgressSetPosMessage) Log(L"progress " + std::to_wstring(wParam));
  return CallWindowProcW(originalBarProc, bar, message, wParam, lParam);
}

int WINAPI RelayPageProc(int event, HWND dialog, LPARAM parameter) {
  const Page& page = pages[pageCount - 1];
  if (config.raiseDialog == page.name && event == config.raiseEvent) {
    RaiseException(kRelayRaisedCode, 0, 0, nullptr);
  }
  if (event == 0 && wcscmp(page.name, L"dlgprogress") == 0) {
    HWND bar = real.getItem(dialog, 20);
    if (bar) {
      originalBarProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));
    }
  }
  return page.callback(event, dialog, parameter);
}

// The progress box's callback runs on the library's own thread; it is handed over through this
// variable, set before the box is asked for.
KVPageProc progressCallback;

int WINAPI RelayProgressProc(int event, HWND dialog, LPARAM parameter) {
  if (pageCount == 0) PushPage(L"dlgprogress", progressCallback);
  return RelayPageProc(event, dialog, parameter);
}

}  // namespace

// The real library goes with the relay, so that the extractor's release of the relay unloads
// both and their files can be deleted. (At process exit nothing needs releasing.)
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr && real.module) FreeLibrary(real.module);
  return TRUE;
}

extern "C" {

int WINAPI SetVar(const wchar_t* name, const wchar_t* value) {
  LoadReal();
  Log(std::wstring(L"var ") + (name ? name : L"") + L"=" + (value ? value : L""));
  return real.setVar(name, value);
}

const wchar_t* WINAPI EvalVar(const wchar_t* text) {
  LoadReal();
  return real.evalVar(text);
}

int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int bufferBytes) {
  LoadReal();
  return real.evalVarBuf(text, buffer, bufferBytes);
}

int WINAPI ShowDialogBox(const wchar_t* dialogName, KVPageProc callback) {
  LoadReal();
  std::wstring name = dialogName ? dialogName : L"";
  ApplySettings(name.c_str());
  PushPage(name.c_str(), callback);
  int result = real.showDialogBox(dialogName, RelayPageProc);
  --pageCount;
  Log(L"dialog " + name + L" " + std::to_wstring(result));
  return result;
}

int WINAPI ShowProgressBox(KVPageProc callback) {
  LoadReal();
  ApplySettings(L"dlgprogress");
  progressCallback = callback;
  return real.showProgressBox(RelayProgressProc);
}

HWND WINAPI KVDlgGetDlgItem(HWND dialog, int controlId) {
  LoadReal();
  return real.getItem(dialog, controlId);
}

int WINAPI CheckFileProp(int reserved, wchar_t* path, int bufferBytes) {
  LoadReal();
  if (config.slowMs) Sleep(config.slowMs);
  int result = real.checkFileProp(reserved, path, bufferBytes);
  Log(std::wstring(L"checkfile ") + path + L" " + std::to_wstring(result));
  return result;
}

int WINAPI InitSFX(HINSTANCE instance) {
  LoadReal();
  int result = real.initSfx(instance);
  ApplySettings(L"init");
  return result;
}

}  // extern "C"
