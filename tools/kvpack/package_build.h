// "kvpack build": a package image from a stub, a payload folder and a runtime folder.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "pe_image.h"
#include "stub_texts.h"

// The largest payload file kvpack accepts: a file larger than the block cap forms a block of its
// own, and the extractor holds a whole block in memory.
constexpr uint64_t kMaxPayloadFileBytes = 1ull << 30;
constexpr uint32_t kDefaultBlockMiB = 64;
constexpr uint32_t kMaxBlockMiB = 1024;

struct BuildOptions {
  // The package's architecture (kMachineX86 or kMachineX64): the stub and the runtime library
  // must both be built for it.
  uint16_t machine = kMachineX86;
  std::string payloadDir;
  std::string runtimeDir;
  std::string outPath;
  std::string stubPath;
  uint32_t blockMiB = kDefaultBlockMiB;
  // Replacements for members of the runtime data set; empty keeps the runtime folder's file.
  std::string welcome, readme, final, headerImage, watermark, fileProps;
  StubTexts texts;
};

// One entry of the payload folder, as it will be named in the package.
struct PayloadItem {
  std::string name;  // relative to the payload folder, '/' between components
  bool isDir = false;
  uint64_t size = 0;
};

// Walks the payload folder: every file and folder below it, folders before their contents, in
// case-insensitive name order. Refuses names the package cannot carry, names that differ only in
// case, files it cannot read, anything that is not a file, a folder or a link to a file inside
// the folder, and files over kMaxPayloadFileBytes; *error names the offending path.
bool ScanPayload(const std::string& root, std::vector<PayloadItem>* items, std::string* error);

// Builds the image at options.outPath. The output is written to a temporary file beside it,
// checked as "kvpack verify" checks it, and renamed into place only when all went well; on any
// failure no output file is left. Notes for the user (dropped stub bytes, text warnings) go to
// *notes.
bool BuildPackage(const BuildOptions& options, std::vector<std::string>* notes,
                  std::string* error);
