// Small 7z archives written by the tests themselves, for layouts 7zz does not produce: entries in
// a chosen order (an empty file or folder between two files of one block), an empty archive.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct BuiltEntry {
  std::wstring name;
  std::vector<uint8_t> data;
  bool isFolder;
};

// An archive storing the files' bytes with the Copy method in one block, entries in the order
// given; entries without data (empty files, folders) take no part of the block.
std::vector<uint8_t> BuildCopyArchive(const std::vector<BuiltEntry>& entries);
// A 32-byte archive: a valid start header whose next header has size 0.
std::vector<uint8_t> BuildEmptyArchive();
