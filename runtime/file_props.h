// The file-property list: records of five lines per payload file, read by count of lines:
//   1 the file's path relative to the destination folder ("folder\name")
//   2 a replacement path relative to the destination folder, or empty to keep the path
//   3 reserved, empty
//   4 the condition, a text that is expanded; "0" means the file is not written
//   5 a decimal number, reserved ("0")
// Pure code apart from the comparison of file names, which follows the system's rules.
#pragma once

#include <string>
#include <vector>

#include "text_expand.h"

struct FileProp {
  std::wstring path;
  std::wstring replacement;
  std::wstring reserved;
  std::wstring condition;
  int number = 0;
};

// Answers of the property check.
constexpr int kFilePropSkip = 0;
constexpr int kFilePropKeep = 1;
constexpr int kFilePropReplaced = 2;

bool ParseFilePropList(const std::string& bytes, std::vector<FileProp>& props, std::wstring& error);

// Looks up the destination path in the list. destDir is the destination folder (a trailing
// backslash is optional). A path that is not below destDir or has no record gives kFilePropKeep;
// a record whose condition expands to exactly "0" gives kFilePropSkip; a record with a valid
// replacement path gives kFilePropReplaced and the full replacement in replaced. Folder
// separators may be "\" or "/", repeated separators count as one, names compare without regard
// to case as the file system compares them.
int CheckFileProps(const std::vector<FileProp>& props, const std::wstring& destDir,
                   const std::wstring& path, const VarStore& store, const LangTable& lang,
                   std::wstring& replaced);
// A path with "/" turned into "\" and runs of separators after the first two cut to one.
std::wstring NormalizeSeparators(const std::wstring& path);
