// kvpack: builds, lists and checks package images.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "file_util.h"
#include "interrupt.h"
#include "package_build.h"
#include "package_check.h"
#include "pe_image.h"
#include "runtime_files.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintUsage(FILE* out) {
  fprintf(out,
          "usage: kvpack build --payload DIR --out FILE [options]\n"
          "       kvpack list FILE\n"
          "       kvpack verify FILE\n"
          "\n"
          "build options:\n"
          "  --payload DIR        folder whose contents the package installs (required)\n"
          "  --out FILE           package image to write (required)\n"
          "  --arch x86|x64       the package's architecture (default x86: a 32-bit program;\n"
          "                       x64 runs only on 64-bit Windows, also where 32-bit cannot)\n"
          "  --runtime DIR        runtime folder (default: runtime beside kvpack; x64/runtime)\n"
          "  --stub FILE          extractor stub (default: kvsfx.exe beside kvpack; x64/kvsfx.exe)\n"
          "  --max-block MIB      cap of a solid block of the payload, 1 to %u MiB (default %u)\n"
          "  --welcome FILE       welcome page document (kvwelcEnglish.md)\n"
          "  --readme FILE        readme page document (kvsreadEnglish.md)\n"
          "  --final FILE         final page document (kvfinEnglish.md)\n"
          "  --header-image FILE  header image, 32-bit BMP of %ux%u (kvheader.png)\n"
          "  --watermark FILE     watermark image, 32-bit BMP of %ux%u (kvwaterm.png)\n"
          "  --file-props FILE    file-property list (kvfprop.dat)\n"
          "%s",
          kMaxBlockMiB, kDefaultBlockMiB, kHeaderImageWidth, kHeaderImageHeight, kWatermarkWidth,
          kWatermarkHeight, StubTextOptionsHelp());
}

int Fail(const std::string& message) {
  fprintf(stderr, "kvpack: %s\n", message.c_str());
  return kExitFailure;
}

int UsageError(const std::string& message) {
  fprintf(stderr, "kvpack: %s\n", message.c_str());
  fprintf(stderr, "Try \"kvpack --help\".\n");
  return kExitUsage;
}

bool ParseMiB(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 10));
  return true;
}

int RunBuild(int argc, char** argv) {
  BuildOptions options;
  struct PathOption {
    const char* name;
    std::string* target;
  };
  const PathOption pathOptions[] = {
      {"--payload", &options.payloadDir},   {"--runtime", &options.runtimeDir},
      {"--out", &options.outPath},          {"--stub", &options.stubPath},
      {"--welcome", &options.welcome},      {"--readme", &options.readme},
      {"--final", &options.final},          {"--header-image", &options.headerImage},
      {"--watermark", &options.watermark},  {"--file-props", &options.fileProps},
  };
  for (int i = 2; i < argc; i++) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (name.compare(0, 2, "--") != 0) return UsageError("unexpected argument \"" + name + "\"");
    if (i + 1 >= argc) return UsageError(name + " needs a value");
    std::string value = argv[++i];
    bool known = false;
    for (const PathOption& option : pathOptions) {
      if (name == option.name) {
        if (value.empty()) return UsageError(name + " needs a value");
        *option.target = value;
        known = true;
      }
    }
    if (known) continue;
    if (name == "--arch") {
      if (value == "x86") {
        options.machine = kMachineX86;
      } else if (value == "x64") {
        options.machine = kMachineX64;
      } else {
        return UsageError("--arch takes x86 or x64");
      }
      continue;
    }
    if (name == "--max-block") {
      if (!ParseMiB(value, &options.blockMiB)) return UsageError("--max-block takes a number of MiB");
      continue;
    }
    std::string error;
    if (ParseStubTextOption(name, value, &options.texts, &error)) {
      if (!error.empty()) return UsageError(error);
      continue;
    }
    if (!error.empty()) return UsageError(error);
    return UsageError("unknown option " + name);
  }
  // The products of each architecture lie beside kvpack: x86 there, x64 in x64/.
  std::string productDir = ProgramDir();
  if (options.machine == kMachineX64) productDir = JoinPath(productDir, "x64");
  if (options.stubPath.empty()) options.stubPath = JoinPath(productDir, "kvsfx.exe");
  if (options.runtimeDir.empty()) options.runtimeDir = JoinPath(productDir, "runtime");
  if (options.payloadDir.empty()) return UsageError("build needs --payload DIR");
  if (options.outPath.empty()) return UsageError("build needs --out FILE");
  std::vector<std::string> notes;
  std::string error;
  bool ok = BuildPackage(options, &notes, &error);
  for (const std::string& note : notes) fprintf(stderr, "kvpack: note: %s\n", note.c_str());
  if (!ok) return Fail(error);
  printf("%s: package image written\n", options.outPath.c_str());
  return 0;
}

std::string FormatTime(const ArchiveEntry& entry) {
  if (!entry.hasTime) return std::string(19, ' ');
  const uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100-ns units since 1601
  time_t seconds = entry.fileTime >= kUnixEpoch
                       ? static_cast<time_t>((entry.fileTime - kUnixEpoch) / 10000000)
                       : -static_cast<time_t>((kUnixEpoch - entry.fileTime + 9999999) / 10000000);
  struct tm parts;
  char text[32];
  if (gmtime_r(&seconds, &parts) == nullptr ||
      strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0) {
    return std::string(19, '?');
  }
  return text;
}

int RunList(const std::string& path) {
  PackageLayout layout;
  std::string reason;
  if (!ReadPackageImage(path, false, &layout, &reason)) return Fail(path + ": " + reason);
  uint64_t files = 0, folders = 0, bytes = 0;
  for (const ArchiveEntry& entry : layout.payload) {
    if (entry.isDir) {
      folders++;
      printf("%s  %12s  %s/\n", FormatTime(entry).c_str(), "<folder>", entry.name.c_str());
    } else {
      files++;
      bytes += entry.size;
      printf("%s  %12llu  %s\n", FormatTime(entry).c_str(),
             static_cast<unsigned long long>(entry.size), entry.name.c_str());
    }
  }
  printf("%llu files, %llu folders, %llu bytes (times in UTC); an %s package image\n",
         static_cast<unsigned long long>(files), static_cast<unsigned long long>(folders),
         static_cast<unsigned long long>(bytes), MachineName(layout.machine).c_str());
  return 0;
}

int RunVerify(const std::string& path) {
  PackageLayout layout;
  std::string reason;
  if (!ReadPackageImage(path, true, &layout, &reason)) return Fail(path + ": " + reason);
  printf("%s: intact %s package image: stub %u bytes, payload archive %llu bytes (%zu entries), "
         "runtime archive %llu bytes (%zu members), %llu bytes in all\n",
         path.c_str(), MachineName(layout.machine).c_str(), layout.imageEnd,
         static_cast<unsigned long long>(layout.payloadSize),
         layout.payload.size(),
         static_cast<unsigned long long>(layout.actualSize - layout.runtimeOffset),
         layout.runtime.size(), static_cast<unsigned long long>(layout.actualSize));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InstallInterruptHandlers();
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "build") return RunBuild(argc, argv);
  if (command == "list" || command == "verify") {
    if (argc != 3) return UsageError(command + " takes one package image");
    return command == "list" ? RunList(argv[2]) : RunVerify(argv[2]);
  }
  return UsageError("unknown command \"" + command + "\"");
}
