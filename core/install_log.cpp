#include "core/install_log.h"

#include "format/overwrite_modes.h"

namespace pvx {

const char* NthText(const char* list, unsigned n) {
  while (n--)
    while (*list++) {
    }
  return list;
}

const char* RegistryRootName(int32_t code) {
  return NthText("HKCR\0HKCU\0HKLM\0HKU\0HKPD\0HKCC\0HKDD\0no root",
                 code >= 0 && code <= 6 ? static_cast<unsigned>(code) : 7);
}

const char* OverwriteModeName(int32_t mode) {
  return NthText("ask\0ask-if-newer\0always\0if-newer\0never\0other",
                 mode >= kOverwriteAsk && mode <= kOverwriteNever ? static_cast<unsigned>(mode) : 5);
}

const char* ReplaceAnswerName(int32_t answer) {
  return NthText("replace\0replace all\0skip\0skip all",
                 answer == kReplaceAll ? 1 : answer == kSkip ? 2 : answer == kSkipAll ? 3 : 0);
}

}  // namespace pvx
