#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

// The bitmap as a complete BMP file (bottom-up, uncompressed; palette for
// 8 bits per pixel or fewer), or empty text when it cannot be read.
Str BitmapFileBytes(HBITMAP bitmap);

}  // namespace pvx
