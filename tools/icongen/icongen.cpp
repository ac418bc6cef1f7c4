// Draws the extractor's icon, a closed cardboard box, at six sizes into one .ico file.
// Usage: icongen OUTPUT.ico
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

namespace {

const int kSizes[] = {16, 24, 32, 48, 64, 128};
constexpr int kSamples = 4;  // samples per pixel in each direction

struct Point {
  double x, y;
};
struct Rgb {
  double r, g, b;
};

// The box in unit coordinates (y downwards): top, left and right faces.
const Point kTop[] = {{0.5, 0.06}, {0.94, 0.27}, {0.5, 0.48}, {0.06, 0.27}};
const Point kLeft[] = {{0.06, 0.27}, {0.5, 0.48}, {0.5, 0.95}, {0.06, 0.74}};
const Point kRight[] = {{0.5, 0.48}, {0.94, 0.27}, {0.94, 0.74}, {0.5, 0.95}};
const Rgb kTopColour = {226, 188, 138};
const Rgb kLeftColour = {199, 150, 92};
const Rgb kRightColour = {158, 108, 58};
const Rgb kTapeColour = {244, 226, 180};
const Rgb kEdgeColour = {86, 56, 26};

bool Inside(const Point* poly, int count, Point p) {
  bool in = false;
  for (int i = 0, j = count - 1; i < count; j = i++) {
    if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
        p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
      in = !in;
    }
  }
  return in;
}

double SegmentDistance(Point a, Point b, Point p) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return sqrt(ex * ex + ey * ey);
}

double EdgeDistance(const Point* poly, int count, Point p) {
  double best = 1e9;
  for (int i = 0, j = count - 1; i < count; j = i++) {
    double d = SegmentDistance(poly[j], poly[i], p);
    if (d < best) best = d;
  }
  return best;
}

// Colour of one sample; false where the sample is outside the box.
bool Sample(Point p, double edgeWidth, Rgb* colour) {
  const Point* faces[] = {kTop, kLeft, kRight};
  const Rgb* colours[] = {&kTopColour, &kLeftColour, &kRightColour};
  for (int f = 0; f < 3; ++f) {
    if (!Inside(faces[f], 4, p) && EdgeDistance(faces[f], 4, p) > edgeWidth) continue;
    if (EdgeDistance(faces[f], 4, p) <= edgeWidth) {
      *colour = kEdgeColour;
      return true;
    }
    *colour = *colours[f];
    // A strip of tape across the lid and down the front edge's faces.
    double tape = 0.07;
    if (f == 0 && SegmentDistance({0.28, 0.165}, {0.72, 0.375}, p) < tape) *colour = kTapeColour;
    if (f == 2 && SegmentDistance({0.72, 0.375}, {0.72, 0.60}, p) < tape) *colour = kTapeColour;
    return true;
  }
  return false;
}

void Put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One icon image: a 32-bit bottom-up DIB (height doubled for the mask) and its 1-bit mask.
std::vector<uint8_t> DrawImage(int size) {
  std::vector<uint8_t> out;
  Put32(&out, 40);
  Put32(&out, size);
  Put32(&out, size * 2);
  Put16(&out, 1);
  Put16(&out, 32);
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  double edgeWidth = 0.75 / size > 0.018 ? 0.75 / size : 0.018;
  std::vector<uint8_t> alpha(size * size);
  for (int row = size - 1; row >= 0; --row) {
    for (int col = 0; col < size; ++col) {
      Rgb sum = {0, 0, 0};
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          Point p = {(col + (sx + 0.5) / kSamples) / size, (row + (sy + 0.5) / kSamples) / size};
          Rgb c;
          if (!Sample(p, edgeWidth, &c)) continue;
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          ++hits;
        }
      }
      uint8_t a = static_cast<uint8_t>(255 * hits / (kSamples * kSamples));
      alpha[row * size + col] = a;
      out.push_back(hits ? static_cast<uint8_t>(sum.b / hits) : 0);
      out.push_back(hits ? static_cast<uint8_t>(sum.g / hits) : 0);
      out.push_back(hits ? static_cast<uint8_t>(sum.r / hits) : 0);
      out.push_back(a);
    }
  }
  int maskStride = ((size + 31) / 32) * 4;
  for (int row = size - 1; row >= 0; --row) {
    std::vector<uint8_t> line(maskStride, 0);
    for (int col = 0; col < size; ++col) {
      if (alpha[row * size + col] == 0) line[col / 8] |= static_cast<uint8_t>(0x80 >> (col % 8));
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: icongen OUTPUT.ico\n");
    return 2;
  }
  const int count = static_cast<int>(sizeof(kSizes) / sizeof(kSizes[0]));
  std::vector<std::vector<uint8_t>> images;
  for (int size : kSizes) images.push_back(DrawImage(size));
  std::vector<uint8_t> file;
  Put16(&file, 0);
  Put16(&file, 1);
  Put16(&file, count);
  uint32_t offset = 6 + 16 * count;
  for (int i = 0; i < count; ++i) {
    file.push_back(static_cast<uint8_t>(kSizes[i] >= 256 ? 0 : kSizes[i]));
    file.push_back(static_cast<uint8_t>(kSizes[i] >= 256 ? 0 : kSizes[i]));
    file.push_back(0);
    file.push_back(0);
    Put16(&file, 1);
    Put16(&file, 32);
    Put32(&file, static_cast<uint32_t>(images[i].size()));
    Put32(&file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  FILE* f = fopen(argv[1], "wb");
  if (f == nullptr) {
    perror(argv[1]);
    return 1;
  }
  bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
  if (fclose(f) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "icongen: cannot write %s\n", argv[1]);
    remove(argv[1]);
    return 1;
  }
  return 0;
}
