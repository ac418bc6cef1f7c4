// Line splitting, UTF-8 decoding and number parsing for the data files.
#include "data_lines.h"

#include <windows.h>

std::wstring Utf8ToWide(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], units);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes,
                      nullptr, nullptr);
  return out;
}

std::vector<std::wstring> SplitDataLines(const std::string& bytes) {
  size_t start = 0;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  std::vector<std::wstring> lines;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    lines.push_back(Utf8ToWide(bytes.substr(start, stop - start)));
    start = next;
  }
  return lines;
}

bool ParseDecimal(const std::wstring& text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == L'-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) return false;
  long long number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    number = number * 10 + (text[i] - L'0');
    if (number > 2147483648LL) return false;
  }
  if (negative) number = -number;
  if (number > 2147483647LL) return false;
  value = static_cast<int>(number);
  return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  LARGE_INTEGER size;
  // Data files are small; anything past 64 MiB is not one of ours.
  if (GetFileSizeEx(file, &size) && size.QuadPart <= (64 << 20)) {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    ok = bytes.empty() ||
         (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr) &&
          done == bytes.size());
  }
  CloseHandle(file);
  if (!ok) bytes.clear();
  return ok;
}
