// One pass over one 7z archive inside the package image, through the LZMA SDK's decoder.
#include "archive/archive_reader.h"

#include <windows.h>

namespace {

constexpr size_t kLookBufferBytes = 0x40000;
constexpr UInt32 kNoBlock = 0xFFFFFFFF;

void* HeapAllocBytes(ISzAllocPtr, size_t size) {
  if (size == 0) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void HeapFreeBytes(ISzAllocPtr, void* address) {
  if (address) HeapFree(GetProcessHeap(), 0, address);
}

// Messages for codes 2 to 17, in code order.
const wchar_t* const kErrorTexts[16] = {
    L"Memory error while decompressing archive",  // 2
    L"CRC error: corrupted archive",              // 3
    L"Archive format not supported",              // 4
    L"Unknown error",                             // 5
    L"Unexpected end of file",                    // 6
    L"Unknown error",                             // 7
    L"Unknown error",                             // 8
    L"Unknown error",                             // 9
    L"Unknown error",                             // 10
    L"Error while unpacking archive",             // 11
    L"Unknown error",                             // 12
    L"Unknown error",                             // 13
    L"Unknown error",                             // 14
    L"Unknown error",                             // 15
    L"Unexpected error in archive",               // 16
    L"Invalid or corrupted archive",              // 17
};

}  // namespace

void SetUpArchiveReader(ArchiveReader* reader) {
  reader->mainAlloc.Alloc = HeapAllocBytes;
  reader->mainAlloc.Free = HeapFreeBytes;
  reader->tempAlloc.Alloc = HeapAllocBytes;
  reader->tempAlloc.Free = HeapFreeBytes;
  FileInStream_CreateVTable(&reader->imageStream);
  File_Construct(&reader->imageStream.file);
  reader->imageStream.wres = 0;
  LookToRead2_CreateVTable(&reader->lookStream, False);
  reader->lookStream.realStream = &reader->imageStream.vt;
  reader->lookStream.buf = nullptr;
  reader->lookStream.bufSize = 0;
  LookToRead2_INIT(&reader->lookStream);
  SzArEx_Init(&reader->database);
  reader->blockIndex = kNoBlock;
  reader->blockBuffer = nullptr;
  reader->blockBufferSize = 0;
}

WRes OpenImageFile(ArchiveReader* reader, const wchar_t* imagePath) {
  return InFile_OpenW(&reader->imageStream.file, imagePath);
}

SRes OpenArchiveAt(ArchiveReader* reader, UInt64 offset) {
  if (offset > static_cast<UInt64>(INT64_MAX)) return SZ_ERROR_FAIL;
  // SzArEx_Open takes the stream's current position as the archive's base.
  Int64 position = static_cast<Int64>(offset);
  if (File_Seek(&reader->imageStream.file, &position, SZ_SEEK_SET) != 0) return SZ_ERROR_FAIL;
  if (!reader->lookStream.buf) {
    reader->lookStream.buf =
        static_cast<Byte*>(ISzAlloc_Alloc(&reader->mainAlloc, kLookBufferBytes));
    if (!reader->lookStream.buf) return SZ_ERROR_MEM;
  }
  reader->lookStream.bufSize = kLookBufferBytes;
  reader->lookStream.realStream = &reader->imageStream.vt;
  LookToRead2_INIT(&reader->lookStream);
  return SzArEx_Open(&reader->database, &reader->lookStream.vt, &reader->mainAlloc,
                     &reader->tempAlloc);
}

SRes ExtractEntry(ArchiveReader* reader, UInt32 index, size_t* offset, size_t* size) {
  *offset = 0;
  *size = 0;
  return SzArEx_Extract(&reader->database, &reader->lookStream.vt, index, &reader->blockIndex,
                        &reader->blockBuffer, &reader->blockBufferSize, offset, size,
                        &reader->mainAlloc, &reader->tempAlloc);
}

void CloseArchiveReader(ArchiveReader* reader) {
  ISzAlloc_Free(&reader->mainAlloc, reader->blockBuffer);
  reader->blockBuffer = nullptr;
  reader->blockBufferSize = 0;
  reader->blockIndex = kNoBlock;
  SzArEx_Free(&reader->database, &reader->mainAlloc);
  ISzAlloc_Free(&reader->mainAlloc, reader->lookStream.buf);
  reader->lookStream.buf = nullptr;
  reader->lookStream.bufSize = 0;
  File_Close(&reader->imageStream.file);
}

void SetFileModifiedTime(CSzFile* file, const UInt32* timeHigh, const UInt32* timeLow) {
  if (file->handle == INVALID_HANDLE_VALUE) return;
  FILETIME created, accessed, written;
  if (!GetFileTime(file->handle, &created, &accessed, &written)) return;
  written.dwHighDateTime = *timeHigh;
  written.dwLowDateTime = *timeLow;
  SetFileTime(file->handle, &created, &accessed, &written);
}

const wchar_t* ArchiveErrorText(SRes code) {
  UInt32 slot = static_cast<UInt32>(code) - 2;
  if (slot <= 15) return kErrorTexts[slot];
  return L"Unknown error";
}
