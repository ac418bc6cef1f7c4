// The extractor's start-to-exit sequence and its safety nets.
#pragma once

#include <windows.h>

// The whole run: start-up checks, runtime folder, runtime library, wizard, clean-up. Returns the
// process exit code: the wizard's, 0 after an exception in the wizard, or a negated start-up
// error code.
int SfxMain(HINSTANCE instance);

// Restricts the DLL search to the system folder and added folders where the system allows it;
// elsewhere preloads the system libraries the process would otherwise look for beside the image.
void HardenDllSearch();

// The process-wide unhandled-exception filter: tells the user the code and lets the system end
// the process with it. Nothing is cleaned up.
LONG WINAPI PackageExceptionFilter(EXCEPTION_POINTERS* exception);

// Shows the fatal start-up message for a start-up error code (string-table entries 1 and
// code + 1).
void ShowFatalError(int code);

// Runs RunWizard inside the script guard: its result, or 0 after the guard caught an exception,
// which the user is told of. After an exception, the windows the runtime library still shows are
// closed first (see CloseLeftWindows): nothing covers the message, and nothing of the library is
// in use when it is unloaded.
int RunWizardGuarded();

// Closes what an exception out of the wizard left open: the progress box, on the library's own
// thread, the way the extraction closes it; and this thread's windows, whose procedures in the
// runtime library are replaced by the system's default ones first, since the frames that owned
// their state are gone and the library is about to be unloaded.
void CloseLeftWindows(HMODULE runtimeLibrary);
