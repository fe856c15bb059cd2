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

void RestrictLibrarySearch() {
  // Both looked up: older systems lack them, and a missing import would
  // keep the stub from starting at all.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  typedef BOOL(WINAPI * SetDefault)(DWORD);
  typedef BOOL(WINAPI * SetFolder)(LPCSTR);
  auto setDefault = reinterpret_cast<SetDefault>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  auto setFolder = reinterpret_cast<SetFolder>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setFolder) setFolder("");  // drops the current directory
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  for (const char* name = "cabinet.dll\0psapi.dll\0winmm.dll\0riched20.dll\0msftedit.dll\0";
       *name; name += lstrlenA(name) + 1)
    LoadSystemLibrary(name);
}

}  // namespace pvx
