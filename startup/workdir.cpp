#include "format/str.h"
#include "startup/workdir.h"

#include "format/decimal.h"
#include "format/text_util.h"

namespace pvx {

Str WorkDirFileName(const Str& base, int n, bool prefixed) {
  return WithTrailingBackslash(base) + "$inst\\" + (prefixed ? "temp_" : "") +
         DecimalText(static_cast<int64_t>(n)) + ".tmp";
}

std::vector<int> CleanupFileNumbers(bool withLanguageFiles, int32_t languages) {
  std::vector<int> numbers;
  // Values, not variables, go in: the stub then shares the extractor's
  // instance of the vector's growing code.
  for (int n = 0; n <= 17; ++n) numbers.push_back(n + 0);
  if (withLanguageFiles) {
    if (languages < 0) languages = -1;  // the range 20 .. 20 + L is then empty
    if (languages > 255) languages = 255;
    for (int n = 20; n <= 20 + languages; ++n) {
      numbers.push_back(n + 0);
      numbers.push_back(n + 30);
    }
  }
  return numbers;
}

}  // namespace pvx
