// HardenDllSearch where the system offers default DLL directories: it sets them and loads none of
// the libraries it would otherwise preload.
#include "bootstrap/sfx_main.h"

#include <windows.h>
#include <gtest/gtest.h>

namespace {

const wchar_t* const kPreloadList[] = {L"version.dll", L"uxtheme.dll",  L"winmm.dll",
                                        L"winmmbase.dll", L"msimg32.dll", L"setupapi.dll",
                                        L"RICHED20.DLL"};

TEST(HardenDllSearchTest, DefaultDirectoriesLeaveThePreloadListUntouched) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(nullptr, kernel);
  if (GetProcAddress(kernel, "SetDefaultDllDirectories") == nullptr) {
    GTEST_SKIP() << "this system has no SetDefaultDllDirectories";
  }
  bool loadedBefore[sizeof kPreloadList / sizeof kPreloadList[0]];
  for (size_t i = 0; i < std::size(kPreloadList); ++i) {
    loadedBefore[i] = GetModuleHandleW(kPreloadList[i]) != nullptr;
  }
  HardenDllSearch();
  for (size_t i = 0; i < std::size(kPreloadList); ++i) {
    if (!loadedBefore[i]) {
      EXPECT_EQ(nullptr, GetModuleHandleW(kPreloadList[i])) << kPreloadList[i] << " was loaded";
    }
  }
  // System libraries are still found by bare name after the restriction.
  EXPECT_NE(nullptr, LoadLibraryW(L"winmm.dll"));
}

}  // namespace
