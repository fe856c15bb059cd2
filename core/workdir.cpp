#include "format/str.h"
#include "core/workdir.h"

#include "format/decimal.h"
#include "format/text_util.h"

namespace pvx {

Str WorkDirFileName(const Str& base, int n, bool prefixed) {
  return WithTrailingBackslash(base) + "$inst\\" + (prefixed ? "temp_" : "") +
         DecimalText(static_cast<int64_t>(n)) + ".tmp";
}

std::vector<int> CleanupFileNumbers(bool withLanguageFiles, int32_t languages) {
  if (languages < 0) languages = -1;  // the range 20 .. 20 + L is then empty
  if (languages > 255) languages = 255;
  const int pairs = withLanguageFiles ? languages + 1 : 0;
  // Sized at once: the list needs no growing code of its own.
  std::vector<int> numbers(18 + 2 * pairs);
  for (int n = 0; n <= 17; ++n) numbers[n] = n;
  for (int i = 0; i < pairs; ++i) {
    numbers[18 + 2 * i] = 20 + i;
    numbers[19 + 2 * i] = 50 + i;
  }
  return numbers;
}

}  // namespace pvx
