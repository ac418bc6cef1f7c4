// Test helper: a window as it shows on the screen, saved as a PNG file for a person to look at.
#pragma once

#include <windows.h>

#include <string>

// Copies the window's rectangle from the screen (so that windows of other processes can be
// taken too) and writes it to path as a PNG image. False when nothing could be written.
bool SaveScreenshot(HWND window, const std::wstring& path);
