// File-system and path helpers over the Win32 file interface; no state, no messages.
#pragma once

#include <windows.h>
#include <stddef.h>

// The plain Win32 file calls take paths of fewer than 260 units (folders: 248). Longer paths, as
// an entry name of up to 258 units below a destination folder makes them, are handed over in
// their extended-length form: "\\?\" and the full path ("\\?\UNC\server\share\..." for a
// share), in which the file system takes every component as it stands.
constexpr size_t kLongPathFrom = 248;
constexpr size_t kFileSystemPathUnits = 8 + 782;

// The path to hand to a file-system call: path itself when it is shorter than kLongPathFrom or
// already extended; else its full, normalised form with the extended-length prefix, written into
// buffer (capacity units). path itself when that cannot be made (the call then fails on it).
const wchar_t* FileSystemPath(const wchar_t* path, wchar_t* buffer, size_t capacity);

// True when the path exists and is a folder.
bool IsDirectory(const wchar_t* path);
// True when a search for the path finds anything (files and folders; wildcards match).
bool PathExists(const wchar_t* path);
// Appends a backslash in place to a 260-unit buffer unless it already ends with one or has no room.
void AppendBackslash(wchar_t* path);
// Cuts the last path component (and its separator) off in place.
void StripFileName(wchar_t* path);
// Creates every level of a folder path, long ones included; 0, or the code of the last level
// that failed (ERROR_WRITE_FAULT for a path that does not fit a PathBuffer, with nothing created).
DWORD CreateDirectoryPath(const wchar_t* path);
// Deletes a folder (path ends with a backslash) with everything in it. The buffer holds capacity
// units; it is extended in place while walking and holds its original text again on return.
// 0, or the system error code that stopped the walk; ERROR_FILENAME_EXCED_RANGE when a path in
// the tree would not fit the buffer.
DWORD DeleteTree(wchar_t* path, size_t capacity);
