// Colour and placement arithmetic of the wizard's and the backdrop's
// painting, kept apart from GDI so that it is tested natively.
#pragma once
#include <cstdint>

namespace pvx {

// Pixel i of n of a gradient from c1 to c2 (COLORREF layout 0x00BBGGRR):
// each channel c1 + (c2 - c1) * i / n, truncated toward zero, so the last
// pixel stops one step short of c2.
uint32_t GradientColor(uint32_t c1, uint32_t c2, int i, int n);

// Where a picture of size inner is centred in outer: half the difference,
// a half rounded to the even neighbour.
int CentredOffset(int outer, int inner);

}  // namespace pvx
