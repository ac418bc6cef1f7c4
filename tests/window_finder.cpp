// Dialog finding and reading across processes for the tests.
#include "window_finder.h"

namespace {

struct FindContext {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialogProc(HWND window, LPARAM parameter) {
  auto* context = reinterpret_cast<FindContext*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != context->processId || !IsWindowVisible(window)) return TRUE;
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (wcscmp(className, L"#32770") != 0) return TRUE;
  context->found = window;
  return FALSE;
}

std::wstring ClassOf(HWND window) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return className;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

}  // namespace

HWND FindProcessDialog(DWORD processId) {
  FindContext context = {processId, nullptr};
  EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

std::wstring WindowCaption(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring DialogStaticText(HWND dialog) {
  std::wstring text;
  for (HWND child : Children(dialog)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
    std::wstring part = WindowCaption(child);
    if (part.empty()) continue;
    if (!text.empty()) text += L'\n';
    text += part;
  }
  return text;
}

std::vector<int> DialogButtonIds(HWND dialog) {
  std::vector<int> ids;
  for (HWND child : Children(dialog)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0) ids.push_back(GetDlgCtrlID(child));
  }
  return ids;
}

bool PressDialogButton(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  if (button == nullptr) return false;
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}
