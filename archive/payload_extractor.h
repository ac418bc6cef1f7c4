// The payload extraction: the payload archive's entries written below the destination folder,
// with the runtime library's progress box, the per-file hook and the error prompts. Its inputs,
// progress and cancel flag live in SfxState; the runtime library's operations it calls are
// resolved by whoever links it.
#pragma once

#include "common/sfx_state.h"
#include "runtime/zudada.h"

#include <stdint.h>

// Result of an extraction that the cancel flag stopped (the flag tells it from a memory error,
// which has the same value).
constexpr int kExtractCancelled = 2;

// Extracts the payload archive at *archiveOffset (null: 0) of the package image imagePath into
// destDir (created with its parents when missing), with the progress box of progressCallback
// open meanwhile and fileHook asked before each file; then closes the box and pauses 400 ms.
// The result is ExtractArchiveFiles's.
int ExtractPackage(const wchar_t* imagePath, const wchar_t* destDir, const uint32_t* archiveOffset,
                   KVPageProc progressCallback, ExtractFileHook fileHook);

// The extraction loop over the inputs stored in sfx. 0 when every entry was handled;
// kExtractCancelled with sfx.cancelFlag set when cancelled; otherwise the failure's code, which
// the user has been told about: SZ_ERROR_FAIL (11) when the image or the archive position cannot
// be read, an entry name is too long, unsafe (the name is shown) or would not fit the output
// path, the user cancels the create prompt, or a file is written short; an LZMA SDK result for a
// failed open or decoding; a system error code when closing a written file fails.
int ExtractArchiveFiles();

// Moves the progress bar to the share of the progress done (nothing while the total is 0).
void UpdateProgress();

// Shows text, expanded once more by the runtime library, in an error box captioned with the
// package title.
void ShowErrorText(const wchar_t* text);
