// The variable store and text expansion: "%NAME%" becomes the variable's value, "#key" the
// language text of key; both are expanded again, up to a fixed depth. Pure code, no windows.
#pragma once

#include <map>
#include <string>

// Named variables. Names are matched without regard to case, as Windows matches names.
struct VarStore {
  std::map<std::wstring, std::wstring> values;  // key: upper-case name
};

// Language texts by lower-case key.
struct LangTable {
  std::wstring name;  // "English"
  std::wstring id;    // "1033"
  std::map<std::wstring, std::wstring> texts;
};

// Nesting depth at which expansion stops: a reference met deeper than this is left as written,
// so a variable that refers to itself (directly or through others) ends instead of hanging.
constexpr int kMaxExpandDepth = 16;
// Expansion stops once the result reaches this many units (references that multiply).
constexpr size_t kMaxExpandedUnits = 65536;

void SetVariable(VarStore& store, const std::wstring& name, const std::wstring& value);
// The variable's raw value, or null when it is not defined.
const std::wstring* FindVariable(const VarStore& store, const std::wstring& name);
// The text of a language key (any case), or null.
const std::wstring* FindLangText(const LangTable& lang, const std::wstring& key);

// Expands text:
//  - "%NAME%" where NAME is a defined variable becomes its value, itself expanded;
//  - "#" followed by a run of ASCII letters that is a key becomes its text, itself expanded;
//  - everything else is copied unchanged ("%lld", "%02d", "100%", "#12", an undefined "%X%").
std::wstring ExpandText(const std::wstring& text, const VarStore& store, const LangTable& lang);

// Copies text into a buffer of bufferBytes bytes, cut to fit and zero-terminated whenever the
// buffer holds at least one unit. A cut never splits a surrogate pair.
void CopyToBuffer(const std::wstring& text, wchar_t* buffer, int bufferBytes);
