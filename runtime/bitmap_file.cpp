// Bitmap recognition.
#include "bitmap_file.h"

namespace {

uint32_t Read32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

uint16_t Read16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

bool RecognizeBitmap(const std::string& bytes, BitmapView& view) {
  view = BitmapView();
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  uint32_t offset = Read32(bytes, 10);
  uint32_t headerSize = Read32(bytes, 14);
  if (headerSize < 40 || 14 + static_cast<uint64_t>(headerSize) > bytes.size()) return false;
  int32_t width = static_cast<int32_t>(Read32(bytes, 18));
  int32_t height = static_cast<int32_t>(Read32(bytes, 22));
  uint16_t planes = Read16(bytes, 26);
  uint16_t bits = Read16(bytes, 28);
  uint32_t compression = Read32(bytes, 30);
  if (planes != 1 || (bits != 24 && bits != 32) || compression != 0) return false;
  if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) return false;
  uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  uint64_t rows = height < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(height))
                             : static_cast<uint64_t>(height);
  if (offset < 14 + headerSize || offset + stride * rows > bytes.size()) return false;
  view.width = width;
  view.height = static_cast<int>(rows);
  view.bitsPerPixel = bits;
  view.bottomUp = height > 0;
  view.pixelOffset = offset;
  view.stride = static_cast<size_t>(stride);
  return true;
}
