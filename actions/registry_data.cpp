#include "actions/registry_data.h"

#include "format/decimal.h"

namespace pvx {

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Str HexPairBytes(const Str& data) {
  Str bytes;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      int d = HexDigit(data[j]);
      if (d < 0) break;
      value = value * 16 + static_cast<unsigned>(d);
    }
    bytes += static_cast<char>(value);
  }
  return bytes;
}

uint32_t DwordData(const Str& data) { return static_cast<uint32_t>(DecimalInt(data)); }

}  // namespace pvx
