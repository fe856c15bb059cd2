#include "core/gradient.h"

namespace pvx {

uint32_t GradientColor(uint32_t c1, uint32_t c2, int i, int n) {
  uint32_t colour = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    int a = (c1 >> shift) & 0xFF, b = (c2 >> shift) & 0xFF;
    colour |= static_cast<uint32_t>(a + (b - a) * i / n) << shift;
  }
  return colour;
}

int CentredOffset(int outer, int inner) {
  int d = outer - inner;
  int half = d >> 1;  // floor
  if ((d & 1) && (half & 1)) ++half;
  return half;
}

}  // namespace pvx
