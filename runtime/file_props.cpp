// File-property list parser and the per-file check.
#include "file_props.h"

#include <windows.h>

#include "data_lines.h"

namespace {

bool SameFileName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A replacement must stay below the destination folder: relative, no drive, no "..".
bool IsSafeRelativePath(const std::wstring& path) {
  if (path.empty() || path[0] == L'\\' || path.find(L':') != std::wstring::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring part = path.substr(start, end - start);
    if (part.empty() || part == L"." || part == L"..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::wstring NormalizeSeparators(const std::wstring& path) {
  std::wstring out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    wchar_t c = path[i] == L'/' ? L'\\' : path[i];
    if (c == L'\\' && i >= 2 && !out.empty() && out.back() == L'\\') continue;
    out.push_back(c);
  }
  return out;
}

bool ParseFilePropList(const std::string& bytes, std::vector<FileProp>& props,
                       std::wstring& error) {
  std::vector<std::wstring> lines = SplitDataLines(bytes);
  props.clear();
  if (lines.size() % 5 != 0) {
    error = L"the list has " + std::to_wstring(lines.size()) +
            L" lines, which is not a whole number of five-line records";
    return false;
  }
  for (size_t i = 0; i < lines.size(); i += 5) {
    FileProp prop;
    prop.path = NormalizeSeparators(lines[i]);
    prop.replacement = NormalizeSeparators(lines[i + 1]);
    prop.reserved = lines[i + 2];
    prop.condition = lines[i + 3];
    if (prop.path.empty()) {
      error = L"line " + std::to_wstring(i + 1) + L": the record has no path";
      return false;
    }
    if (!ParseDecimal(lines[i + 4], prop.number)) {
      error = L"line " + std::to_wstring(i + 5) + L": \"" + lines[i + 4] + L"\" is not a number";
      return false;
    }
    props.push_back(prop);
  }
  return true;
}

int CheckFileProps(const std::vector<FileProp>& props, const std::wstring& destDir,
                   const std::wstring& path, const VarStore& store, const LangTable& lang,
                   std::wstring& replaced) {
  std::wstring dest = NormalizeSeparators(destDir);
  while (!dest.empty() && dest.back() == L'\\') dest.pop_back();
  std::wstring full = NormalizeSeparators(path);
  if (dest.empty() || full.size() <= dest.size() + 1 || full[dest.size()] != L'\\' ||
      !SameFileName(full.substr(0, dest.size()), dest)) {
    return kFilePropKeep;
  }
  std::wstring relative = full.substr(dest.size() + 1);
  for (const FileProp& prop : props) {
    if (!SameFileName(prop.path, relative)) continue;
    if (ExpandText(prop.condition, store, lang) == L"0") return kFilePropSkip;
    if (IsSafeRelativePath(prop.replacement)) {
      replaced = dest + L"\\" + prop.replacement;
      return kFilePropReplaced;
    }
    return kFilePropKeep;
  }
  return kFilePropKeep;
}
