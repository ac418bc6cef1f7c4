// Test helper: starts a package image as a user would (its own process, chosen temporary folder,
// start directory and environment), answers every dialog box it shows with its first button and
// records what the boxes said.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct SeenBox {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;
};

struct PackageRun {
  bool started = false;
  bool finished = false;  // false when the process had to be killed after the time limit
  DWORD exitCode = 0;
  std::vector<SeenBox> boxes;
};

// Environment variables to set (or, with an empty value, to remove) for the child.
typedef std::vector<std::pair<std::wstring, std::wstring>> EnvironmentChanges;

// The test's own environment with the changes applied, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const EnvironmentChanges& changes);

// Called with each box before it is answered, while the process waits on it.
typedef std::function<void(HANDLE process, const SeenBox& box)> BoxObserver;

// Reads one dialog box that a process (this one included) shows, hands it to beforeAnswer, then
// presses its first button and waits for it to go; false when the process shows no box.
bool AnswerProcessBox(DWORD processId, const std::function<void(const SeenBox&)>& beforeAnswer);

// Runs image with the start directory current and the environment changed as given; waits at
// most timeoutMs for it to end.
PackageRun RunPackage(const std::wstring& image, const std::wstring& startDir,
                      const EnvironmentChanges& changes, const BoxObserver& observer = nullptr,
                      DWORD timeoutMs = 60000);

// The current directory of another process of this architecture, read from its process
// parameters; empty when it cannot be read.
std::wstring ProcessCurrentDirectory(HANDLE process);
