// A BMP file around device-independent bitmap data.
#pragma once
#include <cstdint>

#include "format/str.h"

namespace pvx {

// Appends `value` as `bytes` little-endian bytes.
void AppendLittleEndian(Str& out, uint32_t value, unsigned bytes);

// The file: the 14-byte header ("BM", file size, two reserved words, offset
// of the pixels), then the info header with its palette, then the pixels.
Str BitmapFile(const Str& infoAndPalette, const Str& pixels);

}  // namespace pvx
