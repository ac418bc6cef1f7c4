// Checks of replaceable runtime data files.
#include "runtime_files.h"

static uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

static uint16_t Read16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

bool CheckCarriedBitmap(const std::vector<uint8_t>& bytes, uint32_t width, uint32_t height,
                        std::string* reason) {
  const uint64_t expected = 54 + static_cast<uint64_t>(width) * height * 4 + 2;
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
    *reason = "is not a BMP image (no \"BM\" signature)";
    return false;
  }
  if (Read32(bytes, 14) != 40) {
    *reason = "has a " + std::to_string(Read32(bytes, 14)) +
              "-byte information header; a 40-byte one is needed";
    return false;
  }
  int32_t w = static_cast<int32_t>(Read32(bytes, 18));
  int32_t h = static_cast<int32_t>(Read32(bytes, 22));
  if (h < 0) {
    *reason = "stores its rows top-down (negative height); bottom-up rows are needed";
    return false;
  }
  if (static_cast<uint32_t>(w) != width || static_cast<uint32_t>(h) != height) {
    *reason = "is " + std::to_string(w) + "x" + std::to_string(h) + " pixels; " +
              std::to_string(width) + "x" + std::to_string(height) + " are needed";
    return false;
  }
  if (Read16(bytes, 26) != 1 || Read16(bytes, 28) != 32) {
    *reason = "has " + std::to_string(Read16(bytes, 28)) + " bits per pixel; 32 are needed";
    return false;
  }
  if (Read32(bytes, 30) != 0) {
    *reason = "is compressed (compression " + std::to_string(Read32(bytes, 30)) +
              "); uncompressed BI_RGB pixels are needed";
    return false;
  }
  if (Read32(bytes, 10) != 54) {
    *reason = "has its pixels at offset " + std::to_string(Read32(bytes, 10)) +
              "; they must follow the headers at 54";
    return false;
  }
  if (bytes.size() != expected) {
    *reason = "is " + std::to_string(bytes.size()) + " bytes long; " + std::to_string(expected) +
              " are needed (headers, pixels and two closing bytes)";
    return false;
  }
  if (Read32(bytes, 2) != expected || Read32(bytes, 34) != expected - 54) {
    *reason = "has size fields that do not match its length (file size " +
              std::to_string(Read32(bytes, 2)) + ", image size " + std::to_string(Read32(bytes, 34)) +
              ")";
    return false;
  }
  return true;
}

bool CheckFilePropertyList(const std::vector<uint8_t>& bytes, std::string* reason) {
  size_t lines = 0;
  for (size_t i = 0; i < bytes.size(); i++) {
    uint8_t c = bytes[i];
    if (c >= 0x80) {
      *reason = "holds a non-ASCII byte at offset " + std::to_string(i);
      return false;
    }
    if (c == '\n') {
      if (i == 0 || bytes[i - 1] != '\r') {
        *reason = "has a line " + std::to_string(lines + 1) + " that does not end with CR LF";
        return false;
      }
      lines++;
    } else if (c == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) {
      *reason = "has a lone CR in line " + std::to_string(lines + 1);
      return false;
    }
  }
  if (!bytes.empty() && bytes.back() != '\n') {
    *reason = "does not end its last line with CR LF";
    return false;
  }
  if (lines % 5 != 0) {
    *reason = "has " + std::to_string(lines) + " lines; its records are five lines each";
    return false;
  }
  return true;
}
