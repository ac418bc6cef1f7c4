// Pure text rules of the wizard.
#include "wizard/wizard_text.h"

#include "common/text_buffer.h"

#include <wchar.h>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
wchar_t LowerAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The white space wcstol skips in the C locale.
bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Writes the decimal digits of magnitude, most significant first; returns their count (<= 20).
size_t DecimalDigits(uint64_t magnitude, wchar_t digits[20]) {
  wchar_t reversed[20];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  for (size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// A text being built in a fixed buffer; remembers whether anything had to be dropped.
struct TextOut {
  wchar_t* text;
  size_t capacity;
  size_t length;
  bool complete;

  void Put(wchar_t c) {
    if (length + 1 < capacity) {
      text[length++] = c;
      text[length] = L'\0';
    } else {
      complete = false;
    }
  }
};

// Puts value as printf's "%<width>d" (zeroPad: "%0<width>d") would write it.
void PutNumber(TextOut* out, int64_t value, size_t width, bool zeroPad) {
  wchar_t digits[20];
  size_t count = DecimalDigits(Magnitude(value), digits);
  size_t used = count + (value < 0 ? 1 : 0);
  size_t padding = width > used ? width - used : 0;
  if (!zeroPad) {
    for (size_t i = 0; i < padding; ++i) out->Put(L' ');
  }
  if (value < 0) out->Put(L'-');
  if (zeroPad) {
    for (size_t i = 0; i < padding; ++i) out->Put(L'0');
  }
  for (size_t i = 0; i < count; ++i) out->Put(digits[i]);
}

// Length of the root of a full path: "C:" for a drive path, "\\server\share" for a share.
size_t RootLength(const wchar_t* fullPath) {
  if (!IsSeparator(fullPath[0])) return 2;
  size_t i = 2;
  while (fullPath[i] != L'\0' && !IsSeparator(fullPath[i])) ++i;  // server
  if (fullPath[i] == L'\0') return i;
  ++i;
  while (fullPath[i] != L'\0' && !IsSeparator(fullPath[i])) ++i;  // share
  return i;
}

// out := folder, a backslash unless folder ends with a separator, then rest.
bool JoinBelow(const wchar_t* folder, const wchar_t* rest, wchar_t* out, size_t capacity) {
  if (!CopyText(out, capacity, folder)) return false;
  size_t length = wcslen(out);
  if (length == 0 || !IsSeparator(out[length - 1])) {
    if (!AppendText(out, capacity, L"\\")) return false;
  }
  return AppendText(out, capacity, rest);
}

}  // namespace

int ExitCodeFromText(const wchar_t* text) {
  if (text == nullptr) return -1;
  const wchar_t* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = *p == L'-';
  if (*p == L'+' || *p == L'-') ++p;
  const wchar_t* digits = p;
  // Beyond 2^31 the value clamps whatever follows, so it stops growing there.
  const int64_t kClampAbove = int64_t{1} << 31;
  int64_t value = 0;
  for (; IsDigit(*p); ++p) {
    if (value <= kClampAbove) value = value * 10 + (*p - L'0');
  }
  // Without digits nothing is converted and the whole text follows the "number".
  if (p == digits) return text[0] == L'\0' ? 0 : -1;
  if (*p != L'\0') return -1;
  if (negative) return value >= kClampAbove ? INT32_MIN : static_cast<int>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
}

bool FormatDecimal(int64_t value, wchar_t* out, size_t capacity) {
  TextOut text = {out, capacity, 0, true};
  if (capacity > 0) out[0] = L'\0';
  PutNumber(&text, value, 0, false);
  if (!text.complete && capacity > 0) out[0] = L'\0';
  return text.complete && capacity > 0;
}

const wchar_t* FileNamePart(const wchar_t* path) {
  const wchar_t* separator = wcsrchr(path, L'\\');
  if (separator == nullptr) separator = wcsrchr(path, L'/');
  if (separator == nullptr) separator = wcsrchr(path, L':');
  return separator != nullptr ? separator + 1 : path;
}

bool FillOverwriteInfo(const wchar_t* name, const wchar_t* tail, const int64_t* values,
                       size_t valueCount, wchar_t* out, size_t capacity) {
  TextOut text = {out, capacity, 0, true};
  out[0] = L'\0';
  for (const wchar_t* p = name; *p != L'\0'; ++p) text.Put(*p);
  size_t used = 0;
  const wchar_t* p = tail;
  while (*p != L'\0') {
    if (*p != L'%') {
      text.Put(*p++);
      continue;
    }
    if (p[1] == L'%') {
      text.Put(L'%');
      p += 2;
      continue;
    }
    const wchar_t* q = p + 1;
    bool zeroPad = *q == L'0';
    if (zeroPad) ++q;
    size_t width = 0;
    for (; IsDigit(*q); ++q) {
      if (width < 64) width = width * 10 + static_cast<size_t>(*q - L'0');
    }
    if (*q == L'l') ++q;
    if (*q == L'l') ++q;
    if (*q != L'd' || used == valueCount) {
      text.Put(*p++);  // not a conversion (or nothing left to fill): a plain '%'
      continue;
    }
    PutNumber(&text, values[used++], width, zeroPad);
    p = q + 1;
  }
  return text.complete;
}

bool IsFullPath(const wchar_t* path) {
  if (IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
  return IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool MakeFullPath(const wchar_t* text, const wchar_t* startDir, wchar_t* out, size_t capacity) {
  bool made = false;
  out[0] = L'\0';
  if (IsFullPath(text)) {
    made = CopyText(out, capacity, text);
  } else if (!IsFullPath(startDir)) {
    made = false;
  } else if (IsSeparator(text[0])) {
    size_t root = RootLength(startDir);
    made = root < capacity;
    if (made) {
      wmemcpy(out, startDir, root);
      out[root] = L'\0';
      made = AppendText(out, capacity, text);
    }
  } else if (IsAsciiLetter(text[0]) && text[1] == L':') {
    bool sameDrive = startDir[1] == L':' && LowerAscii(startDir[0]) == LowerAscii(text[0]);
    if (sameDrive) {
      made = JoinBelow(startDir, text + 2, out, capacity);
    } else {
      wchar_t root[4] = {text[0], L':', L'\\', L'\0'};
      made = JoinBelow(root, text + 2, out, capacity);
    }
  } else {
    made = JoinBelow(startDir, text, out, capacity);
  }
  if (!made) out[0] = L'\0';
  return made;
}
