// The parvolex project reader over untrusted TOML: every error must come
// back as a ProjectError naming the problem, never as a crash or another
// exception. Sources resolve in an empty folder; inputs that would glob
// the whole file system are skipped, not fuzzed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_util.h"
#include "tool/project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find("**") != std::string::npos || text.find("..") != std::string::npos ||
      text.find("\"/") != std::string::npos || text.find("'/") != std::string::npos)
    return 0;
  static const std::string base = pvx::fuzz::ScratchFolder();
  try {
    pvx::tool::Project project = pvx::tool::LoadProjectText(text, "fuzz.toml", base);
    (void)project;
  } catch (const pvx::tool::ProjectError&) {
  }
  return 0;
}
