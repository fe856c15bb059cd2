// The wizard's default pictures, drawn by code so that a project needs no
// image files, and a small BMP writer for them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pvx::tool {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill);
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb& At(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  const Rgb& At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  void Set(int x, int y, Rgb c);
  void FillRect(int x, int y, int w, int h, Rgb c);
  void FrameRect(int x, int y, int w, int h, Rgb c);
  void VerticalGradient(int x, int y, int w, int h, Rgb top, Rgb bottom);
  void FillCircle(int cx, int cy, int radius, Rgb c);
  void FillPolygon(const std::vector<std::pair<int, int>>& points, Rgb c);

 private:
  int width_, height_;
  std::vector<Rgb> pixels_;
};

// A BMP file: 8-bit with a palette when the picture has at most 256
// colours, else 24-bit. Bottom-up rows, padded to four bytes.
std::string EncodeBmp(const Canvas& canvas);

// Header band picture: 52 x 52, its corner colour is the transparent key.
std::string DefaultHeaderPicture();
// Side picture of the welcome and finish pages: 164 x 314.
std::string DefaultSidePicture();
// Page pictures, 48 x 48 on black (black is drawn transparent).
std::string DefaultFolderPicture();
std::string DefaultShortcutsPicture();

struct BmpInfo {
  int width = 0, height = 0, bitsPerPixel = 0;
};
// Reads the size of a BMP file; false when it is not one.
bool ReadBmpInfo(const std::string& bytes, BmpInfo& info);

}  // namespace pvx::tool
