// Libraries the runtime loads at run time come from the system folder by
// full path, never from the setup's own folder or the current directory.
#pragma once
#include <windows.h>

namespace pvx {

HMODULE LoadSystemLibrary(const char* name);

extern const char kKernel32[];  // "kernel32.dll", for functions looked up in it

// Setups are started from download folders full of other files: before
// anything else loads a library, only the system folder is searched. Where
// the system cannot restrict the search, the libraries that are loaded by
// name later are loaded now, by full path, so that the later loads find
// them in memory; so are those that the system's own window code loads by
// name.
void RestrictLibrarySearch();

}  // namespace pvx
