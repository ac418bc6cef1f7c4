// Reading the package data behind the extractor's own PE image: the package header and the
// runtime archive's position.
#pragma once

#include "archive/lzma_sdk.h"

// Reads the package header of sfx.imagePath: sets sfx.imageEnd, sfx.payloadSize and
// sfx.declaredImageSize. False when the file cannot be opened or read, its PE headers are not
// usable, or the header is cut short; nothing stays open.
bool ReadPackageHeader();

// Finds the runtime archive behind the payload archive in the open image file. 1 with the
// absolute offset of its 7z start header in *position, 0 when not found (or a read failed).
// Sets sfx.actualImageSize to the file's length; the file's read position is left anywhere.
int LocateRuntimeArchive(CSzFile* file, UInt64* position);
