// Window code of the runtime library: dialogs built from their definition as child windows, the
// modal loop with the page-callback protocol, and the progress box on its own thread.
#pragma once

#include <windows.h>

#include "runtime_state.h"
#include "zudada.h"

// Shows the named dialog modally on the calling thread: the callback's closing value, 2 for the
// close button, 4 (after telling the user) when the dialog cannot be built.
int RunDialogBox(const wchar_t* name, KVPageProc callback);
// Starts "dlgprogress" on a new thread; returns after its event 0: 0 when up, 4 when not shown.
int StartProgressBox(KVPageProc callback);
// The control with the definition's id in a dialog built here (any other window: GetDlgItem).
HWND FindDialogControl(HWND dialog, int id);
