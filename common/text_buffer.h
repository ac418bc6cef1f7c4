// Zero-terminated UTF-16 texts in fixed buffers: copies and appends that never write past the
// buffer and tell whether the whole text fit.
#pragma once

#include <stddef.h>

// Copies src into dest (capacity units, at least 1). True when all of it fit; otherwise dest
// holds as much of it as fits, zero-terminated.
bool CopyText(wchar_t* dest, size_t capacity, const wchar_t* src);
// Appends src to the text in dest (capacity units), with the same result and cut as CopyText.
bool AppendText(wchar_t* dest, size_t capacity, const wchar_t* src);
