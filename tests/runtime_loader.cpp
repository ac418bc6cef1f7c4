// The runtime library as the tests load it.
#include "runtime_loader.h"

#include "kv_test_paths.h"

namespace {

template <typename F>
F Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

LoadedRuntime& TheRuntime() {
  static LoadedRuntime runtime;
  if (runtime.module) return runtime;
  runtime.folder = std::wstring(kTestBinDir) + L"\\runtime\\";
  runtime.module = LoadLibraryW((runtime.folder + L"ZUDada.dll").c_str());
  if (!runtime.module) return runtime;
  runtime.setVar = Lookup<decltype(&SetVar)>(runtime.module, "SetVar");
  runtime.evalVar = Lookup<decltype(&EvalVar)>(runtime.module, "EvalVar");
  runtime.evalVarBuf = Lookup<decltype(&EvalVarBuf)>(runtime.module, "EvalVarBuf");
  runtime.checkFileProp = Lookup<decltype(&CheckFileProp)>(runtime.module, "CheckFileProp");
  runtime.initSfx = Lookup<decltype(&InitSFX)>(runtime.module, "InitSFX");
  runtime.showDialogBox = Lookup<decltype(&ShowDialogBox)>(runtime.module, "ShowDialogBox");
  runtime.showProgressBox = Lookup<decltype(&ShowProgressBox)>(runtime.module, "ShowProgressBox");
  runtime.getItem = Lookup<decltype(&KVDlgGetDlgItem)>(runtime.module, "KVDlgGetDlgItem");
  const wchar_t* vars[][2] = {
      {L"APPTITLE", L"Dialog Test"}, {L"SELLANG", L"English"},
      {L"KVDLGNEXTC", L"#Next"}, {L"KVDLGNEXT", L"#Next"},
      {L"KVWELCRTF", L"%KVSFXPATH%\\kvwelc%SELLANG%.md"},
      {L"GKVDLGREADTXT", L"%KVSFXPATH%\\kvsread%SELLANG%.md"},
      {L"KVDLGRICHTEXT", L"%KVSFXPATH%\\kvfin%SELLANG%.md"},
      {L"KVWIZWATERM", L"%KVSFXPATH%\\kvwaterm.png"}, {L"KVWIZHEADER", L"%KVSFXPATH%\\kvheader.png"},
      {L"KVWIZLABEL", L"Dialog Test Setup"}, {L"KVDLGREADCAPT", L"#WizReadmeTitle"},
      {L"KVDLGREADINTRO", L"#WizReadmeDesc"}, {L"DLGSELPROMPT", L"#BrowseFolders"},
      {L"DLGSELPROMPT2", L"#AskBrowseFolders"}, {L"DLGSELPATH", L"C:\\Dest"},
      {L"KVDLGOVERFILE1", L"C:\\Dest\\a.txt"}, {L"KVDLGOVERFILE2", L"#Location C:\\Dest"},
      {L"KVDLGOVERFILE3", L"12 #Bytes"}};
  for (auto& var : vars) runtime.setVar(var[0], var[1]);
  ReadDataFilesFrom(runtime.folder);
  return runtime;
}

void ReadDataFilesFrom(const std::wstring& folder) {
  LoadedRuntime& runtime = TheRuntime();
  if (!runtime.module) return;
  runtime.setVar(L"KVSFXPATH", folder.c_str());
  runtime.initSfx(GetModuleHandleW(nullptr));
}
