#include "tool/folder_names.h"

#include <cstdio>

#include "format/text_util.h"

namespace pvx::tool {

const std::vector<FolderName>& FolderNames() {
  static const std::vector<FolderName> names = {
      {"pf", 1, "Program Files"},
      {"win", 2, "Windows folder"},
      {"sys", 3, "System folder"},
      {"app", 4, "installation folder chosen in the wizard"},
      {"tmp", 5, "temporary folder"},
      {"desktop", 6, "desktop"},
      {"quicklaunch", 7, "Quick Launch"},
      {"programs", 8, "Start menu programs"},
      {"startmenu", 9, "Start menu"},
      {"documents", 10, "My Documents"},
      {"favorites", 11, "Favorites"},
      {"sendto", 12, "Send To"},
      {"profile", 13, "user profile"},
      {"startup", 14, "Startup"},
      {"fonts", 15, "Fonts"},
      {"cf", 16, "Common Files"},
      {"sysdrive", 17, "system drive (\"C:\")"},
      {"src", 18, "folder of the setup executable"},
      {"username", 20, "user name"},
      {"language", 21, "name of the chosen language"},
      {"computername", 22, "computer name"},
      {"appdata", 26, "application data"},
      {"commonappdata", 27, "common application data"},
      {"commondesktop", 28, "common desktop"},
      {"commondocuments", 29, "common documents"},
      {"commonfavorites", 30, "common favorites"},
      {"commonprograms", 31, "common Start menu programs"},
      {"commonstartmenu", 32, "common Start menu"},
      {"commonstartup", 33, "common Startup"},
      {"templates", 34, "Templates"},
      {"commontemplates", 35, "common Templates"},
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
    if (n >= 1 && n <= 19 && !shortForm) return 80 + n;
    return -1;
  }
  for (const FolderName& f : FolderNames())
    if (name == f.name) number = f.number;
  if (number < 0) return -1;
  return shortForm ? number + 40 : number;
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
