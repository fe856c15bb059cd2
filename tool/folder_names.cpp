#include "tool/folder_names.h"

#include <cstdio>

#include "format/folder_numbers.h"
#include "format/text_util.h"

namespace pvx::tool {

const std::vector<FolderName>& FolderNames() {
  static const std::vector<FolderName> names = {
      {"pf", folder::kProgramFiles, "Program Files"},
      {"win", folder::kWindows, "Windows folder"},
      {"sys", folder::kSystem, "System folder"},
      {"app", folder::kInstallation, "installation folder chosen in the wizard"},
      {"tmp", folder::kTemp, "temporary folder"},
      {"desktop", folder::kDesktop, "desktop"},
      {"quicklaunch", folder::kQuickLaunch, "Quick Launch"},
      {"programs", folder::kPrograms, "Start menu programs"},
      {"startmenu", folder::kStartMenu, "Start menu"},
      {"documents", folder::kDocuments, "My Documents"},
      {"favorites", folder::kFavorites, "Favorites"},
      {"sendto", folder::kSendTo, "Send To"},
      {"profile", folder::kProfile, "user profile"},
      {"startup", folder::kStartup, "Startup"},
      {"fonts", folder::kFonts, "Fonts"},
      {"cf", folder::kCommonFiles, "Common Files"},
      {"sysdrive", folder::kSystemDrive, "system drive (\"C:\")"},
      {"src", folder::kSetupFolder, "folder of the setup executable"},
      {"username", folder::kUserName, "user name"},
      {"language", folder::kLanguage, "name of the chosen language"},
      {"computername", folder::kComputerName, "computer name"},
      {"appdata", folder::kAppData, "application data"},
      {"commonappdata", folder::kCommonAppData, "common application data"},
      {"commondesktop", folder::kCommonDesktop, "common desktop"},
      {"commondocuments", folder::kCommonDocuments, "common documents"},
      {"commonfavorites", folder::kCommonFavorites, "common favorites"},
      {"commonprograms", folder::kCommonPrograms, "common Start menu programs"},
      {"commonstartmenu", folder::kCommonStartMenu, "common Start menu"},
      {"commonstartup", folder::kCommonStartup, "common Startup"},
      {"templates", folder::kTemplates, "Templates"},
      {"commontemplates", folder::kCommonTemplates, "common Templates"},
  };
  return names;
}

std::string FolderMacro(int number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "@$&%%%02d", number % 100);
  return buf;
}

namespace {

int LookUp(const std::string& inner) {
  std::string name = AsciiLower(inner);
  bool shortForm = false;
  const std::string suffix = ":short";
  if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    shortForm = true;
    name.resize(name.size() - suffix.size());
  }
  int number = -1;
  if (name.size() > 3 && name.compare(0, 3, "reg") == 0 &&
      name.find_first_not_of("0123456789", 3) == std::string::npos && name.size() <= 5) {
    int n = std::stoi(name.substr(3));
    // Variable 20 would be number 100, which a two-digit token cannot name.
    if (n >= 1 && n <= 19 && !shortForm) return folder::kFirstRegistryVariable - 1 + n;
    return -1;
  }
  for (const FolderName& f : FolderNames())
    if (name == f.name) number = f.number;
  if (number < 0) return -1;
  return shortForm ? number + folder::kShortFormOffset : number;
}

}  // namespace

std::string ExpandFolderNames(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '{') {
      size_t close = text.find('}', i + 1);
      if (close != std::string::npos && close - i <= 32) {
        int number = LookUp(text.substr(i + 1, close - i - 1));
        if (number >= 0) {
          out += FolderMacro(number);
          i = close + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace pvx::tool
