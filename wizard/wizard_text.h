// Pure text rules of the wizard, apart from its windows: the exit code read from EXITCODE,
// decimal texts, the file name shown for a path, the overwrite information's fill, and making a
// typed destination folder a full path.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The exit code for the text of EXITCODE, read as wcstol reads a base-10 number: leading white
// space and one sign accepted, values beyond the 32-bit range clamped to its limits, the empty
// text 0. -1 for a null text and for any character after the number (so for a text without
// digits, other than the empty one).
int ExitCodeFromText(const wchar_t* text);

// Writes value as a signed decimal text into out (capacity units; 21 hold any value). False, with
// out empty, when it does not fit.
bool FormatDecimal(int64_t value, wchar_t* out, size_t capacity);

// The last component of path: the part after its last '\'; without one, after its last '/';
// without one, after its last ':'; without any, the whole path. Points into path.
const wchar_t* FileNamePart(const wchar_t* path);

// Builds an overwrite-information text into out (capacity units): name exactly as it is, then tail
// with its conversions filled from values in order. A conversion is '%', an optional '0' flag, an
// optional width, an optional "l" or "ll", and 'd': the next value as a signed decimal, padded to
// the width (with zeros under the '0' flag). "%%" gives one '%'; any other '%', and a conversion
// once the values are used up, is copied as it stands. Nothing of name takes part in the filling.
// False when the text had to be cut to fit.
bool FillOverwriteInfo(const wchar_t* name, const wchar_t* tail, const int64_t* values,
                       size_t valueCount, wchar_t* out, size_t capacity);

// True for a full path: a drive letter, ':' and a separator ("C:\", "C:/"), or two separators
// at the start ("\\server\share", "\\?\C:\").
bool IsFullPath(const wchar_t* path);

// Writes the full path for the folder text as typed into out (capacity units). A full path is
// taken exactly as it is; anything else is resolved against startDir, a full path: "\x" against
// startDir's drive or share root, "D:x" against startDir when it lies on drive D and else against
// D:\, any other text (a name, ".\x", "..\x", blanks) below startDir. False, with out empty, when
// startDir is not a full path or the result does not fit.
bool MakeFullPath(const wchar_t* text, const wchar_t* startDir, wchar_t* out, size_t capacity);
