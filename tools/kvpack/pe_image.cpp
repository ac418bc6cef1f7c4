// Reading and editing the headers of a PE32 or PE32+ image, and putting a new resource section in.
#include "pe_image.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

namespace {

constexpr size_t kHeadLimit = 4096;
constexpr size_t kSectionHeaderBytes = 40;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kScnInitializedData = 0x00000040;
constexpr uint32_t kScnMemRead = 0x40000000;

// Offsets inside the optional header, the same in PE32 and PE32+ up to the checksum.
constexpr size_t kOptSizeOfInitializedData = 8;
constexpr size_t kOptSectionAlignment = 32;
constexpr size_t kOptFileAlignment = 36;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptCheckSum = 64;
// PE32+ widens four fields before the data directories (the image base and the stack and heap
// sizes), which moves them by 16 bytes.
constexpr size_t kOptNumberOfRvaAndSizes32 = 92;
constexpr size_t kOptDataDirectories32 = 96;
constexpr size_t kOptNumberOfRvaAndSizes64 = 108;
constexpr size_t kOptDataDirectories64 = 112;

size_t DataDirectoriesOffset(const PeLayout& layout) {
  return layout.pe64 ? kOptDataDirectories64 : kOptDataDirectories32;
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

uint32_t VirtualExtent(const PeSection& section) {
  return section.virtualSize != 0 ? section.virtualSize : section.sizeOfRawData;
}

// How the new resources will be placed.
struct ResourcePlan {
  int resourceSection = -1;   // the section that holds the resources now
  bool inPlace = false;       // rebuild that section, moving the ones after it
  std::vector<int> moved;     // sections after it (in place only)
  uint32_t rva = 0;           // virtual address of the new resources
};

bool MakeResourcePlan(const std::vector<uint8_t>& image, const PeLayout& layout,
                      ResourcePlan* plan, std::string* error) {
  uint32_t resRva = 0, resSize = 0;
  GetDataDirectory(image, layout, kDirResource, &resRva, &resSize);
  if (resRva == 0 || resSize == 0) {
    *error = "the stub has no resources";
    return false;
  }
  plan->resourceSection = FindSectionByRva(layout, resRva);
  if (plan->resourceSection < 0) {
    *error = "the stub's resource directory lies outside its sections";
    return false;
  }
  const PeSection& res = layout.sections[plan->resourceSection];
  uint32_t relocRva = 0, relocSize = 0;
  GetDataDirectory(image, layout, kDirBaseReloc, &relocRva, &relocSize);

  // In place when the resources fill their section from its start and every section after it,
  // in memory and in the file, is the base relocation table, which holds no address of itself.
  bool inPlace = res.virtualAddress == resRva;
  plan->moved.clear();
  for (size_t i = 0; i < layout.sections.size() && inPlace; ++i) {
    const PeSection& s = layout.sections[i];
    if (static_cast<int>(i) == plan->resourceSection) continue;
    bool afterInMemory = s.virtualAddress > res.virtualAddress;
    bool afterInFile = s.sizeOfRawData != 0 && s.pointerToRawData > res.pointerToRawData;
    if (!afterInMemory && !afterInFile) continue;
    bool onlyRelocations = afterInMemory && relocRva == s.virtualAddress &&
                           relocSize <= VirtualExtent(s) &&
                           (s.sizeOfRawData == 0 || afterInFile);
    if (!onlyRelocations) inPlace = false;
    plan->moved.push_back(static_cast<int>(i));
  }
  plan->inPlace = inPlace;
  if (inPlace) {
    plan->rva = res.virtualAddress;
    return true;
  }
  plan->moved.clear();
  size_t tableEnd = layout.sectionTableOffset + (layout.sections.size() + 1) * kSectionHeaderBytes;
  uint32_t firstRaw = UINT32_MAX;
  uint32_t memoryEnd = 0;
  for (const PeSection& s : layout.sections) {
    if (s.sizeOfRawData != 0) firstRaw = std::min(firstRaw, s.pointerToRawData);
    memoryEnd = std::max(memoryEnd, s.virtualAddress + VirtualExtent(s));
  }
  if (tableEnd > kHeadLimit || tableEnd > layout.sizeOfHeaders || tableEnd > firstRaw) {
    *error = "the stub's section table has no room for a new resource section";
    return false;
  }
  plan->rva = AlignUp(memoryEnd, layout.sectionAlignment);
  return true;
}

void WriteSectionHeader(std::vector<uint8_t>* image, const PeSection& s) {
  uint8_t name[8] = {};
  memcpy(name, s.name.data(), std::min<size_t>(s.name.size(), 8));
  memcpy(image->data() + s.headerOffset, name, 8);
  WriteLe32(image, s.headerOffset + 8, s.virtualSize);
  WriteLe32(image, s.headerOffset + 12, s.virtualAddress);
  WriteLe32(image, s.headerOffset + 16, s.sizeOfRawData);
  WriteLe32(image, s.headerOffset + 20, s.pointerToRawData);
  WriteLe32(image, s.headerOffset + 36, s.characteristics);
}

void SetDataDirectory(std::vector<uint8_t>* image, const PeLayout& layout, uint32_t index,
                      uint32_t rva, uint32_t size) {
  if (index >= layout.numberOfRvaAndSizes) return;
  size_t at = layout.optionalOffset + DataDirectoriesOffset(layout) + index * 8;
  WriteLe32(image, at, rva);
  WriteLe32(image, at + 4, size);
}

}  // namespace

uint16_t ReadLe16(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void WriteLe16(std::vector<uint8_t>* bytes, size_t offset, uint16_t value) {
  (*bytes)[offset] = static_cast<uint8_t>(value);
  (*bytes)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void WriteLe32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool ParsePeImage(const std::vector<uint8_t>& image, PeLayout* layout, std::string* error) {
  *layout = PeLayout();
  if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') {
    *error = "not a Windows executable (no MZ header)";
    return false;
  }
  uint32_t lfanew = ReadLe32(image, 0x3C);
  if (lfanew > 3847 || lfanew + 24 > image.size()) {
    *error = "the PE header does not lie within the first 4096 bytes";
    return false;
  }
  if (memcmp(image.data() + lfanew, "PE\0\0", 4) != 0) {
    *error = "not a PE image (no PE signature)";
    return false;
  }
  layout->ntOffset = lfanew;
  layout->machine = ReadLe16(image, lfanew + 4);
  uint16_t sectionCount = ReadLe16(image, lfanew + 6);
  layout->sizeOfOptionalHeader = ReadLe16(image, lfanew + 20);
  layout->optionalOffset = lfanew + 24;
  layout->sectionTableOffset = layout->optionalOffset + layout->sizeOfOptionalHeader;
  if (layout->machine != kMachineX86 && layout->machine != kMachineX64) {
    *error = "not an x86 or x64 program (machine " + MachineName(layout->machine) + ")";
    return false;
  }
  layout->pe64 = layout->machine == kMachineX64;
  const uint16_t magic = layout->pe64 ? kPe32PlusMagic : kPe32Magic;
  if (layout->optionalOffset + 2 > image.size() || ReadLe16(image, layout->optionalOffset) != magic) {
    *error = std::string("not a valid ") + (layout->pe64 ? "64-bit (PE32+)" : "32-bit (PE32)") +
             " image: its optional header does not match its machine";
    return false;
  }
  // The extractor takes the section table to follow the optional header of its own kind.
  const uint16_t optionalSize = layout->pe64 ? 240 : 224;
  if (layout->sizeOfOptionalHeader != optionalSize ||
      layout->optionalOffset + layout->sizeOfOptionalHeader > image.size()) {
    *error = "the optional header is not " + std::to_string(optionalSize) + " bytes long";
    return false;
  }
  size_t tableEnd = layout->sectionTableOffset + sectionCount * kSectionHeaderBytes;
  if (tableEnd > kHeadLimit || tableEnd > image.size()) {
    *error = "the section table does not lie within the first 4096 bytes";
    return false;
  }
  layout->sectionAlignment = ReadLe32(image, layout->optionalOffset + kOptSectionAlignment);
  layout->fileAlignment = ReadLe32(image, layout->optionalOffset + kOptFileAlignment);
  layout->sizeOfHeaders = ReadLe32(image, layout->optionalOffset + kOptSizeOfHeaders);
  const size_t countOffset = layout->pe64 ? kOptNumberOfRvaAndSizes64 : kOptNumberOfRvaAndSizes32;
  layout->numberOfRvaAndSizes =
      std::min<uint32_t>(ReadLe32(image, layout->optionalOffset + countOffset),
                         (layout->sizeOfOptionalHeader - DataDirectoriesOffset(*layout)) / 8);
  if (layout->fileAlignment == 0 || layout->sectionAlignment < layout->fileAlignment ||
      (layout->fileAlignment & (layout->fileAlignment - 1)) != 0 ||
      (layout->sectionAlignment & (layout->sectionAlignment - 1)) != 0) {
    *error = "the image's alignments are not valid";
    return false;
  }
  for (uint16_t i = 0; i < sectionCount; ++i) {
    PeSection s;
    s.headerOffset = layout->sectionTableOffset + i * kSectionHeaderBytes;
    const char* name = reinterpret_cast<const char*>(image.data() + s.headerOffset);
    s.name.assign(name, strnlen(name, 8));
    s.virtualSize = ReadLe32(image, s.headerOffset + 8);
    s.virtualAddress = ReadLe32(image, s.headerOffset + 12);
    s.sizeOfRawData = ReadLe32(image, s.headerOffset + 16);
    s.pointerToRawData = ReadLe32(image, s.headerOffset + 20);
    s.characteristics = ReadLe32(image, s.headerOffset + 36);
    if (s.sizeOfRawData != 0 &&
        (static_cast<uint64_t>(s.pointerToRawData) + s.sizeOfRawData > image.size())) {
      *error = "section " + s.name + " reaches beyond the end of the image";
      return false;
    }
    layout->sections.push_back(s);
  }
  return true;
}

bool ReadPeMachine(const uint8_t* bytes, size_t size, uint16_t* machine) {
  if (size < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  uint32_t lfanew = static_cast<uint32_t>(bytes[0x3C]) | (static_cast<uint32_t>(bytes[0x3D]) << 8) |
                    (static_cast<uint32_t>(bytes[0x3E]) << 16) |
                    (static_cast<uint32_t>(bytes[0x3F]) << 24);
  if (lfanew > size || size - lfanew < 6 || memcmp(bytes + lfanew, "PE\0\0", 4) != 0) return false;
  *machine = static_cast<uint16_t>(bytes[lfanew + 4] | (bytes[lfanew + 5] << 8));
  return true;
}

std::string MachineName(uint16_t machine) {
  if (machine == kMachineX86) return "x86";
  if (machine == kMachineX64) return "x64";
  char text[16];
  snprintf(text, sizeof text, "0x%04X", machine);
  return text;
}

void GetDataDirectory(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t index,
                      uint32_t* rva, uint32_t* size) {
  *rva = 0;
  *size = 0;
  if (index >= layout.numberOfRvaAndSizes) return;
  size_t at = layout.optionalOffset + DataDirectoriesOffset(layout) + index * 8;
  *rva = ReadLe32(image, at);
  *size = ReadLe32(image, at + 4);
}

int FindSectionByRva(const PeLayout& layout, uint32_t rva) {
  for (size_t i = 0; i < layout.sections.size(); ++i) {
    const PeSection& s = layout.sections[i];
    if (rva >= s.virtualAddress && rva - s.virtualAddress < VirtualExtent(s)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool RvaToFileOffset(const PeLayout& layout, uint32_t rva, uint32_t size, size_t* offset) {
  int index = FindSectionByRva(layout, rva);
  if (index < 0) return false;
  const PeSection& s = layout.sections[index];
  uint64_t within = rva - s.virtualAddress;
  if (within + size > s.sizeOfRawData) return false;
  *offset = s.pointerToRawData + static_cast<size_t>(within);
  return true;
}

bool PlanResourceRva(const std::vector<uint8_t>& image, const PeLayout& layout,
                     uint32_t* resourceRva, std::string* error) {
  ResourcePlan plan;
  if (!MakeResourcePlan(image, layout, &plan, error)) return false;
  *resourceRva = plan.rva;
  return true;
}

bool ReplaceResourceSection(std::vector<uint8_t>* image, const std::vector<uint8_t>& newResources,
                            uint32_t resourceRva, std::string* error) {
  PeLayout layout;
  if (!ParsePeImage(*image, &layout, error)) return false;
  ResourcePlan plan;
  if (!MakeResourcePlan(*image, layout, &plan, error)) return false;
  if (plan.rva != resourceRva) {
    *error = "the resources were laid out for another address";
    return false;
  }
  const uint32_t sa = layout.sectionAlignment;
  const uint32_t fa = layout.fileAlignment;
  const uint32_t newSize = static_cast<uint32_t>(newResources.size());
  const uint32_t newRaw = AlignUp(newSize, fa);
  std::vector<PeSection> sections = layout.sections;
  uint32_t relocRva = 0, relocSize = 0;
  GetDataDirectory(*image, layout, kDirBaseReloc, &relocRva, &relocSize);
  uint32_t oldImageEnd = 0;
  for (const PeSection& s : sections) {
    if (s.sizeOfRawData != 0) oldImageEnd = std::max(oldImageEnd, s.pointerToRawData + s.sizeOfRawData);
  }
  int32_t initializedDelta = 0;
  std::vector<uint8_t> out;

  if (plan.inPlace) {
    PeSection& res = sections[plan.resourceSection];
    uint32_t followVa = UINT32_MAX, followRaw = UINT32_MAX;
    for (int i : plan.moved) {
      followVa = std::min(followVa, sections[i].virtualAddress);
      if (sections[i].sizeOfRawData != 0) followRaw = std::min(followRaw, sections[i].pointerToRawData);
    }
    uint32_t newVaEnd = AlignUp(res.virtualAddress + newSize, sa);
    uint32_t newRawEnd = res.pointerToRawData + newRaw;
    uint32_t vaDelta = plan.moved.empty() ? 0 : newVaEnd - followVa;     // may wrap: signed use
    uint32_t rawDelta = followRaw == UINT32_MAX ? 0 : newRawEnd - followRaw;
    out.assign(image->begin(), image->begin() + res.pointerToRawData);
    out.insert(out.end(), newResources.begin(), newResources.end());
    out.resize(newRawEnd, 0);
    if (followRaw != UINT32_MAX) {
      out.insert(out.end(), image->begin() + followRaw, image->begin() + oldImageEnd);
    }
    if (res.characteristics & kScnInitializedData) {
      initializedDelta = static_cast<int32_t>(newRaw - res.sizeOfRawData);
    }
    res.virtualSize = newSize;
    res.sizeOfRawData = newRaw;
    for (int i : plan.moved) {
      PeSection& s = sections[i];
      if (relocRva == s.virtualAddress) relocRva += vaDelta;
      s.virtualAddress += vaDelta;
      if (s.sizeOfRawData != 0) s.pointerToRawData += rawDelta;
    }
  } else {
    PeSection added;
    added.name = ".rsrc";
    added.virtualAddress = plan.rva;
    added.virtualSize = newSize;
    added.sizeOfRawData = newRaw;
    added.pointerToRawData = AlignUp(oldImageEnd, fa);
    added.characteristics = kScnInitializedData | kScnMemRead;
    added.headerOffset = layout.sectionTableOffset + sections.size() * kSectionHeaderBytes;
    // The section that held the resources stays where it is; its name tells it is retired.
    sections[plan.resourceSection].name = ".rsrcold";
    out = *image;
    out.resize(added.pointerToRawData, 0);
    out.insert(out.end(), newResources.begin(), newResources.end());
    out.resize(added.pointerToRawData + newRaw, 0);
    sections.push_back(added);
    WriteLe16(&out, layout.ntOffset + 6, static_cast<uint16_t>(sections.size()));
    initializedDelta = static_cast<int32_t>(newRaw);
  }

  for (const PeSection& s : sections) WriteSectionHeader(&out, s);
  uint32_t imageSize = 0;
  for (const PeSection& s : sections) {
    imageSize = std::max(imageSize, AlignUp(s.virtualAddress + VirtualExtent(s), sa));
  }
  const size_t opt = layout.optionalOffset;
  WriteLe32(&out, opt + kOptSizeOfImage, imageSize);
  WriteLe32(&out, opt + kOptSizeOfInitializedData,
            ReadLe32(out, opt + kOptSizeOfInitializedData) + initializedDelta);
  SetDataDirectory(&out, layout, kDirResource, plan.rva, newSize);
  if (relocSize != 0) SetDataDirectory(&out, layout, kDirBaseReloc, relocRva, relocSize);
  // A signature would no longer match the rewritten image, and it lay behind the image end.
  SetDataDirectory(&out, layout, kDirSecurity, 0, 0);
  // No COFF symbol table survives behind the image end either.
  WriteLe32(&out, layout.ntOffset + 12, 0);
  WriteLe32(&out, layout.ntOffset + 16, 0);
  WriteLe32(&out, opt + kOptCheckSum, ComputePeChecksum(out, opt + kOptCheckSum));
  image->swap(out);
  return true;
}

uint32_t ComputePeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset) {
  uint64_t sum = 0;
  size_t size = image.size();
  for (size_t i = 0; i < size; i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    uint32_t word = image[i];
    if (i + 1 < size) word |= static_cast<uint32_t>(image[i + 1]) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum) + static_cast<uint32_t>(size);
}
