// Libraries the runtime loads at run time come from the system folder by
// full path, never from the setup's own folder or the current directory.
#pragma once
#include <windows.h>

namespace pvx {

HMODULE LoadSystemLibrary(const char* name);

}  // namespace pvx
