// Tests of reading package images from disk: the package header, the runtime archive's place,
// and a package image run as a program.
#include "bootstrap/package_image.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include "archive/archive_reader.h"
#include "bootstrap/package_layout.h"
#include "common/sfx_state.h"
#include "kv_test_paths.h"
#include "package_fixture.h"
#include "test_files.h"

namespace {

std::vector<uint8_t> LoadStub() {
  std::vector<uint8_t> stub;
  EXPECT_TRUE(ReadWholeFile(std::wstring(kTestOutDir) + L"\\package_probe.exe", &stub));
  return stub;
}

std::vector<uint8_t> LoadData(const wchar_t* name) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadWholeFile(TestDataPath(L"archive", name), &bytes));
  return bytes;
}

void UseImage(const std::wstring& path) {
  sfx = SfxState();
  wcscpy(sfx.imagePath, path.c_str());
}

struct ImageCase {
  const char* label;
  PackageFault fault;
  bool headerRead;
  bool runtimeFound;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.label; }

class PackageImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(PackageImageTest, ReadsHeaderAndFindsTheRuntimeArchive) {
  const ImageCase& c = GetParam();
  CrcGenerateTable();
  PackageSpec spec;
  spec.stub = LoadStub();
  spec.payload = LoadData(L"stamped.7z");
  spec.runtime = LoadData(L"method-lzma.7z");
  spec.fault = c.fault;
  BuiltPackage package;
  ASSERT_TRUE(BuildPackageImage(spec, &package));
  std::wstring dir = MakeScratchDir();
  std::wstring path = dir + L"package.exe";
  ASSERT_TRUE(WriteWholeFile(path, package.bytes));

  UseImage(path);
  ASSERT_EQ(c.headerRead, ReadPackageHeader());
  EXPECT_EQ(package.imageEnd, sfx.imageEnd);
  if (!c.headerRead) {
    RemoveScratchTree(dir);
    return;
  }
  EXPECT_EQ(spec.payload.size(), sfx.payloadSize);
  EXPECT_EQ(package.declaredSize, sfx.declaredImageSize);

  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  ASSERT_EQ(0u, OpenImageFile(&reader, path.c_str()));
  UInt64 position = 0;
  EXPECT_EQ(c.runtimeFound ? 1 : 0, LocateRuntimeArchive(&reader.imageStream.file, &position));
  EXPECT_EQ(package.bytes.size(), sfx.actualImageSize);
  // The integrity rule: only an exact size match is an intact image.
  EXPECT_EQ(c.fault != PackageFault::kDeclaredSizePlusOne &&
                c.fault != PackageFault::kDeclaredSizeMinusOne,
            sfx.declaredImageSize == sfx.actualImageSize);
  if (c.runtimeFound) {
    EXPECT_EQ(package.runtimeOffset, position);
    EXPECT_EQ(SZ_OK, OpenArchiveAt(&reader, position));
    EXPECT_EQ(2u, reader.database.NumFiles);
  }
  CloseArchiveReader(&reader);

  // The payload archive opens at its offset although the runtime archive follows it.
  SetUpArchiveReader(&reader);
  ASSERT_EQ(0u, OpenImageFile(&reader, path.c_str()));
  EXPECT_EQ(SZ_OK, OpenArchiveAt(&reader, package.payloadOffset));
  EXPECT_EQ(1u, reader.database.NumFiles);
  CloseArchiveReader(&reader);
  RemoveScratchTree(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PackageImageTest,
    ::testing::Values(
        ImageCase{"intact", PackageFault::kNone, true, true},
        ImageCase{"declared_plus_one", PackageFault::kDeclaredSizePlusOne, true, true},
        ImageCase{"declared_minus_one", PackageFault::kDeclaredSizeMinusOne, true, true},
        ImageCase{"junk_between_archives", PackageFault::kJunkBetweenArchives, true, true},
        ImageCase{"start_header_across_block", PackageFault::kStartHeaderAcrossBlock, true, true},
        ImageCase{"bare_start_header_at_end", PackageFault::kBareStartHeaderAtEnd, true, false},
        ImageCase{"cut_header", PackageFault::kCutHeader, false, false}));

// Files whose PE headers or size stop ReadPackageHeader.
struct HeadFileCase {
  const char* label;
  PeHeadSpec head;
  size_t fileLength;  // the file is the head, padded with zeros or cut to this length
  bool ok;
  uint64_t payloadSize;
};

void PrintTo(const HeadFileCase& c, std::ostream* os) { *os << c.label; }

PeHeadSpec OddHead(uint32_t ntOffset, std::vector<PeSection> sections, bool mz = true,
                   bool pe = true) {
  PeHeadSpec spec;
  spec.ntOffset = ntOffset;
  spec.sections = sections;
  spec.mz = mz;
  spec.peSignature = pe;
  return spec;
}

class OddHeadTest : public ::testing::TestWithParam<HeadFileCase> {};

TEST_P(OddHeadTest, DecidesOnTheBytesRead) {
  const HeadFileCase& c = GetParam();
  std::vector<uint8_t> bytes = MakePeHead(c.head);
  bytes.resize(c.fileLength, 0);
  // A package header right behind the image end that the sections give (0x2000 here).
  if (bytes.size() >= 0x2000 + kPackageHeaderBytes) {
    EncodePackageHeader(0x1234, bytes.size(), bytes.data() + 0x2000);
  }
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(WriteWholeFile(dir + L"odd.exe", bytes));
  UseImage(dir + L"odd.exe");
  EXPECT_EQ(c.ok, ReadPackageHeader());
  if (c.ok) {
    EXPECT_EQ(c.payloadSize, sfx.payloadSize);
  }
  RemoveScratchTree(dir);
}

// Without sections the image end is 0 and the header is read at offset 2, inside the DOS header.
PeHeadSpec NoSectionsAt3847() { return OddHead(3847, {}); }

INSTANTIATE_TEST_SUITE_P(
    Heads, OddHeadTest,
    ::testing::Values(
        HeadFileCase{"usual", OddHead(0x80, {{0x400, 0x1000}, {0x1400, 0xC00}}), 0x3000, true,
                     0x1234},
        HeadFileCase{"equal_pointers", OddHead(0x80, {{0x1000, 0x1000}, {0x1000, 0x5000}}),
                     0x3000, true, 0x1234},
        HeadFileCase{"zero_size_last", OddHead(0x80, {{0x400, 0x8000}, {0x2000, 0}}), 0x3000,
                     true, 0x1234},
        HeadFileCase{"no_sections_lfanew_3847", NoSectionsAt3847(), 0x3000, true, 0},
        HeadFileCase{"lfanew_3848", OddHead(3848, {}), 0x3000, false, 0},
        HeadFileCase{"no_mz", OddHead(0x80, {{0x400, 0x1C00}}, false, true), 0x3000, false, 0},
        HeadFileCase{"no_pe_signature", OddHead(0x80, {{0x400, 0x1C00}}, true, false), 0x3000,
                     false, 0},
        HeadFileCase{"table_beyond_bytes_read", OddHead(0x80, {{0x400, 0x1C00}}), 0x80 + 250,
                     false, 0},
        HeadFileCase{"header_beyond_end", OddHead(0x80, {{0x400, 0x1C00}}), 0x2000 + 9, false,
                     0}));

TEST(ReadPackageHeaderTest, MissingOrLockedImageFails) {
  std::wstring dir = MakeScratchDir();
  UseImage(dir + L"missing.exe");
  EXPECT_FALSE(ReadPackageHeader());

  std::vector<uint8_t> bytes = MakePeHead(OddHead(0x80, {{0x400, 0x1C00}}));
  bytes.resize(0x3000, 0);
  ASSERT_TRUE(WriteWholeFile(dir + L"locked.exe", bytes));
  HANDLE lock = CreateFileW((dir + L"locked.exe").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  UseImage(dir + L"locked.exe");
  EXPECT_FALSE(ReadPackageHeader());
  CloseHandle(lock);
  EXPECT_TRUE(ReadPackageHeader());
  RemoveScratchTree(dir);
}

// Runs a program and collects its output and exit code.
bool RunProgram(const std::wstring& path, const std::wstring& outputPath, DWORD* exitCode,
                std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE out = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = L"\"" + path + L"\"";
  BOOL started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  DWORD startError = GetLastError();
  CloseHandle(out);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed: " << startError;
    return false;
  }
  WaitForSingleObject(process.hProcess, 60000);
  GetExitCodeProcess(process.hProcess, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(outputPath, &bytes)) return false;
  output->assign(bytes.begin(), bytes.end());
  return true;
}

// A package image is still a program the system runs, and reads its own package data.
TEST(PackageImageRunTest, PackagedProgramReadsItsOwnPackageData) {
  PackageSpec spec;
  spec.stub = LoadStub();
  spec.payload = LoadData(L"stamped.7z");
  spec.runtime = LoadData(L"method-lzma.7z");
  spec.fault = PackageFault::kJunkBetweenArchives;
  BuiltPackage package;
  ASSERT_TRUE(BuildPackageImage(spec, &package));
  std::wstring dir = MakeScratchDir();
  ASSERT_TRUE(WriteWholeFile(dir + L"package.exe", package.bytes));
  DWORD exitCode = 99;
  std::string output;
  ASSERT_TRUE(RunProgram(dir + L"package.exe", dir + L"output.txt", &exitCode, &output));
  EXPECT_EQ(0u, exitCode) << output;
  char expected[200];
  snprintf(expected, sizeof(expected),
           "end=%lu payload=%llu declared=%llu actual=%llu runtime=%llu files=1/2\r\n",
           static_cast<unsigned long>(package.imageEnd),
           static_cast<unsigned long long>(spec.payload.size()),
           static_cast<unsigned long long>(package.declaredSize),
           static_cast<unsigned long long>(package.bytes.size()),
           static_cast<unsigned long long>(package.runtimeOffset));
  EXPECT_EQ(expected, output);

  // The bare stub has no package data: its header read runs past the end of the file.
  ASSERT_TRUE(RunProgram(std::wstring(kTestOutDir) + L"\\package_probe.exe",
                         dir + L"bare.txt", &exitCode, &output));
  EXPECT_EQ(3u, exitCode) << output;
  RemoveScratchTree(dir);
}

}  // namespace
