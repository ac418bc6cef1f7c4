// Name rules for package entries.
#include "payload_names.h"

#include <stdint.h>
#include <string.h>

bool CountUtf16Units(const std::string& utf8, size_t* units) {
  size_t count = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const unsigned char* end = p + utf8.size();
  while (p < end) {
    unsigned char lead = *p;
    size_t length;
    uint32_t code;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < length) return false;
    for (size_t i = 1; i < length; i++) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    count += code >= 0x10000 ? 2 : 1;
    p += length;
  }
  *units = count;
  return true;
}

static bool IsReservedDeviceName(const std::string& component) {
  // Windows reserves these names with any extension ("nul.txt" opens the device too).
  std::string stem = FoldNameCase(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kNames[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* name : kNames) {
    if (stem == name) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
      stem[3] >= '1' && stem[3] <= '9') {
    return true;
  }
  return false;
}

static bool CheckComponent(const std::string& component, std::string* reason) {
  if (component.empty()) {
    *reason = "has an empty path component";
    return false;
  }
  if (component == "." || component == "..") {
    *reason = "has a \".\" or \"..\" component";
    return false;
  }
  for (unsigned char c : component) {
    if (c < 0x20 || c == 0x7F) {
      *reason = "holds a control character, which Windows does not allow in names";
      return false;
    }
    if (strchr("<>:\"|?*\\", c) != nullptr) {
      *reason = std::string("holds the character '") + static_cast<char>(c) +
                "', which Windows does not allow in names";
      return false;
    }
  }
  char last = component.back();
  if (last == '.' || last == ' ') {
    *reason = "ends a name with a dot or a space, which Windows drops";
    return false;
  }
  if (IsReservedDeviceName(component)) {
    *reason = "uses the reserved device name \"" + component + "\"";
    return false;
  }
  return true;
}

bool CheckEntryName(const std::string& path, std::string* reason) {
  size_t units = 0;
  if (!CountUtf16Units(path, &units)) {
    *reason = "is not valid UTF-8";
    return false;
  }
  if (units > kMaxEntryNameUnits) {
    *reason = "is " + std::to_string(units) + " characters long; the package carries names of at most " +
              std::to_string(kMaxEntryNameUnits);
    return false;
  }
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string component = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!CheckComponent(component, reason)) return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

std::string FoldNameCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool NameLessIgnoringCase(const std::string& a, const std::string& b) {
  std::string fa = FoldNameCase(a);
  std::string fb = FoldNameCase(b);
  if (fa != fb) return fa < fb;
  return a < b;
}
