// Test helper: the built runtime library loaded from bin\runtime, its operations looked up by
// their exported names, and the variables the wizard sets before it shows a page.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/zudada.h"

struct LoadedRuntime {
  HMODULE module = nullptr;
  std::wstring folder;  // the runtime folder under bin, with a trailing backslash
  decltype(&SetVar) setVar = nullptr;
  decltype(&EvalVar) evalVar = nullptr;
  decltype(&EvalVarBuf) evalVarBuf = nullptr;
  decltype(&CheckFileProp) checkFileProp = nullptr;
  decltype(&InitSFX) initSfx = nullptr;
  decltype(&ShowDialogBox) showDialogBox = nullptr;
  decltype(&ShowProgressBox) showProgressBox = nullptr;
  decltype(&KVDlgGetDlgItem) getItem = nullptr;
};

// Loads the library once per process, sets the page variables, points KVSFXPATH at the
// runtime folder under bin and calls InitSFX. module is null when the library cannot be loaded.
LoadedRuntime& TheRuntime();

// Points KVSFXPATH at folder (with a trailing backslash) and reads its data files again.
void ReadDataFilesFrom(const std::wstring& folder);
