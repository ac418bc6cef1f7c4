// The runtime library's non-window operations through its exports, as the extractor calls them:
// expansion into the library's result and into the caller's buffers of the sizes it uses, the
// library's own MYDOCDIR, copies taken by SetVar, and the per-file check against the destination
// folder that the wizard publishes through variables.
#include "kv_test_paths.h"
#include "runtime_loader.h"

#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Exports, ExpandThroughTheLibrary) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.evalVar) << "ZUDada.dll not loadable from bin\\runtime";
  EXPECT_STREQ(L"with this one?", runtime.evalVar(L"#Confirmreplaceaskn"));
  EXPECT_STREQ(L"Dialog Test", runtime.evalVar(L"%APPTITLE%"));
  EXPECT_EQ(nullptr, runtime.evalVar(nullptr));

  wchar_t documents[MAX_PATH] = L"";
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)));
  EXPECT_STREQ(documents, runtime.evalVar(L"%MYDOCDIR%"));

  // The strings are copied: changing the caller's buffers afterwards changes nothing.
  wchar_t name[] = L"KVCOPYTEST";
  wchar_t value[] = L"first";
  runtime.setVar(name, value);
  wcscpy(name, L"KVOTHERNAM");
  wcscpy(value, L"later");
  EXPECT_STREQ(L"first", runtime.evalVar(L"%KVCOPYTEST%"));
}

struct BufferCase {
  int bytes;
  const wchar_t* expected;
};

void PrintTo(const BufferCase& c, std::ostream* os) { *os << c.bytes << " bytes"; }

class EvalVarBufTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(EvalVarBufTest, CutsToFitAndTerminates) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.evalVarBuf) << "ZUDada.dll not loadable from bin\\runtime";
  runtime.setVar(L"KVLONG", std::wstring(2000, L'x').c_str());
  std::wstring buffer(1600, L'?');
  runtime.evalVarBuf(L"#Confirmreplaceask %KVLONG%", &buffer[0], GetParam().bytes);
  std::wstring full = std::wstring(L"Would you like to replace the existing file ") + std::wstring(2000, L'x');
  size_t units = static_cast<size_t>(GetParam().bytes) / sizeof(wchar_t);
  std::wstring expected = GetParam().expected ? GetParam().expected : full.substr(0, units - 1);
  EXPECT_EQ(expected, std::wstring(buffer.c_str()));
  EXPECT_EQ(L'?', buffer[units]) << "written past the buffer's size";
}

INSTANTIATE_TEST_SUITE_P(Sizes, EvalVarBufTest,
                         ::testing::Values(BufferCase{2, L""}, BufferCase{8, L"Wou"},
                                           BufferCase{1040, nullptr}, BufferCase{1564, nullptr}),
                         [](const ::testing::TestParamInfo<BufferCase>& info) {
                           return std::to_string(info.param.bytes) + "_bytes";
                         });

struct PropCase {
  const char* name;
  const wchar_t* main;    // VCOMPMAIN
  const wchar_t* path;    // the destination path handed in
  int answer;
};

void PrintTo(const PropCase& c, std::ostream* os) { *os << c.name; }

class CheckFilePropTest : public ::testing::TestWithParam<PropCase> {};

TEST_P(CheckFilePropTest, AnswersFromThePropertyList) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.checkFileProp) << "ZUDada.dll not loadable from bin\\runtime";
  // The wizard points DESTPATH at the folder typed on the destination page.
  runtime.setVar(L"DLGSELPATH", L"C:\\Users\\Demo\\Documents");
  runtime.setVar(L"DESTPATH", L"%DLGSELPATH%");
  runtime.setVar(L"VCOMPMAIN", GetParam().main);
  runtime.setVar(L"VCOMPMK64", L"1");
  wchar_t buffer[782] = L"";
  wcscpy(buffer, GetParam().path);
  EXPECT_EQ(GetParam().answer, runtime.checkFileProp(0, buffer, sizeof buffer));
  EXPECT_STREQ(GetParam().path, buffer) << "the path was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Files, CheckFilePropTest,
    ::testing::Values(
        PropCase{"listed_wanted", L"1", L"C:\\Users\\Demo\\Documents\\Main\\readme1.txt", 1},
        PropCase{"listed_not_wanted", L"0", L"C:\\Users\\Demo\\Documents\\Main\\readme1.txt", 0},
        PropCase{"case_of_windows", L"0", L"c:\\USERS\\demo\\documents\\MAIN\\README1.TXT", 0},
        PropCase{"other_folder_listed", L"0", L"C:\\Users\\Demo\\Documents\\Tools64\\tool1.txt", 1},
        PropCase{"unlisted", L"0", L"C:\\Users\\Demo\\Documents\\Main\\notes.txt", 1},
        PropCase{"outside_destination", L"0", L"C:\\Elsewhere\\Main\\readme1.txt", 1}),
    [](const ::testing::TestParamInfo<PropCase>& info) { return std::string(info.param.name); });

}  // namespace

// Once released, the library leaves the process, also after the calling thread used EvalVar,
// whose result lives on in the library: a library that stayed loaded could not be deleted with
// the runtime folder. A copy of its own is loaded, beside the one the other tests use.
TEST(Exports, TheLibraryUnloadsAfterUse) {
  std::wstring folder = std::wstring(kTestTmpDir) + L"\\unload";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring copy = folder + L"\\ZUDada.dll";
  ASSERT_TRUE(CopyFileW((TheRuntime().folder + L"ZUDada.dll").c_str(), copy.c_str(), FALSE));
  HMODULE library = LoadLibraryW(copy.c_str());
  ASSERT_NE(nullptr, library);
  auto setVar = reinterpret_cast<decltype(&SetVar)>(
      reinterpret_cast<void*>(GetProcAddress(library, "SetVar")));
  auto evalVar = reinterpret_cast<decltype(&EvalVar)>(
      reinterpret_cast<void*>(GetProcAddress(library, "EvalVar")));
  ASSERT_TRUE(setVar && evalVar);
  setVar(L"KVUNLOAD", L"value");
  EXPECT_STREQ(L"value", evalVar(L"%KVUNLOAD%"));
  FreeLibrary(library);
  HMODULE still = nullptr;
  EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  reinterpret_cast<LPCWSTR>(evalVar), &still))
      << "the library is still loaded";
  EXPECT_TRUE(DeleteFileW(copy.c_str())) << "its file cannot be deleted, error " << GetLastError();
}
