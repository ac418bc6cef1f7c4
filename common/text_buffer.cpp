// Zero-terminated UTF-16 texts in fixed buffers.
#include "common/text_buffer.h"

#include <wchar.h>

bool AppendText(wchar_t* dest, size_t capacity, const wchar_t* src) {
  size_t length = wcslen(dest);
  while (*src != L'\0' && length + 1 < capacity) dest[length++] = *src++;
  dest[length] = L'\0';
  return *src == L'\0';
}

bool CopyText(wchar_t* dest, size_t capacity, const wchar_t* src) {
  dest[0] = L'\0';
  return AppendText(dest, capacity, src);
}
