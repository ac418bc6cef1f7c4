// A small program that reads the package data behind its own image the way the extractor does
// and prints what it found; tests append package data to it and run the result.
#include <stdio.h>
#include <windows.h>

#include "archive/archive_reader.h"
#include "bootstrap/package_image.h"
#include "common/sfx_state.h"

// Exit codes: 0 all read, 3 no package header, 4 no runtime archive, 5 an archive failed to open.
int main() {
  if (!GetModuleFileNameW(nullptr, sfx.imagePath, kPathBufferUnits)) return 2;
  CrcGenerateTable();
  if (!ReadPackageHeader()) return 3;
  ArchiveReader reader;
  SetUpArchiveReader(&reader);
  int code = 0;
  UInt64 runtimeOffset = 0;
  UInt32 payloadFiles = 0;
  UInt32 runtimeFiles = 0;
  if (OpenImageFile(&reader, sfx.imagePath) != 0) {
    code = 5;
  } else if (!LocateRuntimeArchive(&reader.imageStream.file, &runtimeOffset)) {
    code = 4;
  } else if (OpenArchiveAt(&reader, runtimeOffset) != SZ_OK) {
    code = 5;
  } else {
    runtimeFiles = reader.database.NumFiles;
  }
  CloseArchiveReader(&reader);
  if (code == 0) {
    SetUpArchiveReader(&reader);
    if (OpenImageFile(&reader, sfx.imagePath) != 0 ||
        OpenArchiveAt(&reader, UInt64{sfx.imageEnd} + 18) != SZ_OK)
      code = 5;
    else
      payloadFiles = reader.database.NumFiles;
    CloseArchiveReader(&reader);
  }
  printf("end=%lu payload=%llu declared=%llu actual=%llu runtime=%llu files=%lu/%lu\n",
         static_cast<unsigned long>(sfx.imageEnd), static_cast<unsigned long long>(sfx.payloadSize),
         static_cast<unsigned long long>(sfx.declaredImageSize),
         static_cast<unsigned long long>(sfx.actualImageSize),
         static_cast<unsigned long long>(runtimeOffset), static_cast<unsigned long>(payloadFiles),
         static_cast<unsigned long>(runtimeFiles));
  return code;
}
