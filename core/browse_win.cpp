#include "core/browse_win.h"

#include <ole2.h>
#include <shlobj.h>

namespace pvx {

namespace {

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

}  // namespace

bool BrowseForFolder(HWND owner, const Str& title, Str& path) {
  IMalloc* allocator = nullptr;
  if (SHGetMalloc(&allocator) != S_OK || !allocator) return false;
  char* name = static_cast<char*>(allocator->Alloc(260));
  if (!name) {
    allocator->Release();
    return false;
  }
  OleInitialize(nullptr);
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = name;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(path.c_str());
  LPITEMIDLIST items = SHBrowseForFolderA(&info);
  bool chosen = false;
  if (items) {
    char buffer[MAX_PATH] = {};
    SHGetPathFromIDListA(items, buffer);
    allocator->Free(items);
    path = buffer;
    chosen = true;
  }
  allocator->Free(name);
  allocator->Release();
  return chosen;
}

}  // namespace pvx
