// Variable store and text expansion.
#include "text_expand.h"

#include <windows.h>

namespace {

std::wstring UpperName(const std::wstring& name) {
  std::wstring upper = name;
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return upper;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

void ExpandInto(const std::wstring& text, const VarStore& store, const LangTable& lang, int depth,
                std::wstring& out);

// A variable's value or a language text found at depth: expanded in its turn, or taken as it
// stands once the depth cap is reached, so that references to themselves end.
void AppendReferenced(const std::wstring& value, const VarStore& store, const LangTable& lang,
                      int depth, std::wstring& out) {
  if (depth < kMaxExpandDepth) {
    ExpandInto(value, store, lang, depth + 1, out);
  } else {
    out.append(value);
  }
}

void ExpandInto(const std::wstring& text, const VarStore& store, const LangTable& lang, int depth,
                std::wstring& out) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && out.size() < kMaxExpandedUnits) {
    wchar_t c = text[i];
    if (c == L'%') {
      size_t close = text.find(L'%', i + 1);
      if (close != std::wstring::npos && close > i + 1) {
        const std::wstring* value = FindVariable(store, text.substr(i + 1, close - i - 1));
        if (value) {
          AppendReferenced(*value, store, lang, depth, out);
          i = close + 1;
          continue;
        }
      }
      // Not a defined variable: the percent sign stays and the text after it is read normally,
      // so "%d of %s" and "50% %APPTITLE%" both keep their conversions and references.
      out.push_back(c);
      ++i;
      continue;
    }
    if (c == L'#') {
      size_t end = i + 1;
      while (end < n && IsAsciiLetter(text[end])) ++end;
      if (end > i + 1) {
        const std::wstring* langText = FindLangText(lang, text.substr(i + 1, end - i - 1));
        if (langText) {
          AppendReferenced(*langText, store, lang, depth, out);
          i = end;
          continue;
        }
      }
      out.append(text, i, end - i);
      i = end;
      continue;
    }
    out.push_back(c);
    ++i;
  }
}

}  // namespace

void SetVariable(VarStore& store, const std::wstring& name, const std::wstring& value) {
  store.values[UpperName(name)] = value;
}

const std::wstring* FindVariable(const VarStore& store, const std::wstring& name) {
  auto it = store.values.find(UpperName(name));
  return it == store.values.end() ? nullptr : &it->second;
}

const std::wstring* FindLangText(const LangTable& lang, const std::wstring& key) {
  std::wstring lower = key;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  auto it = lang.texts.find(lower);
  return it == lang.texts.end() ? nullptr : &it->second;
}

std::wstring ExpandText(const std::wstring& text, const VarStore& store, const LangTable& lang) {
  std::wstring out;
  ExpandInto(text, store, lang, 0, out);
  return out;
}

void CopyToBuffer(const std::wstring& text, wchar_t* buffer, int bufferBytes) {
  if (!buffer || bufferBytes < static_cast<int>(sizeof(wchar_t))) return;
  size_t capacity = static_cast<size_t>(bufferBytes) / sizeof(wchar_t);
  size_t count = text.size() < capacity - 1 ? text.size() : capacity - 1;
  if (count > 0 && count < text.size() && IS_HIGH_SURROGATE(text[count - 1])) --count;
  text.copy(buffer, count);
  buffer[count] = L'\0';
}
