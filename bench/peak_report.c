/* Linked into the benchmark's copy of the reference extractor: when the program ends, its peak
   working set and peak private bytes are appended to the file named by KV_BENCH_PEAKS, as
   "peak_ws=N peak_private=N". (Wine gives no memory figures for a process that has ended, so the
   process reports its own.) */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

__attribute__((destructor)) static void ReportPeaks(void) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KV_BENCH_PEAKS", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  PROCESS_MEMORY_COUNTERS counters;
  ZeroMemory(&counters, sizeof(counters));
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return;
  FILE* file = _wfopen(path, L"a");
  if (!file) return;
  fprintf(file, "peak_ws=%llu peak_private=%llu\n", (unsigned long long)counters.PeakWorkingSetSize,
          (unsigned long long)counters.PeakPagefileUsage);
  fclose(file);
}
