// What a folder picked in the Browse dialog becomes in the folder box.
#pragma once
#include "format/str.h"

namespace pvx {

// chosen: the dialog's folder; defaultFolder: the package's expanded
// default; appended: the expanded folder name of the application, null when
// the package names none. A folder outside the default location gets the
// name appended; a folder inside it is taken as it is, without a trailing
// backslash, except that a bare drive keeps its root backslash.
Str BrowsedFolder(Str chosen, const Str& defaultFolder, const Str* appended);

}  // namespace pvx
