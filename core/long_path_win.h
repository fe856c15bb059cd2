#pragma once
#include "format/str.h"

namespace pvx {

// Replaces every component of a path that exists on disk by its long name
// as the file system reports it. Drive components, components that do not
// exist and components with wildcards stay as typed, and so do the
// separators.
Str LongNameForm(const Str& path);

}  // namespace pvx
