// Tests of the archive reader over archives made by 7zz on the host and by the tests.
#include "archive/archive_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "seven_zip_builder.h"
#include "test_files.h"

namespace {

struct ReadEntry {
  std::wstring name;
  bool isFolder;
  std::vector<uint8_t> data;
};

// Where a pass over an archive stopped: open file, open archive, or entry n.
struct ReadResult {
  WRes openFile = 0;
  SRes openArchive = SZ_OK;
  SRes extract = SZ_OK;
  std::vector<ReadEntry> entries;
};

// One pass as the extractor makes it: set-up, open, every entry in index order, close.
ReadResult ReadArchive(const std::wstring& path, UInt64 offset) {
  CrcGenerateTable();
  ReadResult result;
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  result.openFile = OpenImageFile(&reader, path.c_str());
  if (result.openFile == 0) result.openArchive = OpenArchiveAt(&reader, offset);
  if (result.openFile == 0 && result.openArchive == SZ_OK) {
    for (UInt32 i = 0; i < reader.database.NumFiles; ++i) {
      ReadEntry entry;
      size_t nameUnits = SzArEx_GetFileNameUtf16(&reader.database, i, nullptr);
      std::vector<UInt16> name(nameUnits);
      SzArEx_GetFileNameUtf16(&reader.database, i, name.data());
      entry.name.assign(name.begin(), name.end() - 1);
      entry.isFolder = SzArEx_IsDir(&reader.database, i);
      size_t at = 0;
      size_t size = 0;
      result.extract = ExtractEntry(&reader, i, &at, &size);
      if (result.extract != SZ_OK) break;
      EXPECT_EQ(SzArEx_GetFileSize(&reader.database, i), size);
      entry.data.assign(reader.blockBuffer + at, reader.blockBuffer + at + size);
      result.entries.push_back(entry);
    }
  }
  CloseArchiveReader(&reader);
  EXPECT_EQ(nullptr, reader.blockBuffer);
  EXPECT_EQ(nullptr, reader.lookStream.buf);
  EXPECT_EQ(INVALID_HANDLE_VALUE, reader.imageStream.file.handle);
  return result;
}

std::vector<uint8_t> Source(const wchar_t* name) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadWholeFile(TestDataPath(L"archive", (std::wstring(L"src\\") + name).c_str()),
                            &bytes));
  return bytes;
}

void ExpectSourceFiles(const ReadResult& result) {
  ASSERT_EQ(0u, result.openFile);
  ASSERT_EQ(SZ_OK, result.openArchive);
  ASSERT_EQ(SZ_OK, result.extract);
  ASSERT_EQ(2u, result.entries.size());
  std::vector<uint8_t> a = Source(L"a.txt");
  std::vector<uint8_t> b = Source(L"b.bin");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  for (const ReadEntry& e : result.entries) {
    EXPECT_FALSE(e.isFolder);
    if (e.name == L"a.txt") {
      EXPECT_TRUE(e.data == a) << "a.txt differs";
    } else {
      EXPECT_EQ(L"b.bin", e.name);
      EXPECT_TRUE(e.data == b) << "b.bin differs";
    }
  }
}

class MethodTest : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(MethodTest, DecodesToTheSourceBytes) {
  std::wstring name = std::wstring(L"method-") + GetParam() + L".7z";
  ExpectSourceFiles(ReadArchive(TestDataPath(L"archive", name.c_str()), 0));
}

INSTANTIATE_TEST_SUITE_P(Coders, MethodTest,
                         ::testing::Values(L"copy", L"lzma", L"lzma2", L"bcj2", L"x86", L"ppc",
                                           L"ia64", L"arm", L"armt", L"arm64", L"sparc",
                                           L"riscv", L"delta"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           std::wstring w = info.param;
                           return std::string(w.begin(), w.end());
                         });

TEST(ArchiveReaderTest, OpensAnArchiveInsideALargerFile) {
  ExpectSourceFiles(ReadArchive(TestDataPath(L"archive", L"embedded.bin"), 4099));
}

// Damaged archives, each made from a good one at test time.
struct DamageCase {
  const char* label;
  const wchar_t* archive;
  size_t keepBytes;   // the copy ends here (SIZE_MAX: whole archive)
  size_t flipAt;      // this byte is inverted (SIZE_MAX: none)
  UInt64 offset;      // where the archive is opened
  SRes openResult;
  SRes extractResult;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }

class DamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamageTest, ReportsTheSdkResult) {
  const DamageCase& c = GetParam();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadWholeFile(TestDataPath(L"archive", c.archive), &bytes));
  if (c.keepBytes != SIZE_MAX) bytes.resize(c.keepBytes);
  if (c.flipAt != SIZE_MAX) bytes[c.flipAt] ^= 0xFF;
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(WriteWholeFile(dir + L"damaged.7z", bytes));
  ReadResult result = ReadArchive(dir + L"damaged.7z", c.offset);
  EXPECT_EQ(0u, result.openFile);
  EXPECT_EQ(c.openResult, result.openArchive);
  EXPECT_EQ(c.extractResult, result.extract);
  RemoveScratchTree(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamageTest,
    ::testing::Values(
        DamageCase{"StartHeaderCrc", L"method-lzma.7z", SIZE_MAX, 20, 0, SZ_ERROR_CRC, SZ_OK},
        DamageCase{"Truncated", L"method-lzma.7z", 20000, SIZE_MAX, 0, SZ_ERROR_INPUT_EOF, SZ_OK},
        DamageCase{"NoSignature", L"method-lzma.7z", SIZE_MAX, SIZE_MAX, 1, SZ_ERROR_NO_ARCHIVE,
                   SZ_OK},
        DamageCase{"WrongOffsetInFile", L"embedded.bin", SIZE_MAX, SIZE_MAX, 4098,
                   SZ_ERROR_NO_ARCHIVE, SZ_OK},
        DamageCase{"OffsetBeyondEnd", L"method-lzma.7z", SIZE_MAX, SIZE_MAX, 1 << 30,
                   SZ_ERROR_NO_ARCHIVE, SZ_OK},
        DamageCase{"StoredDataCrc", L"method-copy.7z", SIZE_MAX, 32 + 100, 0, SZ_OK,
                   SZ_ERROR_CRC},
        DamageCase{"UnsupportedCoder", L"ppmd.7z", SIZE_MAX, SIZE_MAX, 0, SZ_OK,
                   SZ_ERROR_UNSUPPORTED}));

TEST(ArchiveReaderTest, MissingImageFileGivesTheSystemCode) {
  std::wstring dir = MakeScratchDir();
  ReadResult result = ReadArchive(dir + L"missing.7z", 0);
  EXPECT_EQ(static_cast<WRes>(ERROR_FILE_NOT_FOUND), result.openFile);
  RemoveScratchTree(dir);
}

TEST(ArchiveReaderTest, ClosingAReaderThatNeverOpenedIsSafe) {
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  EXPECT_EQ(0xFFFFFFFFu, reader.blockIndex);
  // Seeking on a file that never opened fails as an unpacking error.
  EXPECT_EQ(SZ_ERROR_FAIL, OpenArchiveAt(&reader, 0));
  CloseArchiveReader(&reader);
  CloseArchiveReader(&reader);
  EXPECT_EQ(nullptr, reader.lookStream.buf);
}

TEST(ArchiveReaderTest, ArchiveWithEmptyNextHeaderHasNoEntries) {
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(WriteWholeFile(dir + L"empty.7z", BuildEmptyArchive()));
  ReadResult result = ReadArchive(dir + L"empty.7z", 0);
  EXPECT_EQ(SZ_OK, result.openArchive);
  EXPECT_TRUE(result.entries.empty());
  RemoveScratchTree(dir);
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

// An entry without data between two files of one block must not disturb the block cache: the
// file after it comes out right (served from the block, or decoded again).
TEST(ArchiveReaderTest, BlockCacheSurvivesAnEntryWithoutData) {
  std::vector<BuiltEntry> built = {
      {L"first.bin", Pattern(5000, 1), false},  {L"empty.txt", {}, false},
      {L"second.bin", Pattern(3000, 9), false}, {L"folder", {}, true},
      {L"folder/third.bin", Pattern(700, 5), false},
  };
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(WriteWholeFile(dir + L"ordered.7z", BuildCopyArchive(built)));

  CrcGenerateTable();
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  ASSERT_EQ(0u, OpenImageFile(&reader, (dir + L"ordered.7z").c_str()));
  ASSERT_EQ(SZ_OK, OpenArchiveAt(&reader, 0));
  ASSERT_EQ(built.size(), reader.database.NumFiles);
  for (UInt32 i = 0; i < built.size(); ++i) {
    size_t at = 0;
    size_t size = 0;
    ASSERT_EQ(SZ_OK, ExtractEntry(&reader, i, &at, &size)) << i;
    EXPECT_EQ(built[i].isFolder, SzArEx_IsDir(&reader.database, i) != 0) << i;
    ASSERT_EQ(built[i].data.size(), size) << i;
    if (size == 0) continue;
    EXPECT_EQ(0u, reader.blockIndex) << i;
    std::vector<uint8_t> bytes(reader.blockBuffer + at, reader.blockBuffer + at + size);
    EXPECT_TRUE(bytes == built[i].data) << i;
  }
  CloseArchiveReader(&reader);
  RemoveScratchTree(dir);
}

TEST(ArchiveReaderTest, EntriesCarryTimeAndAttributes) {
  CrcGenerateTable();
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  ASSERT_EQ(0u, OpenImageFile(&reader, TestDataPath(L"archive", L"stamped.7z").c_str()));
  ASSERT_EQ(SZ_OK, OpenArchiveAt(&reader, 0));
  ASSERT_EQ(1u, reader.database.NumFiles);
  ASSERT_TRUE(SzBitWithVals_Check(&reader.database.MTime, 0));
  ASSERT_TRUE(SzBitWithVals_Check(&reader.database.Attribs, 0));
  const CNtfsFileTime& stored = reader.database.MTime.Vals[0];
  SYSTEMTIME expected = {2011, 4, 2, 5, 6, 7, 8, 0};
  FILETIME expectedTime;
  ASSERT_TRUE(SystemTimeToFileTime(&expected, &expectedTime));
  EXPECT_EQ(expectedTime.dwLowDateTime, stored.Low);
  EXPECT_EQ(expectedTime.dwHighDateTime, stored.High);
  EXPECT_NE(0u, reader.database.Attribs.Vals[0] & FILE_ATTRIBUTE_READONLY);
  CloseArchiveReader(&reader);
}

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(SetFileModifiedTimeTest, ChangesOnlyTheLastWriteTime) {
  std::wstring dir = MakeScratchDir();
  std::wstring path = dir + L"out.txt";
  CSzFile file;
  File_Construct(&file);
  ASSERT_EQ(0u, OutFile_OpenW(&file, path.c_str()));
  const char text[] = "new contents";
  size_t size = sizeof(text) - 1;
  ASSERT_EQ(0u, File_Write(&file, text, &size));
  FILETIME created, accessed, written;
  ASSERT_TRUE(GetFileTime(file.handle, &created, &accessed, &written));
  UInt32 high = 0x01CBF000;
  UInt32 low = 0x89ABCDE0;
  SetFileModifiedTime(&file, &high, &low);
  EXPECT_EQ(0u, File_Close(&file));
  // A closed file is passed over.
  SetFileModifiedTime(&file, &high, &low);

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(high, data.ftLastWriteTime.dwHighDateTime);
  EXPECT_EQ(low, data.ftLastWriteTime.dwLowDateTime);
  // Wine on a Linux file system has no creation time of its own and reports one derived from
  // the last-write time; Windows keeps the two apart.
  if (!RunningOnWine()) {
    EXPECT_EQ(created.dwHighDateTime, data.ftCreationTime.dwHighDateTime);
    EXPECT_EQ(created.dwLowDateTime, data.ftCreationTime.dwLowDateTime);
  }
  EXPECT_EQ(accessed.dwHighDateTime, data.ftLastAccessTime.dwHighDateTime);
  EXPECT_EQ(accessed.dwLowDateTime, data.ftLastAccessTime.dwLowDateTime);
  EXPECT_EQ(12u, data.nFileSizeLow);
  RemoveScratchTree(dir);
}

TEST(ArchiveErrorTextTest, NamesEveryCode) {
  struct {
    SRes code;
    const wchar_t* text;
  } cases[] = {
      {-1, L"Unknown error"},
      {0, L"Unknown error"},
      {1, L"Unknown error"},
      {2, L"Memory error while decompressing archive"},
      {3, L"CRC error: corrupted archive"},
      {4, L"Archive format not supported"},
      {5, L"Unknown error"},
      {6, L"Unexpected end of file"},
      {7, L"Unknown error"},
      {8, L"Unknown error"},
      {9, L"Unknown error"},
      {10, L"Unknown error"},
      {11, L"Error while unpacking archive"},
      {12, L"Unknown error"},
      {13, L"Unknown error"},
      {15, L"Unknown error"},
      {16, L"Unexpected error in archive"},
      {17, L"Invalid or corrupted archive"},
      {18, L"Unknown error"},
      {0x7FFFFFFF, L"Unknown error"},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.text, ArchiveErrorText(c.code)) << c.code;
}

}  // namespace
