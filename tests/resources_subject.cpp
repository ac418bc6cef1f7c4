// A program that carries the extractor's resources, as a subject for tests of their rewriting.
// Its exit code is the length of string-table entry 0 as loaded into 260 units.
#include <windows.h>

#include <iterator>

#include "resource_ids.h"

int main() {
  wchar_t title[260];
  return LoadStringW(GetModuleHandleW(nullptr), IDS_PACKAGE_TITLE, title,
                     static_cast<int>(std::size(title)));
}
