#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

// The shell's folder dialog, opened on `path`; on a choice, path takes it.
bool BrowseForFolder(HWND owner, const Str& title, Str& path);

}  // namespace pvx
