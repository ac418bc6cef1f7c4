// A PE image held in memory, 32-bit (PE32) or 64-bit (PE32+): its headers and section table,
// read and edited in place, and the replacement of its resource section.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct PeSection {
  std::string name;          // up to 8 bytes, without padding
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeOfRawData = 0;
  uint32_t pointerToRawData = 0;
  uint32_t characteristics = 0;
  size_t headerOffset = 0;   // file offset of its 40-byte header
};

// Offsets and values of the headers of an image; filled by ParsePeImage.
struct PeLayout {
  uint16_t machine = 0;       // the file header's machine: kMachineX86 or kMachineX64
  bool pe64 = false;          // PE32+ optional header
  size_t ntOffset = 0;        // offset of "PE\0\0"
  size_t optionalOffset = 0;  // offset of the optional header
  size_t sectionTableOffset = 0;
  uint16_t sizeOfOptionalHeader = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t numberOfRvaAndSizes = 0;
  std::vector<PeSection> sections;  // in table order
};

constexpr uint16_t kMachineX86 = 0x14C;
constexpr uint16_t kMachineX64 = 0x8664;

constexpr uint32_t kDirResource = 2;
constexpr uint32_t kDirBaseReloc = 5;
constexpr uint32_t kDirSecurity = 4;

uint16_t ReadLe16(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset);
void WriteLe16(std::vector<uint8_t>* bytes, size_t offset, uint16_t value);
void WriteLe32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value);

// Reads the headers of an x86 image (PE32, 224-byte optional header) or an x64 one (PE32+,
// 240-byte optional header). The headers and the whole section table must lie within the first
// 4096 bytes, as the extractor reads them; every section's raw data must lie inside the bytes
// given. Returns false with a message otherwise.
bool ParsePeImage(const std::vector<uint8_t>& image, PeLayout* layout, std::string* error);

// The machine of any PE file (program or library) from its first bytes; false when the bytes
// are not a PE file.
bool ReadPeMachine(const uint8_t* bytes, size_t size, uint16_t* machine);
// "x86", "x64", or the machine number in hexadecimal for any other.
std::string MachineName(uint16_t machine);

// Data directory entry i (RVA and size); zeros when the image has fewer entries.
void GetDataDirectory(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t index,
                      uint32_t* rva, uint32_t* size);

// Maps an RVA range to a file offset inside one section's raw data; false when it lies outside.
bool RvaToFileOffset(const PeLayout& layout, uint32_t rva, uint32_t size, size_t* offset);

// Index of the section whose virtual range holds rva, or -1.
int FindSectionByRva(const PeLayout& layout, uint32_t rva);

// Replaces the resource section's content with newResources, which was laid out for the
// virtual address *resourceRva (ask PlanResourceRva first). Sections that follow it are moved
// when they hold nothing that refers to its own addresses (the base relocations); otherwise the
// resources go into a new last section. Fixes SizeOfImage, SizeOfInitializedData, the resource
// and relocation directories and the checksum. The image is the stub up to its image end.
bool PlanResourceRva(const std::vector<uint8_t>& image, const PeLayout& layout,
                     uint32_t* resourceRva, std::string* error);
bool ReplaceResourceSection(std::vector<uint8_t>* image, const std::vector<uint8_t>& newResources,
                            uint32_t resourceRva, std::string* error);

// The PE checksum over the whole file with its own checksum field taken as zero.
uint32_t ComputePeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset);
