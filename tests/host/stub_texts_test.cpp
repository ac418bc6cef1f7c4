// Tests of the stub-text rewriting: option checks, the resource formats, and whole images
// rewritten and read back, both small images made here and the Windows build's resource subject.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>

#include <string>
#include <vector>

#include "bootstrap/package_layout.h"
#include "pe_image.h"
#include "pe_manifest.h"
#include "pe_resources.h"
#include "stub_texts.h"

namespace {

const char kManifest[] =
    "<?xml version=\"1.0\"?>\n<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
    "manifestVersion=\"1.0\">\n  <assemblyIdentity name=\"Package.Setup\" version=\"1.0.0.0\" "
    "type=\"win32\"/>\n  <description>Old</description>\n  <dependency><dependentAssembly>"
    "<assemblyIdentity name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"/>"
    "</dependentAssembly></dependency>\n</assembly>\n";

std::u16string U(const char* utf8) {
  std::u16string out;
  EXPECT_TRUE(Utf8ToUtf16(utf8, &out));
  return out;
}

VersionNode TextNode(const std::u16string& key, const std::u16string& text) {
  VersionNode node;
  node.key = key;
  node.isText = true;
  node.text = text;
  return node;
}

// A version record like the stub's: fixed info, one string table, the translation.
std::vector<uint8_t> MakeVersionRecord() {
  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.binary.assign(52, 0);
  root.binary[0] = 0xBD;
  root.binary[1] = 0x04;
  root.binary[2] = 0xEF;
  root.binary[3] = 0xFE;
  VersionNode table = TextNode(u"000004b0", u"");
  table.children = {TextNode(u"FileDescription", u"Old description"),
                    TextNode(u"FileVersion", u"1.0.0.0"),
                    TextNode(u"CompanyName", u"Old company")};
  VersionNode fileInfo = TextNode(u"StringFileInfo", u"");
  fileInfo.children.push_back(table);
  VersionNode var;
  var.key = u"Translation";
  var.binary = {0x00, 0x00, 0xB0, 0x04};
  VersionNode varInfo = TextNode(u"VarFileInfo", u"");
  varInfo.children.push_back(var);
  root.children = {fileInfo, varInfo};
  std::vector<uint8_t> data;
  std::string error;
  EXPECT_TRUE(EncodeVersionNode(root, &data, &error)) << error;
  return data;
}

std::vector<ResourceLeaf> MakeStubLeaves() {
  std::vector<ResourceLeaf> leaves;
  std::u16string entries[16];
  entries[0] = u"Package";
  entries[1] = u"Fatal Error";
  entries[4] = u"This program has got corrupted internal data: it will exit. Please obtain a new copy.";
  entries[5] = u"Package Setup";
  ResourceLeaf strings;
  strings.type = IdKey(kRtString);
  strings.name = IdKey(1);
  strings.language = 1033;
  strings.data = EncodeStringBlock(entries);
  leaves.push_back(strings);
  ResourceLeaf icon;
  icon.type = IdKey(kRtGroupIcon);
  icon.name = NameKey(u"MAINICON");
  icon.data = {0, 0, 1, 0, 6, 0, 9, 9, 9};
  leaves.push_back(icon);
  ResourceLeaf version;
  version.type = IdKey(kRtVersion);
  version.name = IdKey(1);
  version.data = MakeVersionRecord();
  leaves.push_back(version);
  ResourceLeaf manifest;
  manifest.type = IdKey(kRtManifest);
  manifest.name = IdKey(1);
  manifest.data.assign(kManifest, kManifest + sizeof kManifest - 1);
  leaves.push_back(manifest);
  return leaves;
}

// What follows the resource section in a made image.
enum class After { kNothing, kRelocations, kData };

struct MadeSection {
  const char* name;
  uint32_t rva;
  std::vector<uint8_t> raw;
  uint32_t characteristics;
};

// A 32-bit (PE32) or 64-bit (PE32+) image with .text, .rsrc and, as asked, .reloc or .data
// after the resources.
std::vector<uint8_t> MakeImage(After after, bool pe64 = false) {
  const uint32_t fileAlign = 0x200, sectionAlign = 0x1000;
  std::vector<MadeSection> sections;
  sections.push_back({".text", 0x1000, std::vector<uint8_t>(0x180, 0xC3), 0x60000020});
  std::vector<uint8_t> rsrc;
  std::string error;
  EXPECT_TRUE(WriteResources(MakeStubLeaves(), 0x2000, &rsrc, &error)) << error;
  uint32_t rsrcPages = static_cast<uint32_t>((rsrc.size() + sectionAlign - 1) / sectionAlign);
  sections.push_back({".rsrc", 0x2000, rsrc, 0x40000040});
  uint32_t nextRva = 0x2000 + rsrcPages * sectionAlign;
  if (after == After::kRelocations) {
    sections.push_back({".reloc", nextRva, {0x00, 0x10, 0, 0, 0x0C, 0, 0, 0, 0x10, 0x30, 0, 0}, 0x42000040});
  } else if (after == After::kData) {
    sections.push_back({".data", nextRva, std::vector<uint8_t>(0x40, 0x5A), 0xC0000040});
  }
  std::vector<uint8_t> image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  WriteLe32(&image, 0x3C, 0x80);
  image[0x80] = 'P';
  image[0x81] = 'E';
  // PE32+ widens the image base and the stack and heap sizes, which moves the directories.
  const uint16_t optionalSize = pe64 ? 240 : 224;
  const size_t directories = pe64 ? 112 : 96;
  WriteLe16(&image, 0x84, pe64 ? 0x8664 : 0x14C);
  WriteLe16(&image, 0x86, static_cast<uint16_t>(sections.size()));
  WriteLe16(&image, 0x94, optionalSize);
  WriteLe16(&image, 0x96, pe64 ? 0x22 : 0x102);
  const size_t opt = 0x98;
  WriteLe16(&image, opt, pe64 ? 0x20B : 0x10B);
  WriteLe32(&image, opt + 16, 0x1000);
  WriteLe32(&image, opt + (pe64 ? 24 : 28), 0x400000);
  WriteLe32(&image, opt + 32, sectionAlign);
  WriteLe32(&image, opt + 36, fileAlign);
  WriteLe16(&image, opt + 40, 4);
  WriteLe16(&image, opt + 68, 2);
  WriteLe32(&image, opt + 60, 0x400);
  WriteLe32(&image, opt + directories - 4, 16);
  uint32_t initialized = 0, imageSize = 0;
  for (size_t i = 0; i < sections.size(); ++i) {
    MadeSection& s = sections[i];
    size_t header = opt + optionalSize + 40 * i;
    uint32_t rawSize = static_cast<uint32_t>((s.raw.size() + fileAlign - 1) / fileAlign * fileAlign);
    memcpy(image.data() + header, s.name, strlen(s.name));
    WriteLe32(&image, header + 8, static_cast<uint32_t>(s.raw.size()));
    WriteLe32(&image, header + 12, s.rva);
    WriteLe32(&image, header + 16, rawSize);
    WriteLe32(&image, header + 20, static_cast<uint32_t>(image.size()));
    WriteLe32(&image, header + 36, s.characteristics);
    if (s.characteristics & 0x40) initialized += rawSize;
    imageSize = s.rva + static_cast<uint32_t>((s.raw.size() + sectionAlign - 1) / sectionAlign * sectionAlign);
    s.raw.resize(rawSize, 0);
    image.insert(image.end(), s.raw.begin(), s.raw.end());
    if (strcmp(s.name, ".rsrc") == 0) {
      WriteLe32(&image, opt + directories + 8 * kDirResource, s.rva);
      WriteLe32(&image, opt + directories + 8 * kDirResource + 4, static_cast<uint32_t>(rsrc.size()));
    }
    if (strcmp(s.name, ".reloc") == 0) {
      WriteLe32(&image, opt + directories + 8 * kDirBaseReloc, s.rva);
      WriteLe32(&image, opt + directories + 8 * kDirBaseReloc + 4, 12);
    }
  }
  WriteLe32(&image, opt + 8, initialized);
  WriteLe32(&image, opt + 56, imageSize);
  return image;
}

// The texts a rewritten image holds, read back through the same formats.
struct ReadBack {
  std::u16string entries[16];
  std::u16string description, company, website;
  std::string manifest;
  bool hasIcon = false;
};

void ReadTexts(const std::vector<uint8_t>& image, ReadBack* back) {
  std::vector<ResourceLeaf> leaves;
  std::string error;
  ASSERT_TRUE(ReadResources(image, &leaves, &error)) << error;
  ResourceLeaf* strings = FindResource(&leaves, IdKey(kRtString), IdKey(1), 1033);
  ASSERT_NE(strings, nullptr);
  ASSERT_TRUE(DecodeStringBlock(strings->data, back->entries));
  ResourceLeaf* version = FindResource(&leaves, IdKey(kRtVersion), IdKey(1), 0xFFFF);
  ASSERT_NE(version, nullptr);
  VersionNode root;
  ASSERT_TRUE(DecodeVersionNode(version->data, &root, &error)) << error;
  ASSERT_EQ(root.binary.size(), 52u);
  ASSERT_FALSE(root.children.empty());
  ASSERT_EQ(root.children[0].key, u"StringFileInfo");
  ASSERT_FALSE(root.children[0].children.empty());
  for (const VersionNode& field : root.children[0].children[0].children) {
    if (field.key == u"FileDescription") back->description = field.text;
    if (field.key == u"CompanyName") back->company = field.text;
    if (field.key == u"WebSite") back->website = field.text;
  }
  ResourceLeaf* manifest = FindResource(&leaves, IdKey(kRtManifest), IdKey(1), 0xFFFF);
  ASSERT_NE(manifest, nullptr);
  back->manifest.assign(manifest->data.begin(), manifest->data.end());
  back->hasIcon = FindResource(&leaves, IdKey(kRtGroupIcon), NameKey(u"MAINICON"), 0xFFFF) != nullptr;
}

// The image end as the extractor finds it from the first 4096 bytes.
uint32_t ImageEnd(const std::vector<uint8_t>& image) {
  uint32_t end = 0;
  EXPECT_TRUE(FindImageEnd(image.data(), std::min(image.size(), kImageHeadBytes), &end));
  return end;
}

TEST(StubTextOptions, RecognisesEveryTextOption) {
  struct Case {
    const char* name;
    std::string StubTexts::*field;
  } cases[] = {
      {"--title", &StubTexts::title},
      {"--label", &StubTexts::label},
      {"--description", &StubTexts::description},
      {"--company", &StubTexts::company},
      {"--product", &StubTexts::product},
      {"--copyright", &StubTexts::copyright},
      {"--trademarks", &StubTexts::trademarks},
      {"--web-address", &StubTexts::webAddress},
      {"--assembly-name", &StubTexts::assemblyName},
      {"--assembly-description", &StubTexts::assemblyDescription},
  };
  for (const Case& c : cases) {
    StubTexts texts;
    std::string error = "stale";
    EXPECT_TRUE(ParseStubTextOption(c.name, "Value1", &texts, &error)) << c.name;
    EXPECT_EQ(error, "") << c.name;
    EXPECT_EQ(texts.*c.field, "Value1") << c.name;
    EXPECT_NE(std::string(StubTextOptionsHelp()).find(c.name), std::string::npos) << c.name;
  }
  StubTexts texts;
  std::string error;
  EXPECT_FALSE(ParseStubTextOption("--payload", "x", &texts, &error));
  EXPECT_FALSE(ParseStubTextOption("title", "x", &texts, &error));
}

TEST(StubTextOptions, RefusesUnusableValues) {
  struct Case {
    const char* name;
    std::string value;
    bool accepted;
  } cases[] = {
      {"--title", std::string(65535, 'a'), true},
      {"--title", std::string(65536, 'a'), false},
      {"--title", "\xC3\x28", false},              // broken UTF-8
      {"--title", "\xED\xA0\x80", false},          // an encoded surrogate
      {"--title", "\xC0\xAF", false},              // overlong form
      {"--title", "line\nbreak", false},
      {"--label", std::string(259, 'b'), true},
      {"--label", std::string(260, 'b'), false},
      {"--company", std::string(1024, 'c'), true},
      {"--company", std::string(1025, 'c'), false},
      {"--assembly-name", "Vendor.Product-2_x", true},
      {"--assembly-name", "Vendor Product", false},
      {"--assembly-name", ".Vendor", false},
      {"--assembly-name", "Vendor..Product", false},
      {"--assembly-name", "Vendor.", false},
      {"--assembly-name", "Ven\"dor", false},
      {"--assembly-name", std::string(129, 'n'), false},
      {"--assembly-description", "Tools & <things>", true},
  };
  for (const Case& c : cases) {
    StubTexts texts;
    std::string error;
    EXPECT_TRUE(ParseStubTextOption(c.name, c.value, &texts, &error));
    EXPECT_EQ(error.empty(), c.accepted) << c.name << " " << c.value.substr(0, 20) << ": " << error;
    if (!c.accepted) {
      EXPECT_NE(error.find(c.name), std::string::npos) << error;
    }
  }
}

TEST(ResourceFormats, StringBlockAndVersionRecordRoundTrip) {
  std::u16string entries[16];
  entries[0] = u"Title";
  entries[5] = std::u16string(300, u'\u00e9');
  entries[15] = u"last";
  std::u16string back[16];
  ASSERT_TRUE(DecodeStringBlock(EncodeStringBlock(entries), back));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], entries[i]) << i;
  std::vector<uint8_t> cut = EncodeStringBlock(entries);
  cut.resize(cut.size() - 1);
  EXPECT_FALSE(DecodeStringBlock(cut, back));

  std::vector<uint8_t> record = MakeVersionRecord();
  EXPECT_EQ(record.size() % 4, 0u);
  EXPECT_EQ(ReadLe16(record, 0), record.size());
  VersionNode root;
  std::string error;
  ASSERT_TRUE(DecodeVersionNode(record, &root, &error)) << error;
  std::vector<uint8_t> again;
  ASSERT_TRUE(EncodeVersionNode(root, &again, &error)) << error;
  EXPECT_EQ(again, record);
  record[0] = 0xFF;  // a length beyond the data
  EXPECT_FALSE(DecodeVersionNode(record, &root, &error));
}

TEST(ResourceFormats, ManifestEdits) {
  std::string edited, error;
  ASSERT_TRUE(EditManifest(kManifest, "Acme.Tool", "Fish & \"Chips\"", &edited, &error)) << error;
  EXPECT_NE(edited.find("<assemblyIdentity name=\"Acme.Tool\" version=\"1.0.0.0\""), std::string::npos);
  EXPECT_NE(edited.find("<description>Fish &amp; &quot;Chips&quot;</description>"), std::string::npos);
  EXPECT_NE(edited.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
  EXPECT_EQ(edited.find("Old"), std::string::npos);

  std::string noDescription = kManifest;
  noDescription.erase(noDescription.find("  <description>"), 31);
  ASSERT_TRUE(EditManifest(noDescription, "", "Added", &edited, &error)) << error;
  size_t identity = edited.find("Package.Setup");
  size_t description = edited.find("<description>Added</description>");
  ASSERT_NE(description, std::string::npos);
  EXPECT_LT(identity, description);
  EXPECT_LT(description, edited.find("<dependency>"));

  std::string onlyDependency = "<assembly><dependency><assemblyIdentity name=\"X\"/></dependency></assembly>";
  EXPECT_FALSE(EditManifest(onlyDependency, "Acme", "", &edited, &error));
}

struct RewriteCase {
  const char* what;
  After after;
  bool expectNewSection;
  bool pe64;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.what; }

class StubRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(StubRewrite, TextsReadBackAndLayoutHolds) {
  const RewriteCase& c = GetParam();
  std::vector<uint8_t> image = MakeImage(c.after, c.pe64);
  PeLayout before;
  std::string error;
  ASSERT_TRUE(ParsePeImage(image, &before, &error)) << error;
  std::vector<uint8_t> tail(image.begin() + before.sections.back().pointerToRawData,
                            image.begin() + before.sections.back().pointerToRawData +
                                before.sections.back().virtualSize);

  StubTexts texts;
  texts.title = "Acme Tools \xE2\x80\x94 Setup \xF0\x9F\x93\xA6";  // an em dash and a surrogate pair
  texts.label = "Acme";
  texts.company = "Acme \xC3\x9Cnited";
  texts.webAddress = "https://acme.example/";
  texts.assemblyName = "Acme.Tools";
  texts.description = std::string(1000, 'd');  // these three grow the section past a page
  texts.copyright = std::string(1000, 'c');
  texts.trademarks = std::string(1000, 't');
  std::vector<std::string> warnings;
  ASSERT_TRUE(ApplyStubTexts(&image, texts, &warnings, &error)) << error;
  EXPECT_TRUE(warnings.empty());

  ReadBack back;
  ReadTexts(image, &back);
  EXPECT_EQ(back.entries[0], U(texts.title.c_str()));
  EXPECT_EQ(back.entries[0].size(), 21u);
  EXPECT_EQ(back.entries[1], u"Fatal Error");
  EXPECT_EQ(back.entries[4].substr(0, 12), u"This program");
  EXPECT_EQ(back.entries[5], u"Acme");
  EXPECT_EQ(back.company, U(texts.company.c_str()));
  EXPECT_EQ(back.description, std::u16string(1000, u'd'));
  EXPECT_EQ(back.website, u"https://acme.example/");
  EXPECT_NE(back.manifest.find("name=\"Acme.Tools\""), std::string::npos);
  EXPECT_NE(back.manifest.find("<description>Old</description>"), std::string::npos);
  EXPECT_TRUE(back.hasIcon);

  PeLayout after;
  ASSERT_TRUE(ParsePeImage(image, &after, &error)) << error;
  EXPECT_EQ(after.sections.size(), before.sections.size() + (c.expectNewSection ? 1 : 0));
  EXPECT_EQ(ImageEnd(image), image.size());
  uint32_t resRva = 0, resSize = 0;
  GetDataDirectory(image, after, kDirResource, &resRva, &resSize);
  int resIndex = FindSectionByRva(after, resRva);
  ASSERT_GE(resIndex, 0);
  EXPECT_EQ(resIndex, c.expectNewSection ? static_cast<int>(after.sections.size()) - 1 : 1);
  // Sections do not overlap in memory, and SizeOfImage covers the last one.
  uint32_t memoryEnd = 0;
  for (size_t i = 0; i < after.sections.size(); ++i) {
    const PeSection& s = after.sections[i];
    EXPECT_EQ(s.virtualAddress % after.sectionAlignment, 0u) << s.name;
    EXPECT_EQ(s.pointerToRawData % after.fileAlignment, 0u) << s.name;
    EXPECT_GE(s.virtualAddress, memoryEnd) << s.name;
    memoryEnd = s.virtualAddress + (s.virtualSize + after.sectionAlignment - 1) /
                after.sectionAlignment * after.sectionAlignment;
  }
  EXPECT_EQ(ReadLe32(image, after.optionalOffset + 56), memoryEnd);
  // The section after the resources kept its bytes; relocations are found at their new place.
  if (c.after != After::kNothing) {
    const PeSection& moved = c.expectNewSection ? after.sections[after.sections.size() - 2]
                                                : after.sections.back();
    EXPECT_EQ(moved.name, c.after == After::kRelocations ? ".reloc" : ".data");
    ASSERT_EQ(std::vector<uint8_t>(image.begin() + moved.pointerToRawData,
                                   image.begin() + moved.pointerToRawData + moved.virtualSize),
              tail);
    if (c.after == After::kData) {
      EXPECT_EQ(moved.virtualAddress, before.sections.back().virtualAddress);
    }
    if (c.after == After::kRelocations) {
      uint32_t relocRva = 0, relocSize = 0;
      GetDataDirectory(image, after, kDirBaseReloc, &relocRva, &relocSize);
      EXPECT_EQ(relocRva, moved.virtualAddress);
      EXPECT_GT(moved.virtualAddress, before.sections.back().virtualAddress);
      EXPECT_EQ(relocSize, 12u);
    }
  }
  uint32_t initialized = 0;
  for (const PeSection& s : after.sections) {
    if (s.characteristics & 0x40) initialized += s.sizeOfRawData;
  }
  if (!c.expectNewSection) {
    EXPECT_EQ(ReadLe32(image, after.optionalOffset + 8), initialized);
  }
  EXPECT_EQ(ReadLe32(image, after.optionalOffset + 64),
            ComputePeChecksum(image, after.optionalOffset + 64));

  // A second rewrite of the rewritten image works the same way.
  StubTexts second;
  second.title = "Second";
  ASSERT_TRUE(ApplyStubTexts(&image, second, &warnings, &error)) << error;
  ReadTexts(image, &back);
  EXPECT_EQ(back.entries[0], u"Second");
  EXPECT_EQ(back.entries[5], u"Acme");
}

INSTANTIATE_TEST_SUITE_P(Layouts, StubRewrite,
                         ::testing::Values(
                             RewriteCase{"ResourcesLast", After::kNothing, false, false},
                             RewriteCase{"RelocationsAfter", After::kRelocations, false, false},
                             RewriteCase{"DataAfter", After::kData, true, false},
                             RewriteCase{"ResourcesLast64", After::kNothing, false, true},
                             RewriteCase{"RelocationsAfter64", After::kRelocations, false, true},
                             RewriteCase{"DataAfter64", After::kData, true, true}),
                         [](const ::testing::TestParamInfo<RewriteCase>& info) {
                           return std::string(info.param.what);
                         });

TEST(StubRewriteTexts, TitleLimitsAndDefaults) {
  struct Case {
    std::string title;
    bool accepted;
    bool warned;
    std::u16string expected;
  } cases[] = {
      {"", true, false, u"Package"},
      {"Plain", true, false, u"Plain"},
      {"\xC3\xA9t\xC3\xA9", true, false, u"\u00e9t\u00e9"},
      {std::string(259, 't'), true, false, std::u16string(259, u't')},
      {std::string(260, 't'), true, true, std::u16string(260, u't')},
      {std::string(65535, 't'), true, true, std::u16string(65535, u't')},
      {std::string(65536, 't'), false, false, u""},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image = MakeImage(After::kRelocations);
    const std::vector<uint8_t> original = image;
    StubTexts texts;
    texts.title = c.title;
    std::vector<std::string> warnings;
    std::string error;
    bool ok = ApplyStubTexts(&image, texts, &warnings, &error);
    ASSERT_EQ(ok, c.accepted) << c.title.size() << ": " << error;
    EXPECT_EQ(warnings.size(), c.warned ? 1u : 0u) << c.title.size();
    if (!ok) {
      EXPECT_EQ(image, original);
      EXPECT_NE(error.find("--title"), std::string::npos);
      continue;
    }
    ReadBack back;
    ReadTexts(image, &back);
    EXPECT_EQ(back.entries[0], c.expected);
    EXPECT_EQ(back.entries[5], u"Package Setup");
    EXPECT_EQ(back.company, u"Old company");
  }
}

TEST(StubRewriteTexts, RefusesBytesBehindTheImage) {
  std::vector<uint8_t> image = MakeImage(After::kRelocations);
  image.insert(image.end(), {'K', 'V', 1, 2, 3});
  const std::vector<uint8_t> original = image;
  StubTexts texts;
  texts.title = "T";
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_FALSE(ApplyStubTexts(&image, texts, &warnings, &error));
  EXPECT_NE(error.find("5 bytes behind"), std::string::npos) << error;
  EXPECT_EQ(image, original);
}

TEST(StubRewriteTexts, RefusesDamagedImages) {
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  } cases[] = {
      {"no MZ", 0, 0x5A4E},
      {"e_lfanew beyond the first 4096 bytes", 0x3C, 3848},
      {"no PE signature", 0x80, 0x454E},
      {"64-bit optional header", 0x98, 0x20B},
      {"resources outside the sections", 0x98 + 96 + 16, 0x90000},
      {"section beyond the file", 0x98 + 224 + 40 + 16, 0x100000},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image = MakeImage(After::kNothing);
    if (c.value <= 0xFFFF && c.offset != 0x3C) {
      WriteLe16(&image, c.offset, static_cast<uint16_t>(c.value));
    } else {
      WriteLe32(&image, c.offset, c.value);
    }
    StubTexts texts;
    texts.title = "T";
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(ApplyStubTexts(&image, texts, &warnings, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

std::vector<uint8_t> ReadWholeFile(const char* path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return bytes;
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  fclose(f);
  return bytes;
}

// The linker puts the base relocations behind the resources. Grown by some pages, the resources
// push them back; the sections before stay byte for byte, the relocation table moves whole and
// still refers only to pages below the resources, which did not move.
class RealSubject : public ::testing::TestWithParam<const char*> {};

TEST_P(RealSubject, RelocationsMoveBehindGrownResources) {
  std::vector<uint8_t> image = ReadWholeFile(GetParam());
  ASSERT_FALSE(image.empty()) << "missing " << GetParam() << " (built by the Windows half)";
  PeLayout before, after;
  std::string error;
  ASSERT_TRUE(ParsePeImage(image, &before, &error)) << error;
  uint32_t resRva = 0, resSize = 0, relocRva = 0, relocSize = 0;
  GetDataDirectory(image, before, kDirResource, &resRva, &resSize);
  GetDataDirectory(image, before, kDirBaseReloc, &relocRva, &relocSize);
  ASSERT_GT(relocRva, resRva) << "the relocations are expected behind the resources";
  size_t relocAt = 0, resAt = 0;
  ASSERT_TRUE(RvaToFileOffset(before, relocRva, relocSize, &relocAt));
  ASSERT_TRUE(RvaToFileOffset(before, resRva, resSize, &resAt));
  const std::vector<uint8_t> relocations(image.begin() + relocAt, image.begin() + relocAt + relocSize);
  const std::vector<uint8_t> head(image.begin(), image.begin() + resAt);

  StubTexts texts;
  texts.description = std::string(1000, 'd');
  texts.copyright = std::string(1000, 'c');
  texts.trademarks = std::string(1000, 't');
  texts.title = "Grown";
  std::vector<std::string> warnings;
  ASSERT_TRUE(ApplyStubTexts(&image, texts, &warnings, &error)) << error;
  ASSERT_TRUE(ParsePeImage(image, &after, &error)) << error;
  ASSERT_EQ(after.sections.size(), before.sections.size());
  uint32_t newResRva = 0, newResSize = 0, newRelocRva = 0, newRelocSize = 0;
  GetDataDirectory(image, after, kDirResource, &newResRva, &newResSize);
  GetDataDirectory(image, after, kDirBaseReloc, &newRelocRva, &newRelocSize);
  EXPECT_EQ(newResRva, resRva);
  EXPECT_GT(newRelocRva, relocRva);
  EXPECT_EQ(newRelocSize, relocSize);
  EXPECT_GE(newRelocRva, newResRva + newResSize);
  ASSERT_TRUE(RvaToFileOffset(after, newRelocRva, newRelocSize, &relocAt));
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + relocAt, image.begin() + relocAt + relocSize), relocations);
  for (size_t at = 0; at + 8 <= relocations.size();) {
    uint32_t page = ReadLe32(relocations, at), blockSize = ReadLe32(relocations, at + 4);
    ASSERT_GE(blockSize, 8u);
    EXPECT_LT(page, resRva);
    at += blockSize;
  }
  // Everything before the resources is unchanged except the rewritten header fields.
  for (size_t i = after.sections.front().pointerToRawData; i < resAt; ++i) {
    ASSERT_EQ(image[i], head[i]) << "byte " << i;
  }
  EXPECT_EQ(ImageEnd(image), image.size());
  EXPECT_GE(ReadLe32(image, after.optionalOffset + 56), newRelocRva + newRelocSize);
}

// The same program linked by both Windows builds: PE32 and PE32+.
INSTANTIATE_TEST_SUITE_P(Architectures, RealSubject,
                         ::testing::Values(KV_RESOURCE_SUBJECT, KV_RESOURCE_SUBJECT_X64),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.index == 0 ? "x86" : "x64");
                         });

}  // namespace
