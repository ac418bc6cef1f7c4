// The payload extraction, in the LZMA SDK's own shape: one result, the loop stops at the first
// failure, one clean-up tail that closes what was opened.
#include "archive/payload_extractor.h"

#include "archive/archive_reader.h"
#include "archive/entry_names.h"
#include "archive/extract_rules.h"
#include "common/path_helpers.h"
#include "common/text_buffer.h"

#include <iterator>

namespace {

static_assert(sizeof(wchar_t) == sizeof(UInt16), "entry names are copied as UTF-16 units");

// Entry names may be 258 units; the length the SDK reports counts the terminator.
constexpr size_t kMaxEntryNameUnits = 259;
constexpr DWORD kPauseAfterCloseMs = 400;
constexpr UINT kErrorStyle = MB_TOPMOST | MB_ICONERROR;
constexpr UINT kCreatePromptStyle = MB_CANCELTRYCONTINUE | MB_ICONERROR | MB_DEFBUTTON2;
constexpr int kPathBufferBytes = static_cast<int>(kPathBufferUnits * sizeof(wchar_t));
// A message is a language text (cut to a PathBuffer by the expansion) followed by a full path,
// so that the path always fits whole.
constexpr size_t kMessageUnits = 2 * kPathBufferUnits;

// Working storage of one extraction.
struct ExtractionWork {
  ArchiveReader reader;
  wchar_t outputPath[kPathBufferUnits];
  size_t baseLength;  // the destination folder and its separator; 0 when it does not fit
  wchar_t labelText[kPathBufferUnits];
  wchar_t message[kMessageUnits];
  UInt32 timeHigh;
  UInt32 timeLow;
};

enum CreateOutcome { kCreated, kCreateSkipped, kCreateCancelled };

void ShowPlainError(const wchar_t* text) {
  MessageBoxW(nullptr, text, sfx.packageTitle, kErrorStyle);
}

// message := the expanded language text, then the path.
void ComposeMessage(wchar_t* message, const wchar_t* languageText, const wchar_t* path) {
  EvalVarBuf(languageText, message, kPathBufferBytes);
  AppendText(message, kMessageUnits, path);
}

void AdvanceProgress(uint64_t units) {
  sfx.progressDone += units;
  UpdateProgress();
}

// Names the entry in the progress box's label, as the archive stores its name.
void ShowEntryLabel(ExtractionWork* work, const wchar_t* name) {
  SetVar(L"EXTNAME", name);
  EvalVarBuf(L"%KVEXTTEXT%", work->labelText, kPathBufferBytes);
  SendMessageW(sfx.progressLabel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(work->labelText));
}

int OpenPayload(ArchiveReader* reader) {
  if (OpenImageFile(reader, sfx.extractImagePath) != 0) return SZ_ERROR_FAIL;
  UInt32 offset = sfx.extractArchiveOffset != nullptr ? *sfx.extractArchiveOffset : 0;
  return OpenArchiveAt(reader, offset);
}

void CountProgressTotal(const CSzArEx* db) {
  sfx.progressTotal = 0;
  sfx.progressDone = 0;
  for (UInt32 i = 0; i < db->NumFiles; ++i) {
    sfx.progressTotal += SzArEx_IsDir(db, i) ? 1 : SzArEx_GetFileSize(db, i) + 1;
  }
}

// Creates the output file; a file that cannot be created brings up the create prompt, asked
// again after Try Again for as long as the user chooses it.
CreateOutcome CreateOutputFile(ExtractionWork* work, CSzFile* file) {
  for (;;) {
    wchar_t extended[kFileSystemPathUnits];
    if (OutFile_OpenW(file, FileSystemPath(work->outputPath, extended, std::size(extended))) == 0) {
      return kCreated;
    }
    ComposeMessage(work->message, L"#errorcreatefile", work->outputPath);
    int answer = MessageBoxW(nullptr, work->message, sfx.packageTitle, kCreatePromptStyle);
    if (answer == IDTRYAGAIN) continue;
    if (answer == IDCONTINUE) return kCreateSkipped;
    return kCreateCancelled;  // Cancel, or a box that could not be shown
  }
}

// Writes one file entry whose bytes are data[0..size) to the output path, after asking the hook.
int WriteFileEntry(ExtractionWork* work, UInt32 index, const Byte* data, size_t size) {
  const CSzArEx* db = &work->reader.database;
  bool hasTime = SzBitWithVals_Check(&db->MTime, index);
  work->timeHigh = hasTime ? db->MTime.Vals[index].High : 0;
  work->timeLow = hasTime ? db->MTime.Vals[index].Low : 0;
  uint64_t size64 = size;
  int answer = kFileHookWrite;
  if (sfx.extractFileHook != nullptr) {
    answer = sfx.extractFileHook(work->outputPath, static_cast<uint32_t>(size64),
                                 static_cast<uint32_t>(size64 >> 32), &work->timeHigh,
                                 &work->timeLow);
  }
  if (answer == kFileHookCancel) {
    sfx.cancelFlag = 1;
    return kExtractCancelled;
  }
  if (sfx.cancelFlag) return kExtractCancelled;
  if (answer == kFileHookSkip) {
    AdvanceProgress(size64 + 1);
    return SZ_OK;
  }

  CSzFile file;
  File_Construct(&file);
  CreateOutcome created = CreateOutputFile(work, &file);
  if (created == kCreateCancelled) return SZ_ERROR_FAIL;
  if (created == kCreateSkipped) {
    AdvanceProgress(size64 + 1);
    return SZ_OK;
  }
  size_t written = size;
  bool complete = File_Write(&file, data, &written) == 0 && written == size;
  if (!complete) {
    ComposeMessage(work->message, L"#errorwritefile", work->outputPath);
    ShowErrorText(work->message);
  }
  AdvanceProgress(size64 + 1);
  if (hasTime) SetFileModifiedTime(&file, &work->timeHigh, &work->timeLow);
  WRes closed = File_Close(&file);
  if (!complete) return SZ_ERROR_FAIL;
  if (closed != 0) return static_cast<int>(closed);
  if (SzBitWithVals_Check(&db->Attribs, index)) {
    wchar_t extended[kFileSystemPathUnits];
    SetFileAttributesW(FileSystemPath(work->outputPath, extended, std::size(extended)),
                       db->Attribs.Vals[index] & kSettableFileAttributes);
  }
  return SZ_OK;
}

// Handles entry index: name checks, label, decoding, then the file or the folder entry.
int ExtractEntryAt(ExtractionWork* work, UInt32 index) {
  const CSzArEx* db = &work->reader.database;
  size_t nameUnits = SzArEx_GetFileNameUtf16(db, index, nullptr);
  if (nameUnits > kMaxEntryNameUnits || work->baseLength == 0 ||
      !EntryNameFits(work->baseLength, nameUnits, std::size(work->outputPath))) {
    return SZ_ERROR_FAIL;
  }
  if (sfx.cancelFlag) return kExtractCancelled;
  wchar_t* name = work->outputPath + work->baseLength;
  SzArEx_GetFileNameUtf16(db, index, reinterpret_cast<UInt16*>(name));
  name[nameUnits > 0 ? nameUnits - 1 : 0] = L'\0';
  if (!IsSafeEntryName(name)) {
    // Nothing of the entry is written: the name could lead outside the destination folder or
    // to a device.
    ComposeMessage(work->message, L"#InvalidFileName", name);
    ShowPlainError(work->message);
    return SZ_ERROR_FAIL;
  }
  ShowEntryLabel(work, name);
  size_t offset = 0;
  size_t size = 0;
  SRes res = ExtractEntry(&work->reader, index, &offset, &size);
  if (res != SZ_OK) return res;
  UseBackslashes(name);
  if (SzArEx_IsDir(db, index)) {
    // Nothing is made for a folder entry; folders appear with the files in them.
    AdvanceProgress(1);
    return SZ_OK;
  }
  return WriteFileEntry(work, index, work->reader.blockBuffer + offset, size);
}

}  // namespace

void UpdateProgress() {
  if (sfx.progressTotal == 0) return;
  SendMessageW(sfx.progressBar, kProgressSetPosMessage,
               static_cast<WPARAM>(PercentOf(sfx.progressDone, sfx.progressTotal)), 0);
}

void ShowErrorText(const wchar_t* text) {
  const wchar_t* expanded = EvalVar(text);
  ShowPlainError(expanded != nullptr ? expanded : text);
}

int ExtractArchiveFiles() {
  CrcGenerateTable();
  ExtractionWork work;
  SetUpArchiveReader(&work.reader);
  work.baseLength =
      BeginOutputPath(work.outputPath, std::size(work.outputPath), sfx.extractDestDir);
  int res = OpenPayload(&work.reader);
  if (res == SZ_OK) {
    CountProgressTotal(&work.reader.database);
    for (UInt32 i = 0; i < work.reader.database.NumFiles; ++i) {
      res = ExtractEntryAt(&work, i);
      if (res != SZ_OK) break;
    }
  }
  if (res != SZ_OK && !sfx.cancelFlag) ShowErrorText(ArchiveErrorText(res));
  CloseArchiveReader(&work.reader);
  return res;
}

int ExtractPackage(const wchar_t* imagePath, const wchar_t* destDir, const uint32_t* archiveOffset,
                   KVPageProc progressCallback, ExtractFileHook fileHook) {
  sfx.cancelFlag = 0;
  sfx.progressBox = nullptr;
  sfx.extractImagePath = imagePath;
  sfx.extractDestDir = destDir;
  sfx.extractArchiveOffset = archiveOffset;
  sfx.extractFileHook = fileHook;
  // A folder that cannot be made shows up as the create prompt of the first file.
  if (!IsDirectory(destDir)) CreateDirectoryPath(destDir);
  ShowProgressBox(progressCallback);
  int result = ExtractArchiveFiles();
  if (sfx.progressBox != nullptr) SendMessageW(sfx.progressBox, kProgressCloseMessage, 0, 0);
  sfx.progressBox = nullptr;
  Sleep(kPauseAfterCloseMs);
  return result;
}
