// Pure rules of the payload extraction.
#include "archive/extract_rules.h"

#include <math.h>
#include <wchar.h>

int PercentOf(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  double ratio = static_cast<double>(static_cast<int64_t>(done)) /
                 static_cast<double>(static_cast<int64_t>(total));
  return static_cast<int>(lround(ratio * 100.0));
}

size_t BeginOutputPath(wchar_t* path, size_t capacity, const wchar_t* destDir) {
  size_t length = wcslen(destDir);
  path[0] = L'\0';
  if (length == 0) return 0;
  bool hasSeparator = destDir[length - 1] == L'\\' || destDir[length - 1] == L'/';
  size_t needed = length + (hasSeparator ? 0 : 1) + 1;
  if (needed > capacity) return 0;
  wmemcpy(path, destDir, length);
  if (!hasSeparator) path[length++] = L'\\';
  path[length] = L'\0';
  return length;
}

bool EntryNameFits(size_t baseLength, size_t nameUnits, size_t capacity) {
  return baseLength <= capacity && nameUnits <= capacity - baseLength;
}

void UseBackslashes(wchar_t* text) {
  for (; *text != L'\0'; ++text) {
    if (*text == L'/') *text = L'\\';
  }
}
