#include "tool/runtime_location.h"

#include <stdexcept>

namespace pvx::tool {

std::vector<std::filesystem::path> RuntimePlaces(const std::filesystem::path& toolPath) {
  const std::filesystem::path folder = toolPath.parent_path();
  return {(folder / "runtime.exe").lexically_normal(),
          (folder / ".." / "share" / "parvolex" / "runtime.exe").lexically_normal()};
}

std::string FindRuntime(const std::filesystem::path& toolPath) {
  const std::vector<std::filesystem::path> places = RuntimePlaces(toolPath);
  std::string tried;
  for (const std::filesystem::path& place : places) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(place, ec)) return place.string();
    tried += (tried.empty() ? "" : " nor ") + place.string();
  }
  throw std::runtime_error("no runtime found: neither " + tried +
                           " exists; give its path with --runtime PATH");
}

}  // namespace pvx::tool
