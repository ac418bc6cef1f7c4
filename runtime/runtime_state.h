// The runtime library's process-wide state: the variable store, the language table, the dialog
// file's lines and the file-property list, guarded by one lock (the progress box runs on a thread
// of its own).
#pragma once

#include <windows.h>

#include <list>
#include <string>
#include <utility>
#include <vector>

#include "file_props.h"
#include "text_expand.h"

struct RuntimeState {
  CRITICAL_SECTION lock;
  HINSTANCE module;
  VarStore vars;
  LangTable lang;
  bool defaultsSet;
  bool initDone;
  std::wstring langError;    // why the language file could not be used, empty when it could
  std::vector<std::wstring> dialogLines;
  std::wstring dialogError;  // why the dialog file could not be read, empty when it could
  std::vector<FileProp> props;
  // EvalVar's results, one per calling thread, each valid until that thread's next call. Kept
  // here rather than in thread_local objects: a thread_local with a destructor pins the library
  // in memory for as long as its thread lives, and the main thread lives until the process ends,
  // so the library could never be unloaded nor its file deleted.
  // A list, so that adding a thread's result moves no other thread's.
  std::list<std::pair<DWORD, std::wstring>> evalResults;
};

extern RuntimeState runtime;

// Holds the runtime lock for its lifetime.
class RuntimeLock {
 public:
  RuntimeLock() { EnterCriticalSection(&runtime.lock); }
  ~RuntimeLock() { LeaveCriticalSection(&runtime.lock); }
  RuntimeLock(const RuntimeLock&) = delete;
  RuntimeLock& operator=(const RuntimeLock&) = delete;
};

// Text expansion over the library's store (takes the lock).
std::wstring ExpandRuntimeText(const std::wstring& text);
// Tells the user about a failure, captioned with the package title.
void ShowRuntimeError(const std::wstring& text);
