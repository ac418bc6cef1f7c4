// Tests of the entry-name rule of the payload extraction: names that would leave the destination
// folder, reach a device or not survive as written are refused; ordinary names pass.
#include "archive/entry_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  std::wstring name;
  bool accepted;
};

void PrintTo(const NameCase& c, std::ostream* os) {
  std::string text;
  for (wchar_t ch : c.name) text += ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
  *os << '"' << text << '"';
}

class EntryNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameTest, AcceptsOnlyPlainNamesBelowTheFolder) {
  EXPECT_EQ(GetParam().accepted, IsSafeEntryName(GetParam().name.c_str()));
}

INSTANTIATE_TEST_SUITE_P(
    Refused, EntryNameTest,
    ::testing::Values(
        // Leaving the destination folder.
        NameCase{L"..\\x", false}, NameCase{L"a\\..\\..\\x", false}, NameCase{L"a/../../x", false},
        NameCase{L"..", false}, NameCase{L"a/..", false}, NameCase{L"\\x", false},
        NameCase{L"/x", false}, NameCase{L"\\\\server\\share\\x", false},
        NameCase{L"//server/share/x", false}, NameCase{L"\\\\?\\C:\\x", false},
        // Drives and streams.
        NameCase{L"C:x", false}, NameCase{L"C:\\x", false}, NameCase{L"a:b", false},
        NameCase{L"dir/file.txt:stream", false},
        // Devices, with or without an extension, in any case and at any depth.
        NameCase{L"CON", false}, NameCase{L"nul.txt", false}, NameCase{L"Aux", false},
        NameCase{L"prn.tar.gz", false}, NameCase{L"COM1", false}, NameCase{L"lpt9.log", false},
        NameCase{L"con .txt", false}, NameCase{L"conin$", false}, NameCase{L"CONOUT$.x", false},
        NameCase{L"dir/NUL/x.txt", false},
        // Names Windows would not create as written.
        NameCase{L"", false}, NameCase{L".", false}, NameCase{L"a/./b", false},
        NameCase{L"a//b", false}, NameCase{L"a/", false}, NameCase{L"name.", false},
        NameCase{L"name ", false}, NameCase{L"dir./x", false}, NameCase{L"a<b", false},
        NameCase{L"a>b", false}, NameCase{L"a\"b", false}, NameCase{L"a|b", false},
        NameCase{L"a?b", false}, NameCase{L"a*b", false}, NameCase{L"tab\tname", false},
        NameCase{std::wstring(L"a\x7F"), false}));

INSTANTIATE_TEST_SUITE_P(
    Accepted, EntryNameTest,
    ::testing::Values(NameCase{L"readme.txt", true}, NameCase{L"docs/a.txt", true},
                      NameCase{L"docs\\sub\\a.txt", true}, NameCase{L"a b c.txt", true},
                      NameCase{L".hidden", true}, NameCase{L"a..b", true},
                      NameCase{L"...x", true}, NameCase{L"100%d.txt", true},
                      NameCase{L"#Next", true}, NameCase{L"CONFIG.SYS", true},
                      NameCase{L"console.log", true}, NameCase{L"nul_device", true},
                      NameCase{L"com10.txt", true}, NameCase{L"lpt", true},
                      NameCase{L"\x00DCbersicht/\x6587\x4EF6.txt", true},
                      NameCase{std::wstring(258, L'n'), true}));

}  // namespace
