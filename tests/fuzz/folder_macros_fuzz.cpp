// FolderMacro expansion with a resolver whose folders are themselves taken
// from the input and may hold further macros, their own token included:
// expansion must end, and the result stay within what the replacement
// budget allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/folder_macros.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

class FakeResolver : public pvx::FolderResolver {
 public:
  std::vector<std::string> folders;
  size_t calls = 0;
  pvx::Str ResolveFolder(int number) override {
    ++calls;
    if (number < 0 || number > 255) std::abort();
    return folders.empty() ? std::string() : folders[number % folders.size()];
  }
  pvx::Str ShortForm(const pvx::Str& path) override {
    return path.size() > 8 ? path.substr(0, 6) + "~1" : path;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pvx::fuzz::Input in(data, size);
  std::string text = in.Text();
  FakeResolver resolver;
  size_t longest = 0;
  while (!in.empty() && resolver.folders.size() < 8) {
    resolver.folders.push_back(in.Text().substr(0, 64));
    longest = std::max(longest, resolver.folders.back().size());
  }
  std::string out = pvx::ExpandFolderMacros(text, resolver);
  size_t budget = text.size() + pvx::kExtraReplacements;
  if (resolver.calls > budget) std::abort();
  if (out.size() > text.size() + (budget + 1) * longest) std::abort();
  std::string escaped = pvx::EscapeAmpersands(out);
  if (escaped.size() < out.size()) std::abort();
  (void)pvx::MacroNumber(text.substr(0, 2));
  return 0;
}
