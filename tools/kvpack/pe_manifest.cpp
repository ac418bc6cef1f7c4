// Edits of the application manifest as text: the stub's manifest is ours and plain XML.
#include "pe_manifest.h"

namespace {

bool IsAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Finds the value of attribute name inside the tag [tagStart, tagEnd); npos when absent.
size_t FindAttributeValue(const std::string& xml, size_t tagStart, size_t tagEnd,
                          const std::string& name, size_t* valueEnd) {
  size_t p = tagStart;
  while (true) {
    p = xml.find(name, p);
    if (p == std::string::npos || p >= tagEnd) return std::string::npos;
    bool wordStart = p > tagStart && (xml[p - 1] == ' ' || xml[p - 1] == '\t' ||
                                      xml[p - 1] == '\r' || xml[p - 1] == '\n');
    size_t q = p + name.size();
    while (q < tagEnd && (xml[q] == ' ' || xml[q] == '\t')) ++q;
    if (wordStart && q < tagEnd && xml[q] == '=') {
      ++q;
      while (q < tagEnd && (xml[q] == ' ' || xml[q] == '\t')) ++q;
      if (q < tagEnd && (xml[q] == '"' || xml[q] == '\'')) {
        size_t close = xml.find(xml[q], q + 1);
        if (close == std::string::npos || close >= tagEnd) return std::string::npos;
        *valueEnd = close;
        return q + 1;
      }
    }
    p += name.size();
  }
}

}  // namespace

bool IsValidAssemblyName(const std::string& name, std::string* error) {
  if (name.empty() || name.size() > 128) {
    *error = "an assembly name has 1 to 128 characters";
    return false;
  }
  if (!IsAlnum(name[0])) {
    *error = "an assembly name starts with a letter or a digit";
    return false;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (!IsAlnum(c) && c != '.' && c != '-' && c != '_') {
      *error = "an assembly name holds only letters, digits, '.', '-' and '_'";
      return false;
    }
    if (c == '.' && i + 1 < name.size() && name[i + 1] == '.') {
      *error = "an assembly name has no empty part between dots";
      return false;
    }
  }
  if (name.back() == '.') {
    *error = "an assembly name does not end with a dot";
    return false;
  }
  return true;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

bool EditManifest(const std::string& manifest, const std::string& assemblyName,
                  const std::string& description, std::string* edited, std::string* error) {
  std::string xml = manifest;
  size_t dependency = xml.find("<dependency");
  size_t identity = xml.find("<assemblyIdentity");
  if (identity == std::string::npos || (dependency != std::string::npos && identity > dependency)) {
    *error = "the stub's manifest has no assembly identity of its own";
    return false;
  }
  size_t identityEnd = xml.find('>', identity);
  if (identityEnd == std::string::npos) {
    *error = "the stub's manifest is damaged";
    return false;
  }
  if (!assemblyName.empty()) {
    size_t valueEnd = 0;
    size_t value = FindAttributeValue(xml, identity, identityEnd, "name", &valueEnd);
    if (value == std::string::npos) {
      *error = "the stub's assembly identity has no name";
      return false;
    }
    std::string escaped = XmlEscape(assemblyName);
    xml.replace(value, valueEnd - value, escaped);
    identityEnd = identityEnd - (valueEnd - value) + escaped.size();
  }
  if (!description.empty()) {
    std::string text = XmlEscape(description);
    size_t open = xml.find("<description>");
    size_t limit = dependency == std::string::npos ? xml.size() : xml.find("<dependency");
    if (open != std::string::npos && open < limit) {
      size_t start = open + 13;
      size_t close = xml.find("</description>", start);
      if (close == std::string::npos) {
        *error = "the stub's manifest description has no end";
        return false;
      }
      xml.replace(start, close - start, text);
    } else {
      xml.insert(identityEnd + 1, "\n  <description>" + text + "</description>");
    }
  }
  edited->swap(xml);
  return true;
}
