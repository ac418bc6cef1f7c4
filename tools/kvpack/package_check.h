// Reading a package image on the host: its layout (stub, package header, payload archive,
// runtime archive), the entries of its archives, and the full check that "kvpack verify" runs.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// The largest block (and so the largest file) the extractor is asked to hold in memory. It
// decodes a whole block into one allocation inside a 32-bit process whose 2 GiB of address space
// is shared with its modules, heaps and the decoder; 1 GiB leaves room for those.
constexpr uint64_t kMaxBlockBytes = 1ull << 30;

struct ArchiveEntry {
  std::string name;    // UTF-8, '/' between components
  bool isDir = false;
  uint64_t size = 0;
  bool hasTime = false;
  uint64_t fileTime = 0;  // 100-ns intervals since 1601-01-01 UTC
  uint32_t block = 0xFFFFFFFF;  // block index; none for entries without data
};

struct PackageLayout {
  uint16_t machine = 0;         // the stub's machine (kMachineX86, kMachineX64)
  uint16_t libraryMachine = 0;  // the runtime library's; read only when the data is checked
  uint32_t imageEnd = 0;
  uint64_t payloadOffset = 0;
  uint64_t payloadSize = 0;
  uint64_t declaredSize = 0;
  uint64_t actualSize = 0;
  uint64_t runtimeOffset = 0;
  std::vector<ArchiveEntry> payload;
  std::vector<ArchiveEntry> runtime;
  std::vector<uint64_t> payloadBlockSizes;  // unpacked size of each block
  std::vector<uint64_t> runtimeBlockSizes;
};

// Reads the layout and the entry lists; when checkData is set, also decodes every entry of both
// archives and checks its CRC. Returns true only for an intact image: the stub's PE image, the
// "KV" header, a declared size equal to the file's, a payload archive inside its declared size,
// a runtime archive found after it, entry names the extractor accepts, blocks it can hold, and
// (with checkData) every entry's data and a runtime library of the stub's architecture.
// Otherwise *reason holds a one-line reason.
bool ReadPackageImage(const std::string& path, bool checkData, PackageLayout* layout,
                      std::string* reason);

// Reads the entries of a standalone 7z archive file (as kvpack makes them) without decoding.
bool ReadArchiveFile(const std::string& path, std::vector<ArchiveEntry>* entries,
                     std::string* reason);

// A short English text for an LZMA SDK result code.
std::string ArchiveResultText(int code);
