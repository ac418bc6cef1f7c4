// Building a package image: payload scan, the two archives, the stub, the assembled image.
#include "package_build.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "archive/lzma_sdk.h"
#include "bootstrap/package_layout.h"
#include "file_util.h"
#include "interrupt.h"
#include "package_check.h"
#include "payload_names.h"
#include "runtime_files.h"
#include "seven_zip.h"

namespace {

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer) == nullptr) return std::string();
  return buffer;
}

bool IsInside(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            (folder == "/" || path[folder.size()] == '/'));
}

// Lists the names in a folder, sorted case-insensitively.
bool ListFolder(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  names->clear();
  DIR* handle = opendir(dir.c_str());
  if (handle == nullptr) {
    *error = "cannot read the folder " + dir + ": " + strerror(errno);
    return false;
  }
  errno = 0;
  while (struct dirent* entry = readdir(handle)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    names->push_back(entry->d_name);
  }
  int err = errno;
  closedir(handle);
  if (err != 0) {
    *error = "cannot read the folder " + dir + ": " + strerror(err);
    return false;
  }
  std::sort(names->begin(), names->end(), NameLessIgnoringCase);
  return true;
}

struct ScanState {
  std::string root;      // as given
  std::string realRoot;  // resolved, for link checks
  std::map<std::string, std::string> folded;  // folded name -> first name
  std::vector<PayloadItem>* items;
};

bool ScanFolder(ScanState* state, const std::string& relDir, std::string* error) {
  std::string dir = relDir.empty() ? state->root : JoinPath(state->root, relDir);
  std::vector<std::string> names;
  if (!ListFolder(dir, &names, error)) return false;
  for (const std::string& name : names) {
    if (Interrupted()) {
      *error = "interrupted";
      return false;
    }
    std::string rel = relDir.empty() ? name : relDir + "/" + name;
    std::string full = JoinPath(state->root, rel);
    std::string reason;
    if (!CheckEntryName(rel, &reason)) {
      *error = "the payload name \"" + rel + "\" " + reason;
      return false;
    }
    auto [it, inserted] = state->folded.emplace(FoldNameCase(rel), rel);
    if (!inserted) {
      *error = "the payload names \"" + it->second + "\" and \"" + rel +
               "\" differ only in case; Windows would keep only one of them";
      return false;
    }
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) {
      *error = "cannot read " + full + ": " + strerror(errno);
      return false;
    }
    if (S_ISLNK(st.st_mode)) {
      // Links are followed when they lead to a file inside the payload folder; a link out of the
      // folder, to a folder (which could loop) or to nothing is refused.
      std::string target = RealPath(full);
      if (target.empty() || stat(target.c_str(), &st) != 0) {
        *error = "the payload link " + full + " leads nowhere";
        return false;
      }
      if (!IsInside(target, state->realRoot)) {
        *error = "the payload link " + full + " points outside the payload folder (to " + target + ")";
        return false;
      }
      if (!S_ISREG(st.st_mode)) {
        *error = "the payload link " + full + " does not point to a file; only links to files are followed";
        return false;
      }
    }
    if (S_ISDIR(st.st_mode)) {
      PayloadItem item;
      item.name = rel;
      item.isDir = true;
      state->items->push_back(item);
      if (!ScanFolder(state, rel, error)) return false;
      continue;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = full + " is not a regular file or folder (a device, socket or pipe cannot be packed)";
      return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxPayloadFileBytes) {
      *error = "the payload file " + full + " has " + std::to_string(st.st_size) +
               " bytes; the extractor holds at most " + std::to_string(kMaxPayloadFileBytes) +
               " bytes (1 GiB) of one file in memory";
      return false;
    }
    int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      *error = "cannot read the payload file " + full + ": " + strerror(errno);
      return false;
    }
    close(fd);
    PayloadItem item;
    item.name = rel;
    item.size = static_cast<uint64_t>(st.st_size);
    state->items->push_back(item);
  }
  return true;
}

// Cuts the stub at its image end and applies the package texts.
bool PrepareStub(const BuildOptions& options, std::vector<uint8_t>* stub,
                 std::vector<std::string>* notes, std::string* error) {
  if (!ReadFileBytes(options.stubPath, stub, error)) {
    *error = "stub: " + *error;
    return false;
  }
  uint32_t imageEnd = 0;
  size_t headLength = std::min(stub->size(), kImageHeadBytes);
  uint16_t machine = 0;
  if (!ReadPeMachine(stub->data(), headLength, &machine) ||
      !FindImageEnd(stub->data(), headLength, &imageEnd) || imageEnd == 0) {
    *error = "the stub " + options.stubPath + " is not a Windows executable with sections";
    return false;
  }
  if (machine != options.machine) {
    *error = "the stub " + options.stubPath + " is an " + MachineName(machine) +
             " program, but the package is built for " + MachineName(options.machine) +
             " (--arch)";
    return false;
  }
  if (imageEnd > stub->size()) {
    *error = "the stub " + options.stubPath + " is cut short: its last section ends at " +
             std::to_string(imageEnd) + " but the file has " + std::to_string(stub->size()) + " bytes";
    return false;
  }
  if (imageEnd < stub->size()) {
    notes->push_back("dropped " + std::to_string(stub->size() - imageEnd) +
                     " bytes after the stub's last section");
    stub->resize(imageEnd);
  }
  // Without any package text the stub keeps its own resources, byte for byte.
  const StubTexts& t = options.texts;
  bool anyText = !(t.title.empty() && t.label.empty() && t.description.empty() &&
                   t.company.empty() && t.product.empty() && t.copyright.empty() &&
                   t.trademarks.empty() && t.webAddress.empty() && t.assemblyName.empty() &&
                   t.assemblyDescription.empty());
  std::vector<std::string> warnings;
  if (anyText && !ApplyStubTexts(stub, options.texts, &warnings, error)) {
    *error = "package texts: " + *error;
    return false;
  }
  for (const std::string& warning : warnings) notes->push_back(warning);
  // The extractor looks for the package header right after the last section.
  headLength = std::min(stub->size(), kImageHeadBytes);
  if (!FindImageEnd(stub->data(), headLength, &imageEnd) || imageEnd != stub->size()) {
    *error = "the stub with the package texts does not end at its image end";
    return false;
  }
  return true;
}

struct Replacement {
  const std::string* source;
  const char* member;
  const char* option;
  uint32_t width, height;  // 0 for files that are not images
  bool fileProps;
};

// Copies the runtime folder's files into staging and puts the replacements over them.
bool StageRuntime(const BuildOptions& options, const std::string& staging,
                  std::vector<std::string>* members, std::string* error) {
  std::vector<std::string> names;
  if (!ListFolder(options.runtimeDir, &names, error)) {
    *error = "runtime folder: " + *error;
    return false;
  }
  std::map<std::string, std::string> byFolded;
  for (const std::string& name : names) {
    std::string full = JoinPath(options.runtimeDir, name);
    struct stat st;
    if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      *error = "the runtime folder holds " + full + ", which is not a file; it carries files only";
      return false;
    }
    std::string reason;
    if (!CheckEntryName(name, &reason)) {
      *error = "the runtime file name \"" + name + "\" " + reason;
      return false;
    }
    if (!byFolded.emplace(FoldNameCase(name), name).second) {
      *error = "the runtime folder holds names that differ only in case: " + byFolded[FoldNameCase(name)] +
               " and " + name;
      return false;
    }
    if (!CopyFileBytes(full, JoinPath(staging, name), error)) return false;
  }
  const Replacement replacements[] = {
      {&options.welcome, "kvwelcEnglish.md", "--welcome", 0, 0, false},
      {&options.readme, "kvsreadEnglish.md", "--readme", 0, 0, false},
      {&options.final, "kvfinEnglish.md", "--final", 0, 0, false},
      {&options.headerImage, "kvheader.png", "--header-image", kHeaderImageWidth, kHeaderImageHeight, false},
      {&options.watermark, "kvwaterm.png", "--watermark", kWatermarkWidth, kWatermarkHeight, false},
      {&options.fileProps, "kvfprop.dat", "--file-props", 0, 0, true},
  };
  for (const Replacement& r : replacements) {
    if (r.source->empty()) continue;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(*r.source, &bytes, error)) {
      *error = std::string(r.option) + ": " + *error;
      return false;
    }
    std::string reason;
    if (r.width != 0 && !CheckCarriedBitmap(bytes, r.width, r.height, &reason)) {
      *error = std::string(r.option) + ": " + *r.source + " " + reason;
      return false;
    }
    if (r.fileProps && !CheckFilePropertyList(bytes, &reason)) {
      *error = std::string(r.option) + ": " + *r.source + " " + reason;
      return false;
    }
    // A file of the same name in another case is replaced, not doubled.
    auto old = byFolded.find(FoldNameCase(r.member));
    if (old != byFolded.end()) {
      unlink(JoinPath(staging, old->second).c_str());
      byFolded.erase(old);
    }
    if (!CopyFileBytes(*r.source, JoinPath(staging, r.member), error)) return false;
    byFolded.emplace(FoldNameCase(r.member), r.member);
  }
  auto library = byFolded.find("zudada.dll");
  if (library == byFolded.end()) {
    *error = "the runtime folder " + options.runtimeDir + " holds no ZUDada.dll";
    return false;
  }
  // The stub loads the library into its own process: both must be of one architecture.
  std::vector<uint8_t> libraryBytes;
  uint16_t machine = 0;
  std::string libraryPath = JoinPath(options.runtimeDir, library->second);
  if (!ReadFileBytes(JoinPath(staging, library->second), &libraryBytes, error)) return false;
  if (!ReadPeMachine(libraryBytes.data(), libraryBytes.size(), &machine)) {
    *error = "the runtime library " + libraryPath + " is not a Windows library";
    return false;
  }
  if (machine != options.machine) {
    *error = "the runtime library " + libraryPath + " is an " + MachineName(machine) +
             " library, but the package is built for " + MachineName(options.machine) +
             " (--arch)";
    return false;
  }
  members->clear();
  for (const auto& [folded, name] : byFolded) members->push_back(name);
  std::sort(members->begin(), members->end(), NameLessIgnoringCase);
  return true;
}

bool MakePayload(const SevenZipTool& tool, const BuildOptions& options,
                 const std::vector<PayloadItem>& items, const std::string& scratch,
                 const std::string& archivePath, std::string* error) {
  if (items.empty()) return WriteEmptyArchive(archivePath, error);
  std::string listPath = JoinPath(scratch, "payload.list");
  std::string list;
  for (const PayloadItem& item : items) list += item.name + "\n";
  int fd = open(listPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot create " + listPath + ": " + strerror(errno);
    return false;
  }
  int err = WriteAllToFd(fd, list.data(), list.size());
  close(fd);
  if (err != 0) {
    *error = "cannot write " + listPath + ": " + strerror(err);
    return false;
  }
  if (!MakePayloadArchive(tool, options.payloadDir, listPath, options.blockMiB, archivePath, error)) {
    return false;
  }
  // Every scanned entry must be in the archive, and nothing else.
  std::vector<ArchiveEntry> entries;
  if (!ReadArchiveFile(archivePath, &entries, error)) return false;
  std::set<std::pair<std::string, bool>> made;
  for (const ArchiveEntry& entry : entries) made.emplace(entry.name, entry.isDir);
  for (const PayloadItem& item : items) {
    if (made.erase({item.name, item.isDir}) == 0) {
      *error = "7zz left \"" + item.name + "\" out of the payload archive";
      return false;
    }
  }
  if (!made.empty()) {
    *error = "7zz put an unexpected entry \"" + made.begin()->first + "\" into the payload archive";
    return false;
  }
  return true;
}

std::string ParentDir(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes stub, header and the two archives into a new file beside outPath; returns its path.
bool WriteImage(const std::string& outPath, const std::vector<uint8_t>& stub,
                const std::string& payloadPath, const std::string& runtimePath,
                std::string* tempPath, std::string* error) {
  struct stat payloadStat, runtimeStat;
  if (stat(payloadPath.c_str(), &payloadStat) != 0 || stat(runtimePath.c_str(), &runtimeStat) != 0) {
    *error = std::string("cannot measure the archives: ") + strerror(errno);
    return false;
  }
  uint64_t payloadSize = static_cast<uint64_t>(payloadStat.st_size);
  uint64_t total = stub.size() + kPackageHeaderBytes + payloadSize + static_cast<uint64_t>(runtimeStat.st_size);
  uint8_t header[kPackageHeaderBytes];
  EncodePackageHeader(payloadSize, total, header);

  std::string templ = outPath + ".kvpack-XXXXXX";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  int fd = mkstemp(buffer.data());
  if (fd < 0) {
    *error = "cannot create a file beside " + outPath + ": " + strerror(errno);
    return false;
  }
  *tempPath = buffer.data();
  int err = WriteAllToFd(fd, stub.data(), stub.size());
  if (err == 0) err = WriteAllToFd(fd, header, sizeof header);
  bool ok = err == 0 && AppendFileToFd(fd, payloadPath, error) && AppendFileToFd(fd, runtimePath, error);
  if (ok && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (ok && err == 0 && Interrupted()) {
    *error = "interrupted";
    ok = false;
  }
  if (err != 0) {
    *error = "cannot write " + *tempPath + ": " + strerror(err);
    ok = false;
  }
  if (!ok) {
    unlink(tempPath->c_str());
    tempPath->clear();
  }
  return ok;
}

}  // namespace

bool ScanPayload(const std::string& root, std::vector<PayloadItem>* items, std::string* error) {
  items->clear();
  struct stat st;
  if (stat(root.c_str(), &st) != 0) {
    *error = "the payload folder " + root + " cannot be used: " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = "the payload " + root + " is not a folder";
    return false;
  }
  ScanState state;
  state.root = root;
  state.realRoot = RealPath(root);
  state.items = items;
  return ScanFolder(&state, std::string(), error);
}

bool BuildPackage(const BuildOptions& options, std::vector<std::string>* notes,
                  std::string* error) {
  CrcGenerateTable();
  if (options.blockMiB < 1 || options.blockMiB > kMaxBlockMiB) {
    *error = "the block cap must be 1 to " + std::to_string(kMaxBlockMiB) + " MiB";
    return false;
  }
  SevenZipTool tool;
  tool.program = FindOnPath("7zz");
  if (tool.program.empty()) {
    *error = "7zz was not found on PATH; it makes the archives (Debian package 7zip)";
    return false;
  }
  struct stat st;
  if (stat(options.runtimeDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the runtime folder " + options.runtimeDir + " does not exist or is not a folder";
    return false;
  }
  std::vector<PayloadItem> items;
  if (!ScanPayload(options.payloadDir, &items, error)) return false;
  std::string outDir = RealPath(ParentDir(options.outPath));
  if (outDir.empty()) {
    *error = "cannot write " + options.outPath + ": its folder does not exist";
    return false;
  }
  if (IsInside(outDir, RealPath(options.payloadDir))) {
    *error = "the output " + options.outPath + " lies inside the payload folder";
    return false;
  }
  if (items.empty()) notes->push_back("the payload folder is empty; the package extracts no files");

  std::vector<uint8_t> stub;
  if (!PrepareStub(options, &stub, notes, error)) return false;

  ScratchDir scratch;
  if (!scratch.Create(error)) return false;
  tool.logPath = JoinPath(scratch.path(), "7zz.log");
  std::string staging = JoinPath(scratch.path(), "runtime");
  if (mkdir(staging.c_str(), 0700) != 0) {
    *error = "cannot make " + staging + ": " + strerror(errno);
    return false;
  }
  std::vector<std::string> members;
  if (!StageRuntime(options, staging, &members, error)) return false;

  std::string payloadPath = JoinPath(scratch.path(), "payload.7z");
  if (!MakePayload(tool, options, items, scratch.path(), payloadPath, error)) return false;
  std::string runtimePath = JoinPath(scratch.path(), "runtime.7z");
  for (const std::string& member : members) {
    if (!AddRuntimeMember(tool, staging, member, runtimePath, error)) return false;
  }

  std::string tempPath;
  if (!WriteImage(options.outPath, stub, payloadPath, runtimePath, &tempPath, error)) return false;
  PackageLayout layout;
  std::string reason;
  if (!ReadPackageImage(tempPath, true, &layout, &reason)) {
    *error = "the image just built fails its check: " + reason;
    unlink(tempPath.c_str());
    return false;
  }
  if (chmod(tempPath.c_str(), 0755) != 0 || rename(tempPath.c_str(), options.outPath.c_str()) != 0) {
    *error = "cannot write " + options.outPath + ": " + strerror(errno);
    unlink(tempPath.c_str());
    return false;
  }
  return true;
}
