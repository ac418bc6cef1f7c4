// File helpers for Windows-side tests: scratch folders per test, whole-file reads and writes.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

// A fresh, empty folder under the test scratch space named for the running test (and the
// given tag); the path ends with a backslash.
std::wstring MakeScratchDir(const wchar_t* tag = L"");
// Removes a folder tree made by a test (best effort, for clean-up only).
void RemoveScratchTree(const std::wstring& folder);

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes);
// A file under the test data folder made on the host: kTestDataDir\<set>\<name>.
std::wstring TestDataPath(const wchar_t* set, const wchar_t* name);
std::wstring Widen(const std::string& text);
