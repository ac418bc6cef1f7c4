// Package images with controlled faults for tests: a stub PE, the package header, the payload
// archive and the runtime archive, put together as the package builder does, or bent on purpose.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

enum class PackageFault {
  kNone,
  kDeclaredSizePlusOne,      // the header declares one byte more than the file holds
  kDeclaredSizeMinusOne,     // ... one byte less
  kJunkBetweenArchives,      // junk (with a 7z signature whose CRC is wrong) before the runtime archive
  kStartHeaderAcrossBlock,   // junk so that the runtime start header straddles the first 32 KiB scan block
  kCutHeader,                // the file ends 7 bytes into the header's second size field
  kBareStartHeaderAtEnd,     // the runtime "archive" is only a valid 32-byte start header at the end
};

struct PackageSpec {
  std::vector<uint8_t> stub;     // a PE image, used up to its image end
  std::vector<uint8_t> payload;  // a complete 7z archive
  std::vector<uint8_t> runtime;  // a complete 7z archive
  PackageFault fault = PackageFault::kNone;
};

struct BuiltPackage {
  std::vector<uint8_t> bytes;
  uint32_t imageEnd = 0;
  uint64_t payloadOffset = 0;   // imageEnd + 18
  uint64_t runtimeOffset = 0;   // where the runtime archive's start header really is
  uint64_t declaredSize = 0;    // what the header says
};

// False when the stub's PE headers give no image end inside it.
bool BuildPackageImage(const PackageSpec& spec, BuiltPackage* package);

// A synthetic head of a PE file, for the odd headers real linkers never write.
struct PeSection {
  uint32_t rawPointer;
  uint32_t rawSize;
};
struct PeHeadSpec {
  bool mz = true;
  bool peSignature = true;
  uint32_t ntOffset = 0x80;          // e_lfanew
  std::vector<PeSection> sections;
  uint16_t declaredSections = 0xFFFF;  // NumberOfSections; 0xFFFF: the number of sections given
  uint16_t optionalHeaderSize = 224;   // the file header's size field; 240 moves the table (PE32+)
  size_t length = 4096;              // bytes of the head (the table may reach past them)
};
std::vector<uint8_t> MakePeHead(const PeHeadSpec& spec);
