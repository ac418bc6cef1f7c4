// The runtime library's dialogs, built from the shipped data set under the test display: the
// controls of each page with their ids, client rectangles at 96 DPI and expanded texts, the
// page-callback protocol driven through real button clicks and keys, and a screenshot of every
// dialog under build/win/screenshots for a person to look at.
#include "kv_test_paths.h"
#include "runtime_loader.h"
#include "screenshot.h"

#include <windows.h>
#include <richedit.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct ControlCase {
  int id;
  int x, y, width, height;
  const wchar_t* text;  // expected window text, or null when not checked
  const wchar_t* image = nullptr;  // the runtime file an image control must show
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

void CheckControls(HWND dialog) {
  for (const ControlCase& c : observed.dialog->controls) {
    HWND control = TheRuntime().getItem(dialog, c.id);
    if (!control) {
      observed.faults.push_back(L"no control " + std::to_wstring(c.id));
      continue;
    }
    if (!IsWindowVisible(control)) observed.faults.push_back(L"control " + std::to_wstring(c.id) + L" is hidden");
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

// A carried bitmap (32-bit, bottom-up, pixels at 54), read whole.
struct Bitmap {
  int width = 0, height = 0;
  std::vector<unsigned char> bytes;
  bool Load(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    unsigned char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    memcpy(&width, &bytes[18], 4);
    memcpy(&height, &bytes[22], 4);
    return width > 0 && height > 0 && bytes.size() >= 54 + static_cast<size_t>(width) * height * 4;
  }
  // The colour at x, y counted from the top left.
  COLORREF Pixel(int x, int y) const {
    size_t at = 54 + (static_cast<size_t>(height - 1 - y) * width + x) * 4;
    return RGB(bytes[at + 2], bytes[at + 1], bytes[at]);
  }
};

bool SimilarColour(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= 24 && std::abs(GetGValue(a) - GetGValue(b)) <= 24 &&
         std::abs(GetBValue(a) - GetBValue(b)) <= 24;
}

// An image control shows its file, stretched to the control: the screen matches the bitmap at
// 9 points (all but one; the stretching blends neighbours, hence the tolerance too).
void CheckImages(HWND dialog) {
  for (const ControlCase& c : observed.dialog->controls) {
    if (!c.image) continue;
    HWND control = TheRuntime().getItem(dialog, c.id);
    Bitmap bitmap;
    if (!control || !bitmap.Load(TheRuntime().folder + c.image)) {
      observed.faults.push_back(L"no image " + std::to_wstring(c.id) + L" or no " + c.image);
      continue;
    }
    HDC dc = GetDC(control);
    int matches = 0;
    for (int fx = 1; fx < 4; ++fx) {
      for (int fy = 1; fy < 4; ++fy) {
        int x = c.width * fx / 4, y = c.height * fy / 4;
        COLORREF want = bitmap.Pixel(x * bitmap.width / c.width, y * bitmap.height / c.height);
        if (SimilarColour(GetPixel(dc, x, y), want)) ++matches;
      }
    }
    ReleaseDC(control, dc);
    if (matches < 8) {
      observed.faults.push_back(L"image " + std::to_wstring(c.id) + L" matches " + c.image + L" at " +
                                std::to_wstring(matches) + L" of 9 points");
    }
  }
}

void CALLBACK ClickLater(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  CheckImages(dialog);
  std::wstring folder = std::wstring(kTestTmpDir) + L"\\..\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  SaveScreenshot(dialog, folder + L"\\" + observed.dialog->name + L".png");
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

void PrintTo(const DialogCase& c, std::ostream* os) {
  *os << std::string(c.name, c.name + wcslen(c.name));
}

class DialogTest : public ::testing::TestWithParam<DialogCase> {};

TEST_P(DialogTest, BuildsItsControlsAndSpeaksTheProtocol) {
  LoadedRuntime& runtime = TheRuntime();
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
                    {6, 0, 0, 180, 350, nullptr, L"kvwaterm.png"}}},
        DialogCase{L"dlgwizreadme", 3, 3,
                   {{20, 10, 65, 530, 275, nullptr}, {10, 15, 4, 440, 18, L"Readme Information"},
                    {11, 15, 22, 440, 32, L"Please read the following important information:"},
                    {6, 460, 0, 90, 58, nullptr, L"kvheader.png"}, {12, 10, 360, 160, 40, L"Dialog Test Setup"}}},
        DialogCase{L"dlgwizseldir", 1, 1,
                   {{20, 15, 130, 435, 24, L"C:\\Dest"}, {21, 460, 129, 81, 25, L"Bro&wse"},
                    {22, 15, 90, 520, 30, L"Please select the destination folder:"},
                    {10, 15, 4, 440, 18, L"Destination Folder for Files"}}},
        DialogCase{L"dlgprogress", 2, 2,
                   {{21, 15, 90, 520, 30, L""}, {20, 15, 140, 520, 18, nullptr},
                    {10, 15, 4, 440, 18, L"Unpacking Files"}}},
        DialogCase{L"dlgwizfinal", 1, 1,
                   {{1, 350, 360, 81, 25, L"&Close"}, {5, 190, 3, 340, 250, nullptr},
                    {9, 0, 0, 180, 350, nullptr, L"kvwaterm.png"}}}),
    [](const ::testing::TestParamInfo<DialogCase>& info) {
      std::wstring name = info.param.name;
      return std::string(name.begin(), name.end());
    });


// The keyboard, as a user presses it: keys go through SendInput to the page in front, one step
// per timer tick, and each step says which control must have the focus once its keys are done.
constexpr int kAnyFocus = -100;

struct Stroke {
  WORD key;
  WORD modifier;  // 0, VK_SHIFT or VK_MENU (Alt), held around the key
};

struct KeyStep {
  std::vector<Stroke> strokes;
  int focusAfter;  // the id of the focused control after the strokes, or kAnyFocus
};

// The callback's answer to an event: entries are used once each, first match first.
struct Answer {
  int event;
  LPARAM parameter;
  int result;
};

struct KeyCase {
  const char* name;
  const wchar_t* dialog;
  int initialFocus;
  std::vector<KeyStep> steps;
  std::vector<Answer> answers;
  std::vector<std::pair<int, LPARAM>> events;  // every event the callback must see, in order
  int result;
};

const Stroke kTab = {VK_TAB, 0};
const Stroke kBackTab = {VK_TAB, VK_SHIFT};
const Stroke kReturn = {VK_RETURN, 0};
const Stroke kEscape = {VK_ESCAPE, 0};
const Stroke kSpace = {VK_SPACE, 0};
Stroke Alt(char letter) { return {static_cast<WORD>(letter), VK_MENU}; }

struct KeyRun {
  const KeyCase* test = nullptr;
  std::vector<bool> used;  // per answer
  size_t step = 0;         // the next step to press
  std::vector<std::pair<int, LPARAM>> events;
  std::vector<std::string> faults;
};
KeyRun keyRun;

void Press(const Stroke& stroke) {
  std::vector<INPUT> inputs;
  auto add = [&inputs](WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (stroke.modifier) add(stroke.modifier, false);
  add(stroke.key, false);
  add(stroke.key, true);
  if (stroke.modifier) add(stroke.modifier, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The id of the focused control of dialog, -1 when the focus is elsewhere.
int FocusedId(HWND dialog) {
  HWND focus = GetFocus();
  if (!focus || !IsChild(dialog, focus)) return -1;
  return GetDlgCtrlID(focus);
}

void CALLBACK NextKeyStep(HWND dialog, UINT, UINT_PTR, DWORD) {
  const KeyCase& test = *keyRun.test;
  int expected = keyRun.step == 0 ? test.initialFocus : test.steps[keyRun.step - 1].focusAfter;
  if (expected != kAnyFocus && FocusedId(dialog) != expected) {
    keyRun.faults.push_back("after step " + std::to_string(keyRun.step) + " the focus is on " +
                            std::to_string(FocusedId(dialog)) + ", not on " +
                            std::to_string(expected));
  }
  if (keyRun.step == test.steps.size()) {
    // Every key was pressed and the page is still open.
    KillTimer(dialog, 2);
    keyRun.faults.push_back("the page stayed open after the last key");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return;
  }
  for (const Stroke& stroke : test.steps[keyRun.step].strokes) Press(stroke);
  ++keyRun.step;
}

int WINAPI KeyProc(int event, HWND dialog, LPARAM parameter) {
  keyRun.events.push_back({event, parameter});
  if (event == 0) {
    SetForegroundWindow(dialog);
    SetTimer(dialog, 2, 250, NextKeyStep);
    return 0;
  }
  const std::vector<Answer>& answers = keyRun.test->answers;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (!keyRun.used[i] && answers[i].event == event && answers[i].parameter == parameter) {
      keyRun.used[i] = true;
      return answers[i].result;
    }
  }
  return 0;
}

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class KeyboardTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyboardTest, KeysReachThePage) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showDialogBox) << "ZUDada.dll not loadable from bin\\runtime";
  const KeyCase& test = GetParam();
  keyRun = KeyRun();
  keyRun.test = &test;
  keyRun.used.assign(test.answers.size(), false);
  int result = runtime.showDialogBox(test.dialog, KeyProc);
  for (const std::string& fault : keyRun.faults) ADD_FAILURE() << fault;
  EXPECT_EQ(test.result, result);
  EXPECT_EQ(test.steps.size(), keyRun.step) << "the page closed before the last key";
  std::vector<std::pair<int, LPARAM>> expected = test.events;
  expected.insert(expected.begin(), {0, 0});
  expected.push_back({2, test.result});
  EXPECT_EQ(expected, keyRun.events);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyboardTest,
    ::testing::Values(
        // Tab and Shift+Tab walk the tab stops in file order and wrap; Escape is Cancel.
        KeyCase{"tab_order", L"dlgwizseldir", 20,
                {{{kTab}, 21}, {{kTab}, 1}, {{kTab}, 2}, {{kTab}, 3}, {{kTab}, 20},
                 {{kBackTab}, 3}, {{kEscape}, kAnyFocus}},
                {{1, 2, 2}},
                {{1, 2}},
                2},
        // Return in the edit field is event 3; a zero answer keeps the page, a value closes it.
        KeyCase{"return_key", L"dlgwizseldir", 20,
                {{{kReturn}, 20}, {{kReturn}, kAnyFocus}},
                {{3, 0, 0}, {3, 0, 5}},
                {{3, 0}, {3, 0}},
                5},
        // Return on a focused push button presses that button, as anywhere in Windows.
        KeyCase{"return_on_button", L"dlgwizseldir", 20,
                {{{kTab}, 21}, {{kReturn}, 21}, {{kEscape}, kAnyFocus}},
                {{1, 2, 2}},
                {{1, 21}, {1, 2}},
                2},
        // The "&" letters: Bro&wse and < &Back, pressed with Alt.
        KeyCase{"mnemonics", L"dlgwizseldir", 20,
                {{{Alt('W')}, kAnyFocus}, {{Alt('B')}, kAnyFocus}},
                {{1, 3, 3}},
                {{1, 21}, {1, 3}},
                3},
        // The readme document takes the focus but lets Tab and Return through to the page.
        KeyCase{"readme_document", L"dlgwizreadme", 20,
                {{{kTab}, 1}, {{kTab}, 2}, {{kTab}, 3}, {{kTab}, 20}, {{kReturn}, kAnyFocus}},
                {{3, 0, 1}},
                {{3, 0}},
                1},
        // The overwrite question starts on its default button; the check box toggles with Space
        // and Return then presses the default button.
        KeyCase{"overwrite_box", L"dlgoverwrite", 10,
                {{{kTab}, 11}, {{kTab}, 12}, {{kSpace}, 12}, {{kTab}, 0}, {{kTab}, 10},
                 {{kReturn}, kAnyFocus}},
                {{1, 10, 1}},
                {{1, 12}, {1, 10}},
                1}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });


// The page documents as the user reads them: the Markdown's marks are gone, bold is bold, a hard
// line break is a line break within its paragraph, escapes and no-break spaces are resolved,
// and the text is read-only and wrapped to the control.
struct DocumentCase {
  const wchar_t* dialog;
  int id;
  std::vector<const wchar_t*> shown;       // texts the document holds
  std::vector<const wchar_t*> bold;        // texts shown in bold
  std::vector<const wchar_t*> plain;       // texts shown not bold
  std::vector<const wchar_t*> lineStarts;  // texts that begin a line: hard breaks
  const wchar_t* wrapped;                  // a paragraph that must take more than one line, or null
};

void PrintTo(const DocumentCase& c, std::ostream* os) {
  *os << std::string(c.dialog, c.dialog + wcslen(c.dialog));
}

struct DocumentSeen {
  const DocumentCase* test = nullptr;
  std::vector<std::string> faults;
};
DocumentSeen documentSeen;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c == L'\r' ? std::string("\\r") : std::string(1, static_cast<char>(c));
  return out;
}

// The position of text in the document, -1 when absent.
LONG FindInDocument(HWND document, const wchar_t* text) {
  FINDTEXTEXW find = {};
  find.chrg.cpMin = 0;
  find.chrg.cpMax = -1;
  find.lpstrText = text;
  return static_cast<LONG>(SendMessageW(document, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE,
                                        reinterpret_cast<LPARAM>(&find)));
}

// Whether the whole of text (found in the document) is bold: 1 bold, 0 not, -1 mixed or absent.
int BoldState(HWND document, const wchar_t* text) {
  LONG at = FindInDocument(document, text);
  if (at < 0) return -1;
  CHARRANGE range = {at, at + static_cast<LONG>(wcslen(text))};
  SendMessageW(document, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMAT2W format = {};
  format.cbSize = sizeof format;
  SendMessageW(document, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  if (!(format.dwMask & CFM_BOLD)) return -1;
  return (format.dwEffects & CFE_BOLD) ? 1 : 0;
}

void CheckDocument(HWND dialog) {
  const DocumentCase& test = *documentSeen.test;
  auto fault = [](const std::string& what) { documentSeen.faults.push_back(what); };
  HWND document = TheRuntime().getItem(dialog, test.id);
  if (!document) return fault("no document control");
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(document)) + 1, L'\0');
  GETTEXTEX get = {};
  get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;
  SendMessageW(document, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
               reinterpret_cast<LPARAM>(&text[0]));
  text.resize(wcslen(text.c_str()));
  for (const wchar_t* shown : test.shown) {
    if (text.find(shown) == std::wstring::npos) fault("lacks \"" + Narrow(shown) + "\" in \"" + Narrow(text) + "\"");
  }
  for (const wchar_t* mark : {L"**", L"\\_", L"\u00a0"}) {
    if (text.find(mark) != std::wstring::npos) fault("shows the mark \"" + Narrow(mark) + "\"");
  }
  for (const wchar_t* bold : test.bold) {
    if (BoldState(document, bold) != 1) fault("\"" + Narrow(bold) + "\" is not bold");
  }
  for (const wchar_t* plain : test.plain) {
    if (BoldState(document, plain) != 0) fault("\"" + Narrow(plain) + "\" is not plain");
  }
  auto lineOf = [document](LONG at) {
    return static_cast<LONG>(SendMessageW(document, EM_EXLINEFROMCHAR, 0, at));
  };
  for (const wchar_t* start : test.lineStarts) {
    LONG at = FindInDocument(document, start);
    LONG lineStart = static_cast<LONG>(SendMessageW(document, EM_LINEINDEX, lineOf(at), 0));
    if (at < 0 || lineStart != at) fault("\"" + Narrow(start) + "\" does not begin a line");
  }
  if (test.wrapped) {
    LONG start = FindInDocument(document, test.wrapped);
    if (start < 0 || lineOf(start + static_cast<LONG>(wcslen(test.wrapped)) - 1) <= lineOf(start)) {
      fault("the long paragraph is not wrapped to the control");
    }
  }
  LRESULT options = SendMessageW(document, EM_GETOPTIONS, 0, 0);
  if (!(options & ECO_READONLY)) fault("the document is not read-only");
}

int WINAPI DocumentProc(int event, HWND dialog, LPARAM) {
  if (event == 0) {
    CheckDocument(dialog);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  }
  return 0;
}

class DocumentTest : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(DocumentTest, ShowsTheMarkdownAsText) {
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showDialogBox) << "ZUDada.dll not loadable from bin\\runtime";
  documentSeen = DocumentSeen();
  documentSeen.test = &GetParam();
  EXPECT_EQ(kPageCancel, runtime.showDialogBox(GetParam().dialog, DocumentProc));
  for (const std::string& fault : documentSeen.faults) ADD_FAILURE() << fault;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentTest,
    ::testing::Values(
        DocumentCase{L"dlgwizwelc", 5,
                     {L"Welcome to the Demo Package\r", L"Home page: example.org/demo-package"},
                     {L"Welcome to the Demo Package"},
                     {L"Click Next to continue"},
                     {},
                     L"This package installs the demo files of the Demo Package on your computer."},
        DocumentCase{L"dlgwizreadme", 20,
                     {L"Version 1.0.0.0", L"readme_1 keep their underscores"},
                     {L"Release notes", L"Contents", L"Known issues"},
                     {L"None at this time.", L"Version 1.0.0.0"},
                     {L"First release of the demo files.", L"Tools64: tool1.txt"},
                     nullptr},
        DocumentCase{L"dlgwizfinal", 5,
                     {L"1)\tOpen the destination folder.", L"2)\tRead Main\\readme1.txt first."},
                     {L"Extraction complete"},
                     {L"Click Close to finish."},
                     {},
                     L"The files were extracted into the folder you chose. To use them:"}),
    [](const ::testing::TestParamInfo<DocumentCase>& info) {
      std::wstring name = info.param.dialog;
      return std::string(name.begin(), name.end());
    });


// Scaling for the monitor's DPI: the test sets the prefix's display to 144 DPI and starts itself
// again as a DPI-aware process, which shows the destination page and checks that the client
// area, the controls and the font grew by half. The setting is put back whatever happens.
const wchar_t kDpiChildVariable[] = L"KV_DPI_CHILD";

struct ScaledSeen {
  int dpi = 96;
  std::vector<std::string> faults;
};
ScaledSeen scaledSeen;

int WINAPI ScaledProc(int event, HWND dialog, LPARAM) {
  if (event != 0) return 0;
  auto scaled = [](int value) { return value * scaledSeen.dpi / 96; };
  auto within = [](int got, int want) { return got >= want - 1 && got <= want + 1; };
  RECT client;
  GetClientRect(dialog, &client);
  if (!within(client.right, scaled(550)) || !within(client.bottom, scaled(400))) {
    scaledSeen.faults.push_back("client area " + std::to_string(client.right) + "x" +
                                std::to_string(client.bottom));
  }
  struct Expected { int id, x, y, width, height; };
  for (const Expected& c : {Expected{20, 15, 130, 435, 24}, Expected{21, 460, 129, 81, 25},
                            Expected{1, 350, 360, 81, 25}, Expected{9, -3, 58, 556, 2}}) {
    HWND control = TheRuntime().getItem(dialog, c.id);
    RECT rect = {};
    if (control) {
      GetWindowRect(control, &rect);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    }
    if (!control || !within(rect.left, scaled(c.x)) || !within(rect.top, scaled(c.y)) ||
        !within(rect.right - rect.left, scaled(c.width)) || !within(rect.bottom - rect.top, scaled(c.height))) {
      scaledSeen.faults.push_back("control " + std::to_string(c.id) + " at " + std::to_string(rect.left) +
                                  "," + std::to_string(rect.top) + " " +
                                  std::to_string(rect.right - rect.left) + "x" +
                                  std::to_string(rect.bottom - rect.top));
    }
  }
  LOGFONTW font = {};
  HFONT handle = reinterpret_cast<HFONT>(SendMessageW(TheRuntime().getItem(dialog, 22), WM_GETFONT, 0, 0));
  if (!handle || !GetObjectW(handle, sizeof font, &font)) {
    scaledSeen.faults.push_back("the prompt has no font");
  } else if (std::abs(font.lfHeight) * 96 < 10 * scaledSeen.dpi) {
    scaledSeen.faults.push_back("the font is " + std::to_string(font.lfHeight) + " pixels high");
  }
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  return 0;
}

// The child's part: the display is at dpi, the page must follow it.
void ShowThePageScaled(const wchar_t* dpi) {
  SetProcessDPIAware();
  scaledSeen = ScaledSeen();
  scaledSeen.dpi = _wtoi(dpi);
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showDialogBox);
  HDC screen = GetDC(nullptr);
  int systemDpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(scaledSeen.dpi, systemDpi) << "the display is not at the DPI the parent set";
  EXPECT_EQ(kPageCancel, runtime.showDialogBox(L"dlgwizseldir", ScaledProc));
  for (const std::string& fault : scaledSeen.faults) ADD_FAILURE() << fault;
}

TEST(DpiScaling, PagesFollowTheDisplay) {
  wchar_t childDpi[16] = L"";
  if (GetEnvironmentVariableW(kDpiChildVariable, childDpi, 16)) return ShowThePageScaled(childDpi);
  HKEY desktop;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &desktop, nullptr));
  DWORD old = 0, oldSize = sizeof old, type = 0;
  bool hadValue = RegQueryValueExW(desktop, L"LogPixels", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&old), &oldSize) == ERROR_SUCCESS;
  DWORD dpi = 144;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&dpi), sizeof dpi));
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=DpiScaling.PagesFollowTheDisplay";
  SetEnvironmentVariableW(kDpiChildVariable, L"144");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  SetEnvironmentVariableW(kDpiChildVariable, nullptr);
  DWORD exitCode = 1;
  DWORD waited = WAIT_FAILED;
  if (started) {
    waited = WaitForSingleObject(process.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (hadValue) {
    RegSetValueExW(desktop, L"LogPixels", 0, type, reinterpret_cast<const BYTE*>(&old), oldSize);
  } else {
    RegDeleteValueW(desktop, L"LogPixels");
  }
  RegCloseKey(desktop);
  ASSERT_TRUE(started);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), waited) << "the child did not end";
  EXPECT_EQ(0u, exitCode) << "the page did not scale (see the child's output above)";
}

}  // namespace
