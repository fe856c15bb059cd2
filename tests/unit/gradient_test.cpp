#include "core/gradient.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

uint32_t Grey(int v) { return static_cast<uint32_t>(v * 0x010101); }

TEST(GradientTest, Pixels) {
  struct Case {
    uint32_t c1, c2;
    int i, n;
    uint32_t expected;
  } cases[] = {
      {Grey(0), Grey(255), 0, 170, Grey(0)},
      {Grey(0), Grey(255), 85, 170, Grey(127)},  // 127.5 truncated
      {Grey(0), Grey(255), 169, 170, Grey(253)},
      // Falling channels truncate toward c1.
      {Grey(200), Grey(100), 0, 3, Grey(200)},
      {Grey(200), Grey(100), 1, 3, Grey(167)},
      {Grey(200), Grey(100), 2, 3, Grey(134)},
      // Channels are independent: red rises, green falls, blue stays.
      {0x0040FF00, 0x004000FF, 1, 2, 0x0040807F},
      // The byte above the colour never leaks into the result.
      {0x80000000u | 0x000010, 0x000030, 1, 2, 0x000020},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GradientColor(c.c1, c.c2, c.i, c.n), c.expected)
        << std::hex << c.c1 << " -> " << c.c2 << " at " << std::dec << c.i << "/" << c.n;
}

TEST(GradientTest, NeverReachesTheSecondColour) {
  for (int n = 1; n < 300; n += 7) EXPECT_NE(GradientColor(Grey(0), Grey(255), n - 1, n), Grey(255)) << n;
}

TEST(GradientTest, CentredOffset) {
  struct Case {
    int outer, inner, expected;
  } cases[] = {
      {1024, 100, 462}, {768, 100, 334}, {10, 10, 0},
      {11, 10, 0},   // 0.5 -> 0
      {13, 10, 2},   // 1.5 -> 2
      {15, 10, 2},   // 2.5 -> 2
      {100, 200, -50}, {99, 100, 0},  // -0.5 -> 0
      {97, 100, -2},  // -1.5 -> -2
  };
  for (const Case& c : cases) EXPECT_EQ(CentredOffset(c.outer, c.inner), c.expected) << c.outer << " " << c.inner;
}

}  // namespace
}  // namespace pvx
