// The wizard's page callbacks (the protocol of KVPageProc, runtime/zudada.h), the question before
// an extraction is aborted, and the folder picker of the destination page.
#pragma once

#include <windows.h>

// dlgwizwelc: Next 1, Cancel 2, Back 3; Back disabled while the page counter is 0.
int WINAPI WelcomePageProc(int event, HWND page, LPARAM arg);
// dlgwizreadme: as the welcome page; the document view takes the focus.
int WINAPI ReadmePageProc(int event, HWND page, LPARAM arg);
// dlgwizseldir: Next and Return store the folder (made full against the start directory CUR when
// it is not a full path) as DLGSELPATH and give 1; an empty field, a text over 519 characters or
// one that cannot be made full warns and keeps the page. Browse opens the folder picker;
// KVDISABDIR "1" disables the field and Browse.
int WINAPI DestFolderPageProc(int event, HWND page, LPARAM arg);
// The progress box, on the runtime library's progress thread: records the box, bar and label in
// sfx, disables Back and Next, and sets the cancel flag once the user confirms Cancel.
int WINAPI ProgressPageProc(int event, HWND page, LPARAM arg);
// dlgwizfinal: the run-task boxes shown and ticked from KVRUNTASK1V/1S/2V/2S, Cancel hidden;
// Close (and Cancel) store the boxes' states in KVRUNTASK1S/2S and give 1, Back gives 3.
int WINAPI FinalPageProc(int event, HWND page, LPARAM arg);

// Whether the user confirms aborting the extraction; asked with owner as the box's owner while a
// progress box is open, true without a question otherwise.
bool ConfirmCancel(HWND owner);

// Opens the folder picker on initialPath (may be the same buffer as outPath). Nonzero when a file
// system folder was chosen and written to outPath (at least MAX_PATH units); else outPath is
// empty and 0 comes back.
int BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initialPath, wchar_t* outPath);
