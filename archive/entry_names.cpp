// Which archive entry names the payload extraction accepts.
#include "archive/entry_names.h"

#include <stddef.h>

namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool IsRefusedCharacter(wchar_t c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case L'<': case L'>': case L':': case L'"': case L'|': case L'?': case L'*':
      return true;
    default:
      return false;
  }
}

wchar_t LowerAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// True when the stem (the component up to its first dot, trailing blanks dropped) is a device
// name; Windows opens the device for "nul" and "nul.txt" alike.
bool IsDeviceName(const wchar_t* component, size_t length) {
  size_t stem = 0;
  while (stem < length && component[stem] != L'.') ++stem;
  while (stem > 0 && component[stem - 1] == L' ') --stem;
  static const wchar_t* const kDevices[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
  for (const wchar_t* device : kDevices) {
    size_t i = 0;
    while (i < stem && device[i] != L'\0' && LowerAscii(component[i]) == device[i]) ++i;
    if (i == stem && device[i] == L'\0') return true;
  }
  if (stem != 4 || component[3] < L'1' || component[3] > L'9') return false;
  wchar_t a = LowerAscii(component[0]), b = LowerAscii(component[1]), c = LowerAscii(component[2]);
  return (a == L'c' && b == L'o' && c == L'm') || (a == L'l' && b == L'p' && c == L't');
}

bool IsSafeComponent(const wchar_t* component, size_t length) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (IsRefusedCharacter(component[i])) return false;
  }
  // Covers "." and ".." as well.
  wchar_t last = component[length - 1];
  if (last == L'.' || last == L' ') return false;
  return !IsDeviceName(component, length);
}

}  // namespace

bool IsSafeEntryName(const wchar_t* name) {
  const wchar_t* start = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p != L'\0' && !IsSeparator(*p)) continue;
    if (!IsSafeComponent(start, static_cast<size_t>(p - start))) return false;
    if (*p == L'\0') return true;
    start = p + 1;
  }
}
