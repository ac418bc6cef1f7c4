// One pass over one 7z archive inside the package image, through the LZMA SDK's decoder.
#pragma once

#include "archive/lzma_sdk.h"
#include <windows.h>
#include <stddef.h>

// The stored attribute bits that SetFileAttributesW accepts. Archives made on other systems
// carry more in the same value (a Unix mode in the high half, flagged by 0x8000), which the call
// would refuse as a whole; callers mask the stored value with this.
constexpr DWORD kSettableFileAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

struct ArchiveReader {
  ISzAlloc mainAlloc;   // look buffer, database tables, block cache
  ISzAlloc tempAlloc;   // decoder scratch memory
  CFileInStream imageStream;
  CLookToRead2 lookStream;
  CSzArEx database;
  // The block cache: the decoded 7z folder now held, its buffer and size. Only SzArEx_Extract
  // changes these after set-up.
  UInt32 blockIndex;
  Byte* blockBuffer;
  size_t blockBufferSize;
};

// Set-up that cannot fail; after it CloseArchiveReader is always safe.
void SetUpArchiveReader(ArchiveReader* reader);
// Opens the package image read-only (share read); 0 or the system error code.
WRes OpenImageFile(ArchiveReader* reader, const wchar_t* imagePath);
// Opens the archive whose signature starts at offset in the image file; an SDK result.
SRes OpenArchiveAt(ArchiveReader* reader, UInt64 offset);
// Decodes entry index (through the block cache); on SZ_OK its bytes are *size bytes at
// reader->blockBuffer + *offset, valid until the next call or the close.
SRes ExtractEntry(ArchiveReader* reader, UInt32 index, size_t* offset, size_t* size);
// Releases block buffer, database, look buffer and image file, in that order; skips what was
// never acquired.
void CloseArchiveReader(ArchiveReader* reader);
// Sets only the last-write time of an open output file to the stored FILETIME halves.
void SetFileModifiedTime(CSzFile* file, const UInt32* timeHigh, const UInt32* timeLow);
// Built-in English text for an archive result code.
const wchar_t* ArchiveErrorText(SRes code);
