#include "format/str.h"
#include "format/decimal.h"

namespace pvx {

static uint64_t ParseWrapping(const Str& text, bool& negative) {
  size_t i = 0;
  negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');  // wraps modulo 2^64
  return v;
}

int32_t DecimalInt(const Str& text) {
  bool negative;
  uint32_t v = static_cast<uint32_t>(ParseWrapping(text, negative));
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

int64_t DecimalInt64(const Str& text) {
  bool negative;
  uint64_t v = ParseWrapping(text, negative);
  if (negative) v = 0u - v;
  return static_cast<int64_t>(v);
}

double DecimalValue(const Str& text) {
  double integer = 0, fraction = 0, scale = 1;
  bool negative = false, inFraction = false;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      if (inFraction) {
        scale /= 10;
        fraction += (c - '0') * scale;
      } else {
        integer = integer * 10 + (c - '0');
      }
    } else if (c == '.') {
      if (inFraction) break;
      inFraction = true;
    } else if (c == 'E' || c == 'e') {
      int32_t exponent = DecimalInt(text.substr(i + 1));
      double value = integer + fraction;
      // Beyond these the result is 0 or infinite anyway.
      if (exponent > 400) exponent = 400;
      if (exponent < -400) exponent = -400;
      for (; exponent > 0; --exponent) value *= 10;
      for (; exponent < 0; ++exponent) value /= 10;
      return negative ? -value : value;
    }
  }
  double value = integer + fraction;
  return negative ? -value : value;
}

Str DecimalText(uint64_t value) {
  char buffer[24];
  int n = 0;
  // Long division by ten in 16-bit steps, so that the 32-bit stub needs no
  // 64-bit division routine.
  do {
    uint32_t high = static_cast<uint32_t>(value >> 32), low = static_cast<uint32_t>(value);
    uint32_t rest = high % 10;
    high /= 10;
    uint32_t middle = rest << 16 | low >> 16;
    rest = middle % 10;
    middle /= 10;
    uint32_t bottom = rest << 16 | (low & 0xFFFF);
    rest = bottom % 10;
    value = static_cast<uint64_t>(high) << 32 | middle << 16 | bottom / 10;
    buffer[n++] = static_cast<char>('0' + rest);
  } while (value);
  Str text;
  while (n) text += buffer[--n];
  return text;
}

Str DecimalText(int64_t value) {
  if (value >= 0) return DecimalText(static_cast<uint64_t>(value));
  return "-" + DecimalText(0u - static_cast<uint64_t>(value));
}

}  // namespace pvx
