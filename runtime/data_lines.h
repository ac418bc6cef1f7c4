// Reading the runtime's line-based data files: lines split at LF with one CR before it dropped,
// decoded from UTF-8 (a byte-order mark is skipped). Pure code.
#pragma once

#include <string>
#include <vector>

// The file's lines; a final line without a line end counts, the empty piece after the last line
// end does not.
std::vector<std::wstring> SplitDataLines(const std::string& bytes);
// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);
std::string WideToUtf8(const std::wstring& text);
// A whole decimal number, optionally negative, within the int range.
bool ParseDecimal(const std::wstring& text, int& value);
// Reads a whole file into bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
