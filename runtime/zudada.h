// The runtime library's interface, as the extractor calls it. All eight operations use the
// WINAPI (__stdcall) convention and are exported by their plain, undecorated names. Strings are
// zero-terminated UTF-16; no C++ types cross this boundary.
#pragma once

#include <windows.h>

// A page callback: (event, dialog window, parameter) -> result.
//   event 0, parameter 0: the dialog was created
//   event 1, parameter = control id: a control was clicked or its mnemonic pressed
//   event 2, parameter = result: the dialog is closing
//   event 3, parameter 0: the Return key (ShowDialogBox dialogs only)
// After events 1 and 3 a non-zero result closes the dialog with that value; 0 keeps it open.
typedef int(WINAPI* KVPageProc)(int event, HWND dialog, LPARAM parameter);

// Page events.
enum : int {
  kPageCreated = 0,    // parameter 0
  kPageCommand = 1,    // parameter: the control's id
  kPageClosing = 2,    // parameter: the result
  kPageReturnKey = 3,  // parameter 0
};

// Page results of ShowDialogBox.
enum : int {
  kPageNext = 1,
  kPageCancel = 2,
  kPageBack = 3,
  kPageNotShown = 4,
};

// Messages the library's windows answer.
constexpr UINT kProgressSetPosMessage = WM_USER + 2;   // progress bar: wParam 0..100
constexpr UINT kProgressCloseMessage = WM_USER + 14;   // progress box: close it

extern "C" {
// Stores a copy of value under name (both copied). Usable before InitSFX. Result unused.
int WINAPI SetVar(const wchar_t* name, const wchar_t* value);
// Expands text (variables between percent signs, "#key" language texts). The result is owned
// by the library and valid until the next call; null only when text is null.
const wchar_t* WINAPI EvalVar(const wchar_t* text);
// Expands text into buffer (bufferBytes bytes), cut to fit and always zero-terminated when
// bufferBytes is at least 2. Result unused.
int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int bufferBytes);
// Shows the named dialog modally on the calling thread; the callback's closing value, 2 for the
// close button, 4 when the dialog cannot be shown.
int WINAPI ShowDialogBox(const wchar_t* dialogName, KVPageProc callback);
// Shows "dlgprogress" on a thread of the library's own and returns once the callback has handled
// event 0; 0 when the box is up, 4 when it could not be shown.
int WINAPI ShowProgressBox(KVPageProc callback);
// The window of a dialog's control by its id in the dialog definition.
HWND WINAPI KVDlgGetDlgItem(HWND dialog, int controlId);
// Per-file property check of a destination path (buffer of bufferBytes bytes): 0 skip the file,
// 2 use the path now in the buffer, any other value keep the path. Files absent from the
// property list give 1. The first argument is reserved and passed as 0.
int WINAPI CheckFileProp(int reserved, wchar_t* path, int bufferBytes);
// Reads the data files from the runtime folder (KVSFXPATH); once, before any dialog.
int WINAPI InitSFX(HINSTANCE instance);
}
