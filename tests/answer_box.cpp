// Runs a package image on the test bench's display and answers its message boxes, printing what
// each one said, for `make demo` without a person at the screen.
//   answer_box SECONDS IMAGE
#include "package_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fwprintf(stderr, L"usage: answer_box SECONDS IMAGE\n");
    return 2;
  }
  DWORD seconds = wcstoul(argv[1], nullptr, 10);
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  PackageRun run = RunPackage(argv[2], folder, {}, nullptr, seconds * 1000);
  if (!run.started) {
    fwprintf(stderr, L"answer_box: cannot start %ls\n", argv[2]);
    return 2;
  }
  for (const SeenBox& box : run.boxes) {
    wprintf(L"box \"%ls\": %ls\n", box.caption.c_str(), box.text.c_str());
  }
  if (!run.finished) {
    fwprintf(stderr, L"answer_box: the package did not end within %lu seconds\n", seconds);
    return 2;
  }
  return static_cast<int>(run.exitCode);
}
