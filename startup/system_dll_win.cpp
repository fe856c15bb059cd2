#include "startup/system_dll_win.h"

#include "format/str.h"

namespace pvx {

HMODULE LoadSystemLibrary(const char* name) {
  char folder[MAX_PATH + 1];
  UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  Str path(folder, n);
  path += '\\';
  path += name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace pvx
