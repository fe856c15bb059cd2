// The stored records' file times against Unix times, for the tool. A file
// of its own: the runtime never converts them, and its 64-bit division
// must not pull the compiler's division routine into the stub.
#include "format/stored_records.h"

namespace pvx {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600LL;

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  return static_cast<uint64_t>(seconds + kEpochDifference) * 10000000ULL + nanoseconds / 100;
}

int64_t UnixFromFileTime(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / 10000000ULL) - kEpochDifference;
}

}  // namespace pvx
