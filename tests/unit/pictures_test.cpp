#include "tool/pictures.h"

#include <gtest/gtest.h>

#include "format/byte_source.h"
#include "tool/rtf.h"

namespace pvx::tool {
namespace {

// Colour of pixel (x, y), counted from the top, of an 8- or 24-bit BMP.
Rgb PixelOf(const std::string& bmp, int x, int y) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bmp.data());
  const int w = static_cast<int>(LoadLE(p + 18, 4)), h = static_cast<int>(LoadLE(p + 22, 4));
  const int bpp = static_cast<int>(LoadLE(p + 28, 2));
  const uint32_t offset = static_cast<uint32_t>(LoadLE(p + 10, 4));
  const uint32_t row = ((w * bpp / 8) + 3) & ~3u;
  const uint8_t* px = p + offset + row * (h - 1 - y);
  if (bpp == 24) return Rgb{px[x * 3 + 2], px[x * 3 + 1], px[x * 3]};
  const uint8_t* entry = p + 54 + 4 * px[x];
  return Rgb{entry[2], entry[1], entry[0]};
}

TEST(DefaultPictures, SizesDepthsAndTransparentKeysFitTheirBoxes) {
  struct Case {
    const char* name;
    std::string bmp;
    int width, height;
    bool blackCorner;  // page pictures: black is the key
  };
  const Case cases[] = {
      {"header", DefaultHeaderPicture(), 52, 52, false},
      {"side", DefaultSidePicture(), 164, 314, false},
      {"folder", DefaultFolderPicture(), 48, 48, true},
      {"shortcuts", DefaultShortcutsPicture(), 48, 48, true},
  };
  for (const Case& c : cases) {
    BmpInfo info;
    ASSERT_TRUE(ReadBmpInfo(c.bmp, info)) << c.name;
    EXPECT_EQ(info.width, c.width) << c.name;
    EXPECT_EQ(info.height, c.height) << c.name;
    EXPECT_TRUE(info.bitsPerPixel == 8 || info.bitsPerPixel == 24) << c.name;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(c.bmp.data());
    EXPECT_EQ(LoadLE(p + 2, 4), c.bmp.size()) << c.name;
    if (c.blackCorner) {
      EXPECT_TRUE(PixelOf(c.bmp, 0, 0) == (Rgb{0, 0, 0})) << c.name;
    }
  }
  // The header picture's corner is the band's default white, so drawn
  // transparent it melts into the band.
  EXPECT_TRUE(PixelOf(DefaultHeaderPicture(), 0, 0) == (Rgb{255, 255, 255}));
}

TEST(EncodeBmp, ManyColoursFallBackToTwentyFourBits) {
  Canvas c(20, 20, Rgb{});
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) c.Set(x, y, Rgb{static_cast<uint8_t>(x * 12), static_cast<uint8_t>(y * 12), 7});
  std::string bmp = EncodeBmp(c);
  BmpInfo info;
  ASSERT_TRUE(ReadBmpInfo(bmp, info));
  EXPECT_EQ(info.bitsPerPixel, 24);
  EXPECT_TRUE(PixelOf(bmp, 19, 3) == (Rgb{228, 36, 7}));
}

TEST(PlainTextToRtf, EscapesSpecialsAndNonAsciiAndBreaksLines) {
  std::string rtf = PlainTextToRtf("a\\b{c}\r\nd\xFC\ne\tf", 1252);
  EXPECT_TRUE(LooksLikeRtf(rtf));
  EXPECT_NE(rtf.find("\\ansicpg1252"), std::string::npos);
  EXPECT_NE(rtf.find("a\\\\b\\{c\\}\\par\r\nd\\'fc\\par\r\ne\\tab f"), std::string::npos);
  EXPECT_NE(PlainTextToRtf("x", 1251).find("\\fcharset204"), std::string::npos);
}

}  // namespace
}  // namespace pvx::tool
