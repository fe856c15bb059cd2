// The machine's folders behind the FolderMacro numbers.
#pragma once
#include "format/str.h"
#include <vector>

#include "core/folder_macros.h"

namespace pvx {

// What the folder numbers depend on besides the machine: the installation
// folder (4, with its trailing backslash, kept current by the wizard), the
// chosen language's name (21), the resolved RegistryVariables (81..100)
// and the setup's own path (18).
struct FolderContext {
  Str installFolder;
  Str languageName;
  const std::vector<Str>* registryValues = nullptr;
  Str executablePath;
};

class SystemFolders : public FolderResolver {
 public:
  explicit SystemFolders(const FolderContext& context) : context_(context) {}
  Str ResolveFolder(int number) override;
  Str ShortForm(const Str& path) override;

 private:
  Str Raw(int number);
  const FolderContext& context_;
};

}  // namespace pvx
