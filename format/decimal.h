// The lenient number rules of the setup script.
#pragma once
#include <cstdint>
#include "format/str.h"

namespace pvx {

// An optional "-" or "+", then decimal digits up to the first byte that is
// not a digit; no digits give 0; white space is not skipped; the value wraps
// modulo 2^32. "12abc" is 12, " 7" is 0, "-37" is -37.
int32_t DecimalInt(const Str& text);

// The same rule in 64 bits (the disk space a package needs).
int64_t DecimalInt64(const Str& text);

// The real-number rule used for .NET versions: optional leading "-", digits
// before the first "." are the integer part, digits after it the fraction,
// a second "." ends the number, "E"/"e" ends it after scaling by ten to the
// power that follows (read like DecimalInt); every other byte is skipped.
// "2.0" is 2.0, "1.1.4322" is 1.1.
double DecimalValue(const Str& text);

Str DecimalText(int64_t value);
Str DecimalText(uint64_t value);
inline Str DecimalText(int32_t v) { return DecimalText(static_cast<int64_t>(v)); }
inline Str DecimalText(uint32_t v) { return DecimalText(static_cast<uint64_t>(v)); }

}  // namespace pvx
