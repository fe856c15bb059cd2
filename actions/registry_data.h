// How the data text of a registry entry becomes the bytes of its value.
#pragma once
#include <cstdint>

#include "format/str.h"

namespace pvx {

// REG_BINARY data: one byte per pair of characters, a final unpaired
// character ignored. Each pair is read as hexadecimal up to its first
// character that is not a hex digit, so "G1" is 0 and "1G" is 1.
Str HexPairBytes(const Str& data);

// REG_DWORD data: the script's decimal rule, negative numbers in two's
// complement ("-1" is 0xFFFFFFFF, "12abc" is 12, "" is 0).
uint32_t DwordData(const Str& data);

}  // namespace pvx
