// Resource tree reading and writing, string-table blocks and version records.
#include "pe_resources.h"

#include <algorithm>
#include <map>

#include "pe_image.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryBytes = 16;
constexpr size_t kEntryBytes = 8;
constexpr size_t kDataEntryBytes = 16;

struct TreeReader {
  const std::vector<uint8_t>* image;
  const PeLayout* layout;
  size_t base;   // file offset of the root directory
  size_t limit;  // file offset just past the resource section's raw data
  std::vector<ResourceLeaf>* leaves;
  std::string* error;
};

bool Fits(const TreeReader& r, uint32_t offset, size_t bytes) {
  return offset < r.limit - r.base && bytes <= r.limit - r.base - offset;
}

bool ReadKey(const TreeReader& r, uint32_t raw, ResourceKey* key) {
  if ((raw & kHighBit) == 0) {
    if (raw > 0xFFFF) return false;
    *key = IdKey(static_cast<uint16_t>(raw));
    return true;
  }
  uint32_t offset = raw & ~kHighBit;
  if (!Fits(r, offset, 2)) return false;
  uint16_t length = ReadLe16(*r.image, r.base + offset);
  if (!Fits(r, offset, 2 + 2 * static_cast<size_t>(length))) return false;
  std::u16string name;
  for (uint16_t i = 0; i < length; ++i) {
    name.push_back(static_cast<char16_t>(ReadLe16(*r.image, r.base + offset + 2 + 2 * i)));
  }
  *key = NameKey(name);
  return true;
}

// Reads the directory at offset on the given level (0 types, 1 names, 2 languages).
bool ReadDirectory(const TreeReader& r, uint32_t offset, int level, ResourceLeaf* path) {
  if (!Fits(r, offset, kDirectoryBytes)) {
    *r.error = "a resource directory lies outside the resource section";
    return false;
  }
  size_t at = r.base + offset;
  size_t count = static_cast<size_t>(ReadLe16(*r.image, at + 12)) + ReadLe16(*r.image, at + 14);
  if (!Fits(r, offset, kDirectoryBytes + count * kEntryBytes)) {
    *r.error = "a resource directory's entries lie outside the resource section";
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    size_t entry = at + kDirectoryBytes + i * kEntryBytes;
    uint32_t rawKey = ReadLe32(*r.image, entry);
    uint32_t target = ReadLe32(*r.image, entry + 4);
    ResourceKey key;
    if (!ReadKey(r, rawKey, &key)) {
      *r.error = "a resource name lies outside the resource section";
      return false;
    }
    if (level == 0) path->type = key;
    if (level == 1) path->name = key;
    if (level == 2) {
      if (key.isName) {
        *r.error = "a resource language is not a number";
        return false;
      }
      path->language = key.id;
    }
    bool isDirectory = (target & kHighBit) != 0;
    if (isDirectory != (level < 2)) {
      *r.error = "the resource tree is not three levels deep";
      return false;
    }
    if (isDirectory) {
      // Each level goes one deeper, so a loop in the offsets cannot recurse without end.
      if (!ReadDirectory(r, target & ~kHighBit, level + 1, path)) return false;
      continue;
    }
    if (!Fits(r, target, kDataEntryBytes)) {
      *r.error = "a resource data entry lies outside the resource section";
      return false;
    }
    uint32_t dataRva = ReadLe32(*r.image, r.base + target);
    uint32_t dataSize = ReadLe32(*r.image, r.base + target + 4);
    size_t dataOffset = 0;
    if (!RvaToFileOffset(*r.layout, dataRva, dataSize, &dataOffset)) {
      *r.error = "a resource's data lies outside the image";
      return false;
    }
    ResourceLeaf leaf = *path;
    leaf.codePage = ReadLe32(*r.image, r.base + target + 8);
    leaf.data.assign(r.image->begin() + dataOffset, r.image->begin() + dataOffset + dataSize);
    r.leaves->push_back(leaf);
  }
  return true;
}

bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.isName != b.isName) return a.isName;  // names come first
  if (a.isName) return a.name < b.name;
  return a.id < b.id;
}

bool KeyEqual(const ResourceKey& a, const ResourceKey& b) {
  return a.isName == b.isName && (a.isName ? a.name == b.name : a.id == b.id);
}

struct KeyOrder {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const { return KeyLess(a, b); }
};

void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void Pad4(std::vector<uint8_t>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

}  // namespace

ResourceKey IdKey(uint16_t id) {
  ResourceKey key;
  key.id = id;
  return key;
}

ResourceKey NameKey(const std::u16string& name) {
  ResourceKey key;
  key.isName = true;
  key.name = name;
  return key;
}

bool ReadResources(const std::vector<uint8_t>& image, std::vector<ResourceLeaf>* leaves,
                   std::string* error) {
  leaves->clear();
  PeLayout layout;
  if (!ParsePeImage(image, &layout, error)) return false;
  uint32_t rva = 0, size = 0;
  GetDataDirectory(image, layout, kDirResource, &rva, &size);
  int index = FindSectionByRva(layout, rva);
  size_t base = 0;
  if (rva == 0 || index < 0 || !RvaToFileOffset(layout, rva, kDirectoryBytes, &base)) {
    *error = "the image has no resource section";
    return false;
  }
  const PeSection& s = layout.sections[index];
  TreeReader reader{&image, &layout, base, static_cast<size_t>(s.pointerToRawData) + s.sizeOfRawData,
                    leaves, error};
  ResourceLeaf path;
  return ReadDirectory(reader, 0, 0, &path);
}

bool WriteResources(const std::vector<ResourceLeaf>& leaves, uint32_t rva,
                    std::vector<uint8_t>* section, std::string* error) {
  // type -> name -> language -> leaf index
  std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, size_t>, KeyOrder>, KeyOrder> tree;
  for (size_t i = 0; i < leaves.size(); ++i) {
    tree[leaves[i].type][leaves[i].name][leaves[i].language] = i;
  }
  // Sizes: directories first, in breadth order (root, types, names), then the name strings.
  size_t dirBytes = kDirectoryBytes + tree.size() * kEntryBytes;
  for (auto& type : tree) {
    dirBytes += kDirectoryBytes + type.second.size() * kEntryBytes;
    for (auto& name : type.second) {
      dirBytes += kDirectoryBytes + name.second.size() * kEntryBytes;
    }
  }
  std::vector<uint8_t> strings;
  std::map<std::u16string, uint32_t> stringOffsets;
  auto nameOffset = [&](const ResourceKey& key) -> uint32_t {
    auto found = stringOffsets.find(key.name);
    if (found != stringOffsets.end()) return found->second;
    uint32_t offset = static_cast<uint32_t>(dirBytes + strings.size());
    Put16(&strings, static_cast<uint16_t>(key.name.size()));
    for (char16_t c : key.name) Put16(&strings, static_cast<uint16_t>(c));
    stringOffsets[key.name] = offset;
    return offset;
  };
  for (auto& type : tree) {
    if (type.first.isName) nameOffset(type.first);
    for (auto& name : type.second) {
      if (name.first.isName) nameOffset(name.first);
    }
  }
  Pad4(&strings);
  size_t dataEntriesAt = dirBytes + strings.size();
  size_t dataAt = dataEntriesAt + leaves.size() * kDataEntryBytes;

  std::vector<uint8_t> out(dataAt, 0);
  auto writeDirectory = [&](size_t at, const std::vector<ResourceKey>& keys) {
    uint16_t named = 0, ids = 0;
    for (const ResourceKey& k : keys) (k.isName ? named : ids)++;
    WriteLe16(&out, at + 12, named);
    WriteLe16(&out, at + 14, ids);
  };
  auto keyField = [&](const ResourceKey& key) -> uint32_t {
    return key.isName ? (stringOffsets[key.name] | kHighBit) : key.id;
  };
  size_t nextDir = 0;
  size_t rootAt = nextDir;
  nextDir += kDirectoryBytes + tree.size() * kEntryBytes;
  std::vector<ResourceKey> typeKeys;
  for (auto& type : tree) typeKeys.push_back(type.first);
  writeDirectory(rootAt, typeKeys);
  size_t typeIndex = 0;
  // Type directories, then name directories (language level), laid out one after the other.
  std::vector<std::pair<size_t, const std::map<uint16_t, size_t>*>> languageLevel;
  for (auto& type : tree) {
    size_t typeAt = nextDir;
    nextDir += kDirectoryBytes + type.second.size() * kEntryBytes;
    size_t entry = rootAt + kDirectoryBytes + typeIndex++ * kEntryBytes;
    WriteLe32(&out, entry, keyField(type.first));
    WriteLe32(&out, entry + 4, static_cast<uint32_t>(typeAt) | kHighBit);
    std::vector<ResourceKey> nameKeys;
    for (auto& name : type.second) nameKeys.push_back(name.first);
    writeDirectory(typeAt, nameKeys);
    size_t nameIndex = 0;
    for (auto& name : type.second) {
      size_t nameEntry = typeAt + kDirectoryBytes + nameIndex++ * kEntryBytes;
      WriteLe32(&out, nameEntry, keyField(name.first));
      languageLevel.push_back({nameEntry, &name.second});
    }
  }
  size_t leafNumber = 0;
  for (auto& level : languageLevel) {
    size_t languageAt = nextDir;
    nextDir += kDirectoryBytes + level.second->size() * kEntryBytes;
    WriteLe32(&out, level.first + 4, static_cast<uint32_t>(languageAt) | kHighBit);
    WriteLe16(&out, languageAt + 14, static_cast<uint16_t>(level.second->size()));
    size_t languageIndex = 0;
    for (auto& language : *level.second) {
      size_t entry = languageAt + kDirectoryBytes + languageIndex++ * kEntryBytes;
      size_t dataEntry = dataEntriesAt + leafNumber++ * kDataEntryBytes;
      WriteLe32(&out, entry, language.first);
      WriteLe32(&out, entry + 4, static_cast<uint32_t>(dataEntry));
      const ResourceLeaf& leaf = leaves[language.second];
      while (out.size() % 8 != 0) out.push_back(0);
      if (out.size() + leaf.data.size() > 0x7FFFFFFFu - rva) {
        *error = "the resources are too large";
        return false;
      }
      WriteLe32(&out, dataEntry, rva + static_cast<uint32_t>(out.size()));
      WriteLe32(&out, dataEntry + 4, static_cast<uint32_t>(leaf.data.size()));
      WriteLe32(&out, dataEntry + 8, leaf.codePage);
      out.insert(out.end(), leaf.data.begin(), leaf.data.end());
    }
  }
  std::copy(strings.begin(), strings.end(), out.begin() + dirBytes);
  section->swap(out);
  return true;
}

ResourceLeaf* FindResource(std::vector<ResourceLeaf>* leaves, const ResourceKey& type,
                           const ResourceKey& name, uint16_t language) {
  for (ResourceLeaf& leaf : *leaves) {
    if (KeyEqual(leaf.type, type) && KeyEqual(leaf.name, name) &&
        (language == 0xFFFF || leaf.language == language)) {
      return &leaf;
    }
  }
  return nullptr;
}

bool DecodeStringBlock(const std::vector<uint8_t>& data, std::u16string entries[16]) {
  size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    entries[i].clear();
    if (at + 2 > data.size()) return false;
    uint16_t length = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
    at += 2;
    if (at + 2 * static_cast<size_t>(length) > data.size()) return false;
    for (uint16_t k = 0; k < length; ++k, at += 2) {
      entries[i].push_back(static_cast<char16_t>(data[at] | (data[at + 1] << 8)));
    }
  }
  return true;
}

std::vector<uint8_t> EncodeStringBlock(const std::u16string entries[16]) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 16; ++i) {
    Put16(&out, static_cast<uint16_t>(entries[i].size()));
    for (char16_t c : entries[i]) Put16(&out, static_cast<uint16_t>(c));
  }
  return out;
}

namespace {

// Decodes the node at [at, at + its length) of data.
bool DecodeNodeAt(const std::vector<uint8_t>& data, size_t at, size_t end, int depth,
                  VersionNode* node, std::string* error) {
  if (depth > 8 || at + 6 > end) {
    *error = "the version record is damaged";
    return false;
  }
  uint16_t length = ReadLe16(data, at);
  uint16_t valueLength = ReadLe16(data, at + 2);
  uint16_t type = ReadLe16(data, at + 4);
  if (length < 6 || at + length > end) {
    *error = "a version record node has a wrong length";
    return false;
  }
  size_t nodeEnd = at + length;
  size_t p = at + 6;
  node->key.clear();
  for (;;) {
    if (p + 2 > nodeEnd) {
      *error = "a version record key has no end";
      return false;
    }
    uint16_t c = ReadLe16(data, p);
    p += 2;
    if (c == 0) break;
    node->key.push_back(static_cast<char16_t>(c));
  }
  p = (p + 3) & ~static_cast<size_t>(3);
  node->isText = type == 1;
  size_t valueBytes = node->isText ? 2 * static_cast<size_t>(valueLength) : valueLength;
  if (valueBytes > 0) {
    if (p + valueBytes > nodeEnd) {
      // Some compilers count text values in bytes; accept what fits.
      valueBytes = nodeEnd > p ? nodeEnd - p : 0;
    }
    if (node->isText) {
      for (size_t k = 0; k + 1 < valueBytes; k += 2) {
        uint16_t c = ReadLe16(data, p + k);
        if (c == 0) break;
        node->text.push_back(static_cast<char16_t>(c));
      }
    } else {
      node->binary.assign(data.begin() + p, data.begin() + p + valueBytes);
    }
    p += valueBytes;
  }
  p = (p + 3) & ~static_cast<size_t>(3);
  while (p + 6 <= nodeEnd) {
    VersionNode child;
    if (!DecodeNodeAt(data, p, nodeEnd, depth + 1, &child, error)) return false;
    p += ReadLe16(data, p);
    p = (p + 3) & ~static_cast<size_t>(3);
    node->children.push_back(child);
  }
  return true;
}

bool EncodeNodeInto(const VersionNode& node, std::vector<uint8_t>* out, std::string* error) {
  size_t start = out->size();
  Put16(out, 0);
  size_t valueLength = node.isText ? (node.text.empty() ? 0 : node.text.size() + 1)
                                   : node.binary.size();
  if (valueLength > 0xFFFF) {
    *error = "a version text is too long";
    return false;
  }
  Put16(out, static_cast<uint16_t>(valueLength));
  Put16(out, node.isText ? 1 : 0);
  for (char16_t c : node.key) Put16(out, static_cast<uint16_t>(c));
  Put16(out, 0);
  Pad4(out);
  if (node.isText) {
    if (!node.text.empty()) {
      for (char16_t c : node.text) Put16(out, static_cast<uint16_t>(c));
      Put16(out, 0);
    }
  } else {
    out->insert(out->end(), node.binary.begin(), node.binary.end());
  }
  for (const VersionNode& child : node.children) {
    Pad4(out);
    if (!EncodeNodeInto(child, out, error)) return false;
  }
  size_t length = out->size() - start;
  if (length > 0xFFFF) {
    *error = "the version record is too large";
    return false;
  }
  WriteLe16(out, start, static_cast<uint16_t>(length));
  return true;
}

}  // namespace

bool DecodeVersionNode(const std::vector<uint8_t>& data, VersionNode* root, std::string* error) {
  *root = VersionNode();
  return DecodeNodeAt(data, 0, data.size(), 0, root, error);
}

bool EncodeVersionNode(const VersionNode& root, std::vector<uint8_t>* data, std::string* error) {
  data->clear();
  return EncodeNodeInto(root, data, error);
}

bool Utf8ToUtf16(const std::string& in, std::u16string* out) {
  out->clear();
  size_t i = 0;
  while (i < in.size()) {
    uint8_t b = static_cast<uint8_t>(in[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else {
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= in.size()) return false;
      uint8_t c = static_cast<uint8_t>(in[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

std::string Utf16ToUtf8(const std::u16string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
