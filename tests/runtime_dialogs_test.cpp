// The runtime library's dialogs, built from the shipped data set under the test display: the
// controls of each page with their ids, client rectangles at 96 DPI and expanded texts, the
// page-callback protocol driven through real button clicks and keys, and a screenshot of every
// dialog under build/win/screenshots for a person to look at.
#include "kv_test_paths.h"
#include "runtime/zudada.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <vector>

namespace {

struct Runtime {
  HMODULE module = nullptr;
  decltype(&SetVar) setVar = nullptr;
  decltype(&InitSFX) initSfx = nullptr;
  decltype(&ShowDialogBox) showDialogBox = nullptr;
  decltype(&KVDlgGetDlgItem) getItem = nullptr;
};

template <typename F>
F Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

Runtime& TheRuntime() {
  static Runtime runtime;
  if (runtime.module) return runtime;
  std::wstring folder = std::wstring(kTestBinDir) + L"\\runtime\\";
  runtime.module = LoadLibraryW((folder + L"ZUDada.dll").c_str());
  if (!runtime.module) return runtime;
  runtime.setVar = Lookup<decltype(&SetVar)>(runtime.module, "SetVar");
  runtime.initSfx = Lookup<decltype(&InitSFX)>(runtime.module, "InitSFX");
  runtime.showDialogBox = Lookup<decltype(&ShowDialogBox)>(runtime.module, "ShowDialogBox");
  runtime.getItem = Lookup<decltype(&KVDlgGetDlgItem)>(runtime.module, "KVDlgGetDlgItem");
  const wchar_t* vars[][2] = {
      {L"KVSFXPATH", folder.c_str()}, {L"APPTITLE", L"Dialog Test"}, {L"SELLANG", L"English"},
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
  runtime.initSfx(GetModuleHandleW(nullptr));
  return runtime;
}

struct ControlCase {
  int id;
  int x, y, width, height;
  const wchar_t* text;  // expected window text, or null when not checked
};

struct DialogCase {
  const wchar_t* name;
  int clickId;      // the button the test clicks once the dialog is up
  int closeWith;    // what the callback answers to that click
  std::vector<ControlCase> controls;
};

// What the callback saw, for the test body to check after the dialog closed.
struct Observed {
  const DialogCase* dialog = nullptr;
  std::vector<std::pair<int, LPARAM>> events;
  std::vector<std::wstring> faults;
  HWND window = nullptr;
};
Observed observed;

void SaveScreenshot(HWND window, const std::wstring& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC windowDc = GetWindowDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
  GdiFlush();
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof header + sizeof info.bmiHeader;
  header.bfSize = header.bfOffBits + width * height * 4;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file) {
    fwrite(&header, sizeof header, 1, file);
    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file);
    fwrite(bits, 4, static_cast<size_t>(width) * height, file);
    fclose(file);
  }
  SelectObject(memoryDc, old);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
}

void CheckControls(HWND dialog) {
  for (const ControlCase& c : observed.dialog->controls) {
    HWND control = TheRuntime().getItem(dialog, c.id);
    if (!control) {
      observed.faults.push_back(L"no control " + std::to_wstring(c.id));
      continue;
    }
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.left != c.x || rect.top != c.y || rect.right - rect.left != c.width ||
        rect.bottom - rect.top != c.height) {
      observed.faults.push_back(L"control " + std::to_wstring(c.id) + L" at " +
                                std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) +
                                L" " + std::to_wstring(rect.right - rect.left) + L"x" +
                                std::to_wstring(rect.bottom - rect.top));
    }
    if (c.text) {
      wchar_t text[512] = L"";
      GetWindowTextW(control, text, 512);
      if (std::wstring(text) != c.text) {
        observed.faults.push_back(L"control " + std::to_wstring(c.id) + L" says \"" + text + L"\"");
      }
    }
  }
}

void CALLBACK ClickLater(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  std::wstring folder = std::wstring(kTestTmpDir) + L"\\..\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  SaveScreenshot(dialog, folder + L"\\" + observed.dialog->name + L".bmp");
  HWND button = TheRuntime().getItem(dialog, observed.dialog->clickId);
  if (button) {
    SendMessageW(button, BM_CLICK, 0, 0);
  } else {
    observed.faults.push_back(L"no button to click");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  }
}

int WINAPI RecordingProc(int event, HWND dialog, LPARAM parameter) {
  observed.events.push_back({event, parameter});
  if (event == 0) {
    observed.window = dialog;
    CheckControls(dialog);
    SetTimer(dialog, 1, 700, ClickLater);  // let the page paint before the screenshot
  }
  if (event == 1 && parameter == observed.dialog->clickId) return observed.dialog->closeWith;
  if (event == 3) return 9;
  return 0;
}

class DialogTest : public ::testing::TestWithParam<DialogCase> {};

TEST_P(DialogTest, BuildsItsControlsAndSpeaksTheProtocol) {
  Runtime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.module) << "ZUDada.dll not loadable from bin\\runtime";
  ASSERT_NE(nullptr, runtime.showDialogBox);
  observed = Observed();
  observed.dialog = &GetParam();
  int result = runtime.showDialogBox(GetParam().name, RecordingProc);
  EXPECT_EQ(GetParam().closeWith, result);
  for (const std::wstring& fault : observed.faults) ADD_FAILURE() << std::string(fault.begin(), fault.end());
  ASSERT_FALSE(observed.events.empty());
  EXPECT_EQ(0, observed.events.front().first);
  bool clicked = false;
  for (auto& e : observed.events) clicked |= e.first == 1 && e.second == GetParam().clickId;
  EXPECT_TRUE(clicked) << "no event 1 for the clicked button";
  EXPECT_EQ(2, observed.events.back().first);
  EXPECT_EQ(result, observed.events.back().second);
  EXPECT_FALSE(IsWindow(observed.window));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DialogTest,
    ::testing::Values(
        DialogCase{L"dlgoverwrite", 11, 7,
                   {{0, 400, 360, 81, 25, L"S&top"},
                    {4, 15, 10, 490, 58, L"There is already a file with the same name in the destination folder"},
                    {8, 15, 220, 490, 20, L"with this one?"},
                    {10, 150, 295, 100, 30, L"Yes, overwrite it"},
                    {11, 270, 295, 100, 30, L"No, skip it"},
                    {12, 15, 360, 200, 20, L"Do this for all conflicts"}}},
        DialogCase{L"dlgwizwelc", 2, 2,
                   {{1, 350, 360, 81, 25, L"&Next >"}, {2, 450, 360, 81, 25, L"&Cancel"},
                    {3, 270, 360, 81, 25, L"< &Back"}, {5, 190, 3, 340, 342, nullptr},
                    {6, 0, 0, 180, 350, nullptr}}},
        DialogCase{L"dlgwizreadme", 3, 3,
                   {{20, 10, 65, 530, 275, nullptr}, {10, 15, 4, 440, 18, L"Readme Information"},
                    {11, 15, 22, 440, 32, L"Please read the following important information:"},
                    {6, 460, 0, 90, 58, nullptr}, {12, 10, 360, 160, 40, L"Dialog Test Setup"}}},
        DialogCase{L"dlgwizseldir", 1, 1,
                   {{20, 15, 130, 435, 24, L"C:\\Dest"}, {21, 460, 129, 81, 25, L"Bro&wse"},
                    {22, 15, 90, 520, 30, L"Please select the destination folder:"},
                    {10, 15, 4, 440, 18, L"Destination Folder for Files"}}},
        DialogCase{L"dlgprogress", 2, 2,
                   {{21, 15, 90, 520, 30, L""}, {20, 15, 140, 520, 18, nullptr},
                    {10, 15, 4, 440, 18, L"Unpacking Files"}}},
        DialogCase{L"dlgwizfinal", 1, 1,
                   {{1, 350, 360, 81, 25, L"&Close"}, {5, 190, 3, 340, 250, nullptr},
                    {9, 0, 0, 180, 350, nullptr}}}),
    [](const ::testing::TestParamInfo<DialogCase>& info) {
      std::wstring name = info.param.name;
      return std::string(name.begin(), name.end());
    });

}  // namespace
