#include "core/action_paths.h"

#include "format/folder_numbers.h"
#include "format/text_util.h"

namespace pvx {

ExpandedRecord::ExpandedRecord(const ScriptList& list, size_t record, FolderResolver& folders) {
  for (unsigned k = 0; k < list.width && k < kWidestRecord; ++k) field[k] = ExpandFolderMacros(list.Field(record, k), folders);
}

ExpandedRecord::~ExpandedRecord() = default;

Str FontRegistryData(const Str& file, const Str& fontsFolder) {
  if (!fontsFolder.empty() && AsciiLower(file).find(AsciiLower(fontsFolder)) != Str::npos)
    return FileNamePart(file);
  return file;
}

Str ShortcutLinkPath(int kind, bool chosen, const Str& groupName, const Str& linkName,
                     FolderResolver& folders) {
  // The folders of kinds 0 to 3.
  static const unsigned char kFolderOf[] = {folder::kPrograms, folder::kDesktop, folder::kStartMenu,
                                            folder::kQuickLaunch};
  if (linkName.empty()) return Str();
  if (kind == kExplicitShortcut) return linkName;
  if (kind < 0 || kind > kQuickLaunchShortcut || !chosen) return Str();
  Str folder = folders.ResolveFolder(kFolderOf[kind]);
  if (folder.empty()) return Str();
  if (kind == kGroupShortcut) folder = folder + "\\" + groupName;
  return WithTrailingBackslash(folder) + linkName;
}

Str ShortcutWorkingFolder(const Str& workingFolder, const Str& target) {
  Str folder = workingFolder.empty() ? FolderPart(target) : workingFolder;
  if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':') folder.pop_back();
  return folder;
}

}  // namespace pvx
