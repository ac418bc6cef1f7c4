// Drives a package through every page of its wizard on the test bench's display, as a person
// with every default but the destination would: Next on the welcome and readme pages, the
// destination typed, "Yes, overwrite it" for all conflicts, Close on the final page. Each window
// it meets is photographed into the screenshot folder and every message box is read out and
// answered with its first button. For `make demo` without a person at the screen.
//   demo_driver IMAGE DESTINATION SCREENSHOT-FOLDER
#include "window_finder.h"
#include "wizard_driver.h"

#include <stdio.h>

#include <string>

namespace {

constexpr DWORD kPageWaitMs = 60000;

int Fail(Driver* driver, const char* what) {
  fprintf(stderr, "demo_driver: %s\n", what);
  if (driver->started) FinishPackage(driver, 1000);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: demo_driver IMAGE DESTINATION SCREENSHOT-FOLDER\n");
    return 2;
  }
  DriverOptions options;
  options.screenshotFolder = argv[3];
  options.screenshotPrefix = L"demo";
  Driver driver;
  if (!StartPackage(argv[1], options, &driver)) return Fail(&driver, "cannot start the package");
  for (;;) {
    HWND window = nullptr;
    WindowKind kind = WaitForAnyWindow(&driver, kPageWaitMs, &window);
    if (kind == WindowKind::kNone) break;
    wprintf(L"demo: %hs window \"%ls\"\n", KindName(kind), WindowCaption(window).c_str());
    switch (kind) {
      case WindowKind::kWelcome:
      case WindowKind::kReadme:
        Click(window, 1);
        break;
      case WindowKind::kDestination:
        if (!ReplaceEditText(window, 20, argv[2])) return Fail(&driver, "cannot type the destination");
        Click(window, 1);
        break;
      case WindowKind::kProgress:
        // The extraction runs on; the next window is the final page or a question.
        WaitUntilGone(window, kPageWaitMs);
        continue;
      case WindowKind::kOverwrite:
        Click(window, 12);
        Click(window, 10);
        break;
      case WindowKind::kFinal:
        Click(window, 1);
        break;
      case WindowKind::kMessageBox: {
        BoxContent box = ReadBox(window);
        wprintf(L"demo: box \"%ls\": %ls\n", box.caption.c_str(), box.text.c_str());
        AnswerBox(window, box.buttons.empty() ? IDOK : box.buttons.front());
        break;
      }
      default:
        return Fail(&driver, "the package shows a window the demo does not know");
    }
    WaitUntilGone(window);
  }
  DWORD code = FinishPackage(&driver, 20000);
  wprintf(L"demo: %d screenshots in %ls\n", driver.screenshots, argv[3]);
  return static_cast<int>(code);
}
