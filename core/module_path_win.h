// The full path of the running program's own file.
#pragma once
#include "format/str.h"

namespace pvx {

// Empty when the system reports no path or one too long for MAX_PATH.
Str ModulePath();

}  // namespace pvx
