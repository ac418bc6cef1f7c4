// Starting a package image in its own process and answering its dialog boxes.
#include "package_run.h"

#include "window_finder.h"

#include <map>

namespace {

struct NoCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  }
};

}  // namespace

std::wstring EnvironmentBlock(const EnvironmentChanges& changes) {
  std::map<std::wstring, std::wstring, NoCaseLess> variables;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
    std::wstring entry = p;
    size_t equals = entry.find(L'=', 1);
    if (equals == std::wstring::npos) continue;
    variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  FreeEnvironmentStringsW(block);
  for (const auto& change : changes) {
    if (change.second.empty()) {
      variables.erase(change.first);
    } else {
      variables[change.first] = change.second;
    }
  }
  std::wstring result;
  for (const auto& variable : variables) {
    result += variable.first + L"=" + variable.second;
    result += L'\0';
  }
  result += L'\0';
  return result;
}

namespace {

// Answers one box of the child, recording it and showing it to the observer first.
bool AnswerBox(const PROCESS_INFORMATION& process, const BoxObserver& observer,
               PackageRun* run) {
  return AnswerProcessBox(process.dwProcessId, [&](const SeenBox& seen) {
    run->boxes.push_back(seen);
    if (observer) observer(process.hProcess, seen);
  });
}

}  // namespace

bool AnswerProcessBox(DWORD processId, const std::function<void(const SeenBox&)>& beforeAnswer) {
  HWND box = FindProcessDialog(processId);
  if (box == nullptr) return false;
  Sleep(100);  // let the box finish laying out its controls
  SeenBox seen;
  seen.caption = WindowCaption(box);
  seen.text = DialogStaticText(box);
  seen.buttons = DialogButtonIds(box);
  if (beforeAnswer) beforeAnswer(seen);
  int button = seen.buttons.empty() ? IDOK : seen.buttons.front();
  PressDialogButton(box, button);
  for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(20);
  return true;
}

PackageRun RunPackage(const std::wstring& image, const std::wstring& startDir,
                      const EnvironmentChanges& changes, const BoxObserver& observer,
                      DWORD timeoutMs) {
  PackageRun run;
  std::wstring environment = EnvironmentBlock(changes);
  std::wstring commandLine = L"\"" + image + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(image.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, &environment[0], startDir.c_str(), &startup,
                      &process)) {
    return run;
  }
  run.started = true;
  DWORD waited = 0;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    waited += 50;
    if (AnswerBox(process, observer, &run)) continue;
    if (waited >= timeoutMs) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  run.finished = waited < timeoutMs;
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

std::wstring ProcessCurrentDirectory(HANDLE process) {
  struct BasicInformation {
    LONG exitStatus;
    void* pebBase;
    ULONG_PTR affinity;
    LONG basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentProcessId;
  };
  struct CountedString {
    USHORT length;
    USHORT maximumLength;
    wchar_t* buffer;
  };
  typedef LONG(WINAPI * QueryFunction)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  BasicInformation basic = {};
  if (query == nullptr || query(process, 0, &basic, sizeof(basic), nullptr) != 0) return L"";
  // The child has this process's architecture. The process parameters lie at PEB + 0x10
  // (x64: + 0x20), the current directory's path at parameters + 0x24 (x64: + 0x38).
  constexpr bool k64 = sizeof(void*) == 8;
  constexpr size_t kParametersOffset = k64 ? 0x20 : 0x10;
  constexpr size_t kCurrentDirectoryOffset = k64 ? 0x38 : 0x24;
  void* parameters = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, static_cast<char*>(basic.pebBase) + kParametersOffset,
                         &parameters, sizeof(parameters), &read)) {
    return L"";
  }
  CountedString path = {};
  if (!ReadProcessMemory(process, static_cast<char*>(parameters) + kCurrentDirectoryOffset, &path,
                         sizeof(path), &read)) {
    return L"";
  }
  std::wstring text(path.length / sizeof(wchar_t), L'\0');
  if (!text.empty() &&
      !ReadProcessMemory(process, path.buffer, &text[0], path.length, &read)) {
    return L"";
  }
  return text;
}
