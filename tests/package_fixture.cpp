// Package images with controlled faults for tests.
#include "package_fixture.h"

#include <algorithm>

#include "bootstrap/package_layout.h"
#include "seven_zip_builder.h"

namespace {

void PutU16(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 2; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Filler without a 7z signature in it.
std::vector<uint8_t> Junk(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(0x41 + i % 23);
  return bytes;
}

}  // namespace

std::vector<uint8_t> MakePeHead(const PeHeadSpec& spec) {
  // Room for the whole table while writing it, for offsets that fit a head at all.
  size_t tableStart = spec.ntOffset + 24 + (spec.optionalHeaderSize == 240 ? 240 : 224);
  size_t tableEnd = spec.ntOffset < 0x10000 ? tableStart + spec.sections.size() * 40 : 0;
  std::vector<uint8_t> head(std::max(spec.length, tableEnd), 0);
  if (spec.mz) {
    head[0] = 'M';
    head[1] = 'Z';
  }
  PutU32(&head, 0x3C, spec.ntOffset);
  if (spec.ntOffset + 22 <= head.size()) {
    if (spec.peSignature) PutU32(&head, spec.ntOffset, 0x00004550);
    PutU16(&head, spec.ntOffset + 6,
           spec.declaredSections == 0xFFFF ? spec.sections.size() : spec.declaredSections);
    PutU16(&head, spec.ntOffset + 20, spec.optionalHeaderSize);
  }
  for (size_t i = 0; tableEnd != 0 && i < spec.sections.size(); ++i) {
    size_t at = tableStart + i * 40;
    PutU32(&head, at + 16, spec.sections[i].rawSize);
    PutU32(&head, at + 20, spec.sections[i].rawPointer);
  }
  head.resize(spec.length);
  return head;
}

bool BuildPackageImage(const PackageSpec& spec, BuiltPackage* package) {
  uint32_t imageEnd = 0;
  size_t headLength = std::min(spec.stub.size(), kImageHeadBytes);
  if (!FindImageEnd(spec.stub.data(), headLength, &imageEnd) || imageEnd > spec.stub.size())
    return false;
  std::vector<uint8_t> body(spec.payload);
  uint64_t runtimeStart = body.size();
  switch (spec.fault) {
    case PackageFault::kJunkBetweenArchives: {
      std::vector<uint8_t> junk = Junk(5000);
      // A signature whose start-header CRC is wrong must be passed over.
      std::vector<uint8_t> fake = BuildEmptyArchive();
      fake[8] ^= 0x5A;
      std::copy(fake.begin(), fake.end(), junk.begin() + 1000);
      body.insert(body.end(), junk.begin(), junk.end());
      break;
    }
    case PackageFault::kStartHeaderAcrossBlock: {
      std::vector<uint8_t> junk = Junk(kSignatureScanBytes - 16);
      body.insert(body.end(), junk.begin(), junk.end());
      break;
    }
    default:
      break;
  }
  runtimeStart = body.size();
  if (spec.fault == PackageFault::kBareStartHeaderAtEnd) {
    std::vector<uint8_t> bare = BuildEmptyArchive();
    body.insert(body.end(), bare.begin(), bare.end());
  } else {
    body.insert(body.end(), spec.runtime.begin(), spec.runtime.end());
  }

  package->imageEnd = imageEnd;
  package->payloadOffset = uint64_t{imageEnd} + kPackageHeaderBytes;
  package->runtimeOffset = package->payloadOffset + runtimeStart;
  uint64_t total = package->payloadOffset + body.size();
  package->declaredSize = total;
  if (spec.fault == PackageFault::kDeclaredSizePlusOne) package->declaredSize = total + 1;
  if (spec.fault == PackageFault::kDeclaredSizeMinusOne) package->declaredSize = total - 1;

  uint8_t header[kPackageHeaderBytes];
  EncodePackageHeader(spec.payload.size(), package->declaredSize, header);
  package->bytes.assign(spec.stub.begin(), spec.stub.begin() + imageEnd);
  if (spec.fault == PackageFault::kCutHeader) {
    package->bytes.insert(package->bytes.end(), header, header + 2 + 8 + 7);
    package->declaredSize = package->bytes.size();
    return true;
  }
  package->bytes.insert(package->bytes.end(), header, header + kPackageHeaderBytes);
  package->bytes.insert(package->bytes.end(), body.begin(), body.end());
  return true;
}
