#include "format/str.h"
#include "core/workdir.h"

#include "format/decimal.h"
#include "format/text_util.h"
#include "format/work_files.h"

namespace pvx {

Str WorkDirFileName(const Str& base, int n, bool prefixed) {
  return WithTrailingBackslash(base) + work_files::kFolder + (prefixed ? work_files::kPartPrefix : "") +
         DecimalText(static_cast<int64_t>(n)) + work_files::kSuffix;
}

std::vector<int> CleanupFileNumbers(bool withLanguageFiles, int32_t languages) {
  if (languages < 0) languages = -1;  // the range 20 .. 20 + L is then empty
  if (languages > 255) languages = 255;
  using namespace work_files;
  const int pairs = withLanguageFiles ? languages + 1 : 0;
  constexpr int kFixed = kLastFixed + 1;
  // Sized at once: the list needs no growing code of its own.
  std::vector<int> numbers(kFixed + 2 * pairs);
  for (int n = 0; n < kFixed; ++n) numbers[n] = n;
  for (int i = 0; i < pairs; ++i) {
    numbers[kFixed + 2 * i] = kLanguageFiles + i;
    numbers[kFixed + 1 + 2 * i] = kMoreLanguageFiles + i;
  }
  return numbers;
}

}  // namespace pvx
