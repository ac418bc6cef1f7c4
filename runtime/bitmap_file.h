// Recognising the runtime's images by content: Windows bitmap files ("BM", a file header and a
// BITMAPINFOHEADER), uncompressed, 24 or 32 bits per pixel, whatever the file is named. Pure code.
#pragma once

#include <stdint.h>
#include <string>

struct BitmapView {
  int width = 0;
  int height = 0;        // always positive
  int bitsPerPixel = 0;
  bool bottomUp = true;
  size_t pixelOffset = 0;  // offset of the first stored row in the file
  size_t stride = 0;       // bytes per stored row
};

// False (and nothing else) when bytes are not a bitmap we can show or its pixels would reach
// past the end of the data.
bool RecognizeBitmap(const std::string& bytes, BitmapView& view);
