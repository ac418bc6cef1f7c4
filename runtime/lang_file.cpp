// Language file parser.
#include "lang_file.h"

#include "data_lines.h"

bool ParseLanguageFile(const std::string& bytes, LangTable& lang, std::wstring& error) {
  std::vector<std::wstring> lines = SplitDataLines(bytes);
  lang = LangTable();
  if (lines.size() < 3 || lines[0] != L"[KVLang]") {
    error = L"line 1: the file does not start with [KVLang], a language name and an identifier";
    return false;
  }
  lang.name = lines[1];
  lang.id = lines[2];
  for (size_t i = 3; i < lines.size(); ++i) {
    const std::wstring& line = lines[i];
    if (line.empty()) continue;
    size_t equals = line.find(L'=');
    bool keyOk = line[0] == L'#' && equals != std::wstring::npos && equals > 1;
    for (size_t k = 1; keyOk && k < equals; ++k) {
      wchar_t c = line[k];
      keyOk = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    }
    if (!keyOk) {
      error = L"line " + std::to_wstring(i + 1) + L": expected #key=text";
      return false;
    }
    std::wstring key = line.substr(1, equals - 1);
    for (wchar_t& c : key) {
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    lang.texts[key] = line.substr(equals + 1);
  }
  return true;
}
