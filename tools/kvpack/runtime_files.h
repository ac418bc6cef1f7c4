// Checks of the runtime data files a package author may replace: the two images (the carried
// bitmap format) and the file-property list.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

constexpr uint32_t kHeaderImageWidth = 90;
constexpr uint32_t kHeaderImageHeight = 58;
constexpr uint32_t kWatermarkWidth = 176;
constexpr uint32_t kWatermarkHeight = 346;

// Accepts only the bitmap layout the runtime library reads: "BM", a 14-byte file header and a
// 40-byte information header, width x height pixels of 32 bits, no compression, rows bottom-up,
// pixel data at 54 and two bytes after the last row, counted in both size fields. Otherwise
// *reason says what differs.
bool CheckCarriedBitmap(const std::vector<uint8_t>& bytes, uint32_t width, uint32_t height,
                        std::string* reason);

// Accepts a file-property list: ASCII only, every line ended by CR LF, whole records of five
// lines.
bool CheckFilePropertyList(const std::vector<uint8_t>& bytes, std::string* reason);
