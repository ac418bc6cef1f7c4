// Draws the runtime's two page images, the header (90 x 58) and the watermark (176 x 346), in the
// format the package carries: "BM", 14-byte file header, 40-byte information header, 32 bits per
// pixel, no compression, rows bottom-up from offset 54, alpha 0, two bytes after the last row
// (counted in both size fields), 2834 pixels per metre.
//   imagegen OUTDIR
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(v & 0xFF);
  out->push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A package box seen from the front-left, centred at (cx, cy) with half width s; returns
// the colour it paints at (x, y), or false where it paints nothing.
bool BoxPixel(double x, double y, double cx, double cy, double s, Rgb* colour) {
  const Rgb front = {222, 170, 92}, side = {186, 132, 64}, top = {240, 200, 130}, tape = {250, 244, 228};
  double dx = x - cx, dy = y - cy;
  // Front face: a square below the top's front edge.
  if (dx >= -s && dx <= 0 && dy >= -s * 0.4 && dy <= s) {
    *colour = fabs(dx + s * 0.5) < s * 0.08 ? tape : front;
    return true;
  }
  // Side face: a parallelogram to the right of the front.
  double sy = dy + dx * 0.4;
  if (dx > 0 && dx <= s * 0.8 && sy >= -s * 0.4 && sy <= s) {
    *colour = side;
    return true;
  }
  // Top face: the parallelogram from the front's top edge back to the far edge, which lies
  // 0.32 s higher and 0.8 s further right.
  double ty = -(dy + s * 0.4);
  if (ty > 0 && ty <= s * 0.32) {
    double k = ty * 2.5;
    if (dx >= -s + k && dx <= k) {
      *colour = fabs(dx - k + s * 0.5) < s * 0.08 ? tape : top;
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> Draw(int width, int height, bool watermark) {
  std::vector<uint8_t> out;
  uint32_t pixelBytes = static_cast<uint32_t>(width * height * 4);
  out.push_back('B');
  out.push_back('M');
  Put32(&out, 54 + pixelBytes + 2);
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, static_cast<uint32_t>(width));
  Put32(&out, static_cast<uint32_t>(height));  // positive: bottom-up
  Put16(&out, 1);
  Put16(&out, 32);
  Put32(&out, 0);  // BI_RGB
  Put32(&out, pixelBytes + 2);
  Put32(&out, 2834);
  Put32(&out, 2834);
  Put32(&out, 0);
  Put32(&out, 0);
  const Rgb deep = {22, 62, 120}, light = {86, 150, 214}, white = {255, 255, 255};
  for (int row = height - 1; row >= 0; --row) {  // stored bottom-up
    for (int x = 0; x < width; ++x) {
      double fx = x + 0.5, fy = row + 0.5;
      Rgb c;
      if (watermark) {
        c = Mix(deep, light, fy / height);
        // Soft diagonal bands.
        double band = sin((fx + fy * 0.6) / 18.0);
        c = Mix(c, white, 0.06 * (band + 1));
        Rgb box;
        if (BoxPixel(fx, fy, width * 0.55, height * 0.62, width * 0.28, &box)) c = box;
      } else {
        c = Mix(white, {214, 228, 244}, fx / width);
        Rgb box;
        if (BoxPixel(fx, fy, width * 0.52, height * 0.58, height * 0.3, &box)) c = box;
      }
      out.push_back(static_cast<uint8_t>(c.b));
      out.push_back(static_cast<uint8_t>(c.g));
      out.push_back(static_cast<uint8_t>(c.r));
      out.push_back(0);  // alpha 0
    }
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    perror(path.c_str());
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "imagegen: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: imagegen OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!Write(dir + "/kvheader.png", Draw(90, 58, false))) return 1;
  if (!Write(dir + "/kvwaterm.png", Draw(176, 346, true))) return 1;
  return 0;
}
