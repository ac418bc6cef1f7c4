// Small 7z archives written by the tests themselves (uncompressed header, Copy method).
#include "seven_zip_builder.h"

#include "archive/lzma_sdk.h"

namespace {

enum : uint8_t {
  kEnd = 0x00, kHeader = 0x01, kMainStreamsInfo = 0x04, kFilesInfo = 0x05, kPackInfo = 0x06,
  kUnpackInfo = 0x07, kSubStreamsInfo = 0x08, kSize = 0x09, kCrc = 0x0A, kFolder = 0x0B,
  kCodersUnpackSize = 0x0C, kNumUnpackStream = 0x0D, kEmptyStream = 0x0E, kEmptyFile = 0x0F,
  kName = 0x11,
};

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutU64(std::vector<uint8_t>* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The format's variable-length number: leading one bits in the first byte count the bytes
// that follow, low byte first.
void PutNumber(std::vector<uint8_t>* out, uint64_t value) {
  uint8_t first = 0;
  uint8_t mask = 0x80;
  int i = 0;
  for (; i < 8; ++i) {
    if (value < (uint64_t{1} << (7 * (i + 1)))) {
      first |= static_cast<uint8_t>(value >> (8 * i));
      break;
    }
    first |= mask;
    mask >>= 1;
  }
  out->push_back(first);
  for (; i > 0; --i) {
    out->push_back(static_cast<uint8_t>(value));
    value >>= 8;
  }
}

std::vector<uint8_t> BitVector(const std::vector<bool>& bits) {
  std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  return bytes;
}

uint32_t Crc(const std::vector<uint8_t>& bytes, size_t from = 0, size_t length = SIZE_MAX) {
  if (length == SIZE_MAX) length = bytes.size() - from;
  return CrcCalc(bytes.data() + from, length);
}

std::vector<uint8_t> StartHeader(uint64_t nextOffset, uint64_t nextSize, uint32_t nextCrc) {
  CrcGenerateTable();
  std::vector<uint8_t> out = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
  std::vector<uint8_t> rest;
  PutU64(&rest, nextOffset);
  PutU64(&rest, nextSize);
  PutU32(&rest, nextCrc);
  PutU32(&out, Crc(rest));
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

}  // namespace

std::vector<uint8_t> BuildEmptyArchive() { return StartHeader(0, 0, 0); }

std::vector<uint8_t> BuildCopyArchive(const std::vector<BuiltEntry>& entries) {
  CrcGenerateTable();
  std::vector<uint8_t> packed;
  std::vector<const BuiltEntry*> streams;
  std::vector<bool> emptyStream;
  std::vector<bool> emptyFile;
  for (const BuiltEntry& e : entries) {
    bool hasData = !e.isFolder && !e.data.empty();
    emptyStream.push_back(!hasData);
    if (hasData) {
      streams.push_back(&e);
      packed.insert(packed.end(), e.data.begin(), e.data.end());
    } else {
      emptyFile.push_back(!e.isFolder);
    }
  }

  std::vector<uint8_t> h = {kHeader};
  if (!streams.empty()) {
    h.push_back(kMainStreamsInfo);
    h.push_back(kPackInfo);
    PutNumber(&h, 0);
    PutNumber(&h, 1);
    h.push_back(kSize);
    PutNumber(&h, packed.size());
    h.push_back(kEnd);
    h.push_back(kUnpackInfo);
    h.push_back(kFolder);
    PutNumber(&h, 1);
    h.push_back(0);     // folders stored here
    PutNumber(&h, 1);   // one coder
    h.push_back(0x01);  // simple coder, one-byte method id
    h.push_back(0x00);  // Copy
    h.push_back(kCodersUnpackSize);
    PutNumber(&h, packed.size());
    h.push_back(kEnd);
    h.push_back(kSubStreamsInfo);
    h.push_back(kNumUnpackStream);
    PutNumber(&h, streams.size());
    h.push_back(kSize);
    for (size_t i = 0; i + 1 < streams.size(); ++i) PutNumber(&h, streams[i]->data.size());
    h.push_back(kCrc);
    h.push_back(1);  // all defined
    for (const BuiltEntry* s : streams) PutU32(&h, Crc(s->data));
    h.push_back(kEnd);
    h.push_back(kEnd);
  }
  h.push_back(kFilesInfo);
  PutNumber(&h, entries.size());
  if (streams.size() != entries.size()) {
    std::vector<uint8_t> bits = BitVector(emptyStream);
    h.push_back(kEmptyStream);
    PutNumber(&h, bits.size());
    h.insert(h.end(), bits.begin(), bits.end());
    bits = BitVector(emptyFile);
    h.push_back(kEmptyFile);
    PutNumber(&h, bits.size());
    h.insert(h.end(), bits.begin(), bits.end());
  }
  std::vector<uint8_t> names = {0};  // names stored here
  for (const BuiltEntry& e : entries) {
    for (wchar_t c : e.name) {
      names.push_back(static_cast<uint8_t>(c));
      names.push_back(static_cast<uint8_t>(c >> 8));
    }
    names.push_back(0);
    names.push_back(0);
  }
  h.push_back(kName);
  PutNumber(&h, names.size());
  h.insert(h.end(), names.begin(), names.end());
  h.push_back(kEnd);
  h.push_back(kEnd);

  std::vector<uint8_t> archive = StartHeader(packed.size(), h.size(), Crc(h));
  archive.insert(archive.end(), packed.begin(), packed.end());
  archive.insert(archive.end(), h.begin(), h.end());
  return archive;
}
