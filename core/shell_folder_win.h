// A folder the shell knows by its CSIDL number.
#pragma once
#include "format/str.h"

namespace pvx {

// The folder's path, or empty text where this system has no such folder.
Str SpecialFolder(int csidl);

}  // namespace pvx
