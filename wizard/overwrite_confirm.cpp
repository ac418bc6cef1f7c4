// The overwrite confirmation: per-file hook, the overwrite dialog's texts and its callback.
#include "wizard/overwrite_confirm.h"

#include "common/path_helpers.h"
#include "common/sfx_state.h"
#include "common/text_buffer.h"
#include "runtime/zudada.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_text.h"

#include <iterator>

namespace {

// Controls of dlgoverwrite.
constexpr int kStopButton = 0;
constexpr int kOverwriteButton = 10;
constexpr int kSkipButton = 11;
constexpr int kForAllBox = 12;

// Results of dlgoverwrite besides kPageCancel and kPageNotShown.
enum : int {
  kReplaceOnce = 5,
  kSkipOnce = 6,
  kReplaceAll = 7,
  kSkipAll = 8,
};

// Answers of CheckFileProp.
constexpr int kPropertySkip = 0;
constexpr int kPropertyReplaced = 2;

constexpr int kPathBufferBytes = static_cast<int>(kPathBufferUnits * sizeof(wchar_t));

// What follows the name in an overwrite-information text; expanded by the runtime library, then
// filled with size, month, day, year, hour and minute.
const wchar_t kInfoTemplate[] = L" (%lld #Bytes), #Modified %02d/%02d/%d %02d:%02d";
// A name of up to a PathBuffer, the expanded template cut to another, and the digits the six
// conversions may add.
constexpr size_t kInfoUnits = 2 * kPathBufferUnits + 32;

// The local time of a UTC file time: the UTC time itself when the time-zone conversion fails, all
// zero when the value is no time the system can convert at all.
SYSTEMTIME LocalTimeOf(const FILETIME& utc) {
  SYSTEMTIME system = {};
  SYSTEMTIME local = {};
  if (!FileTimeToSystemTime(&utc, &system)) return local;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &system, &local)) return system;
  return local;
}

void PublishFileInfo(const wchar_t* variable, const wchar_t* name, uint64_t size,
                     const FILETIME& modified) {
  wchar_t tail[kPathBufferUnits];
  EvalVarBuf(kInfoTemplate, tail, kPathBufferBytes);
  SYSTEMTIME time = LocalTimeOf(modified);
  const int64_t values[] = {static_cast<int64_t>(size), time.wMonth, time.wDay,
                            time.wYear, time.wHour, time.wMinute};
  wchar_t text[kInfoUnits];
  FillOverwriteInfo(name, tail, values, std::size(values), text, std::size(text));
  SetVar(variable, text);
}

bool ForAllTicked(HWND page) {
  return SendMessageW(KVDlgGetDlgItem(page, kForAllBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Asks about an existing file; returns the hook's answer and updates the overwrite mode.
int AskOverwrite(const wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh, uint32_t* mtimeHigh,
                 uint32_t* mtimeLow) {
  SetVar(L"CURFILE", path);
  FormatOverwriteInfo(path, sizeLow, sizeHigh, mtimeHigh, mtimeLow);
  SetVar(L"KVDLGOVERFILE2", L"#Location %CURFILE%");
  switch (ShowDialogBox(L"dlgoverwrite", OverwritePageProc)) {
    case kSkipOnce:
      return kFileHookSkip;
    case kReplaceAll:
      sfx.overwriteMode = kOverwriteAll;
      return kFileHookWrite;
    case kSkipAll:
      sfx.overwriteMode = kOverwriteNone;
      return kFileHookSkip;
    case kPageCancel:
    case kPageNotShown:
      return kFileHookCancel;
    default:
      return kFileHookWrite;
  }
}

}  // namespace

int OnFileExtract(wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh, uint32_t* mtimeHigh,
                  uint32_t* mtimeLow) {
  wchar_t working[kPathBufferUnits];
  CopyText(working, std::size(working), path);
  int property = CheckFileProp(0, working, kPathBufferBytes);
  if (property == kPropertySkip) return kFileHookSkip;
  if (property == kPropertyReplaced) CopyText(path, kPathBufferUnits, working);
  if (PathExists(path)) {
    if (sfx.overwriteMode == kOverwriteNone) return kFileHookSkip;
    if (sfx.overwriteMode == kOverwriteAsk) {
      int answer = AskOverwrite(path, sizeLow, sizeHigh, mtimeHigh, mtimeLow);
      if (answer != kFileHookWrite) return answer;
    }
  }
  // The folder of the path that will be written; a folder that cannot be made shows up as the
  // extraction's create prompt.
  CopyText(working, std::size(working), path);
  StripFileName(working);
  if (!IsDirectory(working)) CreateDirectoryPath(working);
  ++sfx.extractedFileCount;
  return kFileHookWrite;
}

void FormatOverwriteInfo(const wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh,
                         const uint32_t* mtimeHigh, const uint32_t* mtimeLow) {
  const wchar_t* name = FileNamePart(path);
  SetVar(L"CURFILENAME", name);
  WIN32_FIND_DATAW found;
  wchar_t extended[kFileSystemPathUnits];
  HANDLE search = FindFirstFileW(FileSystemPath(path, extended, std::size(extended)), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FindClose(search);
  // A bare folder keeps the texts of an earlier conflict.
  if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) return;
  uint64_t onDisk = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  PublishFileInfo(L"KVDLGOVERFILE1", name, onDisk, found.ftLastWriteTime);
  FILETIME stored;
  stored.dwLowDateTime = *mtimeLow;
  stored.dwHighDateTime = *mtimeHigh;
  uint64_t incoming = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  PublishFileInfo(L"KVDLGOVERFILE3", name, incoming, stored);
}

int WINAPI OverwritePageProc(int event, HWND page, LPARAM arg) {
  if (event != kPageCommand) return 0;
  switch (arg) {
    case kOverwriteButton:
      return ForAllTicked(page) ? kReplaceAll : kReplaceOnce;
    case kSkipButton:
      return ForAllTicked(page) ? kSkipAll : kSkipOnce;
    case kStopButton:
      return ConfirmCancel(page) ? kPageCancel : 0;
    default:
      return 0;
  }
}
