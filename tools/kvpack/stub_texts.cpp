// kvpack's rewriting of the stub's resources with a package's own texts.
#include "stub_texts.h"

#include <stddef.h>

#include <algorithm>

#include "pe_image.h"
#include "pe_manifest.h"
#include "pe_resources.h"

namespace {

constexpr uint16_t kStringLanguage = 1033;
constexpr uint16_t kTitleEntry = 0;
constexpr uint16_t kLabelEntry = 5;
constexpr size_t kStringEntryLimit = 65535;   // units a string-table entry can hold
constexpr size_t kTitleKeptUnits = 259;       // the extractor loads the title into 260 units
constexpr size_t kLabelLimit = 259;
constexpr size_t kVersionTextLimit = 1024;
constexpr size_t kDescriptionLimit = 1024;
constexpr const char16_t* kStringTableKey = u"000004b0";

enum class TextKind { kTitle, kLabel, kVersion, kAssemblyName, kDescription };

struct TextOption {
  const char* name;
  std::string StubTexts::*field;
  TextKind kind;
  const char16_t* versionKey;  // the version record field, or nullptr
  const char* help;
};

const TextOption kOptions[] = {
    {"--title", &StubTexts::title, TextKind::kTitle, nullptr,
     "package title (message captions, APPTITLE)"},
    {"--label", &StubTexts::label, TextKind::kLabel, nullptr,
     "wizard label at the bottom left of the pages"},
    {"--description", &StubTexts::description, TextKind::kVersion, u"FileDescription",
     "version record FileDescription"},
    {"--company", &StubTexts::company, TextKind::kVersion, u"CompanyName",
     "version record CompanyName"},
    {"--product", &StubTexts::product, TextKind::kVersion, u"ProductName",
     "version record ProductName"},
    {"--copyright", &StubTexts::copyright, TextKind::kVersion, u"LegalCopyright",
     "version record LegalCopyright"},
    {"--trademarks", &StubTexts::trademarks, TextKind::kVersion, u"LegalTrademarks",
     "version record LegalTrademarks"},
    {"--web-address", &StubTexts::webAddress, TextKind::kVersion, u"WebSite",
     "version record WebSite"},
    {"--assembly-name", &StubTexts::assemblyName, TextKind::kAssemblyName, nullptr,
     "manifest assembly identity name"},
    {"--assembly-description", &StubTexts::assemblyDescription, TextKind::kDescription, nullptr,
     "manifest description"},
};

// Checks one text against the limits of where it goes; *units gets its UTF-16 form.
bool CheckText(const TextOption& option, const std::string& value, std::u16string* units,
               std::string* error) {
  if (!Utf8ToUtf16(value, units)) {
    *error = std::string(option.name) + ": the text is not valid UTF-8";
    return false;
  }
  for (char16_t c : *units) {
    if (c < 0x20 || c == 0x7F) {
      *error = std::string(option.name) + ": the text holds a control character";
      return false;
    }
  }
  size_t limit = 0;
  switch (option.kind) {
    case TextKind::kTitle: limit = kStringEntryLimit; break;
    case TextKind::kLabel: limit = kLabelLimit; break;
    case TextKind::kVersion: limit = kVersionTextLimit; break;
    case TextKind::kDescription: limit = kDescriptionLimit; break;
    case TextKind::kAssemblyName:
      if (!value.empty() && !IsValidAssemblyName(value, error)) {
        *error = std::string(option.name) + ": " + *error;
        return false;
      }
      return true;
  }
  if (units->size() > limit) {
    *error = std::string(option.name) + ": the text has " + std::to_string(units->size()) +
             " UTF-16 units, more than the " + std::to_string(limit) + " it may have";
    return false;
  }
  return true;
}

VersionNode* FindChild(VersionNode* node, const std::u16string& key) {
  for (VersionNode& child : node->children) {
    if (child.key == key) return &child;
  }
  return nullptr;
}

bool SetVersionTexts(std::vector<ResourceLeaf>* leaves,
                     const std::vector<std::pair<const char16_t*, std::u16string>>& fields,
                     std::string* error) {
  if (fields.empty()) return true;
  ResourceLeaf* leaf = FindResource(leaves, IdKey(kRtVersion), IdKey(1), 0xFFFF);
  if (leaf == nullptr) {
    *error = "the stub has no version record";
    return false;
  }
  VersionNode root;
  if (!DecodeVersionNode(leaf->data, &root, error)) return false;
  VersionNode* fileInfo = FindChild(&root, u"StringFileInfo");
  VersionNode* table = fileInfo == nullptr ? nullptr : FindChild(fileInfo, kStringTableKey);
  if (table == nullptr) {
    *error = "the stub's version record has no language-neutral Unicode string table";
    return false;
  }
  for (const auto& field : fields) {
    VersionNode* node = FindChild(table, field.first);
    if (node == nullptr) {
      VersionNode added;
      added.key = field.first;
      added.isText = true;
      table->children.push_back(added);
      node = &table->children.back();
    }
    node->isText = true;
    node->text = field.second;
  }
  return EncodeVersionNode(root, &leaf->data, error);
}

bool SetManifestTexts(std::vector<ResourceLeaf>* leaves, const StubTexts& texts,
                      std::string* error) {
  if (texts.assemblyName.empty() && texts.assemblyDescription.empty()) return true;
  ResourceLeaf* leaf = FindResource(leaves, IdKey(kRtManifest), IdKey(1), 0xFFFF);
  if (leaf == nullptr) {
    *error = "the stub has no manifest";
    return false;
  }
  std::string manifest(leaf->data.begin(), leaf->data.end());
  std::string edited;
  if (!EditManifest(manifest, texts.assemblyName, texts.assemblyDescription, &edited, error)) {
    return false;
  }
  leaf->data.assign(edited.begin(), edited.end());
  return true;
}

}  // namespace

bool ParseStubTextOption(const std::string& name, const std::string& value, StubTexts* texts,
                         std::string* error) {
  for (const TextOption& option : kOptions) {
    if (name != option.name) continue;
    std::u16string units;
    error->clear();
    if (!CheckText(option, value, &units, error)) return true;
    texts->*option.field = value;
    return true;
  }
  return false;
}

const char* StubTextOptionsHelp() {
  static std::string help;
  if (help.empty()) {
    help = "Package texts (UTF-8; an empty or missing one keeps the stub's own):\n";
    for (const TextOption& option : kOptions) {
      std::string line = "  " + std::string(option.name) + " TEXT";
      line.resize(30, ' ');
      help += line + option.help + "\n";
    }
  }
  return help.c_str();
}

bool ApplyStubTexts(std::vector<uint8_t>* stub, const StubTexts& texts,
                    std::vector<std::string>* warnings, std::string* error) {
  std::u16string title, label;
  std::vector<std::pair<const char16_t*, std::u16string>> versionFields;
  for (const TextOption& option : kOptions) {
    const std::string& value = texts.*option.field;
    std::u16string units;
    if (!CheckText(option, value, &units, error)) return false;
    if (value.empty()) continue;
    if (option.kind == TextKind::kTitle) title = units;
    if (option.kind == TextKind::kLabel) label = units;
    if (option.kind == TextKind::kVersion) versionFields.push_back({option.versionKey, units});
  }
  if (title.size() > kTitleKeptUnits) {
    warnings->push_back("--title: the title has " + std::to_string(title.size()) +
                        " UTF-16 units; the package shows only the first " +
                        std::to_string(kTitleKeptUnits));
  }

  // Bytes behind the last section (package data, a symbol table) would not survive the rewrite.
  PeLayout layout;
  if (!ParsePeImage(*stub, &layout, error)) return false;
  uint32_t imageEnd = 0;
  for (const PeSection& s : layout.sections) {
    if (s.sizeOfRawData != 0) imageEnd = std::max(imageEnd, s.pointerToRawData + s.sizeOfRawData);
  }
  if (stub->size() > imageEnd) {
    *error = "the stub has " + std::to_string(stub->size() - imageEnd) +
             " bytes behind its last section (package data or symbols); use a bare, stripped stub";
    return false;
  }

  std::vector<ResourceLeaf> leaves;
  if (!ReadResources(*stub, &leaves, error)) return false;
  if (!title.empty() || !label.empty()) {
    ResourceLeaf* block = FindResource(&leaves, IdKey(kRtString), IdKey(1), kStringLanguage);
    std::u16string entries[16];
    if (block == nullptr || !DecodeStringBlock(block->data, entries)) {
      *error = "the stub has no readable string table";
      return false;
    }
    if (!title.empty()) entries[kTitleEntry] = title;
    if (!label.empty()) entries[kLabelEntry] = label;
    block->data = EncodeStringBlock(entries);
  }
  if (!SetVersionTexts(&leaves, versionFields, error)) return false;
  if (!SetManifestTexts(&leaves, texts, error)) return false;

  uint32_t rva = 0;
  if (!PlanResourceRva(*stub, layout, &rva, error)) return false;
  std::vector<uint8_t> section;
  if (!WriteResources(leaves, rva, &section, error)) return false;
  return ReplaceResourceSection(stub, section, rva, error);
}
