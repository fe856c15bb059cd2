#include "core/shell_folder_win.h"

#include <windows.h>
#include <shlobj.h>

namespace pvx {

Str SpecialFolder(int csidl) {
  LPITEMIDLIST items = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK || !items) return Str();
  char buffer[1024] = {};
  Str path;
  if (SHGetPathFromIDListA(items, buffer)) path = buffer;
  CoTaskMemFree(items);
  return path;
}

}  // namespace pvx
