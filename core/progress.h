#pragma once
#include <cstdint>

namespace pvx {

// The progress bar position for a byte count: count / 1024 rounded to the
// nearest integer, halves to the even neighbour.
uint32_t ProgressPosition(uint64_t bytes);

}  // namespace pvx
