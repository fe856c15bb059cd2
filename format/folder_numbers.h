// The folder numbers of the package's paths: a FolderMacro, "@$&%" and
// two digits, stands for the folder or value with that number when the
// path is used on the user's machine. The tool writes them from readable
// names ({app}, {pf}, …), the runtime and the uninstaller resolve them.
//
//   1..35    folders and values below (19 and 23 to 25 are empty)
//   41..80   the short (8.3) form of folder N - 40
//   81..100  RegistryVariable N - 80 (100 cannot be written: two digits)
//   others   empty text
#pragma once

namespace pvx::folder {

enum : int {
  kProgramFiles = 1,
  kWindows = 2,
  kSystem = 3,
  kInstallation = 4,  // the folder chosen in the wizard
  kTemp = 5,
  kDesktop = 6,
  kQuickLaunch = 7,
  kPrograms = 8,  // the Start menu's programs: program groups go there
  kStartMenu = 9,
  kDocuments = 10,
  kFavorites = 11,
  kSendTo = 12,
  kProfile = 13,
  kStartup = 14,
  kFonts = 15,
  kCommonFiles = 16,
  kSystemDrive = 17,  // "C:"
  kSetupFolder = 18,  // the folder of the setup executable
  kUserName = 20,
  kLanguage = 21,  // the name of the chosen language
  kComputerName = 22,
  kAppData = 26,
  kCommonAppData = 27,
  kCommonDesktop = 28,
  kCommonDocuments = 29,
  kCommonFavorites = 30,
  kCommonPrograms = 31,
  kCommonStartMenu = 32,
  kCommonStartup = 33,
  kTemplates = 34,
  kCommonTemplates = 35,

  kLastFolder = 35,
  kShortFormOffset = 40,        // 41..80: the short form of folder N - 40
  kFirstRegistryVariable = 81,  // 81..100: RegistryVariable N - 80
  kLastRegistryVariable = 100,
};

}  // namespace pvx::folder
