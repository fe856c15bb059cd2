#include "core/module_path_win.h"

#include <windows.h>

namespace pvx {

Str ModulePath() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return Str(buffer, n < sizeof buffer ? n : 0);
}

}  // namespace pvx
