// Tests of the package image layout: the PE image end, the package header fields, the scan.
#include "bootstrap/package_layout.h"

#include <gtest/gtest.h>

#include <string.h>

#include "archive/lzma_sdk.h"
#include "kv_test_paths.h"
#include "package_fixture.h"
#include "seven_zip_builder.h"
#include "test_files.h"

namespace {

struct ImageEndCase {
  const char* label;
  PeHeadSpec head;
  bool ok;
  uint32_t end;
};

void PrintTo(const ImageEndCase& c, std::ostream* os) { *os << c.label; }

PeHeadSpec Head(std::vector<PeSection> sections, uint32_t ntOffset = 0x80, size_t length = 4096) {
  PeHeadSpec spec;
  spec.sections = sections;
  spec.ntOffset = ntOffset;
  spec.length = length;
  return spec;
}

PeHeadSpec Without(PeHeadSpec spec, bool mz, bool pe) {
  spec.mz = mz;
  spec.peSignature = pe;
  return spec;
}

PeHeadSpec Declaring(PeHeadSpec spec, uint16_t count) {
  spec.declaredSections = count;
  return spec;
}

PeHeadSpec OptionalHeader(PeHeadSpec spec, uint16_t size) {
  spec.optionalHeaderSize = size;
  return spec;
}

const std::vector<PeSection> kUsual = {{0x400, 0x1000}, {0x1400, 0x200}, {0x1600, 0x600}};

class FindImageEndTest : public ::testing::TestWithParam<ImageEndCase> {};

TEST_P(FindImageEndTest, TakesTheSectionWithTheLargestPointer) {
  const ImageEndCase& c = GetParam();
  std::vector<uint8_t> head = MakePeHead(c.head);
  uint32_t end = 0xDEADBEEF;
  EXPECT_EQ(c.ok, FindImageEnd(head.data(), head.size(), &end));
  if (c.ok) {
    EXPECT_EQ(c.end, end);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Heads, FindImageEndTest,
    ::testing::Values(
        ImageEndCase{"usual", Head(kUsual), true, 0x1C00},
        ImageEndCase{"unsorted", Head({{0x1600, 0x600}, {0x400, 0x9000}, {0x1400, 0x200}}), true,
                     0x1C00},
        ImageEndCase{"equal_pointers_first_wins",
                     Head({{0x400, 0x200}, {0x800, 0x100}, {0x800, 0x900}}), true, 0x900},
        ImageEndCase{"zero_size_last_section", Head({{0x400, 0x8000}, {0x1000, 0}}), true,
                     0x1000},
        ImageEndCase{"zero_pointer_ignored", Head({{0, 0x10000}, {0x400, 0x200}}), true, 0x600},
        ImageEndCase{"no_sections", Head({}), true, 0},
        ImageEndCase{"lfanew_3847", Head({}, 3847), true, 0},
        ImageEndCase{"lfanew_3848", Head({}, 3848), false, 0},
        ImageEndCase{"lfanew_huge", Head({}, 0x80000000u), false, 0},
        ImageEndCase{"no_mz", Without(Head(kUsual), false, true), false, 0},
        ImageEndCase{"no_pe_signature", Without(Head(kUsual), true, false), false, 0},
        ImageEndCase{"short_read_table_inside", Head(kUsual, 0x80, 0x80 + 248 + 3 * 40), true,
                     0x1C00},
        ImageEndCase{"short_read_table_cut", Head(kUsual, 0x80, 0x80 + 248 + 3 * 40 - 1), false,
                     0},
        ImageEndCase{"short_read_no_table", Head({}, 0x80, 0x100), false, 0},
        ImageEndCase{"table_beyond_head", Declaring(Head(kUsual, 3000), 30), false, 0},
        // A 64-bit image: the table follows a 240-byte optional header. Read at the 32-bit
        // place, the sections would come out shifted and give another end.
        ImageEndCase{"pe32plus", OptionalHeader(Head(kUsual), 240), true, 0x1C00},
        ImageEndCase{"pe32plus_short_read_table_inside",
                     OptionalHeader(Head(kUsual, 0x80, 0x80 + 264 + 3 * 40), 240), true, 0x1C00},
        ImageEndCase{"pe32plus_short_read_table_cut",
                     OptionalHeader(Head(kUsual, 0x80, 0x80 + 264 + 3 * 40 - 1), 240), false, 0},
        ImageEndCase{"pe32plus_lfanew_3847_table_outside", OptionalHeader(Head({}, 3847), 240),
                     false, 0},
        ImageEndCase{"other_optional_size_read_as_32_bit", OptionalHeader(Head(kUsual), 200),
                     true, 0x1C00},
        ImageEndCase{"tiny_file", Head({}, 0x80, 0x20), false, 0}));

// A real linked program: its sections end where the file ends (the test programs are stripped,
// so no symbol table follows them).
TEST(FindImageEndTest, FindsTheEndOfARealProgram) {
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadWholeFile(std::wstring(kTestOutDir) + L"\\package_probe.exe", &image));
  ASSERT_GT(image.size(), kImageHeadBytes);
  uint32_t end = 0;
  ASSERT_TRUE(FindImageEnd(image.data(), kImageHeadBytes, &end));
  EXPECT_EQ(image.size(), end);
}

TEST(PackageHeaderTest, FieldsAreLittleEndianAfterTheMagic) {
  uint8_t header[kPackageHeaderBytes];
  EncodePackageHeader(0x0102030405060708ull, 0x1112131415161718ull, header);
  const uint8_t expected[kPackageHeaderBytes] = {'K',  'V',  0x08, 0x07, 0x06, 0x05,
                                                 0x04, 0x03, 0x02, 0x01, 0x18, 0x17,
                                                 0x16, 0x15, 0x14, 0x13, 0x12, 0x11};
  EXPECT_EQ(0, memcmp(expected, header, sizeof(header)));
  header[0] = 'X';  // the magic is not checked
  uint64_t payload = 0;
  uint64_t declared = 0;
  DecodePackageHeader(header, &payload, &declared);
  EXPECT_EQ(0x0102030405060708ull, payload);
  EXPECT_EQ(0x1112131415161718ull, declared);
}

std::vector<uint8_t> MakeStartHeaderForScan(bool breakCrc) {
  std::vector<uint8_t> header = BuildEmptyArchive();
  if (breakCrc) header[8] ^= 0x01;
  return header;
}

// Reads from memory, delivering at most chunk bytes per call (as a short read would), or failing.
struct MemoryImage {
  std::vector<uint8_t> bytes;
  uint64_t at = 0;
  size_t reads = 0;
  size_t failReadNumber = 0;  // 1-based read that fails; 0: none
  bool failLength = false;
  bool failSeek = false;
};

int MemoryLength(void* context, uint64_t* length) {
  auto* m = static_cast<MemoryImage*>(context);
  *length = m->bytes.size();
  return m->failLength ? 1 : 0;
}

int MemorySeek(void* context, uint64_t offset) {
  auto* m = static_cast<MemoryImage*>(context);
  m->at = offset;
  return m->failSeek ? 1 : 0;
}

int MemoryRead(void* context, void* buffer, size_t* size) {
  auto* m = static_cast<MemoryImage*>(context);
  if (++m->reads == m->failReadNumber) return 1;
  uint64_t left = m->at < m->bytes.size() ? m->bytes.size() - m->at : 0;
  if (*size > left) *size = static_cast<size_t>(left);
  memcpy(buffer, m->bytes.data() + m->at, *size);
  m->at += *size;
  return 0;
}

struct ScanCase {
  const char* label;
  size_t junkBefore;        // bytes before the start header
  bool headerPresent;
  size_t bytesAfter;        // bytes after the start header
  bool breakCrc;
  size_t failReadNumber;
  bool found;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.label; }

class ScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, FindsTheFirstValidStartHeader) {
  const ScanCase& c = GetParam();
  CrcGenerateTable();
  MemoryImage image;
  image.bytes.assign(100, 0x37);  // bytes before the scan start, "7"s to tempt a false match
  const uint64_t start = image.bytes.size();
  for (size_t i = 0; i < c.junkBefore; ++i) image.bytes.push_back(i % 2 ? 0x37 : 0x7A);
  std::vector<uint8_t> header = MakeStartHeaderForScan(c.breakCrc);
  if (c.headerPresent) image.bytes.insert(image.bytes.end(), header.begin(), header.end());
  image.bytes.insert(image.bytes.end(), c.bytesAfter, 0x00);
  image.failReadNumber = c.failReadNumber;

  ImageReadCallbacks io = {&image, MemoryLength, MemorySeek, MemoryRead};
  uint64_t position = start;
  uint64_t length = 0;
  EXPECT_EQ(c.found, LocateArchiveSignature(&io, &position, &length));
  EXPECT_EQ(image.bytes.size(), length);
  if (c.found) {
    EXPECT_EQ(start + c.junkBefore, position);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanTest,
    ::testing::Values(
        ScanCase{"right_at_start", 0, true, 1, false, 0, true},
        ScanCase{"after_junk", 1234, true, 100, false, 0, true},
        ScanCase{"bad_crc_skipped", 0, true, 100, true, 0, false},
        ScanCase{"header_ending_at_file_end", 50, true, 0, false, 0, false},
        ScanCase{"last_candidate_of_block", kSignatureScanBytes - 33, true, 1, false, 0, true},
        ScanCase{"across_first_block", kSignatureScanBytes - 16, true, 1, false, 0, true},
        ScanCase{"across_second_block", 2 * kSignatureScanBytes - 32 - 5, true, 10, false, 0,
                 true},
        ScanCase{"far_behind", 5 * kSignatureScanBytes + 3, true, 40, false, 0, true},
        ScanCase{"nothing", 70000, false, 0, false, 0, false},
        ScanCase{"read_error", 70000, true, 1, false, 2, false}));

TEST(ScanTest, LengthOrSeekFailureEndsTheScan) {
  CrcGenerateTable();
  for (int which = 0; which < 2; ++which) {
    MemoryImage image;
    image.bytes = MakeStartHeaderForScan(false);
    image.bytes.push_back(0);
    image.failLength = which == 0;
    image.failSeek = which == 1;
    ImageReadCallbacks io = {&image, MemoryLength, MemorySeek, MemoryRead};
    uint64_t position = 0;
    uint64_t length = 0;
    EXPECT_FALSE(LocateArchiveSignature(&io, &position, &length)) << which;
  }
}

}  // namespace
