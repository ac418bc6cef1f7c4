// Layout of a package image: the stub's PE image, then an 18-byte package header, the payload
// archive and the runtime archive. Pure logic over bytes and a read callback, shared by the
// extractor and the host-side package builder; no Win32 file calls here.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kImageHeadBytes = 4096;      // bytes read to find the end of the PE image
constexpr size_t kPackageHeaderBytes = 18;    // "KV", payload size, declared image size
constexpr size_t kSignatureScanBytes = 0x8000;

// Finds the end of the PE image (the offset of the package header) in the first bytes of the
// file: the raw-data end of the section with the largest raw-data pointer. headLength is the
// number of bytes actually read (at most kImageHeadBytes). The section table follows a 240-byte
// optional header when the file header says so (PE32+), else a 224-byte one (PE32). Returns false
// for no "MZ", e_lfanew above 3847, no PE signature, or a section table that does not lie inside
// the bytes read.
bool FindImageEnd(const uint8_t* head, size_t headLength, uint32_t* imageEnd);

// Decodes the two 64-bit little-endian fields after the (unchecked) two magic bytes.
void DecodePackageHeader(const uint8_t header[kPackageHeaderBytes], uint64_t* payloadSize,
                         uint64_t* declaredImageSize);
// Writes a package header ("KV" and the two sizes) into 18 bytes.
void EncodePackageHeader(uint64_t payloadSize, uint64_t declaredImageSize,
                         uint8_t header[kPackageHeaderBytes]);

// Sequential reads of the image file, as the scan needs them.
struct ImageReadCallbacks {
  void* context;
  // Length of the whole file; 0 on success.
  int (*getLength)(void* context, uint64_t* length);
  // Moves to an absolute offset; 0 on success.
  int (*seek)(void* context, uint64_t offset);
  // Reads up to *size bytes, stopping early only at the end of the file; *size gets the bytes
  // read. 0 on success.
  int (*read)(void* context, void* buffer, size_t* size);
};

// Finds the runtime archive's 7z start header at or after *position (the byte after the payload
// archive): the first offset whose six signature bytes match and whose start-header CRC is right.
// Sets *imageLength to the file's length. Returns true with the absolute offset in *position;
// false on a read failure or when the file ends first. CrcGenerateTable must have run.
bool LocateArchiveSignature(const ImageReadCallbacks* io, uint64_t* position,
                            uint64_t* imageLength);
