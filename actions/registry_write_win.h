// The one registry-writing operation (registry entries and fonts).
#pragma once
#include <cstdint>

#include "format/str.h"

namespace pvx {

// Creates the key under root 0x80000000 + rootCode (with missing parents)
// and, unless the value exists and `overwrite` is false, writes `data` by
// type code: 0 REG_SZ, 1 REG_BINARY from hex pairs, 2 REG_DWORD from a
// decimal number; any other code only creates the key. Failures are
// silent.
void WriteRegistryValue(int32_t rootCode, const Str& keyPath, const Str& valueName,
                        const Str& data, int32_t typeCode, bool overwrite);

}  // namespace pvx
