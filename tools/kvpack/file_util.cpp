// File helpers of the package builder.
#include "file_util.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "interrupt.h"

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = "cannot read " + path + ": " + strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + (S_ISDIR(st.st_mode) ? " is a folder, not a file" : " is not a regular file");
    close(fd);
    return false;
  }
  uint8_t buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR && !Interrupted()) continue;
      *error = "cannot read " + path + ": " + strerror(errno);
      close(fd);
      return false;
    }
    if (got == 0) break;
    bytes->insert(bytes->end(), buffer, buffer + got);
  }
  close(fd);
  return true;
}

int WriteAllToFd(int fd, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t done = write(fd, p, size);
    if (done < 0) {
      if (errno == EINTR && !Interrupted()) continue;
      return errno;
    }
    p += done;
    size -= static_cast<size_t>(done);
  }
  return 0;
}

bool AppendFileToFd(int fd, const std::string& path, std::string* error) {
  int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  uint8_t buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR && !Interrupted()) continue;
      *error = "cannot read " + path + ": " + strerror(errno);
      ok = false;
      break;
    }
    if (got == 0) break;
    int err = WriteAllToFd(fd, buffer, static_cast<size_t>(got));
    if (err != 0) {
      *error = std::string("cannot write the package image: ") + strerror(err);
      ok = false;
      break;
    }
  }
  close(in);
  return ok;
}

bool CopyFileBytes(const std::string& from, const std::string& to, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(from, &bytes, error)) return false;
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + to + ": " + strerror(errno);
    return false;
  }
  int err = WriteAllToFd(fd, bytes.data(), bytes.size());
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    *error = "cannot write " + to + ": " + strerror(err);
    return false;
  }
  return true;
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    DIR* dir = opendir(path.c_str());
    if (dir != nullptr) {
      while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        RemoveTree(JoinPath(path, entry->d_name));
      }
      closedir(dir);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

std::string ProgramDir() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

ScratchDir::~ScratchDir() {
  if (!path_.empty()) {
    RemoveTree(path_);
  }
}

bool ScratchDir::Create(std::string* error) {
  const char* tmp = getenv("TMPDIR");
  std::string base = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  std::string templ = JoinPath(base, "kvpack-XXXXXX");
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    *error = "cannot make a scratch folder in " + base + ": " + strerror(errno);
    return false;
  }
  path_ = buffer.data();
  if (path_[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr) path_ = JoinPath(cwd, path_);
  }
  return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}
