#include "actions/bitmap_file_win.h"

#include "actions/bitmap_file.h"

namespace pvx {

Str BitmapFileBytes(HBITMAP bitmap) {
  BITMAP shape;
  if (!bitmap || !GetObjectA(bitmap, sizeof shape, &shape) || shape.bmWidth <= 0 || shape.bmHeight <= 0)
    return Str();
  // 16-bit pixels would need colour masks; 24 bits keep every colour.
  unsigned bits = shape.bmBitsPixel * shape.bmPlanes;
  if (bits > 8 && bits != 32) bits = 24;
  const unsigned colours = bits <= 8 ? 1u << bits : 0;
  Str info(sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD), '\0');
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = shape.bmWidth;
  header->biHeight = shape.bmHeight;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bits);
  header->biCompression = BI_RGB;
  const DWORD stride = ((static_cast<DWORD>(shape.bmWidth) * bits + 31) / 32) * 4;
  header->biSizeImage = stride * static_cast<DWORD>(shape.bmHeight);
  header->biClrUsed = colours;
  Str pixels(header->biSizeImage, '\0');
  HDC screen = GetDC(nullptr);
  int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(shape.bmHeight), pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != shape.bmHeight) return Str();
  return BitmapFile(info, pixels);
}

}  // namespace pvx
