// The overwrite confirmation: the per-file hook of the payload extraction, the texts of the
// overwrite dialog and its page callback.
#pragma once

#include <windows.h>
#include <stdint.h>

// The per-file hook (ExtractFileHook). Applies the runtime library's property check (which may
// skip the file or put a replacement path into path, a PathBuffer); for a path that exists acts
// on sfx.overwriteMode, asking through dlgoverwrite in kOverwriteAsk; then makes the file's
// folder and counts the file in sfx.extractedFileCount. Returns kFileHookWrite, kFileHookSkip
// (not counted) or kFileHookCancel (Stop confirmed, the dialog closed or not shown).
int OnFileExtract(wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh, uint32_t* mtimeHigh,
                  uint32_t* mtimeLow);

// Publishes CURFILENAME (the name part of path) and, when path names an existing entry that is
// not a bare folder, KVDLGOVERFILE1 (name, size and local modification time of the file on disk)
// and KVDLGOVERFILE3 (the same of the file about to be written, from the size halves and the
// stored UTC time). A '%' in the name stays plain text.
void FormatOverwriteInfo(const wchar_t* path, uint32_t sizeLow, uint32_t sizeHigh,
                         const uint32_t* mtimeHigh, const uint32_t* mtimeLow);

// Page callback of dlgoverwrite: 5 overwrite, 6 skip, 7 and 8 the same for every later conflict
// (box ticked), 2 when Stop is confirmed.
int WINAPI OverwritePageProc(int event, HWND page, LPARAM arg);
