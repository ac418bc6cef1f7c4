// Test driver: starts a package image in its own process and acts on its windows as a person
// does. It waits for a page or a message box of that process, reads the caption and the texts,
// enabled, visible and checked states of controls by their ids, clicks with the mouse, presses
// keys and types through SendInput, and saves a screenshot of each window it meets. Tests that
// use it press real keys, so they run alone on the bench's display.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "package_run.h"

// The kinds of windows a package shows, told apart by their controls.
enum class WindowKind {
  kNone,
  kWelcome,      // dlgwizwelc
  kReadme,       // dlgwizreadme
  kDestination,  // dlgwizseldir
  kProgress,     // dlgprogress
  kFinal,        // dlgwizfinal
  kOverwrite,    // dlgoverwrite
  kMessageBox,   // a system message box
  kFolderPicker, // the system's folder picker
  kOther,
};

const char* KindName(WindowKind kind);

struct DriverOptions {
  std::wstring startDir;  // the package's start directory; empty: the test's own
  // Environment variables to set (an empty value removes one), over the test's own.
  EnvironmentChanges environment;
  // Screenshots go to <folder>\<prefix>-<n>-<kind>.png; the folder is the build's screenshots
  // folder unless given. No screenshots without a prefix.
  std::wstring screenshotFolder;
  std::wstring screenshotPrefix;
};

struct Driver {
  PROCESS_INFORMATION process = {};
  bool started = false;
  std::wstring screenshotFolder;
  std::wstring screenshotPrefix;
  int screenshots = 0;
  std::vector<HWND> seen;  // windows already photographed
};

// Starts image. False when the process cannot be created.
bool StartPackage(const std::wstring& image, const DriverOptions& options, Driver* driver);
// Waits for the process to end (at most timeoutMs) and returns its exit code; a process that
// does not end in time is killed and 0xDEAD returned. Closes the process handles.
DWORD FinishPackage(Driver* driver, DWORD timeoutMs = 30000);

// The kind of a window of the package.
WindowKind KindOf(HWND window);
// A visible window of the kind asked for, shown by the process, at this moment; null if none.
HWND FindWindowOfKind(DWORD processId, WindowKind kind);
// Waits until the process shows a visible window of the kind asked for and is ready for input
// (at most timeoutMs), photographs it the first time, and returns it; null when none came, or
// when the process ended or showed a window of another kind that stayed (its kind goes to
// *other when given).
HWND WaitForWindow(Driver* driver, WindowKind kind, DWORD timeoutMs = 20000,
                   WindowKind* other = nullptr);
// The kind of the window the process shows next (waits at most timeoutMs); kNone when it ends
// or shows nothing. The window goes to *window when given.
WindowKind WaitForAnyWindow(Driver* driver, DWORD timeoutMs = 20000, HWND* window = nullptr);
// Waits until window is gone (at most timeoutMs).
bool WaitUntilGone(HWND window, DWORD timeoutMs = 10000);

// Reading controls by id.
std::wstring ControlText(HWND window, int id);
bool ControlExists(HWND window, int id);
bool ControlEnabled(HWND window, int id);
bool ControlVisible(HWND window, int id);
bool ControlChecked(HWND window, int id);
int ProgressPosition(HWND window, int id);
// The id of the control that has the keyboard focus, -1 when the focus is elsewhere.
int FocusedControl(HWND window);
// Caption, static texts and button ids of a message box.
struct BoxContent {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;
};
BoxContent ReadBox(HWND box);

// Acting as a person: a left click in the middle of the control (the window is brought to the
// front first), keys with an optional modifier held, text typed as characters.
bool Click(HWND window, int id);
// Clicks the window's close button in its title bar.
bool ClickCloseButton(HWND window);
void PressKey(HWND window, WORD key, WORD modifier = 0);
void TypeText(HWND window, const std::wstring& text);
// Clicks into the edit control, selects everything in it and types text over it.
bool ReplaceEditText(HWND window, int id, const std::wstring& text);
// Answers a message box by clicking its button with the id given.
bool AnswerBox(HWND box, int buttonId);
// Waits for a page of the kind given and clicks Next (button 1) on it; the page, or null.
HWND NextFrom(Driver* driver, WindowKind kind);
