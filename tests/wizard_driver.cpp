// The test driver over a package's windows: finding them by process and kind, reading their
// controls, and real mouse and keyboard input.
#include "wizard_driver.h"

#include "kv_test_paths.h"
#include "package_run.h"
#include "screenshot.h"
#include "window_finder.h"

#include <commctrl.h>
#include <stdio.h>

#include <iterator>

namespace {

constexpr DWORD kPollMs = 50;
// A window that has just appeared is given this long to finish its layout and painting before
// it is photographed or touched.
constexpr DWORD kSettleMs = 300;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool HasClass(HWND window, const wchar_t* name) { return _wcsicmp(ClassOf(window).c_str(), name) == 0; }

bool ChildHasClass(HWND window, int id, const wchar_t* name) {
  HWND child = GetDlgItem(window, id);
  return child != nullptr && _wcsnicmp(ClassOf(child).c_str(), name, wcslen(name)) == 0;
}

BOOL CALLBACK FindTree(HWND child, LPARAM found) {
  if (HasClass(child, L"SysTreeView32")) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

struct ProcessWindows {
  DWORD processId;
  std::vector<HWND> windows;  // visible dialog windows, top of the z-order first
};

BOOL CALLBACK CollectWindows(HWND window, LPARAM parameter) {
  auto* context = reinterpret_cast<ProcessWindows*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->processId && IsWindowVisible(window) && HasClass(window, L"#32770")) {
    context->windows.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD processId) {
  ProcessWindows context = {processId, {}};
  EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&context));
  return context.windows;
}

// The window that expects the user's answer first: a message box over a picker over the
// overwrite question over a page.
int Urgency(WindowKind kind) {
  switch (kind) {
    case WindowKind::kMessageBox: return 4;
    case WindowKind::kFolderPicker: return 3;
    case WindowKind::kOverwrite: return 2;
    case WindowKind::kNone: return 0;
    default: return 1;
  }
}

void Photograph(Driver* driver, HWND window, WindowKind kind) {
  for (HWND seen : driver->seen) {
    if (seen == window) return;
  }
  driver->seen.push_back(window);
  if (driver->screenshotPrefix.empty()) return;
  CreateDirectoryW(driver->screenshotFolder.c_str(), nullptr);
  ++driver->screenshots;
  wchar_t number[16];
  swprintf(number, 16, L"%02d", driver->screenshots);
  std::string kindName = KindName(kind);
  std::wstring path = driver->screenshotFolder + L"\\" + driver->screenshotPrefix + L"-" + number + L"-" +
                      std::wstring(kindName.begin(), kindName.end()) + L".png";
  SaveScreenshot(window, path);
}

bool Running(const Driver* driver) {
  return driver->started && WaitForSingleObject(driver->process.hProcess, 0) == WAIT_TIMEOUT;
}

// The visible window of the process most in need of an answer, or null.
HWND MostUrgentWindow(DWORD processId, WindowKind* kind) {
  HWND best = nullptr;
  *kind = WindowKind::kNone;
  for (HWND window : VisibleWindows(processId)) {
    WindowKind k = KindOf(window);
    if (Urgency(k) > Urgency(*kind)) {
      best = window;
      *kind = k;
    }
  }
  return best;
}

void SendKeys(const std::vector<INPUT>& inputs) {
  SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
  Sleep(kPollMs);
}

INPUT Key(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

void BringToFront(HWND window) {
  if (GetForegroundWindow() == window) return;
  SetForegroundWindow(window);
  for (int i = 0; i < 20 && GetForegroundWindow() != window; ++i) Sleep(kPollMs);
}

bool ClickAt(HWND window, POINT point) {
  BringToFront(window);
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(point.x, 65535, width - 1);
    input.mi.dy = MulDiv(point.y, 65535, height - 1);
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  bool sent = SendInput(3, inputs, sizeof(INPUT)) == 3;
  Sleep(2 * kPollMs);
  return sent;
}

}  // namespace

const char* KindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::kNone: return "none";
    case WindowKind::kWelcome: return "welcome";
    case WindowKind::kReadme: return "readme";
    case WindowKind::kDestination: return "destination";
    case WindowKind::kProgress: return "progress";
    case WindowKind::kFinal: return "final";
    case WindowKind::kOverwrite: return "overwrite";
    case WindowKind::kMessageBox: return "messagebox";
    case WindowKind::kFolderPicker: return "folderpicker";
    case WindowKind::kOther: return "other";
  }
  return "?";
}

bool StartPackage(const std::wstring& image, const DriverOptions& options, Driver* driver) {
  *driver = Driver();
  driver->screenshotPrefix = options.screenshotPrefix;
  driver->screenshotFolder = options.screenshotFolder.empty()
                                 ? std::wstring(kTestTmpDir) + L"\\..\\screenshots"
                                 : options.screenshotFolder;
  std::wstring environment = EnvironmentBlock(options.environment);
  std::wstring commandLine = L"\"" + image + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  driver->started = CreateProcessW(image.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                   CREATE_UNICODE_ENVIRONMENT, &environment[0],
                                   options.startDir.empty() ? nullptr : options.startDir.c_str(),
                                   &startup, &driver->process) != FALSE;
  return driver->started;
}

DWORD FinishPackage(Driver* driver, DWORD timeoutMs) {
  if (!driver->started) return 0xDEAD;
  DWORD code = 0xDEAD;
  if (WaitForSingleObject(driver->process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(driver->process.hProcess, 0xDEAD);
    WaitForSingleObject(driver->process.hProcess, 5000);
  } else {
    GetExitCodeProcess(driver->process.hProcess, &code);
  }
  CloseHandle(driver->process.hThread);
  CloseHandle(driver->process.hProcess);
  driver->started = false;
  return code;
}

WindowKind KindOf(HWND window) {
  if (window == nullptr || !IsWindow(window)) return WindowKind::kNone;
  if (!HasClass(window, L"#32770")) return WindowKind::kOther;
  if (GetDlgItem(window, 10) && GetDlgItem(window, 11) && ChildHasClass(window, 12, L"Button")) {
    return WindowKind::kOverwrite;
  }
  if (ChildHasClass(window, 20, L"msctls_progress32")) return WindowKind::kProgress;
  if (ChildHasClass(window, 20, L"Edit") && GetDlgItem(window, 21)) return WindowKind::kDestination;
  if (ChildHasClass(window, 20, L"RichEdit")) return WindowKind::kReadme;
  if (GetDlgItem(window, 5) && GetDlgItem(window, 9) && GetDlgItem(window, 6)) return WindowKind::kFinal;
  if (GetDlgItem(window, 5) && GetDlgItem(window, 6)) return WindowKind::kWelcome;
  bool tree = false;
  EnumChildWindows(window, FindTree, reinterpret_cast<LPARAM>(&tree));
  if (tree) return WindowKind::kFolderPicker;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (HasClass(child, L"Button")) return WindowKind::kMessageBox;
  }
  return WindowKind::kOther;
}

HWND FindWindowOfKind(DWORD processId, WindowKind kind) {
  for (HWND window : VisibleWindows(processId)) {
    if (KindOf(window) == kind) return window;
  }
  return nullptr;
}

HWND WaitForWindow(Driver* driver, WindowKind kind, DWORD timeoutMs, WindowKind* other) {
  WindowKind last = WindowKind::kNone;
  for (DWORD waited = 0;; waited += kPollMs) {
    for (HWND window : VisibleWindows(driver->process.dwProcessId)) {
      WindowKind k = KindOf(window);
      if (k == kind && IsWindowEnabled(window)) {
        Sleep(kSettleMs);
        if (!IsWindow(window) || !IsWindowVisible(window)) break;
        Photograph(driver, window, kind);
        return window;
      }
      if (Urgency(k) >= Urgency(last)) last = k;
    }
    if (!Running(driver) || waited >= timeoutMs) break;
    Sleep(kPollMs);
  }
  if (other) *other = last;
  return nullptr;
}

WindowKind WaitForAnyWindow(Driver* driver, DWORD timeoutMs, HWND* window) {
  for (DWORD waited = 0;; waited += kPollMs) {
    WindowKind kind = WindowKind::kNone;
    HWND found = MostUrgentWindow(driver->process.dwProcessId, &kind);
    if (found) {
      Sleep(kSettleMs);
      found = MostUrgentWindow(driver->process.dwProcessId, &kind);
      if (found) {
        Photograph(driver, found, kind);
        if (window) *window = found;
        return kind;
      }
    }
    if (!Running(driver) || waited >= timeoutMs) break;
    Sleep(kPollMs);
  }
  if (window) *window = nullptr;
  return WindowKind::kNone;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += kPollMs) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(kPollMs);
  }
  return false;
}

std::wstring ControlText(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  if (!control) return L"";
  // WM_GETTEXT reaches controls of other processes; GetWindowTextW does not for every class.
  wchar_t text[2048] = {};
  SendMessageW(control, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return text;
}

bool ControlExists(HWND window, int id) { return GetDlgItem(window, id) != nullptr; }

bool ControlEnabled(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  return control && IsWindowEnabled(control);
}

bool ControlVisible(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  return control && IsWindowVisible(control);
}

bool ControlChecked(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int ProgressPosition(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  return control ? static_cast<int>(SendMessageW(control, PBM_GETPOS, 0, 0)) : -1;
}

int FocusedControl(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus || !IsChild(window, info.hwndFocus)) {
    return -1;
  }
  return GetDlgCtrlID(info.hwndFocus);
}

BoxContent ReadBox(HWND box) {
  BoxContent content;
  content.caption = WindowCaption(box);
  content.text = DialogStaticText(box);
  content.buttons = DialogButtonIds(box);
  return content;
}

bool Click(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  if (!control || !IsWindowVisible(control)) return false;
  RECT rect;
  GetWindowRect(control, &rect);
  return ClickAt(window, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

bool ClickCloseButton(HWND window) {
  RECT frame, client;
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  int border = client.left - frame.left;
  int caption = client.top - frame.top - border;
  if (caption <= 0) return false;
  int button = GetSystemMetrics(SM_CXSIZE);
  return ClickAt(window, {frame.right - border - button / 2 - 2, frame.top + border + caption / 2});
}

void PressKey(HWND window, WORD key, WORD modifier) {
  BringToFront(window);
  std::vector<INPUT> inputs;
  if (modifier) inputs.push_back(Key(modifier, false));
  inputs.push_back(Key(key, false));
  inputs.push_back(Key(key, true));
  if (modifier) inputs.push_back(Key(modifier, true));
  SendKeys(inputs);
}

void TypeText(HWND window, const std::wstring& text) {
  BringToFront(window);
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = c;
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    inputs.push_back(input);
    input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendKeys(inputs);
}

bool ReplaceEditText(HWND window, int id, const std::wstring& text) {
  if (!Click(window, id)) return false;
  PressKey(window, VK_HOME);
  PressKey(window, VK_END, VK_SHIFT);
  PressKey(window, VK_DELETE);
  if (!text.empty()) TypeText(window, text);
  return true;
}

bool AnswerBox(HWND box, int buttonId) { return Click(box, buttonId); }

HWND NextFrom(Driver* driver, WindowKind kind) {
  HWND page = WaitForWindow(driver, kind);
  if (page) Click(page, 1);
  return page;
}
