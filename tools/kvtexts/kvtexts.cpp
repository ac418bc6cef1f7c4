// kvtexts: copies a stub (or any PE image with the stub's resources) and writes package texts
// into the copy, as kvpack build does, without appending package data.
// Usage: kvtexts INPUT.exe OUTPUT.exe [--title TEXT] [--label TEXT] ...
#include <stdio.h>

#include <string>
#include <vector>

#include "stub_texts.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return false;
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
  bool ok = ferror(f) == 0;
  fclose(f);
  return ok;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path, "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (fclose(f) != 0) ok = false;
  if (!ok) remove(path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (argc - 3) % 2 != 0) {
    fprintf(stderr, "usage: kvtexts INPUT.exe OUTPUT.exe [OPTION TEXT]...\n%s", StubTextOptionsHelp());
    return 2;
  }
  StubTexts texts;
  for (int i = 3; i < argc; i += 2) {
    std::string error;
    if (!ParseStubTextOption(argv[i], argv[i + 1], &texts, &error)) {
      fprintf(stderr, "kvtexts: unknown option %s\n", argv[i]);
      return 2;
    }
    if (!error.empty()) {
      fprintf(stderr, "kvtexts: %s\n", error.c_str());
      return 2;
    }
  }
  std::vector<uint8_t> image;
  if (!ReadFile(argv[1], &image)) {
    fprintf(stderr, "kvtexts: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<std::string> warnings;
  std::string error;
  if (!ApplyStubTexts(&image, texts, &warnings, &error)) {
    fprintf(stderr, "kvtexts: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  for (const std::string& warning : warnings) fprintf(stderr, "kvtexts: warning: %s\n", warning.c_str());
  if (!WriteFile(argv[2], image)) {
    fprintf(stderr, "kvtexts: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
