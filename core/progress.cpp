#include "core/progress.h"

namespace pvx {

uint32_t ProgressPosition(uint64_t bytes) {
  uint64_t whole = bytes / 1024, rest = bytes % 1024;
  if (rest > 512 || (rest == 512 && (whole & 1))) ++whole;
  return whole > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(whole);
}

}  // namespace pvx
