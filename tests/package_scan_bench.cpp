// Benchmark of the runtime archive scan: MiB per second over bytes that never match, once with
// bytes that fail the first-byte test and once with bytes that all pass it ("7" everywhere).
// Run by hand on the bench: tools/wine-bench.sh run <bench> package_scan_bench.exe
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <vector>

#include "archive/lzma_sdk.h"
#include "bootstrap/package_layout.h"

namespace {

struct Memory {
  const std::vector<unsigned char>* bytes;
  uint64_t at;
};

int Length(void* context, uint64_t* length) {
  *length = static_cast<Memory*>(context)->bytes->size();
  return 0;
}

int Seek(void* context, uint64_t offset) {
  static_cast<Memory*>(context)->at = offset;
  return 0;
}

int Read(void* context, void* buffer, size_t* size) {
  Memory* m = static_cast<Memory*>(context);
  uint64_t left = m->bytes->size() - m->at;
  if (*size > left) *size = static_cast<size_t>(left);
  memcpy(buffer, m->bytes->data() + m->at, *size);
  m->at += *size;
  return 0;
}

double ScanMiBPerSecond(const std::vector<unsigned char>& bytes) {
  Memory memory = {&bytes, 0};
  ImageReadCallbacks io = {&memory, Length, Seek, Read};
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  uint64_t position = 0;
  uint64_t length = 0;
  bool found = LocateArchiveSignature(&io, &position, &length);
  QueryPerformanceCounter(&stop);
  if (found) return -1;
  double seconds = double(stop.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  return double(bytes.size()) / (1024.0 * 1024.0) / seconds;
}

}  // namespace

int main() {
  CrcGenerateTable();
  const size_t size = 64u << 20;
  std::vector<unsigned char> plain(size, 0x00);
  std::vector<unsigned char> sevens(size, 0x37);
  // Signature bytes with a wrong CRC every 64 bytes: the CRC is computed each time.
  std::vector<unsigned char> fakes(size, 0x00);
  const unsigned char signature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
  for (size_t i = 0; i + 64 <= size; i += 64) memcpy(&fakes[i], signature, sizeof(signature));
  printf("no first byte:     %8.1f MiB/s\n", ScanMiBPerSecond(plain));
  printf("every first byte:  %8.1f MiB/s\n", ScanMiBPerSecond(sevens));
  printf("fake signatures:   %8.1f MiB/s\n", ScanMiBPerSecond(fakes));
  return 0;
}
