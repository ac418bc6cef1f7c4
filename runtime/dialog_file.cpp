// Dialog definition file parser and writer.
#include "dialog_file.h"

#include <windows.h>

#include "data_lines.h"

namespace {

// The value lines of each record kind, in file order.
enum class Field { X, Y, Width, Height, Text, Id, Colour, Flags, Number };

struct KindInfo {
  ControlKind kind;
  const wchar_t* keyword;
  std::vector<Field> fields;
};

const std::vector<KindInfo>& Kinds() {
  using F = Field;
  static const std::vector<KindInfo> kinds = {
      {ControlKind::Button, L"#KV.But", {F::X, F::Y, F::Width, F::Height, F::Text, F::Id, F::Flags}},
      {ControlKind::Label, L"#KV.Lab",
       {F::X, F::Y, F::Width, F::Height, F::Text, F::Id, F::Colour, F::Flags}},
      {ControlKind::Edit, L"#KV.Edit", {F::X, F::Y, F::Width, F::Height, F::Text, F::Id, F::Flags}},
      {ControlKind::CheckBox, L"#KV.Chk", {F::X, F::Y, F::Width, F::Height, F::Text, F::Id, F::Flags}},
      {ControlKind::Image, L"#KV.Img", {F::X, F::Y, F::Width, F::Height, F::Id, F::Text, F::Flags}},
      {ControlKind::Document, L"#KV.Markdown",
       {F::X, F::Y, F::Width, F::Height, F::Id, F::Text, F::Number, F::Flags}},
      {ControlKind::Progress, L"#KV.Prog", {F::X, F::Y, F::Width, F::Height, F::Id}},
      {ControlKind::Container, L"#KV.Cont",
       {F::X, F::Y, F::Width, F::Height, F::Id, F::Colour, F::Flags}},
  };
  return kinds;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsFlagText(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < L'A' || c > L'Z') return false;
  }
  return true;
}

std::wstring LineError(size_t index, const std::wstring& what) {
  return L"line " + std::to_wstring(index + 1) + L": " + what;
}

// Reads the value lines of one record starting at lines[pos]; pos ends after them.
bool ReadFields(const std::vector<std::wstring>& lines, size_t& pos, const KindInfo& info,
                ControlDef& control, std::wstring& error) {
  for (Field field : info.fields) {
    if (pos >= lines.size()) {
      error = LineError(pos, L"the file ends inside a " + std::wstring(info.keyword) + L" record");
      return false;
    }
    const std::wstring& line = lines[pos];
    if (!line.empty() && line[0] == L'#' && field != Field::Text) {
      error = LineError(pos, L"a value is missing before " + line);
      return false;
    }
    int number = 0;
    bool numeric = field != Field::Text && field != Field::Flags;
    if (numeric && !ParseDecimal(line, number)) {
      error = LineError(pos, L"\"" + line + L"\" is not a number");
      return false;
    }
    switch (field) {
      case Field::X: control.x = number; break;
      case Field::Y: control.y = number; break;
      case Field::Width: control.width = number; break;
      case Field::Height: control.height = number; break;
      case Field::Text: control.text = line; break;
      case Field::Id: control.id = number; break;
      case Field::Number: control.number = number; break;
      case Field::Colour:
        if (number < 0 || number > 0xFFFFFF) {
          error = LineError(pos, L"colour " + line + L" is out of range");
          return false;
        }
        control.colour = number;
        break;
      case Field::Flags:
        if (!IsFlagText(line)) {
          error = LineError(pos, L"\"" + line + L"\" is not a set of flag letters");
          return false;
        }
        control.flags = line;
        break;
    }
    if ((field == Field::Width || field == Field::Height) && number < 0) {
      error = LineError(pos, L"a size may not be negative");
      return false;
    }
    ++pos;
  }
  return true;
}

// Parses one section whose "[name]" line is lines[start].
bool ParseSectionAt(const std::vector<std::wstring>& lines, size_t start, DialogDef& dialog,
                    std::wstring& error, size_t& end) {
  dialog = DialogDef();
  const std::wstring& head = lines[start];
  dialog.name = head.substr(1, head.size() - 2);
  size_t pos = start + 1;
  if (pos >= lines.size() || lines[pos].size() != 1 || !IsFlagText(lines[pos])) {
    error = LineError(pos, L"expected the section flag of [" + dialog.name + L"]");
    return false;
  }
  dialog.sectionFlag = lines[pos++];
  if (pos >= lines.size() || lines[pos] != L"#KV.Dlg") {
    error = LineError(pos, L"expected the dialog record #KV.Dlg");
    return false;
  }
  ++pos;
  if (pos + 3 > lines.size() || !ParseDecimal(lines[pos], dialog.width) ||
      !ParseDecimal(lines[pos + 1], dialog.height) || dialog.width <= 0 || dialog.height <= 0) {
    error = LineError(pos, L"the dialog record needs a width, a height and a caption");
    return false;
  }
  dialog.caption = lines[pos + 2];
  pos += 3;
  int openContainer = -1;
  for (;;) {
    if (pos >= lines.size() || (!lines[pos].empty() && lines[pos][0] == L'[')) {
      error = LineError(pos, L"section [" + dialog.name + L"] has no #EndDlg");
      return false;
    }
    const std::wstring& keyword = lines[pos];
    if (keyword == L"#EndDlg") {
      if (openContainer != -1) {
        error = LineError(pos, L"container " + std::to_wstring(openContainer) + L" has no #EndCont");
        return false;
      }
      end = pos + 1;
      return true;
    }
    if (keyword == L"#EndCont") {
      if (openContainer == -1) {
        error = LineError(pos, L"#EndCont without a container");
        return false;
      }
      openContainer = -1;
      ++pos;
      continue;
    }
    const KindInfo* info = nullptr;
    for (const KindInfo& candidate : Kinds()) {
      if (keyword == candidate.keyword) info = &candidate;
    }
    if (!info) {
      error = LineError(pos, L"unknown record \"" + keyword + L"\"");
      return false;
    }
    size_t recordLine = pos++;
    ControlDef control;
    control.kind = info->kind;
    control.container = openContainer;
    if (!ReadFields(lines, pos, *info, control, error)) return false;
    for (const ControlDef& other : dialog.controls) {
      if (other.id == control.id) {
        error = LineError(recordLine, L"id " + std::to_wstring(control.id) + L" is used twice");
        return false;
      }
    }
    if (control.kind == ControlKind::Container) {
      if (openContainer != -1) {
        error = LineError(recordLine, L"containers do not nest");
        return false;
      }
      openContainer = control.id;
    }
    dialog.controls.push_back(control);
  }
}

bool IsSectionLine(const std::wstring& line) {
  return line.size() >= 3 && line.front() == L'[' && line.back() == L']';
}

}  // namespace

const wchar_t* ControlKeyword(ControlKind kind) {
  for (const KindInfo& info : Kinds()) {
    if (info.kind == kind) return info.keyword;
  }
  return L"";
}

bool ParseDialogSection(const std::vector<std::wstring>& lines, const std::wstring& name,
                        DialogDef& dialog, std::wstring& error) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (IsSectionLine(lines[i]) && SameText(lines[i].substr(1, lines[i].size() - 2), name)) {
      size_t end = 0;
      return ParseSectionAt(lines, i, dialog, error, end);
    }
  }
  error = L"there is no section [" + name + L"]";
  return false;
}

bool ParseDialogFile(const std::vector<std::wstring>& lines, std::vector<DialogDef>& dialogs,
                     std::wstring& error) {
  dialogs.clear();
  size_t pos = 0;
  while (pos < lines.size()) {
    if (lines[pos].empty()) {
      ++pos;
      continue;
    }
    if (!IsSectionLine(lines[pos])) {
      error = LineError(pos, L"expected a section [name]");
      return false;
    }
    DialogDef dialog;
    if (!ParseSectionAt(lines, pos, dialog, error, pos)) return false;
    dialogs.push_back(dialog);
  }
  return true;
}

std::string FormatDialogFile(const std::vector<DialogDef>& dialogs) {
  std::wstring out;
  auto line = [&out](const std::wstring& text) { out += text + L"\r\n"; };
  auto num = [&line](int value) { line(std::to_wstring(value)); };
  for (const DialogDef& dialog : dialogs) {
    line(L"[" + dialog.name + L"]");
    line(dialog.sectionFlag);
    line(L"#KV.Dlg");
    num(dialog.width);
    num(dialog.height);
    line(dialog.caption);
    int open = -1;
    for (const ControlDef& control : dialog.controls) {
      if (open != -1 && control.container != open) {
        line(L"#EndCont");
        open = -1;
      }
      for (const KindInfo& info : Kinds()) {
        if (info.kind != control.kind) continue;
        line(info.keyword);
        for (Field field : info.fields) {
          switch (field) {
            case Field::X: num(control.x); break;
            case Field::Y: num(control.y); break;
            case Field::Width: num(control.width); break;
            case Field::Height: num(control.height); break;
            case Field::Text: line(control.text); break;
            case Field::Id: num(control.id); break;
            case Field::Colour: num(control.colour); break;
            case Field::Flags: line(control.flags); break;
            case Field::Number: num(control.number); break;
          }
        }
      }
      if (control.kind == ControlKind::Container) open = control.id;
    }
    if (open != -1) line(L"#EndCont");
    line(L"#EndDlg");
  }
  return WideToUtf8(out);
}
