// File-system and path helpers over the Win32 file interface; no state, no messages.
#pragma once

#include <windows.h>
#include <stddef.h>

// True when the path exists and is a folder.
bool IsDirectory(const wchar_t* path);
// True when a search for the path finds anything (files and folders; wildcards match).
bool PathExists(const wchar_t* path);
// Appends a backslash in place to a 260-unit buffer unless it already ends with one or has no room.
void AppendBackslash(wchar_t* path);
// Cuts the last path component (and its separator) off in place.
void StripFileName(wchar_t* path);
// Creates every level of a folder path; 0, or the code of the last level that failed
// (ERROR_WRITE_FAULT for a path of 260 units or more, with nothing created).
DWORD CreateDirectoryPath(const wchar_t* path);
// Deletes a folder (path ends with a backslash) with everything in it. The buffer holds capacity
// units; it is extended in place while walking and holds its original text again on return.
// 0, or the system error code that stopped the walk; ERROR_FILENAME_EXCED_RANGE when a path in
// the tree would not fit the buffer.
DWORD DeleteTree(wchar_t* path, size_t capacity);
