// The benchmark's measurements under Wine, one run per call, printed as one line of
// "name=value" pairs for the script that collects them:
//   bench_driver package IMAGE DEST      start-up (process start to the welcome page shown) and
//                                        extraction (the destination page's Next to the final
//                                        page shown, less the extractor's fixed 400 ms pause) of
//                                        a package driven through its pages; peak working set and
//                                        peak private bytes read while the final page shows
//   bench_driver reference EXE ARCHIVE DEST
//                                        the reference extractor's whole run ("EXE x ARCHIVE" in
//                                        DEST) and its peaks, which it reports itself at its end
//                                        into the file named by KV_BENCH_PEAKS (bench/peak_report.c)
//   bench_driver window EXE              start-up of a program that shows one window: process
//                                        start to its window shown; the window is then closed
// Times are in milliseconds, memory in bytes. Exit code 0 when the run went as it should.
#include "window_finder.h"
#include "wizard_driver.h"

#include <psapi.h>
#include <stdio.h>

#include <string>

namespace {

constexpr DWORD kLimitMs = 30 * 60 * 1000;
// The extractor waits this long after closing its progress box.
constexpr double kFixedPauseMs = 400.0;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Polls for a window of the kind until it shows; its handle, or null when the process ended or
// the limit passed. *seen gets the time it was first seen.
HWND PollFor(DWORD processId, HANDLE process, WindowKind kind, double* seen) {
  double start = Now();
  for (;;) {
    HWND window = FindWindowOfKind(processId, kind);
    if (window) {
      *seen = Now();
      return window;
    }
    if (WaitForSingleObject(process, 1) != WAIT_TIMEOUT) return nullptr;
    if (Now() - start > kLimitMs) return nullptr;
  }
}

bool Peaks(HANDLE process, SIZE_T* workingSet, SIZE_T* privateBytes) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) return false;
  *workingSet = counters.PeakWorkingSetSize;
  *privateBytes = counters.PeakPagefileUsage;
  return true;
}

int Fail(const char* what, Driver* driver) {
  fprintf(stderr, "bench_driver: %s\n", what);
  if (driver && driver->started) FinishPackage(driver, 1000);
  return 1;
}

int MeasurePackage(const wchar_t* image, const wchar_t* dest) {
  Driver driver;
  DriverOptions options;
  double started = Now();
  if (!StartPackage(image, options, &driver)) return Fail("cannot start the package", nullptr);
  DWORD id = driver.process.dwProcessId;
  double welcomeSeen = 0;
  HWND welcome = PollFor(id, driver.process.hProcess, WindowKind::kWelcome, &welcomeSeen);
  if (!welcome) return Fail("no welcome page", &driver);
  double startup = welcomeSeen - started;
  if (!NextFrom(&driver, WindowKind::kWelcome)) return Fail("welcome page", &driver);
  if (!NextFrom(&driver, WindowKind::kReadme)) return Fail("readme page", &driver);
  HWND destination = WaitForWindow(&driver, WindowKind::kDestination);
  if (!destination || !ReplaceEditText(destination, 20, dest)) return Fail("destination page", &driver);
  double next = Now();
  Click(destination, 1);
  double finalSeen = 0;
  HWND final = PollFor(id, driver.process.hProcess, WindowKind::kFinal, &finalSeen);
  if (!final) return Fail("no final page (a question or an error came instead)", &driver);
  SIZE_T workingSet = 0, privateBytes = 0;
  Peaks(driver.process.hProcess, &workingSet, &privateBytes);
  WaitForWindow(&driver, WindowKind::kFinal);
  Click(final, 1);
  DWORD code = FinishPackage(&driver, 60000);
  if (code != 0) return Fail("the package did not end with 0", nullptr);
  printf("startup_ms=%.1f extract_ms=%.1f peak_ws=%llu peak_private=%llu\n", startup,
         finalSeen - next - kFixedPauseMs, static_cast<unsigned long long>(workingSet),
         static_cast<unsigned long long>(privateBytes));
  return 0;
}

int MeasureReference(const wchar_t* exe, const wchar_t* archive, const wchar_t* dest) {
  CreateDirectoryW(dest, nullptr);
  std::wstring commandLine = std::wstring(L"\"") + exe + L"\" x \"" + archive + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  // Its listing of every file goes nowhere, as a console that nobody reads would take it.
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process = {};
  std::wstring peaksFile = std::wstring(dest) + L".peaks";
  DeleteFileW(peaksFile.c_str());
  SetEnvironmentVariableW(L"KV_BENCH_PEAKS", peaksFile.c_str());
  double started = Now();
  if (!CreateProcessW(exe, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, dest, &startup,
                      &process)) {
    CloseHandle(nul);
    return Fail("cannot start the reference extractor", nullptr);
  }
  WaitForSingleObject(process.hProcess, kLimitMs);
  double ended = Now();
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  unsigned long long workingSet = 0, privateBytes = 0;
  FILE* report = _wfopen(peaksFile.c_str(), L"r");
  bool peaks = report && fscanf(report, "peak_ws=%llu peak_private=%llu", &workingSet, &privateBytes) == 2;
  if (report) fclose(report);
  DeleteFileW(peaksFile.c_str());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(nul);
  if (code != 0) return Fail("the reference extractor failed", nullptr);
  if (!peaks || workingSet == 0) return Fail("no memory figures for the ended process", nullptr);
  printf("extract_ms=%.1f peak_ws=%llu peak_private=%llu\n", ended - started, workingSet,
         privateBytes);
  return 0;
}

BOOL CALLBACK FindTopWindow(HWND window, LPARAM parameter) {
  auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == found->first && IsWindowVisible(window)) {
    found->second = window;
    return FALSE;
  }
  return TRUE;
}

int MeasureWindow(const wchar_t* exe) {
  std::wstring commandLine = std::wstring(L"\"") + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  double started = Now();
  if (!CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return Fail("cannot start the program", nullptr);
  }
  std::pair<DWORD, HWND> found = {process.dwProcessId, nullptr};
  double seen = 0;
  while (!found.second) {
    EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&found));
    if (found.second) {
      seen = Now();
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT || Now() - started > kLimitMs) break;
  }
  if (found.second) PostMessageW(found.second, WM_CLOSE, 0, 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!found.second) return Fail("the program showed no window", nullptr);
  printf("startup_ms=%.1f\n", seen - started);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"package" && argc == 4) return MeasurePackage(argv[2], argv[3]);
  if (mode == L"reference" && argc == 5) return MeasureReference(argv[2], argv[3], argv[4]);
  if (mode == L"window" && argc == 3) return MeasureWindow(argv[2]);
  fprintf(stderr,
          "usage: bench_driver package IMAGE DEST | reference EXE ARCHIVE DEST | window EXE\n");
  return 2;
}
