// Archives made with 7zz.
#include "seven_zip.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/lzma_sdk.h"
#include "file_util.h"
#include "interrupt.h"
#include "payload_names.h"

std::string FindOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  if (path == nullptr) return std::string();
  std::string folders = path;
  size_t start = 0;
  for (;;) {
    size_t colon = folders.find(':', start);
    std::string dir = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (dir.empty()) dir = ".";
    std::string candidate = JoinPath(dir, name);
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return std::string();
}

// The last few non-empty lines of a log, joined by " / ", for an error message.
static std::string LogTail(const std::string& logPath) {
  std::vector<uint8_t> bytes;
  std::string ignored;
  if (!ReadFileBytes(logPath, &bytes, &ignored)) return std::string();
  std::vector<std::string> lines;
  std::string line;
  for (uint8_t c : bytes) {
    if (c == '\n' || c == '\r') {
      if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
  std::string tail;
  size_t first = lines.size() > 3 ? lines.size() - 3 : 0;
  for (size_t i = first; i < lines.size(); i++) {
    if (!tail.empty()) tail += " / ";
    tail += lines[i];
  }
  return tail;
}

bool RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                const std::string& logPath, std::string* error) {
  if (Interrupted()) {
    *error = "interrupted";
    return false;
  }
  int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (log < 0) {
    *error = "cannot create " + logPath + ": " + strerror(errno);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t child = fork();
  if (child < 0) {
    *error = std::string("cannot start ") + argv[0] + ": " + strerror(errno);
    close(log);
    return false;
  }
  if (child == 0) {
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(log, 1);
    dup2(log, 2);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  SetInterruptChild(child);
  close(log);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("cannot wait for ") + argv[0] + ": " + strerror(errno);
      SetInterruptChild(0);
      return false;
    }
  }
  SetInterruptChild(0);
  if (Interrupted()) {
    *error = "interrupted";
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string how = WIFEXITED(status) ? "exit code " + std::to_string(WEXITSTATUS(status))
                                      : "signal " + std::to_string(WTERMSIG(status));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) how = "it could not be run";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 126) how = "cannot enter " + cwd;
  *error = argv[0] + " failed (" + how + ")";
  std::string tail = LogTail(logPath);
  if (!tail.empty()) *error += ": " + tail;
  return false;
}

bool WriteEmptyArchive(const std::string& path, std::string* error) {
  uint8_t header[32] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
  // Bytes 12..31: next-header offset, size and CRC, all zero; bytes 8..11: CRC of those 20.
  uint32_t crc = CrcCalc(header + 12, 20);
  for (int i = 0; i < 4; i++) header[8 + i] = static_cast<uint8_t>(crc >> (8 * i));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + path + ": " + strerror(errno);
    return false;
  }
  int err = WriteAllToFd(fd, header, sizeof header);
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    *error = "cannot write " + path + ": " + strerror(err);
    return false;
  }
  return true;
}

// Switches common to both archives: 7z format, no progress display, no questions, names taken
// literally (no wildcards), UTF-8 list files and console.
static void AddCommonSwitches(std::vector<std::string>* argv) {
  for (const char* s : {"-t7z", "-bd", "-y", "-spd", "-scsUTF-8", "-sccUTF-8"}) {
    argv->push_back(s);
  }
}

bool MakePayloadArchive(const SevenZipTool& tool, const std::string& root,
                        const std::string& listPath, uint32_t blockMiB,
                        const std::string& archivePath, std::string* error) {
  std::vector<std::string> argv = {tool.program, "a"};
  AddCommonSwitches(&argv);
  // The payload keeps its attributes: 7zz stores the Windows bits (read-only for a file without
  // write permission, archive) and the Unix mode in the high half, which the extractor masks off.
  argv.push_back("-r-");  // the list names every entry; nothing is added twice
  argv.push_back("-mx=9");
  argv.push_back("-mqs=on");
  argv.push_back("-ms=" + std::to_string(blockMiB) + "m");
  // No "--" here: behind it 7zz takes "@list" for a file name. The archive path is absolute.
  argv.push_back(archivePath);
  argv.push_back("@" + listPath);
  if (!RunProgram(argv, root, tool.logPath, error)) {
    *error = "making the payload archive: " + *error;
    return false;
  }
  return true;
}

static bool IsProgramName(const std::string& name) {
  std::string folded = FoldNameCase(name);
  auto endsWith = [&](const char* suffix) {
    size_t n = strlen(suffix);
    return folded.size() >= n && folded.compare(folded.size() - n, n, suffix) == 0;
  };
  return endsWith(".dll") || endsWith(".exe");
}

bool AddRuntimeMember(const SevenZipTool& tool, const std::string& dir, const std::string& name,
                      const std::string& archivePath, std::string* error) {
  std::vector<std::string> argv = {tool.program, "a"};
  AddCommonSwitches(&argv);
  if (IsProgramName(name)) {
    // The standard BCJ2 arrangement: its main, call and jump streams each through LZMA; the
    // range-coder stream is stored as it is.
    for (const char* s : {"-m0=BCJ2", "-m1=LZMA:d=1m", "-m2=LZMA:d=1m", "-m3=LZMA:d=1m",
                          "-mb0s0:1", "-mb0s1:2", "-mb0s2:3"}) {
      argv.push_back(s);
    }
  } else {
    argv.push_back("-m0=LZMA:d=1m");
  }
  // The runtime files need no attributes: each run unpacks them into a folder of its own.
  argv.push_back("-mtr=off");
  argv.push_back("-ms=off");
  argv.push_back("--");
  argv.push_back(archivePath);
  argv.push_back(name);
  if (!RunProgram(argv, dir, tool.logPath, error)) {
    *error = "adding " + name + " to the runtime archive: " + *error;
    return false;
  }
  return true;
}
