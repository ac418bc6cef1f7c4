// Draws the extractor's icon, a closed cardboard box, at six sizes into one .ico file: five
// 32-bit DIB images and a 256-pixel PNG image (compressed here with a small deflate encoder).
// Usage: icongen OUTPUT.ico
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

namespace {

const int kSizes[] = {16, 24, 32, 48, 64, 256};
constexpr int kPngFrom = 256;  // images this large are stored as PNG
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

// Renders the box at size x size pixels: straight RGBA, top row first.
std::vector<uint8_t> Render(int size) {
  std::vector<uint8_t> rgba;
  double edgeWidth = 0.75 / size > 0.018 ? 0.75 / size : 0.018;
  for (int row = 0; row < size; ++row) {
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
      rgba.push_back(hits ? static_cast<uint8_t>(sum.r / hits) : 0);
      rgba.push_back(hits ? static_cast<uint8_t>(sum.g / hits) : 0);
      rgba.push_back(hits ? static_cast<uint8_t>(sum.b / hits) : 0);
      rgba.push_back(static_cast<uint8_t>(255 * hits / (kSamples * kSamples)));
    }
  }
  return rgba;
}

// One icon image as a 32-bit bottom-up DIB (height doubled for the mask) and its 1-bit mask.
std::vector<uint8_t> EncodeDib(const std::vector<uint8_t>& rgba, int size) {
  std::vector<uint8_t> out;
  Put32(&out, 40);
  Put32(&out, size);
  Put32(&out, size * 2);
  Put16(&out, 1);
  Put16(&out, 32);
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int row = size - 1; row >= 0; --row) {
    for (int col = 0; col < size; ++col) {
      const uint8_t* px = &rgba[(row * size + col) * 4];
      out.push_back(px[2]);
      out.push_back(px[1]);
      out.push_back(px[0]);
      out.push_back(px[3]);
    }
  }
  int maskStride = ((size + 31) / 32) * 4;
  for (int row = size - 1; row >= 0; --row) {
    std::vector<uint8_t> line(maskStride, 0);
    for (int col = 0; col < size; ++col) {
      if (rgba[(row * size + col) * 4 + 3] == 0) line[col / 8] |= static_cast<uint8_t>(0x80 >> (col % 8));
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// Bits written least significant first, as deflate packs them.
struct BitWriter {
  std::vector<uint8_t>* out;
  uint32_t buffer = 0;
  int count = 0;
  void Put(uint32_t bits, int n) {
    buffer |= bits << count;
    count += n;
    while (count >= 8) {
      out->push_back(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      count -= 8;
    }
  }
  // Huffman codes go most significant bit first.
  void PutCode(uint32_t code, int n) {
    uint32_t reversed = 0;
    for (int i = 0; i < n; ++i) reversed |= ((code >> i) & 1) << (n - 1 - i);
    Put(reversed, n);
  }
  void Flush() {
    if (count > 0) out->push_back(static_cast<uint8_t>(buffer));
    buffer = 0;
    count = 0;
  }
};

void PutLiteralOrLength(BitWriter* w, int symbol) {
  if (symbol < 144) w->PutCode(0x30 + symbol, 8);
  else if (symbol < 256) w->PutCode(0x190 + symbol - 144, 9);
  else if (symbol < 280) w->PutCode(symbol - 256, 7);
  else w->PutCode(0xC0 + symbol - 280, 8);
}

const int kLengthBase[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
                           67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                            4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceBase[] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385,
                             513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7,
                              8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A zlib stream of one deflate block with the fixed codes and greedy LZ77 matching.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {0x78, 0x01};
  BitWriter w{&out};
  w.Put(1, 1);  // last block
  w.Put(1, 2);  // fixed Huffman codes
  const size_t kWindow = 32768;
  std::vector<int64_t> head(1 << 15, -1);
  auto hash = [&](size_t i) {
    return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF;
  };
  size_t i = 0;
  while (i < data.size()) {
    size_t bestLength = 0, bestDistance = 0;
    if (i + 3 <= data.size()) {
      int64_t candidate = head[hash(i)];
      head[hash(i)] = static_cast<int64_t>(i);
      if (candidate >= 0 && i - candidate <= kWindow) {
        size_t length = 0;
        while (length < 258 && i + length < data.size() && data[candidate + length] == data[i + length]) ++length;
        if (length >= 3) {
          bestLength = length;
          bestDistance = i - candidate;
        }
      }
    }
    if (bestLength == 0) {
      PutLiteralOrLength(&w, data[i]);
      ++i;
      continue;
    }
    int code = 28;
    while (kLengthBase[code] > static_cast<int>(bestLength)) --code;
    PutLiteralOrLength(&w, 257 + code);
    w.Put(static_cast<uint32_t>(bestLength - kLengthBase[code]), kLengthExtra[code]);
    int dcode = 29;
    while (kDistanceBase[dcode] > static_cast<int>(bestDistance)) --dcode;
    w.PutCode(dcode, 5);
    w.Put(static_cast<uint32_t>(bestDistance - kDistanceBase[dcode]), kDistanceExtra[dcode]);
    for (size_t k = 1; k < bestLength && i + k + 3 <= data.size(); ++k) head[hash(i + k)] = static_cast<int64_t>(i + k);
    i += bestLength;
  }
  PutLiteralOrLength(&w, 256);
  w.Flush();
  uint32_t a = 1, b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  uint32_t adler = (b << 16) | a;
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
  return out;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutBe32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& body) {
  PutBe32(out, static_cast<uint32_t>(body.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), body.begin(), body.end());
  PutBe32(out, Crc32(out->data() + start, out->size() - start));
}

// A PNG file of the image: 8-bit RGBA, each row filtered with "Sub".
std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgba, int size) {
  std::vector<uint8_t> rows;
  for (int row = 0; row < size; ++row) {
    rows.push_back(1);
    const uint8_t* line = &rgba[static_cast<size_t>(row) * size * 4];
    for (int k = 0; k < size * 4; ++k) rows.push_back(static_cast<uint8_t>(line[k] - (k >= 4 ? line[k - 4] : 0)));
  }
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBe32(&header, size);
  PutBe32(&header, size);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", Deflate(rows));
  PutChunk(&png, "IEND", {});
  return png;
}

std::vector<uint8_t> DrawImage(int size) {
  std::vector<uint8_t> rgba = Render(size);
  return size >= kPngFrom ? EncodePng(rgba, size) : EncodeDib(rgba, size);
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
