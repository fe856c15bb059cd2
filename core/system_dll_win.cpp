#include "core/system_dll_win.h"

#include <commctrl.h>

#include "core/system_libraries.h"
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
  auto setDefault = LookUp<SetDefault>(kernel, "SetDefaultDllDirectories");
  auto setFolder = LookUp<SetFolder>(kernel, "SetDllDirectoryA");
  if (setFolder) setFolder("");  // drops the current directory
  bool restricted = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The first two the system itself loads by name once a window is shown,
  // and some systems then search the setup's folder whatever the default
  // says; the rest are the runtime's own, needed only without the
  // restriction. comctl32 is loaded by name for the manifest's version 6
  // (InitCommonControlsByName). Systems without side-by-side assemblies
  // (before XP) would search the setup's folder for it first, and the
  // system folder's copy is the only one they have. On XP, and on Vista
  // and 7 without the update that brings the restriction, this copy is
  // version 5, loaded beside the one the wizard gets: a load by name is
  // redirected to the assembly before the loaded modules are looked at,
  // so it only costs those systems what the static import cost every run.
  const char* name = library::kNames;
  for (int i = 0; *name && (i < 2 || !restricted); ++i, name += lstrlenA(name) + 1)
    LoadSystemLibrary(name);
}

void InitCommonControlsByName() {
  typedef BOOL(WINAPI * Init)(const INITCOMMONCONTROLSEX*);
  static const INITCOMMONCONTROLSEX kControls = {sizeof kControls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  HMODULE module = LoadLibraryA(library::kComctl32);
  if (!module) return;  // the controls are then missing, not the wizard
  auto init = LookUp<Init>(module, "InitCommonControlsEx");
  if (init) init(&kControls);
}

}  // namespace pvx
