#include "format/script.h"

namespace pvx {

const char* ListName(ListKind kind) {
  static const char* const kNames[kListKindCount] = {
      "registry variables", "registry entries", "uninstall registry entries", "fonts", "shortcuts", "files",
      "folders", "commands", "INI entries", "uninstall extras", "COM registrations", "languages",
  };
  return kNames[static_cast<int>(kind)];
}

}  // namespace pvx
