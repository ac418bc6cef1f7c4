// Package image reading and checking through the LZMA SDK.
#include "package_check.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "archive/lzma_sdk.h"
#include "bootstrap/package_layout.h"
#include "payload_names.h"
#include "pe_image.h"
#include "pe_resources.h"

namespace {

void* HeapAlloc(ISzAllocPtr, size_t size) { return size == 0 ? nullptr : malloc(size); }
void HeapFree(ISzAllocPtr, void* address) { free(address); }
const ISzAlloc kHeap = {HeapAlloc, HeapFree};

constexpr size_t kLookBufferBytes = 0x40000;

// One open 7z archive at an offset of an open file. Frees what it holds when it goes.
struct ArchiveView {
  CFileInStream* file = nullptr;  // not owned
  CLookToRead2 look;
  CSzArEx db;
  uint8_t* lookBuffer = nullptr;
  uint32_t blockIndex = 0xFFFFFFFF;
  uint8_t* blockBuffer = nullptr;
  size_t blockBufferSize = 0;

  explicit ArchiveView(CFileInStream* f) : file(f) {
    LookToRead2_CreateVTable(&look, False);
    look.buf = nullptr;
    SzArEx_Init(&db);
  }
  ~ArchiveView() {
    ISzAlloc_Free(&kHeap, blockBuffer);
    SzArEx_Free(&db, &kHeap);
    ISzAlloc_Free(&kHeap, lookBuffer);
  }
  ArchiveView(const ArchiveView&) = delete;
  ArchiveView& operator=(const ArchiveView&) = delete;

  SRes Open(uint64_t offset) {
    Int64 pos = static_cast<Int64>(offset);
    if (File_Seek(&file->file, &pos, SZ_SEEK_SET) != 0) return SZ_ERROR_FAIL;
    lookBuffer = static_cast<uint8_t*>(ISzAlloc_Alloc(&kHeap, kLookBufferBytes));
    if (lookBuffer == nullptr) return SZ_ERROR_MEM;
    look.buf = lookBuffer;
    look.bufSize = kLookBufferBytes;
    look.realStream = &file->vt;
    LookToRead2_INIT(&look);
    return SzArEx_Open(&db, &look.vt, &kHeap, &kHeap);
  }

  // On SZ_OK the entry's bytes are *size bytes at blockBuffer + *offset.
  SRes Extract(uint32_t index, size_t* offset, size_t* size) {
    return SzArEx_Extract(&db, &look.vt, index, &blockIndex, &blockBuffer, &blockBufferSize,
                          offset, size, &kHeap, &kHeap);
  }
};

uint64_t Read64(const uint8_t* p) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; i--) value = (value << 8) | p[i];
  return value;
}

bool ReadExact(CSzFile* file, uint64_t offset, void* buffer, size_t size) {
  Int64 pos = static_cast<Int64>(offset);
  if (File_Seek(file, &pos, SZ_SEEK_SET) != 0) return false;
  size_t got = size;
  return File_Read(file, buffer, &got) == 0 && got == size;
}

// UTF-16 name of entry i as UTF-8 (lone surrogates become U+FFFD).
std::string EntryName(const CSzArEx* db, size_t i, size_t* units) {
  size_t length = SzArEx_GetFileNameUtf16(db, i, nullptr);
  std::vector<UInt16> name(length + 1, 0);
  SzArEx_GetFileNameUtf16(db, i, name.data());
  *units = length > 0 ? length - 1 : 0;
  std::u16string text;
  for (size_t k = 0; k < length && name[k] != 0; k++) text.push_back(static_cast<char16_t>(name[k]));
  return Utf16ToUtf8(text);
}

// Reads the archive's entries and block sizes; with checkData decodes every entry, and when
// libraryMachine is given, reads the machine of the member ZUDada.dll into it (0 when it is no
// PE file). what names the archive in messages ("payload archive").
bool ReadEntries(ArchiveView* view, const char* what, bool checkData,
                 std::vector<ArchiveEntry>* entries, std::vector<uint64_t>* blockSizes,
                 uint16_t* libraryMachine, std::string* reason) {
  const CSzArEx* db = &view->db;
  entries->clear();
  blockSizes->clear();
  for (UInt32 f = 0; f < db->db.NumFolders; f++) {
    uint64_t size = SzAr_GetFolderUnpackSize(&db->db, f);
    blockSizes->push_back(size);
    if (size > kMaxBlockBytes) {
      *reason = std::string(what) + ": block " + std::to_string(f) + " unpacks to " +
                std::to_string(size) + " bytes, more than the extractor can hold (" +
                std::to_string(kMaxBlockBytes) + ")";
      return false;
    }
  }
  for (UInt32 i = 0; i < db->NumFiles; i++) {
    ArchiveEntry entry;
    size_t units = 0;
    entry.name = EntryName(db, i, &units);
    entry.isDir = SzArEx_IsDir(db, i);
    entry.size = SzArEx_GetFileSize(db, i);
    entry.hasTime = SzBitWithVals_Check(&db->MTime, i);
    if (entry.hasTime) {
      entry.fileTime = (static_cast<uint64_t>(db->MTime.Vals[i].High) << 32) | db->MTime.Vals[i].Low;
    }
    entry.block = db->FileToFolder[i];
    if (units > kMaxEntryNameUnits) {
      *reason = std::string(what) + ": the entry name \"" + entry.name + "\" is longer than " +
                std::to_string(kMaxEntryNameUnits) + " characters, which the extractor refuses";
      return false;
    }
    if (checkData && !entry.isDir) {
      size_t offset = 0;
      size_t size = 0;
      SRes res = view->Extract(i, &offset, &size);
      if (res != SZ_OK) {
        *reason = std::string(what) + ": entry \"" + entry.name + "\": " + ArchiveResultText(res);
        return false;
      }
      if (libraryMachine != nullptr && FoldNameCase(entry.name) == "zudada.dll" &&
          !ReadPeMachine(view->blockBuffer + offset, size, libraryMachine)) {
        *libraryMachine = 0;
      }
    }
    entries->push_back(entry);
  }
  return true;
}

int GetLengthCallback(void* context, uint64_t* length) {
  UInt64 value = 0;
  WRes res = File_GetLength(static_cast<CSzFile*>(context), &value);
  *length = value;
  return res == 0 ? 0 : 1;
}

int SeekCallback(void* context, uint64_t offset) {
  Int64 pos = static_cast<Int64>(offset);
  return File_Seek(static_cast<CSzFile*>(context), &pos, SZ_SEEK_SET) == 0 ? 0 : 1;
}

int ReadCallback(void* context, void* buffer, size_t* size) {
  return File_Read(static_cast<CSzFile*>(context), buffer, size) == 0 ? 0 : 1;
}

// Owner of the image file stream.
struct ImageFile {
  CFileInStream stream;
  bool open = false;
  ImageFile() {
    FileInStream_CreateVTable(&stream);
    File_Construct(&stream.file);
  }
  ~ImageFile() {
    if (open) File_Close(&stream.file);
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
};

bool OpenImage(const std::string& path, ImageFile* image, std::string* reason) {
  WRes res = InFile_Open(&image->stream.file, path.c_str());
  if (res != 0) {
    *reason = "cannot open " + path + ": " + strerror(res);
    return false;
  }
  image->open = true;
  return true;
}

}  // namespace

std::string ArchiveResultText(int code) {
  switch (code) {
    case SZ_ERROR_DATA: return "corrupted compressed data";
    case SZ_ERROR_MEM: return "out of memory while decoding";
    case SZ_ERROR_CRC: return "CRC error: the data is corrupted";
    case SZ_ERROR_UNSUPPORTED: return "a coding method the extractor cannot decode";
    case SZ_ERROR_INPUT_EOF: return "the archive ends early (truncated)";
    case SZ_ERROR_READ: return "read error";
    case SZ_ERROR_FAIL: return "the archive is inconsistent";
    case SZ_ERROR_ARCHIVE: return "damaged archive headers";
    case SZ_ERROR_NO_ARCHIVE: return "no 7z archive here (bad signature or header CRC)";
    default: return "LZMA SDK error " + std::to_string(code);
  }
}

bool ReadPackageImage(const std::string& path, bool checkData, PackageLayout* layout,
                      std::string* reason) {
  CrcGenerateTable();
  *layout = PackageLayout();
  ImageFile image;
  if (!OpenImage(path, &image, reason)) return false;
  CSzFile* file = &image.stream.file;
  UInt64 length = 0;
  if (File_GetLength(file, &length) != 0) {
    *reason = "cannot measure " + path;
    return false;
  }
  layout->actualSize = length;

  uint8_t head[kImageHeadBytes];
  size_t headLength = length < sizeof head ? static_cast<size_t>(length) : sizeof head;
  if (!ReadExact(file, 0, head, headLength) || !FindImageEnd(head, headLength, &layout->imageEnd) ||
      !ReadPeMachine(head, headLength, &layout->machine)) {
    *reason = "no Windows executable image at the start of the file";
    return false;
  }
  uint8_t header[kPackageHeaderBytes];
  if (length < static_cast<uint64_t>(layout->imageEnd) + kPackageHeaderBytes ||
      !ReadExact(file, layout->imageEnd, header, sizeof header)) {
    *reason = "the file ends before the package header (at offset " +
              std::to_string(layout->imageEnd) + ")";
    return false;
  }
  if (header[0] != 'K' || header[1] != 'V') {
    *reason = "no package header (\"KV\") after the executable image at offset " +
              std::to_string(layout->imageEnd);
    return false;
  }
  DecodePackageHeader(header, &layout->payloadSize, &layout->declaredSize);
  if (layout->declaredSize != layout->actualSize) {
    *reason = "the header declares " + std::to_string(layout->declaredSize) +
              " bytes but the file has " + std::to_string(layout->actualSize) +
              " (truncated or altered)";
    return false;
  }
  layout->payloadOffset = static_cast<uint64_t>(layout->imageEnd) + kPackageHeaderBytes;
  if (layout->payloadSize > length - layout->payloadOffset) {
    *reason = "the declared payload archive size " + std::to_string(layout->payloadSize) +
              " runs past the end of the file";
    return false;
  }

  uint8_t start[32];
  if (layout->payloadSize < sizeof start || !ReadExact(file, layout->payloadOffset, start, sizeof start)) {
    *reason = "the payload archive is smaller than a 7z start header";
    return false;
  }
  uint64_t extent = 32 + Read64(start + 12) + Read64(start + 20);
  if (Read64(start + 12) > length || Read64(start + 20) > length || extent > layout->payloadSize) {
    *reason = "the payload archive reaches beyond the payload size the header declares (" +
              std::to_string(layout->payloadSize) + " bytes)";
    return false;
  }
  {
    ArchiveView payload(&image.stream);
    SRes res = payload.Open(layout->payloadOffset);
    if (res != SZ_OK) {
      *reason = "payload archive: " + ArchiveResultText(res);
      return false;
    }
    if (!ReadEntries(&payload, "payload archive", checkData, &layout->payload,
                     &layout->payloadBlockSizes, nullptr, reason)) {
      return false;
    }
  }

  uint64_t position = layout->payloadOffset + layout->payloadSize;
  uint64_t scanLength = 0;
  ImageReadCallbacks io = {file, GetLengthCallback, SeekCallback, ReadCallback};
  if (!LocateArchiveSignature(&io, &position, &scanLength)) {
    *reason = "no runtime archive after the payload archive";
    return false;
  }
  layout->runtimeOffset = position;
  ArchiveView runtime(&image.stream);
  SRes res = runtime.Open(position);
  if (res != SZ_OK) {
    *reason = "runtime archive: " + ArchiveResultText(res);
    return false;
  }
  if (!ReadEntries(&runtime, "runtime archive", checkData, &layout->runtime,
                   &layout->runtimeBlockSizes, &layout->libraryMachine, reason)) {
    return false;
  }
  bool hasLibrary = false;
  for (const ArchiveEntry& entry : layout->runtime) {
    if (!entry.isDir && FoldNameCase(entry.name) == "zudada.dll") hasLibrary = true;
  }
  if (!hasLibrary) {
    *reason = "the runtime archive holds no ZUDada.dll";
    return false;
  }
  if (checkData && layout->libraryMachine != layout->machine) {
    *reason = layout->libraryMachine == 0
                  ? "the runtime archive's ZUDada.dll is not a Windows library"
                  : "the runtime archive's ZUDada.dll is an " +
                        MachineName(layout->libraryMachine) + " library, but the stub is an " +
                        MachineName(layout->machine) + " program";
    return false;
  }
  return true;
}

bool ReadArchiveFile(const std::string& path, std::vector<ArchiveEntry>* entries,
                     std::string* reason) {
  CrcGenerateTable();
  ImageFile image;
  if (!OpenImage(path, &image, reason)) return false;
  ArchiveView view(&image.stream);
  SRes res = view.Open(0);
  if (res != SZ_OK) {
    *reason = path + ": " + ArchiveResultText(res);
    return false;
  }
  std::vector<uint64_t> blocks;
  return ReadEntries(&view, path.c_str(), false, entries, &blocks, nullptr, reason);
}
