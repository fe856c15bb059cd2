#include "format/str.h"
#include "core/long_path_win.h"

#include <windows.h>

namespace pvx {

Str LongNameForm(const Str& path) {
  Str result;
  size_t i = 0;
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  while (i < path.size()) {
    size_t end = path.find_first_of("\\/", i);
    if (end == Str::npos) end = path.size();
    Str component = path.substr(i, end - i);
    bool plain = !component.empty() && component != "." && component != ".." &&
                 component.back() != ':' && component.find_first_of("*?") == Str::npos;
    if (plain) {
      WIN32_FIND_DATAA found;
      HANDLE search = FindFirstFileA((result + component).c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        component = found.cFileName;
        FindClose(search);
      }
    }
    result += component;
    if (end < path.size()) result += path[end];
    i = end + 1;
  }
  SetErrorMode(previousMode);
  return result;
}

}  // namespace pvx
