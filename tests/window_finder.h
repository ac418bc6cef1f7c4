// Test helper: finds the dialog boxes (message boxes included) of another process, reads them
// and presses their buttons, so that tests answer every box they cause.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// A visible top-level window of class "#32770" owned by a thread of the process, or null.
HWND FindProcessDialog(DWORD processId);
// The window's caption.
std::wstring WindowCaption(HWND window);
// The text of a dialog's message: its static controls' texts (those that have any), joined by
// line feeds, in child order.
std::wstring DialogStaticText(HWND dialog);
// The ids of the dialog's buttons, in child order.
std::vector<int> DialogButtonIds(HWND dialog);
// Presses the button with the id as a click would (WM_COMMAND with BN_CLICKED); false when the
// dialog has no such button.
bool PressDialogButton(HWND dialog, int buttonId);
