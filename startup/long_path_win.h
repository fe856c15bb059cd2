#pragma once
#include <string>

namespace pvx {

// Replaces every component of a path that exists on disk by its long name
// as the file system reports it. Drive components, components that do not
// exist and components with wildcards stay as typed, and so do the
// separators.
std::string LongNameForm(const std::string& path);

}  // namespace pvx
