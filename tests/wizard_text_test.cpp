// Tests of the wizard's pure text rules: EXITCODE to exit code, decimal texts, the name part of a
// path, the overwrite information's fill and full destination paths.
#include "wizard/wizard_text.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return out;
}

struct ExitCodeCase {
  const wchar_t* text;  // null: no text at all
  int expected;
};

void PrintTo(const ExitCodeCase& c, std::ostream* os) {
  *os << (c.text ? '"' + Narrow(c.text) + '"' : std::string("null"));
}

class ExitCodeTest : public ::testing::TestWithParam<ExitCodeCase> {};

TEST_P(ExitCodeTest, ReadsACleanDecimalNumber) {
  EXPECT_EQ(GetParam().expected, ExitCodeFromText(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitCodeTest,
    ::testing::Values(ExitCodeCase{L"0", 0}, ExitCodeCase{L"12", 12}, ExitCodeCase{L" 7", 7},
                      ExitCodeCase{L"\t\r\n 7", 7}, ExitCodeCase{L"-2", -2},
                      ExitCodeCase{L"+5", 5}, ExitCodeCase{L"", 0}, ExitCodeCase{L"12a", -1},
                      ExitCodeCase{L"abc", -1}, ExitCodeCase{L"7 ", -1},
                      ExitCodeCase{L" ", -1}, ExitCodeCase{L"-", -1}, ExitCodeCase{L"+-1", -1},
                      ExitCodeCase{L"0x10", -1}, ExitCodeCase{L"007", 7},
                      ExitCodeCase{L"2147483647", 2147483647},
                      ExitCodeCase{L"2147483648", 2147483647},
                      ExitCodeCase{L"99999999999999999999999", 2147483647},
                      ExitCodeCase{L"-2147483648", INT32_MIN},
                      ExitCodeCase{L"-2147483649", INT32_MIN},
                      ExitCodeCase{L"-99999999999999999999999", INT32_MIN},
                      ExitCodeCase{nullptr, -1}));

TEST(FormatDecimalTest, WritesSignedValuesOrNothing) {
  struct {
    int64_t value;
    size_t capacity;
    const wchar_t* expected;
    bool fits;
  } cases[] = {
      {0, 33, L"0", true},
      {1033, 33, L"1033", true},
      {-11, 33, L"-11", true},
      {INT64_MAX, 33, L"9223372036854775807", true},
      {INT64_MIN, 21, L"-9223372036854775808", true},
      {INT64_MIN, 20, L"", false},
      {1033, 5, L"1033", true},
      {1033, 4, L"", false},
  };
  for (const auto& c : cases) {
    std::vector<wchar_t> out(c.capacity, L'?');
    EXPECT_EQ(c.fits, FormatDecimal(c.value, out.data(), out.size())) << c.value;
    EXPECT_EQ(std::wstring(c.expected), out.data()) << c.value;
  }
}

TEST(FileNamePartTest, BackslashThenSlashThenColon) {
  struct {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\out\\a\\b.txt", L"b.txt"}, {L"dir/b.txt", L"b.txt"}, {L"C:b.txt", L"b.txt"},
      {L"b.txt", L"b.txt"},             {L"C:\\out\\", L""},      {L"dir/", L""},
      {L"a/b\\c.txt", L"c.txt"},        {L"a\\b/c.txt", L"b/c.txt"}, {L"", L""},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.name, FileNamePart(c.path)) << Narrow(c.path);
}

struct FillCase {
  const char* label;
  std::wstring name;
  std::wstring tail;
  std::vector<int64_t> values;
  std::wstring expected;
};

class FillOverwriteInfoTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillOverwriteInfoTest, FillsTheTailAndKeepsTheName) {
  const FillCase& c = GetParam();
  std::vector<wchar_t> out(1600, L'?');
  EXPECT_TRUE(FillOverwriteInfo(c.name.c_str(), c.tail.c_str(), c.values.data(), c.values.size(),
                                out.data(), out.size()));
  EXPECT_EQ(c.expected, std::wstring(out.data()));
}

// The tail as the English language texts expand it.
const wchar_t kTail[] = L" (%lld bytes), modified: %02d/%02d/%d %02d:%02d";

INSTANTIATE_TEST_SUITE_P(
    Cases, FillOverwriteInfoTest,
    ::testing::Values(
        FillCase{"English", L"setup.bin", kTail, {1024, 3, 7, 2025, 14, 5},
                 L"setup.bin (1024 bytes), modified: 03/07/2025 14:05"},
        FillCase{"PercentInName", L"100%d%lld%s.txt", kTail, {0, 12, 31, 1999, 0, 0},
                 L"100%d%lld%s.txt (0 bytes), modified: 12/31/1999 00:00"},
        FillCase{"LargeSize", L"big.iso", kTail, {INT64_MAX, 1, 1, 1601, 23, 59},
                 L"big.iso (9223372036854775807 bytes), modified: 01/01/1601 23:59"},
        FillCase{"PlainPercentInTail", L"a", L" 100% %x %%d %5d|%-3d", {42},
                 L"a 100% %x %d    42|%-3d"},
        FillCase{"ValuesUsedUp", L"a", L" %d %d %lld", {7}, L"a 7 %d %lld"},
        FillCase{"ZeroPadNegative", L"n", L" %04d %3d", {-5, -5}, L"n -005  -5"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FillOverwriteInfoTest, SaysWhenTheTextWasCut) {
  wchar_t out[12];
  const int64_t values[] = {123456};
  EXPECT_FALSE(FillOverwriteInfo(L"name.txt", L" (%lld)", values, 1, out, 12));
  EXPECT_STREQ(L"name.txt (1", out);
  EXPECT_TRUE(FillOverwriteInfo(L"n", L" (%lld)", values, 1, out, 12));
  EXPECT_STREQ(L"n (123456)", out);
}

struct FullPathCase {
  const wchar_t* text;
  const wchar_t* startDir;
  const wchar_t* expected;  // empty: refused
};

void PrintTo(const FullPathCase& c, std::ostream* os) {
  *os << '"' << Narrow(c.text) << "\" in \"" << Narrow(c.startDir) << '"';
}

class MakeFullPathTest : public ::testing::TestWithParam<FullPathCase> {};

TEST_P(MakeFullPathTest, ResolvesAgainstTheStartDirectory) {
  const FullPathCase& c = GetParam();
  wchar_t out[782];
  bool expectMade = c.expected[0] != L'\0';
  EXPECT_EQ(expectMade, MakeFullPath(c.text, c.startDir, out, 782));
  EXPECT_STREQ(c.expected, out);
  EXPECT_EQ(expectMade, IsFullPath(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeFullPathTest,
    ::testing::Values(
        // Full paths are taken exactly as typed.
        FullPathCase{L"D:\\Programs\\App ", L"C:\\start", L"D:\\Programs\\App "},
        FullPathCase{L"d:/x/y", L"C:\\start", L"d:/x/y"},
        FullPathCase{L"\\\\server\\share\\x", L"C:\\start", L"\\\\server\\share\\x"},
        FullPathCase{L"D:\\", L"not full", L"D:\\"},
        // Anything else lands below or beside the start directory, never in the current one.
        FullPathCase{L"MyApp", L"C:\\start", L"C:\\start\\MyApp"},
        FullPathCase{L"   ", L"C:\\start", L"C:\\start\\   "},
        FullPathCase{L"a\\b", L"C:\\", L"C:\\a\\b"},
        FullPathCase{L".\\a", L"C:\\start", L"C:\\start\\.\\a"},
        FullPathCase{L"..\\MyApp", L"C:\\start", L"C:\\start\\..\\MyApp"},
        FullPathCase{L"MyApp", L"\\\\srv\\share\\dir", L"\\\\srv\\share\\dir\\MyApp"},
        FullPathCase{L"\\apps\\x", L"C:\\start\\deep", L"C:\\apps\\x"},
        FullPathCase{L"/apps", L"\\\\srv\\share\\dir", L"\\\\srv\\share/apps"},
        FullPathCase{L"c:sub", L"C:\\start", L"C:\\start\\sub"},
        FullPathCase{L"D:sub", L"C:\\start", L"D:\\sub"},
        FullPathCase{L"D:", L"C:\\start", L"D:\\"},
        // No usable start directory, or no room: nothing is made.
        FullPathCase{L"MyApp", L"%CUR%", L""},
        FullPathCase{L"MyApp", L"", L""}));

TEST(MakeFullPathTest, RefusesWhatDoesNotFit) {
  std::wstring start = L"C:\\" + std::wstring(770, L's');
  wchar_t out[782];
  EXPECT_TRUE(MakeFullPath(L"abcdefg", start.c_str(), out, 782));  // 773 + 1 + 7 + 1 units
  EXPECT_FALSE(MakeFullPath(L"abcdefgh", start.c_str(), out, 782));
  EXPECT_STREQ(L"", out);
}

TEST(IsFullPathTest, DriveWithSeparatorOrTwoSeparators) {
  for (const wchar_t* full : {L"C:\\", L"z:/a", L"\\\\s\\x", L"//s/x", L"\\\\?\\C:\\x"}) {
    EXPECT_TRUE(IsFullPath(full)) << Narrow(full);
  }
  for (const wchar_t* relative : {L"", L"C:", L"C:x", L"\\x", L"/x", L"x", L" C:\\x", L"1:\\x"}) {
    EXPECT_FALSE(IsFullPath(relative)) << Narrow(relative);
  }
}

}  // namespace
