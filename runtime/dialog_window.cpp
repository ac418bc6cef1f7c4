// Dialog windows built from the dialog definition file.
//
// Flag letters (one capital letter each; unknown letters are ignored):
//   section   "N" a wizard page, centred on its monitor, with a minimise box;
//             "C" a confirmation box, centred over the process's active window, no minimise box.
//   button    "N" plain; "D" the default push button.
//   label     "N" on the dialog's own background, colour ignored; "C" on the record's colour;
//             "B" bold; "H" a heading (bold, a little larger); "D" dimmed text (grey).
//   edit      "N" plain.
//   check box "N" on the dialog's background; "W" on the background of its container.
//   image     "N" the bitmap stretched to the control.
//   document  "B" no border; "L" on the background of its container; "K" sunken frame and a tab
//             stop, so the keyboard scrolls it. The record's number is the source format:
//             0 plain text, 1 RTF, 2 Markdown.
//   container "C" filled with its colour; "R" a rule: top row in its colour, the rest white.
// Containers are child windows at the bottom of the z-order; the controls "in" them are their
// siblings above them, so tab order is file order and the dialog manager sees every control.
#include "dialog_window.h"

#include <commctrl.h>
#include <richedit.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bitmap_file.h"
#include "data_lines.h"
#include "dialog_file.h"
#include "markdown_rtf.h"

namespace {

const wchar_t kPanelClass[] = L"KVDlgPanel";
const wchar_t kImageClass[] = L"KVDlgImage";

struct ImageData {
  std::string bytes;
  BitmapView view;
};

struct ControlInfo {
  HWND window = nullptr;
  const ControlDef* def = nullptr;
  COLORREF background = 0;
  bool ownBackground = false;  // WM_CTLCOLOR* answers with background
  bool dimmed = false;
};

struct DialogData {
  KVPageProc callback = nullptr;
  DialogDef def;
  bool isProgress = false;
  bool done = false;
  int result = 0;
  int dpi = 96;
  HFONT font = nullptr;
  HFONT boldFont = nullptr;
  HFONT headingFont = nullptr;
  std::vector<ControlInfo> controls;
  std::vector<std::unique_ptr<ImageData>> images;
  std::map<COLORREF, HBRUSH> brushes;
};

DialogData* DataOf(HWND dialog) {
  return reinterpret_cast<DialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

int Scale(const DialogData& data, int value) { return MulDiv(value, data.dpi, 96); }

HBRUSH BrushFor(DialogData& data, COLORREF colour) {
  auto it = data.brushes.find(colour);
  if (it != data.brushes.end()) return it->second;
  HBRUSH brush = CreateSolidBrush(colour);
  data.brushes[colour] = brush;
  return brush;
}

COLORREF FromFileColour(int colour) {
  // The file writes colours as 0xRRGGBB.
  return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

bool HasFlag(const std::wstring& flags, wchar_t letter) {
  return flags.find(letter) != std::wstring::npos;
}

// Ends the dialog with result, telling the callback (event 2) once.
void FinishDialog(HWND dialog, DialogData& data, int result) {
  if (data.done) return;
  data.done = true;
  data.result = result;
  if (data.isProgress) ShowWindow(dialog, SW_HIDE);
  if (data.callback) data.callback(2, dialog, result);
  // A sent message (the progress box's close message) is handled inside GetMessageW, which
  // returns only for a posted one: wake the loop so that it sees the dialog is done.
  PostMessageW(dialog, WM_NULL, 0, 0);
}

// Events 1 and 3: a non-zero answer closes the dialog with that value.
void FireEvent(HWND dialog, DialogData& data, int event, int parameter) {
  if (data.done || !data.callback) return;
  int answer = data.callback(event, dialog, parameter);
  if (answer != 0) FinishDialog(dialog, data, answer);
}

const ControlInfo* InfoOfWindow(const DialogData& data, HWND window) {
  for (const ControlInfo& info : data.controls) {
    if (info.window == window) return &info;
  }
  return nullptr;
}

const ControlInfo* InfoOfId(const DialogData& data, int id) {
  for (const ControlInfo& info : data.controls) {
    if (info.def->id == id) return &info;
  }
  return nullptr;
}

// The Return key: a focused push button is pressed, as Windows users expect; anywhere else the
// page gets event 3 (the progress box has no use for it).
void HandleReturn(HWND dialog, DialogData& data) {
  HWND focus = GetFocus();
  const ControlInfo* info = InfoOfWindow(data, focus);
  if (info && info->def->kind == ControlKind::Button && IsWindowEnabled(focus)) {
    FireEvent(dialog, data, 1, info->def->id);
    return;
  }
  if (!data.isProgress) FireEvent(dialog, data, 3, 0);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogData* data = DataOf(dialog);
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      return FALSE;
    case WM_COMMAND: {
      if (!data) return FALSE;
      HWND from = reinterpret_cast<HWND>(lParam);
      const ControlInfo* info = from ? InfoOfWindow(*data, from) : nullptr;
      if (info) {
        bool isButton = info->def->kind == ControlKind::Button ||
                        info->def->kind == ControlKind::CheckBox;
        if (isButton && HIWORD(wParam) == BN_CLICKED) FireEvent(dialog, *data, 1, info->def->id);
        return TRUE;
      }
      if (!from && LOWORD(wParam) == IDCANCEL) {
        // Escape clicks the Cancel button (id 2) when the page shows it.
        const ControlInfo* cancel = InfoOfId(*data, kPageCancel);
        if (cancel && cancel->def->kind == ControlKind::Button && IsWindowVisible(cancel->window) &&
            IsWindowEnabled(cancel->window)) {
          FireEvent(dialog, *data, 1, kPageCancel);
        }
      }
      return TRUE;
    }
    case WM_CLOSE:
      if (!data) return FALSE;
      // The progress box's close button asks like its Cancel button; a page closes with 2.
      if (data->isProgress) {
        FireEvent(dialog, *data, 1, kPageCancel);
      } else {
        FinishDialog(dialog, *data, kPageCancel);
      }
      return TRUE;
    case kProgressCloseMessage:
      if (data && data->isProgress) FinishDialog(dialog, *data, 0);
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT: {
      if (!data) return FALSE;
      const ControlInfo* info = InfoOfWindow(*data, reinterpret_cast<HWND>(lParam));
      if (!info || (!info->ownBackground && !info->dimmed)) return FALSE;
      HDC dc = reinterpret_cast<HDC>(wParam);
      COLORREF back = info->ownBackground ? info->background : GetSysColor(COLOR_BTNFACE);
      SetBkColor(dc, back);
      SetTextColor(dc, GetSysColor(info->dimmed ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
      return reinterpret_cast<INT_PTR>(BrushFor(*data, back));
    }
    default:
      return FALSE;
  }
}

// Containers: filled with their colour, or for a rule the top half in its colour and the rest
// white. The colour is in GWLP_USERDATA, with bit 24 set for a rule.
void PaintPanel(HWND window, HDC dc, const RECT& rect) {
  LONG_PTR value = GetWindowLongPtrW(window, GWLP_USERDATA);
  HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(value & 0xFFFFFF));
  if (value & 0x1000000) {
    RECT top = rect;
    top.bottom = top.top + (rect.bottom - rect.top + 1) / 2;
    FillRect(dc, &top, brush);
    RECT rest = rect;
    rest.top = top.bottom;
    FillRect(dc, &rest, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  } else {
    FillRect(dc, &rect, brush);
  }
  DeleteObject(brush);
}

// Images: the bitmap stretched to the control; the ImageData is in GWLP_USERDATA.
void PaintImage(HWND window, HDC dc, const RECT& rect) {
  const ImageData* image =
      reinterpret_cast<const ImageData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (image) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image->view.width;
    info.bmiHeader.biHeight = image->view.bottomUp ? image->view.height : -image->view.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(image->view.bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, 0, 0, rect.right, rect.bottom, 0, 0, image->view.width,
                  image->view.height, image->bytes.data() + image->view.pixelOffset, &info,
                  DIB_RGB_COLORS, SRCCOPY);
  } else {
    // No picture: the control shows its parent's background.
    HWND parent = GetParent(window);
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(window)));
    FillRect(dc, &rect, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  }
}

// The window procedure of the library's painted controls: they draw themselves whole and let
// clicks through to the dialog.
LRESULT PaintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                    void (*paint)(HWND, HDC, const RECT&)) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT rect;
      GetClientRect(window, &rect);
      paint(window, dc, rect);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PaintedProc(window, message, wParam, lParam, PaintPanel);
}

LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PaintedProc(window, message, wParam, lParam, PaintImage);
}

const wchar_t kDocumentProcProp[] = L"KVDlgDocumentProc";

// Documents are read-only: they keep the arrow and paging keys for scrolling but leave Tab,
// Return and Escape to the dialog, and take the focus without selecting their whole text.
LRESULT CALLBACK DocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC original = reinterpret_cast<WNDPROC>(GetPropW(window, kDocumentProcProp));
  if (!original) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropW(window, kDocumentProcProp);
  }
  return CallWindowProcW(original, window, message, wParam, lParam);
}

bool RegisterClasses() {
  RuntimeLock hold;
  static bool registered = false;
  if (registered) return true;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW panel = {};
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = runtime.module;
  panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  WNDCLASSW image = panel;
  image.lpfnWndProc = ImageProc;
  image.lpszClassName = kImageClass;
  bool ok = (RegisterClassW(&panel) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) &&
            (RegisterClassW(&image) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
  registered = ok;
  return ok;
}

// The RichEdit class to use for documents, loaded once; null when none is available.
const wchar_t* RichEditClass() {
  RuntimeLock hold;
  static const wchar_t* className = nullptr;
  static bool tried = false;
  if (tried) return className;
  tried = true;
  if (LoadLibraryW(L"Msftedit.dll")) {
    className = L"RICHEDIT50W";
  } else if (LoadLibraryW(L"riched20.dll")) {
    className = L"RichEdit20W";
  }
  return className;
}

int DpiOf(HWND window) {
  typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
  HMODULE user = GetModuleHandleW(L"user32.dll");
  auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
  if (getDpi) {
    UINT dpi = getDpi(window);
    if (dpi) return static_cast<int>(dpi);
  }
  HDC dc = GetDC(window);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc) ReleaseDC(window, dc);
  return dpi > 0 ? dpi : 96;
}

void CreateFonts(DialogData& data) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  typedef BOOL(WINAPI * ForDpiFn)(UINT, UINT, PVOID, UINT, UINT);
  auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
  bool ok = forDpi ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                            static_cast<UINT>(data.dpi)) != FALSE
                   : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) != FALSE;
  LOGFONTW font = metrics.lfMessageFont;
  if (!ok) {
    font = LOGFONTW();
    font.lfHeight = -MulDiv(9, data.dpi, 72);
    font.lfWeight = FW_NORMAL;
    wcscpy(font.lfFaceName, L"Tahoma");
  }
  data.font = CreateFontIndirectW(&font);
  LOGFONTW bold = font;
  bold.lfWeight = FW_BOLD;
  data.boldFont = CreateFontIndirectW(&bold);
  LOGFONTW heading = bold;
  heading.lfHeight = font.lfHeight + font.lfHeight / 6;
  data.headingFont = CreateFontIndirectW(&heading);
}

void ReleaseDialogData(DialogData& data) {
  for (auto& entry : data.brushes) DeleteObject(entry.second);
  data.brushes.clear();
  if (data.font) DeleteObject(data.font);
  if (data.boldFont) DeleteObject(data.boldFont);
  if (data.headingFont) DeleteObject(data.headingFont);
  data.font = data.boldFont = data.headingFont = nullptr;
}

struct StreamSource {
  const std::string* text;
  size_t offset;
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  StreamSource* source = reinterpret_cast<StreamSource*>(cookie);
  size_t left = source->text->size() - source->offset;
  size_t take = left < static_cast<size_t>(count) ? left : static_cast<size_t>(count);
  memcpy(buffer, source->text->data() + source->offset, take);
  source->offset += take;
  *done = static_cast<LONG>(take);
  return 0;
}

// Fills a document control from its expanded source ("file:" and a path, or the text itself).
void LoadDocument(HWND edit, const ControlDef& def, const DialogData& data, bool rich) {
  std::wstring source = ExpandRuntimeText(def.text);
  std::string bytes;
  if (source.compare(0, 5, L"file:") == 0) {
    if (!ReadWholeFile(source.substr(5), bytes)) return;  // a missing document shows empty
  } else {
    bytes = WideToUtf8(source);
  }
  if (!rich) {
    std::wstring text = Utf8ToWide(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes);
    SetWindowTextW(edit, text.c_str());
    return;
  }
  std::string rtf;
  if (def.number == 1) {
    rtf = bytes;
  } else if (def.number == 2) {
    LOGFONTW font = {};
    GetObjectW(data.font, sizeof(font), &font);
    RtfStyle style;
    style.fontFace = font.lfFaceName;
    int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    style.halfPoints = height ? MulDiv(height, 144, data.dpi) : 18;
    style.textColour = GetSysColor(COLOR_WINDOWTEXT);
    rtf = MarkdownToRtf(bytes, style);
  }
  if (rtf.empty()) {
    std::wstring text = Utf8ToWide(bytes);
    SetWindowTextW(edit, text.c_str());
    return;
  }
  StreamSource source2 = {&rtf, 0};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source2);
  stream.pfnCallback = StreamIn;
  SendMessageW(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

const ControlDef* ContainerOf(const DialogDef& def, const ControlDef& control) {
  if (control.container < 0) return nullptr;
  for (const ControlDef& other : def.controls) {
    if (other.kind == ControlKind::Container && other.id == control.container) return &other;
  }
  return nullptr;
}

// Creates one control; false when the system refuses the window.
bool CreateControl(HWND dialog, DialogData& data, const ControlDef& def) {
  const ControlDef* container = ContainerOf(data.def, def);
  int x = def.x + (container ? container->x : 0);
  int y = def.y + (container ? container->y : 0);
  COLORREF containerColour = container && container->colour != kNoColour
                                 ? FromFileColour(container->colour)
                                 : GetSysColor(COLOR_BTNFACE);
  const wchar_t* className = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  std::wstring text;
  ControlInfo info;
  info.def = &def;
  HFONT font = data.font;
  bool rich = false;
  switch (def.kind) {
    case ControlKind::Button:
      className = L"BUTTON";
      style |= WS_TABSTOP | (HasFlag(def.flags, L'D') ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      text = ExpandRuntimeText(def.text);
      break;
    case ControlKind::CheckBox:
      className = L"BUTTON";
      style |= WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE;
      text = ExpandRuntimeText(def.text);
      if (HasFlag(def.flags, L'W')) {
        info.ownBackground = true;
        info.background = containerColour;
      }
      break;
    case ControlKind::Label:
      // Labels show file names and paths, so "&" is shown as written.
      style |= SS_LEFT | SS_NOPREFIX;
      text = ExpandRuntimeText(def.text);
      if (HasFlag(def.flags, L'C') && def.colour != kNoColour) {
        info.ownBackground = true;
        info.background = FromFileColour(def.colour);
      }
      info.dimmed = HasFlag(def.flags, L'D');
      if (HasFlag(def.flags, L'H')) {
        font = data.headingFont;
      } else if (HasFlag(def.flags, L'B')) {
        font = data.boldFont;
      }
      break;
    case ControlKind::Edit:
      className = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      exStyle |= WS_EX_CLIENTEDGE;
      text = ExpandRuntimeText(def.text);
      break;
    case ControlKind::Progress:
      className = PROGRESS_CLASSW;
      break;
    case ControlKind::Container:
      className = kPanelClass;
      break;
    case ControlKind::Image:
      className = kImageClass;
      break;
    case ControlKind::Document:
      rich = RichEditClass() != nullptr;
      className = rich ? RichEditClass() : L"EDIT";
      style |= WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
      if (HasFlag(def.flags, L'K')) {
        style |= WS_TABSTOP;
        exStyle |= WS_EX_CLIENTEDGE;
      }
      break;
  }
  HWND window = CreateWindowExW(exStyle, className, text.c_str(), style, Scale(data, x),
                                Scale(data, y), Scale(data, def.width), Scale(data, def.height),
                                dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
                                runtime.module, nullptr);
  if (!window) return false;
  info.window = window;
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  switch (def.kind) {
    case ControlKind::Progress:
      SendMessageW(window, PBM_SETRANGE32, 0, 100);
      break;
    case ControlKind::Container: {
      LONG_PTR value = def.colour != kNoColour ? FromFileColour(def.colour)
                                               : GetSysColor(COLOR_BTNFACE);
      if (HasFlag(def.flags, L'R')) value |= 0x1000000;
      SetWindowLongPtrW(window, GWLP_USERDATA, value);
      info.ownBackground = true;
      info.background = static_cast<COLORREF>(value & 0xFFFFFF);
      break;
    }
    case ControlKind::Image: {
      auto image = std::make_unique<ImageData>();
      info.ownBackground = true;
      info.background = containerColour;
      if (ReadWholeFile(ExpandRuntimeText(def.text), image->bytes) &&
          RecognizeBitmap(image->bytes, image->view)) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(image.get()));
        data.images.push_back(std::move(image));
      }
      break;
    }
    case ControlKind::Document: {
      COLORREF back = HasFlag(def.flags, L'L') ? containerColour : GetSysColor(COLOR_WINDOW);
      if (rich) {
        SendMessageW(window, EM_SETBKGNDCOLOR, 0, back);
        SendMessageW(window, EM_SETEVENTMASK, 0, 0);
      } else {
        info.ownBackground = true;
        info.background = back;
      }
      LoadDocument(window, def, data, rich);
      SendMessageW(window, EM_SETSEL, 0, 0);
      if (SetPropW(window, kDocumentProcProp,
                   reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_WNDPROC)))) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DocumentProc));
      }
      break;
    }
    default:
      break;
  }
  data.controls.push_back(info);
  return true;
}

// Dialog template: no controls, no font; the size is set after creation.
struct EmptyTemplate {
  DLGTEMPLATE head;
  WORD menu, windowClass, title;
};

// Builds the dialog window with all its controls, hidden. Null (and error set) on failure.
HWND BuildDialog(DialogData& data, std::wstring& error) {
  if (!RegisterClasses()) {
    error = L"its window classes cannot be registered";
    return nullptr;
  }
  bool confirm = data.def.sectionFlag == L"C";
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | DS_MODALFRAME | DS_3DLOOK;
  if (!confirm) style |= WS_MINIMIZEBOX;
  EmptyTemplate tmpl = {};
  tmpl.head.style = style;
  tmpl.head.dwExtendedStyle = WS_EX_CONTROLPARENT | (confirm ? WS_EX_TOPMOST : WS_EX_APPWINDOW);
  HWND dialog = CreateDialogIndirectParamW(runtime.module, &tmpl.head, nullptr, DialogProc,
                                           reinterpret_cast<LPARAM>(&data));
  if (!dialog) {
    error = L"the system cannot create its window (error " + std::to_wstring(GetLastError()) + L")";
    return nullptr;
  }
  data.dpi = DpiOf(dialog);
  CreateFonts(data);
  SetWindowTextW(dialog, ExpandRuntimeText(data.def.caption).c_str());
  RECT frame = {0, 0, Scale(data, data.def.width), Scale(data, data.def.height)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HWND anchor = confirm ? GetForegroundWindow() : nullptr;
  DWORD anchorProcess = 0;
  if (anchor) GetWindowThreadProcessId(anchor, &anchorProcess);
  RECT area;
  if (anchor && anchorProcess == GetCurrentProcessId()) {
    GetWindowRect(anchor, &area);
  } else {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  data.controls.reserve(data.def.controls.size());
  for (const ControlDef& def : data.def.controls) {
    if (!CreateControl(dialog, data, def)) {
      error = L"control " + std::to_wstring(def.id) + L" cannot be created (error " +
              std::to_wstring(GetLastError()) + L")";
      DestroyWindow(dialog);
      return nullptr;
    }
  }
  for (const ControlInfo& info : data.controls) {
    if (info.def->kind == ControlKind::Container) {
      SetWindowPos(info.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return dialog;
}

// Reads the named section and builds its window; on failure the user is told and null returned.
HWND PrepareDialog(const wchar_t* name, DialogData& data) {
  std::wstring error;
  bool parsed = false;
  {
    RuntimeLock hold;
    if (!runtime.initDone) {
      error = L"the runtime library has not been initialised";
    } else if (!runtime.dialogError.empty()) {
      error = runtime.dialogError;
    } else if (!runtime.langError.empty()) {
      error = runtime.langError;
    } else if (!ParseDialogSection(runtime.dialogLines, name, data.def, error)) {
      error = L"in the dialog file kvdlg.dat, " + error;
    } else {
      parsed = true;
    }
  }
  HWND dialog = parsed ? BuildDialog(data, error) : nullptr;
  if (!dialog) {
    ReleaseDialogData(data);
    ShowRuntimeError(L"The dialog \"" + std::wstring(name) + L"\" cannot be shown: " + error + L".");
  }
  return dialog;
}

// The control that takes the focus when the dialog comes up: its default push button when it
// has one that can take it, else the first tab stop.
HWND InitialFocus(HWND dialog, const DialogData& data) {
  for (const ControlInfo& info : data.controls) {
    if (info.def->kind == ControlKind::Button && HasFlag(info.def->flags, L'D') &&
        IsWindowVisible(info.window) && IsWindowEnabled(info.window)) {
      return info.window;
    }
  }
  return GetNextDlgTabItem(dialog, nullptr, FALSE);
}

// Shows the built dialog and tells the callback; the focus goes to the initial control, again
// after the callback when the callback hid or disabled the one that had it.
void RunModal(HWND dialog, DialogData& data) {
  ShowWindow(dialog, SW_SHOW);
  SetForegroundWindow(dialog);
  HWND first = InitialFocus(dialog, data);
  if (first) SetFocus(first);
  if (data.callback) data.callback(0, dialog, 0);
  HWND focus = GetFocus();
  if (!data.done && (!focus || !IsWindowVisible(focus) || !IsWindowEnabled(focus) ||
                     (focus != dialog && !IsChild(dialog, focus)))) {
    first = InitialFocus(dialog, data);
    if (first) SetFocus(first);
  }
}

void MessageLoop(HWND dialog, DialogData& data) {
  while (!data.done) {
    MSG msg;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // A quit request ends the dialog like its close button and is passed on.
      FinishDialog(dialog, data, kPageCancel);
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    bool ours = msg.hwnd == dialog || IsChild(dialog, msg.hwnd);
    if (ours && msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
      HandleReturn(dialog, data);
      continue;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

int CloseDialog(HWND dialog, DialogData& data) {
  int result = data.result;
  SetWindowLongPtrW(dialog, DWLP_USER, 0);
  DestroyWindow(dialog);
  ReleaseDialogData(data);
  return result;
}

struct ProgressStart {
  KVPageProc callback;
  HANDLE ready;
  int result;
};

DWORD WINAPI ProgressThread(LPVOID parameter) {
  ProgressStart* start = static_cast<ProgressStart*>(parameter);
  // The thread keeps the library loaded until its last instruction.
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&ProgressThread), &self);
  DialogData data;
  data.callback = start->callback;
  data.isProgress = true;
  HWND dialog = PrepareDialog(L"dlgprogress", data);
  if (!dialog) {
    start->result = kPageNotShown;
    SetEvent(start->ready);
  } else {
    RunModal(dialog, data);
    start->result = 0;
    SetEvent(start->ready);  // start is the caller's and gone from here on
    MessageLoop(dialog, data);
    CloseDialog(dialog, data);
  }
  if (self) FreeLibraryAndExitThread(self, 0);
  return 0;
}

}  // namespace

int RunDialogBox(const wchar_t* name, KVPageProc callback) {
  DialogData data;
  data.callback = callback;
  HWND dialog = PrepareDialog(name, data);
  if (!dialog) return kPageNotShown;
  RunModal(dialog, data);
  MessageLoop(dialog, data);
  return CloseDialog(dialog, data);
}

int StartProgressBox(KVPageProc callback) {
  ProgressStart start = {callback, CreateEventW(nullptr, TRUE, FALSE, nullptr), kPageNotShown};
  if (!start.ready) return kPageNotShown;
  HANDLE thread = CreateThread(nullptr, 0, ProgressThread, &start, 0, nullptr);
  if (!thread) {
    CloseHandle(start.ready);
    return kPageNotShown;
  }
  HANDLE waits[2] = {start.ready, thread};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  int result = WaitForSingleObject(start.ready, 0) == WAIT_OBJECT_0 ? start.result : kPageNotShown;
  CloseHandle(thread);
  CloseHandle(start.ready);
  return result;
}

HWND FindDialogControl(HWND dialog, int id) {
  // Every control is a direct child of the dialog with its definition's id; ids are unique
  // within a dialog, so the dialog manager's lookup finds exactly that control.
  return dialog ? GetDlgItem(dialog, id) : nullptr;
}
