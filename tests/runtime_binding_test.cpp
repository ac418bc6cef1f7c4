// The extractor's lazy binding of the runtime library on its own: with no module of the name
// loaded it raises 0xC06D007E, with the module loaded by its full path it binds to exactly that
// module, a module that lacks an operation raises 0xC06D007F naming it, and after the binding's
// release the module unloads once its loader lets go.
#include "bootstrap/exception_guard.h"
#include "bootstrap/runtime_binding.h"
#include "bootstrap/sfx_main.h"
#include "kv_test_paths.h"
#include "runtime/zudada.h"

#include <windows.h>
#include <delayimp.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// What the first binding failure said, read by a vectored handler before the guard unwinds.
struct Failure {
  DWORD code = 0;
  std::string module;
  std::string function;
};
Failure failure;

LONG CALLBACK RecordFailure(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if ((record->ExceptionCode == kBindModuleNotFound || record->ExceptionCode == kBindProcNotFound) &&
      record->NumberParameters == 1 && failure.code == 0) {
    const DelayLoadInfo* info = reinterpret_cast<const DelayLoadInfo*>(record->ExceptionInformation[0]);
    failure.code = record->ExceptionCode;
    failure.module = info->szDll ? info->szDll : "";
    failure.function = info->dlp.fImportByName && info->dlp.szProcName ? info->dlp.szProcName : "";
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

int CallEvalVar(void*) { return EvalVar(L"x") != nullptr; }
int CallShowDialogBox(void*) { return ShowDialogBox(L"dlgwizwelc", nullptr); }
int CallSetThenEval(void*) {
  SetVar(L"KVBIND", L"bound");
  const wchar_t* value = EvalVar(L"%KVBIND%");
  return value && wcscmp(value, L"bound") == 0;
}

// Runs body under the guard with the failure recorder; the exception code, 0 when none.
DWORD RunBound(GuardedBody body, int* result) {
  failure = Failure();
  PVOID handler = AddVectoredExceptionHandler(1, RecordFailure);
  DWORD code = 0;
  bool returned = CallGuarded(body, nullptr, result, &code);
  RemoveVectoredExceptionHandler(handler);
  return returned ? 0 : code;
}

HMODULE LoadStandIn(const wchar_t* folder) {
  return LoadLibraryW((std::wstring(kTestOutDir) + L"\\" + folder + L"\\ZUDada.dll").c_str());
}

// Releases the binding and the test's own reference; true when the library is then gone.
bool ReleaseAndUnload(HMODULE module) {
  ReleaseRuntimeBinding();
  bool forgotten = BoundRuntimeModule() == nullptr;
  FreeLibrary(module);
  return forgotten && GetModuleHandleW(L"zudada.dll") == nullptr;
}

TEST(RuntimeBinding, NoModuleRaisesModuleNotFound) {
  // As at the extractor's start: the program's own folder (here holding the real library) is no
  // longer searched.
  HardenDllSearch();
  ASSERT_EQ(nullptr, GetModuleHandleW(L"zudada.dll"));
  int result = -1;
  EXPECT_EQ(kBindModuleNotFound, RunBound(CallEvalVar, &result));
  EXPECT_EQ("zudada.dll", failure.module);
  EXPECT_EQ("EvalVar", failure.function);
  EXPECT_EQ(nullptr, BoundRuntimeModule());
}

TEST(RuntimeBinding, BindsToTheModuleLoadedByPath) {
  HMODULE module = LoadStandIn(L"fake_runtime");
  ASSERT_NE(nullptr, module);
  int result = -1;
  EXPECT_EQ(0u, RunBound(CallSetThenEval, &result));
  EXPECT_EQ(1, result);
  EXPECT_EQ(module, BoundRuntimeModule());
  EXPECT_TRUE(ReleaseAndUnload(module)) << "a reference to the library was kept";
}

TEST(RuntimeBinding, MissingFunctionRaisesProcNotFound) {
  HMODULE module = LoadStandIn(L"partial_runtime");
  ASSERT_NE(nullptr, module);
  int result = -1;
  EXPECT_EQ(0u, RunBound(CallEvalVar, &result));
  EXPECT_EQ(1, result);
  EXPECT_EQ(kBindProcNotFound, RunBound(CallShowDialogBox, &result));
  EXPECT_EQ("zudada.dll", failure.module);
  EXPECT_EQ("ShowDialogBox", failure.function);
  EXPECT_TRUE(ReleaseAndUnload(module)) << "a reference to the library was kept";
}

}  // namespace
