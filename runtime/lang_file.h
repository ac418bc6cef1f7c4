// The language file: "[KVLang]", the language name, its Windows identifier, then one line per
// text, "#key=text" (the text taken literally up to the line end). Pure code.
#pragma once

#include <string>

#include "text_expand.h"

// Parses the file into lang. On failure, false and error names the line and the fault.
bool ParseLanguageFile(const std::string& bytes, LangTable& lang, std::wstring& error);
