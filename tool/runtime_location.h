// Where parvolex finds the runtime stub when no --runtime is given. The
// companion uninstaller is taken from the same folder.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace pvx::tool {

// The places a tool at `toolPath` (its resolved file) looks for
// runtime.exe, in order: beside itself (a build tree, or a folder the
// files were copied into), then ../share/parvolex (an installed layout:
// PREFIX/bin/parvolex and PREFIX/share/parvolex/runtime.exe).
std::vector<std::filesystem::path> RuntimePlaces(const std::filesystem::path& toolPath);

// The first of those places that holds a runtime.exe file. Throws
// std::runtime_error naming every place looked at when none does.
std::string FindRuntime(const std::filesystem::path& toolPath);

}  // namespace pvx::tool
