// Layout of a package image: finding the PE image end, the package header's fields, and the
// signature scan for the runtime archive. Portable C++ over bytes and callbacks only.
#include "bootstrap/package_layout.h"

#include <string.h>

#include "archive/lzma_sdk.h"

namespace {

constexpr uint32_t kMaxNtHeadersOffset = 0xF07;  // 3847: NT headers start inside the head
constexpr size_t kLfanewOffset = 0x3C;
// The section table follows the 4-byte signature, the 20-byte file header and the optional
// header: 224 bytes in a 32-bit image (PE32), 240 in a 64-bit one (PE32+). The file header's own
// size field tells which; any other value is read as the 32-bit layout.
constexpr size_t kSectionTableOffset = 248;
constexpr size_t kSectionTableOffset64 = 264;
constexpr size_t kOptionalHeaderSizeOffset = 20;
constexpr uint16_t kOptionalHeaderSize64 = 240;
constexpr size_t kSectionHeaderBytes = 40;
constexpr size_t kStartHeaderBytes = 32;
const uint8_t kSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

void WriteU64(uint64_t value, uint8_t* p) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// True when a valid 7z start header begins at p (at least kStartHeaderBytes available).
bool IsStartHeader(const uint8_t* p) {
  if (p[0] != kSignature[0]) return false;
  if (memcmp(p, kSignature, sizeof(kSignature)) != 0) return false;
  return CrcCalc(p + 12, 20) == ReadU32(p + 8);
}

}  // namespace

bool FindImageEnd(const uint8_t* head, size_t headLength, uint32_t* imageEnd) {
  if (headLength > kImageHeadBytes) headLength = kImageHeadBytes;
  if (headLength < kLfanewOffset + 4) return false;
  if (head[0] != 'M' || head[1] != 'Z') return false;
  uint32_t ntOffset = ReadU32(head + kLfanewOffset);
  if (ntOffset > kMaxNtHeadersOffset) return false;
  // The bound above keeps a 32-bit section table's start inside a full head; a short read, a
  // 64-bit header or a long table must still lie inside the bytes actually read.
  if (ntOffset + kSectionTableOffset > headLength) return false;
  if (ReadU32(head + ntOffset) != 0x00004550) return false;
  uint32_t sectionCount = ReadU16(head + ntOffset + 6);
  bool pe64 = ReadU16(head + ntOffset + kOptionalHeaderSizeOffset) == kOptionalHeaderSize64;
  size_t tableOffset = ntOffset + (pe64 ? kSectionTableOffset64 : kSectionTableOffset);
  if (tableOffset > headLength) return false;
  if (sectionCount * kSectionHeaderBytes > headLength - tableOffset) return false;

  // The section with the largest raw-data pointer ends the image; among equal pointers the
  // first in the table decides, and a pointer of 0 never counts.
  uint32_t end = 0;
  uint32_t maxPointer = 0;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* section = head + tableOffset + i * kSectionHeaderBytes;
    uint32_t rawSize = ReadU32(section + 16);
    uint32_t rawPointer = ReadU32(section + 20);
    if (rawPointer > maxPointer) {
      end = rawPointer + rawSize;
      maxPointer = rawPointer;
    }
  }
  *imageEnd = end;
  return true;
}

void DecodePackageHeader(const uint8_t header[kPackageHeaderBytes], uint64_t* payloadSize,
                         uint64_t* declaredImageSize) {
  *payloadSize = ReadU64(header + 2);
  *declaredImageSize = ReadU64(header + 10);
}

void EncodePackageHeader(uint64_t payloadSize, uint64_t declaredImageSize,
                         uint8_t header[kPackageHeaderBytes]) {
  header[0] = 'K';
  header[1] = 'V';
  WriteU64(payloadSize, header + 2);
  WriteU64(declaredImageSize, header + 10);
}

bool LocateArchiveSignature(const ImageReadCallbacks* io, uint64_t* position,
                            uint64_t* imageLength) {
  if (io->getLength(io->context, imageLength) != 0) return false;
  if (io->seek(io->context, *position) != 0) return false;

  static_assert(kSignatureScanBytes > kStartHeaderBytes, "the scan block holds a start header");
  uint8_t buffer[kSignatureScanBytes];
  size_t count = 0;
  for (;;) {
    // At least one byte must follow a candidate, so a start header needs 33 bytes in hand.
    while (count <= kStartHeaderBytes) {
      size_t got = sizeof(buffer) - count;
      if (io->read(io->context, buffer + count, &got) != 0) return false;
      if (got == 0) return false;
      count += got;
    }
    for (size_t i = 0; i + kStartHeaderBytes < count; ++i) {
      if (IsStartHeader(buffer + i)) {
        *position += i;
        return true;
      }
    }
    // The last 32 bytes move to the front so that a header across two reads is still seen.
    *position += count - kStartHeaderBytes;
    memmove(buffer, buffer + count - kStartHeaderBytes, kStartHeaderBytes);
    count = kStartHeaderBytes;
  }
}
