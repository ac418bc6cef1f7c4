// Pure rules of the payload extraction: the progress bar's position and the output path of an
// entry below the destination folder.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The bar position for done of total: 0 when total is 0, otherwise done / total * 100 computed
// in double precision (both taken as signed 64-bit values) and rounded to the nearest integer,
// halves away from zero.
int PercentOf(uint64_t done, uint64_t total);

// Starts an output path: copies destDir into path (capacity units) and ends it with a separator,
// adding a backslash unless destDir already ends in '\' or '/'. Returns the length written, or 0
// (path empty) when destDir is empty or does not fit with its separator and a terminator.
size_t BeginOutputPath(wchar_t* path, size_t capacity, const wchar_t* destDir);

// True when an entry name of nameUnits units, its terminator included, fits behind the first
// baseLength units of a path buffer of capacity units.
bool EntryNameFits(size_t baseLength, size_t nameUnits, size_t capacity);

// Turns every '/' of text into a backslash, in place.
void UseBackslashes(wchar_t* text);
