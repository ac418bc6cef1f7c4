// Rules for the names a package can carry: entry paths relative to the payload folder, with '/'
// between components, as the extractor on Windows will create them.
#pragma once

#include <stddef.h>
#include <string>

// The longest entry name the extractor accepts, in UTF-16 units (259 with the terminator).
constexpr size_t kMaxEntryNameUnits = 258;

// Counts the UTF-16 units of a UTF-8 text. Returns false for text that is not valid UTF-8
// (overlong forms, surrogates, code points above U+10FFFF, cut sequences).
bool CountUtf16Units(const std::string& utf8, size_t* units);

// Checks one relative entry path ("docs/readme.txt"). Returns true when Windows can create it
// below any folder; otherwise *reason says why (invalid UTF-8, too long, a character Windows
// refuses, a trailing dot or space, a reserved device name, an empty component).
bool CheckEntryName(const std::string& path, std::string* reason);

// The key under which two names are the same file on Windows (ASCII letters folded to lower
// case; other characters are kept, so only ASCII case collisions are detected).
std::string FoldNameCase(const std::string& name);

// Case-insensitive name order, with the byte order as tie-break so the order is total.
bool NameLessIgnoringCase(const std::string& a, const std::string& b);
