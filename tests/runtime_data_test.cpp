// The runtime library's pure parts over the shipped data set (bin\runtime): text expansion with
// the language file, the dialog file parsed back into its records, the language file's order
// rule, the file-property list and the images' carried format.
#include "bitmap_file.h"
#include "dialog_file.h"
#include "file_props.h"
#include "kv_test_paths.h"
#include "lang_file.h"
#include "text_expand.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadRuntimeFile(const wchar_t* name) {
  std::wstring path = std::wstring(kTestBinDir) + L"\\runtime\\" + name;
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::wstring> SplitCrLf(const std::string& bytes) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "a line without CR LF at byte " << start;
    if (end == std::string::npos) break;
    lines.emplace_back(bytes.begin() + start, bytes.begin() + end);
    start = end + 2;
  }
  return lines;
}

LangTable ShippedLanguage() {
  LangTable lang;
  std::wstring error;
  EXPECT_TRUE(ParseLanguageFile(ReadRuntimeFile(L"kvlng.dat"), lang, error)) << error;
  return lang;
}

struct ExpandCase {
  const wchar_t* text;
  const wchar_t* expected;
};

class ExpansionTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpansionTest, ExpandsWithTheShippedLanguage) {
  LangTable lang = ShippedLanguage();
  VarStore store;
  SetVariable(store, L"EXTNAME", L"docs/a.txt");
  SetVariable(store, L"KVEXTTEXT", L"#Extracting");
  SetVariable(store, L"APPTITLE", L"Demo");
  SetVariable(store, L"SELF", L"x%SELF%");
  SetVariable(store, L"PING", L"%PONG%");
  SetVariable(store, L"PONG", L"%PING%");
  EXPECT_EQ(GetParam().expected, ExpandText(GetParam().text, store, lang));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpansionTest,
    ::testing::Values(
        ExpandCase{L"#Confirmreplaceaskn", L"with this one?"},
        ExpandCase{L"#Confirmreplaceask", L"Would you like to replace the existing file"},
        ExpandCase{L"#Dothisconflicts", L"Do this for all conflicts"},
        ExpandCase{L"#CorruptedPack",
                   L"Package integrity check failed: the package has been truncated or corrupted, "
                   L"and it will close. Please try to obtain a valid copy."},
        ExpandCase{L"(#Bytes),", L"(bytes),"},
        ExpandCase{L"%KVEXTTEXT%", L"Extracting docs/a.txt..."},
        ExpandCase{L"#Next", L"&Next >"},
        ExpandCase{L"#errorcreatefile", L"Cannot open file for writing: "},
        ExpandCase{L"%lld %02d %d 100%", L"%lld %02d %d 100%"},
        ExpandCase{L"%UNDEFINED%", L"%UNDEFINED%"},
        ExpandCase{L"#nosuchkey", L"#nosuchkey"},
        ExpandCase{L"%apptitle%", L"Demo"}));

TEST(ExpansionLimits, CyclesEndWithoutHanging) {
  LangTable lang;
  VarStore store;
  SetVariable(store, L"SELF", L"x%SELF%");
  SetVariable(store, L"PING", L"%PONG%");
  SetVariable(store, L"PONG", L"%PING%");
  std::wstring self = ExpandText(L"%SELF%", store, lang);
  EXPECT_EQ(0u, self.find(L"xxxx"));
  EXPECT_LE(self.size(), kMaxExpandedUnits);
  std::wstring ping = ExpandText(L"%PING%", store, lang);
  EXPECT_TRUE(ping == L"%PING%" || ping == L"%PONG%") << ping;
}

TEST(ExpansionLimits, BufferCutAlwaysTerminates) {
  wchar_t buffer[4];
  for (int i = 0; i < 4; ++i) buffer[i] = L'?';
  CopyToBuffer(L"abcdef", buffer, 8);  // 4 units
  EXPECT_STREQ(L"abc", buffer);
  CopyToBuffer(L"abcdef", buffer, 2);  // 1 unit: the terminator only
  EXPECT_EQ(L'\0', buffer[0]);
}

TEST(LanguageFile, HeaderAndStrictlyDescendingKeys) {
  std::vector<std::wstring> lines = SplitCrLf(ReadRuntimeFile(L"kvlng.dat"));
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(L"[KVLang]", lines[0]);
  EXPECT_EQ(L"English", lines[1]);
  EXPECT_EQ(L"1033", lines[2]);
  std::wstring previous;
  for (size_t i = 3; i < lines.size(); ++i) {
    ASSERT_EQ(L'#', lines[i][0]) << i;
    std::wstring key = lines[i].substr(1, lines[i].find(L'=') - 1);
    if (i > 3) {
      EXPECT_GT(previous, key) << "line " << i + 1;
    }
    previous = key;
  }
  LangTable lang = ShippedLanguage();
  for (const wchar_t* key : {L"yestoall", L"about", L"fatalerror", L"errortempfolder"}) {
    EXPECT_NE(nullptr, FindLangText(lang, key)) << key;
  }
  EXPECT_EQ(L"Cannot write data to file: ", *FindLangText(lang, L"errorwritefile"));
  // The extractor appends a path or an entry name right after these texts.
  for (const wchar_t* key : {L"errorcreatefile", L"errorwritefile", L"invalidfilename"}) {
    const std::wstring* text = FindLangText(lang, key);
    ASSERT_NE(nullptr, text) << key;
    EXPECT_EQ(L": ", text->substr(text->size() < 2 ? 0 : text->size() - 2)) << key;
  }
}

TEST(DialogFile, ParsesBackIntoTheSameBytes) {
  std::string bytes = ReadRuntimeFile(L"kvdlg.dat");
  EXPECT_EQ(3538u, bytes.size());
  std::vector<DialogDef> dialogs;
  std::wstring error;
  ASSERT_TRUE(ParseDialogFile(SplitCrLf(bytes), dialogs, error)) << error;
  const wchar_t* names[] = {L"dlgoverwrite", L"dlgwizwelc",  L"dlgwizreadme",
                            L"dlgwizseldir", L"dlgprogress", L"dlgwizfinal"};
  ASSERT_EQ(6u, dialogs.size());
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(names[i], dialogs[i].name);
  EXPECT_EQ(L"C", dialogs[0].sectionFlag);
  EXPECT_EQ(500, dialogs[0].width);
  EXPECT_EQ(L"#Confirmreplace", dialogs[0].caption);
  const ControlDef& separator = dialogs[1].controls.back();
  EXPECT_EQ(ControlKind::Container, separator.kind);
  EXPECT_EQ(-3, separator.x);
  EXPECT_EQ(556, separator.width);
  EXPECT_EQ(4342338, separator.colour);
  EXPECT_EQ(L"CR", separator.flags);
  EXPECT_EQ(bytes, FormatDialogFile(dialogs));
}

TEST(DialogFile, DamagedSectionsAreRefused) {
  std::vector<std::wstring> good = SplitCrLf(ReadRuntimeFile(L"kvdlg.dat"));
  DialogDef dialog;
  std::wstring error;
  ASSERT_TRUE(ParseDialogSection(good, L"dlgwizseldir", dialog, error)) << error;
  EXPECT_FALSE(ParseDialogSection(good, L"dlgnothere", dialog, error));

  // Cut the first section before its "#EndDlg".
  std::vector<std::wstring> cut;
  for (const std::wstring& line : good) {
    if (line == L"#EndDlg") break;
    cut.push_back(line);
  }
  EXPECT_FALSE(ParseDialogSection(cut, L"dlgoverwrite", dialog, error));
  std::vector<std::wstring> badNumber = good;
  for (size_t i = 0; i < badNumber.size(); ++i) {
    if (badNumber[i] == L"#KV.Dlg") {
      badNumber[i + 1] = L"wide";
      break;
    }
  }
  EXPECT_FALSE(ParseDialogSection(badNumber, L"dlgoverwrite", dialog, error));
  std::vector<std::wstring> badKeyword = good;
  for (std::wstring& line : badKeyword) {
    if (line == L"#KV.But") {
      line = L"#KV.Knob";
      break;
    }
  }
  EXPECT_FALSE(ParseDialogSection(badKeyword, L"dlgoverwrite", dialog, error));
}

TEST(FileProps, ListedFilesFollowTheirCondition) {
  std::vector<FileProp> props;
  std::wstring error;
  ASSERT_TRUE(ParseFilePropList(ReadRuntimeFile(L"kvfprop.dat"), props, error)) << error;
  ASSERT_EQ(10u, props.size());
  LangTable lang;
  VarStore store;
  SetVariable(store, L"VCOMPMAIN", L"1");
  SetVariable(store, L"VCOMPMK64", L"0");
  std::wstring replaced;
  EXPECT_EQ(kFilePropKeep, CheckFileProps(props, L"C:\\Dest", L"C:\\Dest\\MAIN\\readme1.txt",
                                          store, lang, replaced));
  EXPECT_EQ(kFilePropSkip, CheckFileProps(props, L"C:\\Dest\\", L"C:\\Dest\\Tools64\\tool3.txt",
                                          store, lang, replaced));
  EXPECT_EQ(kFilePropKeep, CheckFileProps(props, L"C:\\Dest", L"C:\\Dest\\other.txt", store,
                                          lang, replaced));
}

TEST(Images, CarriedBitmapFormat) {
  struct {
    const wchar_t* name;
    int width, height;
    size_t size;
  } images[] = {{L"kvheader.png", 90, 58, 20936}, {L"kvwaterm.png", 176, 346, 243640}};
  for (const auto& image : images) {
    std::string bytes = ReadRuntimeFile(image.name);
    ASSERT_EQ(image.size, bytes.size()) << image.name;
    auto u32 = [&](size_t at) {
      return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) |
                                   static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                   static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
    };
    EXPECT_EQ("BM", bytes.substr(0, 2));
    EXPECT_EQ(image.size, u32(2));
    EXPECT_EQ(54u, u32(10));
    EXPECT_EQ(40u, u32(14));
    EXPECT_EQ(image.size - 54, u32(34));
    EXPECT_EQ(2834u, u32(38));
    EXPECT_EQ(2834u, u32(42));
    for (size_t at = 54 + 3; at < image.size - 2; at += 4) {
      ASSERT_EQ(0, bytes[at]) << image.name << " alpha at " << at;
    }
    BitmapView view;
    ASSERT_TRUE(RecognizeBitmap(bytes, view)) << image.name;
    EXPECT_EQ(image.width, view.width);
    EXPECT_EQ(image.height, view.height);
    EXPECT_EQ(32, view.bitsPerPixel);
    EXPECT_TRUE(view.bottomUp);
  }
}

}  // namespace
