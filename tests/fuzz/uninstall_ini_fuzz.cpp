// The UninstallIni builder and the uninstaller trailer over a script made
// from the input: every list and header field, counts that disagree with
// the lists, and texts that look like INI syntax.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/folder_macros.h"
#include "actions/uninstall_ini.h"
#include "format/script.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

class Folders : public pvx::FolderResolver {
 public:
  pvx::Str ResolveFolder(int number) override {
    return number == 4 ? "C:\\Program Files\\App" : number < 36 ? "C:\\F" + std::to_string(number) : "";
  }
  pvx::Str ShortForm(const pvx::Str& path) override { return path.substr(0, 8); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pvx::MemorySource source(data, size);
  pvx::TextReader reader(source);
  pvx::SetupScript script;
  pvx::LoadScriptHead(reader, size ? data[0] : 120, script);
  script.registryValues.clear();
  pvx::LoadScriptLists(reader, script);
  std::vector<pvx::Str> files;
  pvx::Str text;
  while (files.size() < 16 && reader.ReadText(text)) files.push_back(text);
  Folders folders;
  pvx::Str ini = pvx::BuildUninstallIni(script, files, "C:\\Program Files\\App\\", folders);
  (void)pvx::BuildUninstallerTrailer(files.empty() ? pvx::Str() : files[0], size & 1, ini.substr(0, 64));
  return 0;
}
