// File helpers of the package builder: whole-file reads and writes, a scratch folder that removes
// itself, recursive removal, the folder of the running program.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// Reads a whole file. On failure *error names the file and the reason.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Writes size bytes to an open descriptor, retrying short writes. Returns 0 or an errno value.
int WriteAllToFd(int fd, const void* data, size_t size);

// Appends the whole file at path to an open descriptor.
bool AppendFileToFd(int fd, const std::string& path, std::string* error);

// Copies a file's bytes to a new file (mode 0644), replacing it if it exists.
bool CopyFileBytes(const std::string& from, const std::string& to, std::string* error);

// Removes a file or a folder with everything below it; symbolic links are removed, not followed.
void RemoveTree(const std::string& path);

// The folder that holds the running program (from /proc/self/exe), without a trailing slash.
std::string ProgramDir();

// A folder made with mkdtemp under $TMPDIR (or /tmp); removed with its contents when the owner
// goes. Move-only.
class ScratchDir {
 public:
  ScratchDir() = default;
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // Makes the folder; false with *error on failure.
  bool Create(std::string* error);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Joins two path parts with one '/'.
std::string JoinPath(const std::string& dir, const std::string& name);
