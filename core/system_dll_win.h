// Libraries the runtime loads at run time come from the system folder by
// full path, never from the setup's own folder or the current directory.
#pragma once
#include <windows.h>

namespace pvx {

HMODULE LoadSystemLibrary(const char* name);

// A function of a loaded library as its own type, or null where the
// library lacks it: for everything newer than the systems whose exports the
// stubs may import, and for libraries loaded at run time.
template <class Fn>
Fn LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

extern const char kKernel32[];  // "kernel32.dll", for functions looked up in it

// Setups are started from download folders full of other files: before
// anything else loads a library, only the system folder is searched. Where
// the system cannot restrict the search, the libraries that are loaded by
// name later are loaded now, by full path, so that the later loads find
// them in memory (comctl32: see the comment in the function); so are
// those that the system's own window code loads by name.
void RestrictLibrarySearch();

// The common controls (the list view, the progress bar) come from
// comctl32, which is loaded only when a window that shows them is built:
// imported, it would be loaded and initialised before the entry point of
// every run, silent ones too. Loaded by name, never by full path: the
// manifest asks for version 6 of the common controls, and only a load by
// name is redirected to that side-by-side assembly (a full path gets the
// system folder's version 5). The redirection comes before the loaded
// modules and every folder are looked at; where there is none, the
// caller must have loaded the system folder's copy already (as
// RestrictLibrarySearch does). Registers the progress bar and the list
// view, the two that the stubs show.
void InitCommonControlsByName();

}  // namespace pvx
