#include "actions/bitmap_file.h"

namespace pvx {

void AppendLittleEndian(Str& out, uint32_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
}

Str BitmapFile(const Str& infoAndPalette, const Str& pixels) {
  const uint32_t offset = 14 + static_cast<uint32_t>(infoAndPalette.size());
  Str file("BM");
  AppendLittleEndian(file, offset + static_cast<uint32_t>(pixels.size()), 4);
  AppendLittleEndian(file, 0, 4);
  AppendLittleEndian(file, offset, 4);
  file += infoAndPalette;
  file += pixels;
  return file;
}

}  // namespace pvx
