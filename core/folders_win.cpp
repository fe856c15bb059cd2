#include "format/str.h"
#include "core/folders_win.h"

#include <windows.h>
#include <shlobj.h>

#include "core/registry_win.h"
#include "core/shell_folder_win.h"
#include "format/folder_numbers.h"
#include "format/text_util.h"

namespace pvx {

namespace {

bool IsDirectory(const Str& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

Str WindowsFolder() {
  char buffer[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  return n && n < MAX_PATH ? Str(buffer, n) : Str();
}

// The CSIDL behind each folder number that the shell supplies; -1 where
// the number has a rule of its own or none.
const signed char kCsidl[folder::kLastFolder + 1] = {
    -1, -1, -1, -1, -1, -1,                                   // 0..5
    CSIDL_DESKTOP, -1, CSIDL_PROGRAMS, CSIDL_STARTMENU,       // 6..9
    CSIDL_PERSONAL, CSIDL_FAVORITES, CSIDL_SENDTO, 40 /* CSIDL_PROFILE */, CSIDL_STARTUP,
    CSIDL_FONTS,                                              // 10..15
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,                   // 16..25
    CSIDL_APPDATA, 35 /* CSIDL_COMMON_APPDATA */, CSIDL_COMMON_DESKTOPDIRECTORY,
    46 /* CSIDL_COMMON_DOCUMENTS */, CSIDL_COMMON_FAVORITES, CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTMENU, CSIDL_COMMON_STARTUP, CSIDL_TEMPLATES,
    45 /* CSIDL_COMMON_TEMPLATES */,                          // 26..35
};

}  // namespace

Str SystemFolders::Raw(int number) {
  if (number >= 0 && number <= folder::kLastFolder && kCsidl[number] >= 0) return SpecialFolder(kCsidl[number]);
  char buffer[MAX_PATH + 1];
  switch (number) {
    case folder::kProgramFiles: {
      Str path = SpecialFolder(38 /* CSIDL_PROGRAM_FILES */);
      if (path.empty())
        path = ReadRegistryText(2, kWindowsKey, "ProgramFilesDir");
      if (path.empty()) path = WindowsFolder().substr(0, 1) + ":\\Program Files";
      return path;
    }
    case folder::kWindows:
      return WindowsFolder();
    case folder::kSystem: {
      UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
      return n && n < MAX_PATH ? Str(buffer, n) : Str();
    }
    case folder::kInstallation:
      return context_.installFolder;
    case folder::kTemp: {
      DWORD n = GetTempPathA(sizeof buffer, buffer);
      return n && n < sizeof buffer ? Str(buffer, n) : Str();
    }
    case folder::kQuickLaunch: {
      Str path = ReadRegistryText(1, kWindowsKey + Str("\\GrpConv\\MapGroups"), "Quick Launch");
      if (path.empty())
        path = SpecialFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch";
      return IsDirectory(path) ? path : Str();
    }
    case folder::kCommonFiles:
      if (Is9xFamily()) return ResolveFolder(folder::kProgramFiles) + "\\Common Files";
      return SpecialFolder(43 /* CSIDL_PROGRAM_FILES_COMMON */);
    case folder::kSystemDrive:
      return WindowsFolder().substr(0, 3);
    case folder::kSetupFolder:
      return FolderPart(context_.executablePath);
    case folder::kUserName: {
      DWORD size = 256;
      char name[257] = {};
      return GetUserNameA(name, &size) ? Str(name) : Str();
    }
    case folder::kLanguage:
      return context_.languageName;
    case folder::kComputerName: {
      DWORD size = 256;
      char name[257] = {};
      return GetComputerNameA(name, &size) ? Str(name) : Str();
    }
    default:
      if (number >= folder::kFirstRegistryVariable && number <= folder::kLastRegistryVariable &&
          context_.registryValues &&
          static_cast<size_t>(number - folder::kFirstRegistryVariable) < context_.registryValues->size())
        return (*context_.registryValues)[number - folder::kFirstRegistryVariable];
      return Str();
  }
}

Str SystemFolders::ResolveFolder(int number) {
  return WithoutTrailingBackslash(Raw(number));
}

Str SystemFolders::ShortForm(const Str& path) {
  char buffer[260];
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return n && n < sizeof buffer ? Str(buffer, n) : Str();
}

}  // namespace pvx
