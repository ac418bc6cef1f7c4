// Making 7z archives with the 7zz program, and the one archive 7zz cannot make: an empty one.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// Looks for an executable file named name in the folders of $PATH. Returns its path, or an empty
// text when there is none.
std::string FindOnPath(const std::string& name);

// Runs argv[0] (a path) with the arguments in folder cwd, its standard output and error into
// logPath, and waits for it. Returns true when it ran and exited 0; otherwise *error says how it
// failed and quotes the last lines of its output.
bool RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                const std::string& logPath, std::string* error);

// Writes a valid 7z archive without entries: the 32-byte start header with a next header of
// size 0 and the start-header CRC over it.
bool WriteEmptyArchive(const std::string& path, std::string* error);

struct SevenZipTool {
  std::string program;  // path of 7zz
  std::string logPath;  // where its output goes
};

// Makes the payload archive at archivePath from the entries named in listPath (UTF-8, one
// relative name per line, folders before what they hold), run inside root. Solid blocks are
// capped at blockMiB MiB; modification times and attributes are stored (see the README).
bool MakePayloadArchive(const SevenZipTool& tool, const std::string& root,
                        const std::string& listPath, uint32_t blockMiB,
                        const std::string& archivePath, std::string* error);

// Adds one member of folder dir to the runtime archive (created by the first call) as a block of
// its own: LZMA with a 1 MiB dictionary, and BCJ2 in front of the LZMA coders for programs and
// libraries (".exe", ".dll").
bool AddRuntimeMember(const SevenZipTool& tool, const std::string& dir, const std::string& name,
                      const std::string& archivePath, std::string* error);
