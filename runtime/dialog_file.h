// The dialog definition file: sections "[name]" with a section flag, a dialog record and control
// records up to "#EndDlg". Pure code: records in, records out, no windows.
#pragma once

#include <string>
#include <vector>

enum class ControlKind { Button, Label, Edit, CheckBox, Image, Document, Progress, Container };

constexpr int kNoColour = -1;

// One control record. Fields a kind does not carry stay at their defaults.
struct ControlDef {
  ControlKind kind = ControlKind::Label;
  int container = -1;  // id of the enclosing container, -1 at the top level
  int x = 0, y = 0, width = 0, height = 0;
  std::wstring text;   // text, caption, document source or image reference (unexpanded)
  int id = 0;
  int colour = kNoColour;
  std::wstring flags;
  int number = 0;      // documents only: the source format (2: Markdown)
};

struct DialogDef {
  std::wstring name;
  std::wstring sectionFlag;
  int width = 0, height = 0;
  std::wstring caption;
  std::vector<ControlDef> controls;  // in file order; a container precedes its children
};

// Parses the section named name (matched without regard to case) from the file's lines. On
// failure, false and error says which line is wrong and why (a missing section included).
bool ParseDialogSection(const std::vector<std::wstring>& lines, const std::wstring& name,
                        DialogDef& dialog, std::wstring& error);
// Every section of the file, in file order; false at the first damaged section.
bool ParseDialogFile(const std::vector<std::wstring>& lines, std::vector<DialogDef>& dialogs,
                     std::wstring& error);
// Writes records back in the file's own format, CR LF after every line.
std::string FormatDialogFile(const std::vector<DialogDef>& dialogs);
// The keyword of a kind ("#KV.But").
const wchar_t* ControlKeyword(ControlKind kind);
