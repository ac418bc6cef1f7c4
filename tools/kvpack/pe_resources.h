// The resource tree of a PE image as a flat list of leaves, its binary layout, and the formats of
// the resources the stub's texts live in: string-table blocks and the version record.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// A resource type or name: a 16-bit id, or a UTF-16 name when isName.
struct ResourceKey {
  bool isName = false;
  uint16_t id = 0;
  std::u16string name;
};

struct ResourceLeaf {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
};

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtString = 6;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;

ResourceKey IdKey(uint16_t id);
ResourceKey NameKey(const std::u16string& name);

// Reads the three-level resource tree (type, name, language) of an image. Returns false with a
// message for a damaged tree (offsets outside the section, loops, data outside the image).
bool ReadResources(const std::vector<uint8_t>& image, std::vector<ResourceLeaf>* leaves,
                   std::string* error);

// Lays the leaves out as the content of a resource section at virtual address rva: directories
// in the order the loader searches them (names before ids, each sorted), then names, data entries
// and the data. Returns false when the tree would not fit in 32 bits.
bool WriteResources(const std::vector<ResourceLeaf>& leaves, uint32_t rva,
                    std::vector<uint8_t>* section, std::string* error);

// Finds a leaf; nullptr when none. language 0xFFFF matches any language.
ResourceLeaf* FindResource(std::vector<ResourceLeaf>* leaves, const ResourceKey& type,
                           const ResourceKey& name, uint16_t language);

// A string-table block holds 16 entries, each a 16-bit length and that many UTF-16 units.
bool DecodeStringBlock(const std::vector<uint8_t>& data, std::u16string entries[16]);
std::vector<uint8_t> EncodeStringBlock(const std::u16string entries[16]);

// One node of a version record: key, value (text values as UTF-16 without the terminator, binary
// values as bytes) and children.
struct VersionNode {
  std::u16string key;
  bool isText = false;
  std::u16string text;
  std::vector<uint8_t> binary;
  std::vector<VersionNode> children;
};

bool DecodeVersionNode(const std::vector<uint8_t>& data, VersionNode* root, std::string* error);
// Returns false when a node would outgrow its 16-bit length.
bool EncodeVersionNode(const VersionNode& root, std::vector<uint8_t>* data, std::string* error);

// Text conversions; Utf8ToUtf16 returns false for invalid UTF-8 (overlong forms, surrogates).
bool Utf8ToUtf16(const std::string& in, std::u16string* out);
std::string Utf16ToUtf8(const std::u16string& in);
