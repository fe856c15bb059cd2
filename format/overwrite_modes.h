// A file's overwrite mode, as a package stores it in the file's record, and
// the replace prompt's answers, which the run remembers (replace all, skip
// all) and the install log names.
#pragma once
#include <cstdint>

namespace pvx {

// What may happen to an existing file at the destination.
enum OverwriteMode : int32_t {
  kOverwriteAsk = 0,
  kOverwriteAskIfNewer = 1,
  kOverwriteAlways = 2,
  kOverwriteIfNewer = 3,
  kOverwriteNever = 4,
};

// The replace prompt's answers; kAsk: nothing remembered yet.
enum ReplaceAnswer : int32_t {
  kReplace = 1000,
  kReplaceAll = 2000,
  kSkip = 3000,
  kSkipAll = 4000,
  kAsk = 5000,
};

}  // namespace pvx
