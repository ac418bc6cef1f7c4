// Writes the benchmark's payload folders, the same bytes every time for the same arguments:
//   payloadgen app DIR [SCALE]        about 6,000 files and 350 MB, mixed like an application:
//                                     text, program-like binaries, already-compressed data, in
//                                     nested folders (SCALE multiplies counts and sizes)
//   payloadgen large DIR [SCALE]      one file of about 180 MB of program-like data
//   payloadgen small DIR FILES        FILES small files of the application's kinds
// Every file gets the same modification time, so that archives of the payload are repeatable.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr time_t kFileTime = 1700000000;  // 14 November 2023

struct Random {
  uint64_t state;
  uint64_t Next() {
    // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }
  // A size between low and high whose logarithm is evenly spread: many small, few large.
  uint64_t Spread(uint64_t low, uint64_t high) {
    double fraction = static_cast<double>(Next() >> 11) / static_cast<double>(1ull << 53);
    return static_cast<uint64_t>(static_cast<double>(low) *
                                 std::pow(static_cast<double>(high) / static_cast<double>(low), fraction));
  }
};

enum class Kind { kText, kProgram, kPacked };

const char* const kWords[] = {
    "the",     "package", "install", "folder",  "version", "release", "window",  "system",
    "library", "option",  "default", "user",    "file",    "setting", "update",  "value",
    "error",   "message", "content", "server",  "client",  "network", "read",    "write",
    "config",  "section", "entry",   "string",  "number",  "table",   "index",   "record",
    "and",     "of",      "to",      "in",      "for",     "with",    "on",      "is"};

void FillText(Random* random, std::vector<uint8_t>* bytes, size_t size) {
  bytes->clear();
  size_t column = 0;
  while (bytes->size() < size) {
    const char* word = kWords[random->Below(sizeof(kWords) / sizeof(kWords[0]))];
    bytes->insert(bytes->end(), word, word + strlen(word));
    column += strlen(word) + 1;
    if (column > 72) {
      bytes->push_back('\r');
      bytes->push_back('\n');
      column = 0;
    } else {
      bytes->push_back(random->Below(11) == 0 ? ',' : ' ');
    }
  }
  bytes->resize(size);
}

// Bytes shaped like machine code and tables: a small set of opcodes, little-endian addresses
// close to each other, runs of zeros and repeated blocks.
void FillProgram(Random* random, std::vector<uint8_t>* bytes, size_t size) {
  static const uint8_t kOpcodes[] = {0x48, 0x89, 0x8B, 0xE8, 0xFF, 0x83, 0xC3, 0x74, 0x75, 0x0F,
                                     0x85, 0x84, 0x31, 0xC0, 0x5D, 0x55, 0x41, 0x4C, 0x8D, 0x90};
  bytes->resize(size);
  uint32_t address = 0x401000;
  size_t at = 0;
  while (at < size) {
    uint64_t choice = random->Below(16);
    if (choice < 10) {
      (*bytes)[at++] = kOpcodes[random->Below(sizeof(kOpcodes))];
    } else if (choice < 13) {
      address += static_cast<uint32_t>(random->Below(4096));
      for (int i = 0; i < 4 && at < size; ++i) (*bytes)[at++] = static_cast<uint8_t>(address >> (8 * i));
    } else if (choice < 14 && at > 256) {
      size_t length = 16 + random->Below(200);
      size_t from = at - 1 - random->Below(at > 65536 ? 65536 : at - 1);
      for (size_t i = 0; i < length && at < size; ++i) (*bytes)[at++] = (*bytes)[from + i];
    } else if (choice < 15) {
      size_t length = random->Below(64);
      for (size_t i = 0; i < length && at < size; ++i) (*bytes)[at++] = 0;
    } else {
      (*bytes)[at++] = static_cast<uint8_t>(random->Next());
    }
  }
}

void FillPacked(Random* random, std::vector<uint8_t>* bytes, size_t size) {
  bytes->resize(size);
  for (size_t at = 0; at < size; at += 8) {
    uint64_t value = random->Next();
    for (size_t i = 0; i < 8 && at + i < size; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) {
    fprintf(stderr, "payloadgen: cannot write %s\n", path.c_str());
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = fclose(file) == 0 && ok;
  struct utimbuf times = {kFileTime, kFileTime};
  utime(path.c_str(), &times);
  if (!ok) fprintf(stderr, "payloadgen: cannot write %s\n", path.c_str());
  return ok;
}

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    fprintf(stderr, "payloadgen: cannot make %s\n", path.c_str());
    return false;
  }
  return true;
}

const char* Extension(Kind kind, uint64_t pick) {
  static const char* const kText[] = {".txt", ".xml", ".ini", ".html", ".json", ".md"};
  static const char* const kProgram[] = {".dll", ".exe", ".dat", ".bin"};
  static const char* const kPacked[] = {".png", ".zip", ".jpg", ".cab"};
  switch (kind) {
    case Kind::kText: return kText[pick % 6];
    case Kind::kProgram: return kProgram[pick % 4];
    case Kind::kPacked: return kPacked[pick % 4];
  }
  return ".bin";
}

// One file of the application's mix, below one of the folders.
bool WriteMixedFile(Random* random, const std::vector<std::string>& folders, size_t index,
                    double scale, std::vector<uint8_t>* buffer, uint64_t* total) {
  uint64_t roll = random->Below(100);
  Kind kind = roll < 50 ? Kind::kText : roll < 80 ? Kind::kProgram : Kind::kPacked;
  uint64_t size = 0;
  switch (kind) {
    case Kind::kText: size = random->Spread(200, 100000); break;
    case Kind::kProgram: size = random->Spread(2000, 800000); break;
    case Kind::kPacked: size = random->Spread(1000, 400000); break;
  }
  size = static_cast<uint64_t>(size * scale);
  if (kind == Kind::kText) FillText(random, buffer, size);
  if (kind == Kind::kProgram) FillProgram(random, buffer, size);
  if (kind == Kind::kPacked) FillPacked(random, buffer, size);
  char name[64];
  snprintf(name, sizeof name, "/file%05zu%s", index, Extension(kind, random->Next()));
  *total += size;
  return WriteFile(folders[random->Below(folders.size())] + name, *buffer);
}

// How many folders below root path lies.
size_t Depth(const std::string& path, const std::string& root) {
  size_t depth = 0;
  for (size_t i = root.size(); i < path.size(); ++i) depth += path[i] == '/';
  return depth;
}

// A tree of folders below root, up to four levels deep.
bool MakeTree(Random* random, const std::string& root, size_t count, std::vector<std::string>* folders) {
  folders->push_back(root);
  for (size_t i = 0; i < count; ++i) {
    const std::string& parent = (*folders)[random->Below(folders->size())];
    if (Depth(parent, root) >= 4) continue;
    char name[32];
    snprintf(name, sizeof name, "/folder%03zu", i);
    if (!MakeFolder(parent + name)) return false;
    folders->push_back(parent + name);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: payloadgen app|large DIR [SCALE] | small DIR FILES\n");
    return 2;
  }
  std::string kind = argv[1];
  std::string root = argv[2];
  double scale = argc > 3 && kind != "small" ? atof(argv[3]) : 1.0;
  if (scale <= 0) scale = 1.0;
  if (!MakeFolder(root)) return 1;
  std::vector<uint8_t> buffer;
  uint64_t total = 0;
  size_t files = 0;
  if (kind == "app" || kind == "small") {
    Random random = {kind == "app" ? 20241211u : 777u};
    files = kind == "app" ? static_cast<size_t>(6000 * scale) : static_cast<size_t>(atol(argc > 3 ? argv[3] : "1000"));
    std::vector<std::string> folders;
    if (!MakeTree(&random, root, kind == "app" ? 320 : files / 40 + 1, &folders)) return 1;
    // The small series keeps the application's kinds but not its large files.
    double sizeScale = kind == "app" ? 1.0 : 0.1;
    for (size_t i = 0; i < files; ++i) {
      if (!WriteMixedFile(&random, folders, i, sizeScale, &buffer, &total)) return 1;
    }
  } else if (kind == "large") {
    Random random = {4242u};
    uint64_t size = static_cast<uint64_t>(180.0 * 1024 * 1024 * scale);
    FillProgram(&random, &buffer, size);
    if (!WriteFile(root + "/large.bin", buffer)) return 1;
    total = size;
    files = 1;
  } else {
    fprintf(stderr, "payloadgen: unknown kind %s\n", kind.c_str());
    return 2;
  }
  printf("%zu files, %llu bytes\n", files, static_cast<unsigned long long>(total));
  return 0;
}
