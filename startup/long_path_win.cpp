#include "startup/long_path_win.h"

#include <windows.h>

namespace pvx {

std::string LongNameForm(const std::string& path) {
  std::string result;
  size_t i = 0;
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  while (i < path.size()) {
    size_t end = path.find_first_of("\\/", i);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(i, end - i);
    bool plain = !component.empty() && component != "." && component != ".." &&
                 component.back() != ':' && component.find_first_of("*?") == std::string::npos;
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
