// BMP file, as written here:
//   +0  "BM", uint32 file size, 2 x uint16 reserved (0), uint32 pixel offset
//   +14 BITMAPINFOHEADER (40 bytes): width, height (positive: bottom-up),
//       planes 1, bit count 8 or 24, BI_RGB, image size, 2835 ppm x 2,
//       colours used, colours important
//   +54 palette (8-bit only): B, G, R, 0 per entry
//   pixel rows, bottom row first, each padded to a multiple of 4 bytes
#include "tool/pictures.h"

#include <algorithm>
#include <map>

#include "format/byte_source.h"

namespace pvx::tool {

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

void Canvas::Set(int x, int y, Rgb c) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) At(x, y) = c;
}

void Canvas::FillRect(int x, int y, int w, int h, Rgb c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) Set(i, j, c);
}

void Canvas::FrameRect(int x, int y, int w, int h, Rgb c) {
  FillRect(x, y, w, 1, c);
  FillRect(x, y + h - 1, w, 1, c);
  FillRect(x, y, 1, h, c);
  FillRect(x + w - 1, y, 1, h, c);
}

void Canvas::VerticalGradient(int x, int y, int w, int h, Rgb top, Rgb bottom) {
  for (int j = 0; j < h; ++j) {
    auto mix = [&](uint8_t a, uint8_t b) {
      return static_cast<uint8_t>(a + (static_cast<int>(b) - a) * j / std::max(1, h - 1));
    };
    FillRect(x, y + j, w, 1, Rgb{mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)});
  }
}

void Canvas::FillCircle(int cx, int cy, int radius, Rgb c) {
  for (int j = -radius; j <= radius; ++j)
    for (int i = -radius; i <= radius; ++i)
      if (i * i + j * j <= radius * radius) Set(cx + i, cy + j, c);
}

void Canvas::FillPolygon(const std::vector<std::pair<int, int>>& pts, Rgb c) {
  // Even-odd scanline fill through pixel centres.
  for (int y = 0; y < height_; ++y) {
    double sy = y + 0.5;
    std::vector<double> xs;
    for (size_t k = 0; k < pts.size(); ++k) {
      auto [x0, y0] = pts[k];
      auto [x1, y1] = pts[(k + 1) % pts.size()];
      if ((y0 <= sy && y1 > sy) || (y1 <= sy && y0 > sy))
        xs.push_back(x0 + (sy - y0) * (x1 - x0) / static_cast<double>(y1 - y0));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2)
      for (int x = 0; x < width_; ++x)
        if (x + 0.5 >= xs[k] && x + 0.5 < xs[k + 1]) Set(x, y, c);
  }
}

namespace {

void Put(std::string& out, uint64_t v, int bytes) {
  uint8_t b[8];
  StoreLE(b, v, bytes);
  out.append(reinterpret_cast<const char*>(b), bytes);
}

uint32_t Key(const Rgb& c) { return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }

}  // namespace

std::string EncodeBmp(const Canvas& canvas) {
  const int w = canvas.width(), h = canvas.height();
  // Palette in order of first appearance, so the output is fixed.
  std::map<uint32_t, int> index;
  std::vector<Rgb> palette;
  for (int y = 0; y < h && palette.size() <= 256; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb& c = canvas.At(x, y);
      if (index.emplace(Key(c), static_cast<int>(palette.size())).second) palette.push_back(c);
    }
  const bool indexed = palette.size() <= 256;
  const int bpp = indexed ? 8 : 24;
  const uint32_t rowBytes = ((w * bpp / 8) + 3) & ~3u;
  const uint32_t paletteBytes = indexed ? static_cast<uint32_t>(palette.size()) * 4 : 0;
  const uint32_t pixelOffset = 14 + 40 + paletteBytes;
  const uint32_t imageSize = rowBytes * h;
  std::string out;
  out += "BM";
  Put(out, pixelOffset + imageSize, 4);
  Put(out, 0, 4);
  Put(out, pixelOffset, 4);
  Put(out, 40, 4);
  Put(out, w, 4);
  Put(out, h, 4);
  Put(out, 1, 2);
  Put(out, bpp, 2);
  Put(out, 0, 4);
  Put(out, imageSize, 4);
  Put(out, 2835, 4);
  Put(out, 2835, 4);
  Put(out, indexed ? palette.size() : 0, 4);
  Put(out, 0, 4);
  if (indexed)
    for (const Rgb& c : palette) {
      out += static_cast<char>(c.b);
      out += static_cast<char>(c.g);
      out += static_cast<char>(c.r);
      out += '\0';
    }
  for (int y = h - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < w; ++x) {
      const Rgb& c = canvas.At(x, y);
      if (indexed) {
        row += static_cast<char>(index[Key(c)]);
      } else {
        row += static_cast<char>(c.b);
        row += static_cast<char>(c.g);
        row += static_cast<char>(c.r);
      }
    }
    row.resize(rowBytes, '\0');
    out += row;
  }
  return out;
}

bool ReadBmpInfo(const std::string& bytes, BmpInfo& info) {
  if (bytes.size() < 30 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  uint32_t headerSize = static_cast<uint32_t>(LoadLE(p + 14, 4));
  if (headerSize == 12) {
    info.width = static_cast<int>(LoadLE(p + 18, 2));
    info.height = static_cast<int>(LoadLE(p + 20, 2));
    info.bitsPerPixel = static_cast<int>(LoadLE(p + 24, 2));
    return true;
  }
  if (headerSize < 40 || bytes.size() < 54) return false;
  info.width = static_cast<int32_t>(LoadLE(p + 18, 4));
  int32_t height = static_cast<int32_t>(LoadLE(p + 22, 4));
  info.height = height < 0 ? -height : height;
  info.bitsPerPixel = static_cast<int>(LoadLE(p + 28, 2));
  return info.width > 0 && info.height > 0;
}

namespace {

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kNavy{22, 52, 110};
const Rgb kBlue{46, 104, 186};
const Rgb kSky{150, 190, 235};
const Rgb kCardboard{206, 160, 96};
const Rgb kCardboardDark{160, 115, 60};
const Rgb kCardboardLight{232, 196, 140};

// An open parcel seen from the front-left: the shape of "something that
// gets installed", drawn at any offset and scale (unit = 1/16 of size).
void DrawParcel(Canvas& c, int ox, int oy, int size) {
  auto P = [&](int x, int y) { return std::make_pair(ox + x * size / 16, oy + y * size / 16); };
  c.FillPolygon({P(2, 6), P(8, 9), P(8, 16), P(2, 13)}, kCardboard);      // left face
  c.FillPolygon({P(8, 9), P(14, 6), P(14, 13), P(8, 16)}, kCardboardDark);  // right face
  c.FillPolygon({P(2, 6), P(8, 3), P(14, 6), P(8, 9)}, kCardboardLight);   // top
  c.FillPolygon({P(2, 6), P(0, 3), P(6, 0), P(8, 3)}, kCardboard);          // open flap, left
  c.FillPolygon({P(14, 6), P(16, 3), P(10, 0), P(8, 3)}, kCardboardDark);   // open flap, right
}

}  // namespace

std::string DefaultHeaderPicture() {
  Canvas c(52, 52, kWhite);
  DrawParcel(c, 2, 2, 48);
  return EncodeBmp(c);
}

std::string DefaultSidePicture() {
  Canvas c(164, 314, kNavy);
  c.VerticalGradient(0, 0, 164, 314, kNavy, kBlue);
  // Soft circles in the background, then the parcel.
  c.FillCircle(140, 40, 60, Rgb{40, 84, 150});
  c.FillCircle(20, 280, 70, Rgb{52, 110, 190});
  for (int i = 0; i < 5; ++i) c.FillCircle(30 + i * 26, 230, 3, kSky);
  DrawParcel(c, 26, 90, 112);
  return EncodeBmp(c);
}

std::string DefaultFolderPicture() {
  Canvas c(48, 48, kBlack);
  const Rgb back{214, 160, 30}, front{246, 200, 70}, edge{150, 100, 10};
  c.FillRect(4, 10, 16, 6, back);  // tab
  c.FillRect(4, 14, 40, 26, back);
  c.FillPolygon({{8, 20}, {46, 20}, {42, 40}, {4, 40}}, front);
  c.FrameRect(4, 14, 40, 27, edge);
  return EncodeBmp(c);
}

std::string DefaultShortcutsPicture() {
  Canvas c(48, 48, kBlack);
  const Rgb paper{250, 250, 250}, edge{120, 120, 120}, arrow{40, 120, 220};
  c.FillRect(6, 4, 30, 38, paper);
  c.FrameRect(6, 4, 30, 38, edge);
  for (int i = 0; i < 5; ++i) c.FillRect(11, 11 + i * 5, 20, 2, Rgb{190, 190, 190});
  c.FillRect(22, 24, 24, 22, kWhite);
  c.FrameRect(22, 24, 24, 22, edge);
  c.FillPolygon({{27, 41}, {37, 31}, {33, 29}, {42, 28}, {41, 37}, {39, 33}, {29, 43}}, arrow);
  return EncodeBmp(c);
}

}  // namespace pvx::tool
