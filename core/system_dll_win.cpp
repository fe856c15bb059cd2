#include "core/system_dll_win.h"

#include "format/str.h"

namespace pvx {

const char kKernel32[] = "kernel32.dll";

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
  HMODULE kernel = GetModuleHandleA(kKernel32);
  typedef BOOL(WINAPI * SetDefault)(DWORD);
  typedef BOOL(WINAPI * SetFolder)(LPCSTR);
  auto setDefault = reinterpret_cast<SetDefault>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  auto setFolder = reinterpret_cast<SetFolder>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setFolder) setFolder("");  // drops the current directory
  bool restricted = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The first two the system itself loads by name once a window is shown,
  // and some systems then search the setup's folder whatever the default
  // says; the rest are the runtime's own, needed only without the
  // restriction.
  const char* name =
      "uxtheme.dll\0msimg32.dll\0cabinet.dll\0psapi.dll\0winmm.dll\0riched20.dll\0msftedit.dll\0";
  for (int i = 0; *name && (i < 2 || !restricted); ++i, name += lstrlenA(name) + 1)
    LoadSystemLibrary(name);
}

}  // namespace pvx
