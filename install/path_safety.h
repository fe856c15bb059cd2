// The rules that keep names read from a package from reaching outside the
// places they are meant for: a damaged or hostile package must not make
// the runtime write into, or read from, any other folder.
#pragma once
#include "format/str.h"

namespace pvx {

// A cabinet or stored member name that stays inside the work folder:
// relative, no drive, no ".." component, beginning with "$inst\".
bool IsWorkDirMemberName(const Str& name);

// A cabinet's name for its successor must be a bare file name: no folder,
// no drive, not "." or "..".
bool IsBareFileName(const Str& name);

}  // namespace pvx
