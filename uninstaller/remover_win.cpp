#include "uninstaller/remover_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/action_paths.h"
#include "core/app_window_win.h"
#include "core/registry_win.h"
#include "core/shell_folder_win.h"
#include "format/text_util.h"
#include "uninstaller/removal_rules.h"
#include "core/system_dll_win.h"

namespace pvx {

namespace {

// Folders that stay however empty they are: the system's and the shell's.
std::vector<Str> ProtectedFolders() {
  static const unsigned char kCsidls[] = {
      CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_STARTMENU, CSIDL_STARTUP, CSIDL_PERSONAL, CSIDL_FAVORITES,
      CSIDL_SENDTO, CSIDL_RECENT, CSIDL_TEMPLATES, CSIDL_FONTS, CSIDL_APPDATA, CSIDL_NETHOOD, CSIDL_PRINTHOOD,
      CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_STARTUP,
      CSIDL_COMMON_FAVORITES, 28 /* CSIDL_LOCAL_APPDATA */, 35 /* CSIDL_COMMON_APPDATA */,
      38 /* CSIDL_PROGRAM_FILES */, 43 /* CSIDL_PROGRAM_FILES_COMMON */, 40 /* CSIDL_PROFILE */,
      45 /* CSIDL_COMMON_TEMPLATES */, 46 /* CSIDL_COMMON_DOCUMENTS */, 39 /* CSIDL_MYPICTURES */,
      13 /* CSIDL_MYMUSIC */, 14 /* CSIDL_MYVIDEO */};
  std::vector<Str> out;
  for (unsigned char csidl : kCsidls) {
    Str path = SpecialFolder(csidl);
    if (!path.empty()) out.push_back(path);
  }
  Str appData = SpecialFolder(CSIDL_APPDATA);
  if (!appData.empty()) out.push_back(appData + "\\Microsoft\\Internet Explorer\\Quick Launch");
  char buffer[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (n && n < MAX_PATH) out.push_back(Str(buffer, n));
  n = GetSystemDirectoryA(buffer, MAX_PATH);
  if (n && n < MAX_PATH) out.push_back(Str(buffer, n));
  DWORD t = GetTempPathA(MAX_PATH, buffer);
  if (t && t < MAX_PATH) out.push_back(Str(buffer, t));
  return out;
}

bool IsFileMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The file cannot go now because something holds it open.
bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_USER_MAPPED_FILE;
}

// A library's own folder serves the libraries it needs; where the search
// is restricted to the system folder (see main_win.cpp) that takes the
// newer flags, which the altered search path cannot be combined with.
DWORD LibraryLoadFlags() {
  if (GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"))
    return 0x100 /* LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR */ | 0x1000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */;
  return LOAD_WITH_ALTERED_SEARCH_PATH;
}

bool KeyIsEmpty(HKEY root, const Str& path) {
  RegKey key;
  if (!key.OpenForReading(root, path)) return false;
  DWORD subkeys = 1, values = 1;
  if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subkeys == 0 && values == 0;
}

}  // namespace

Remover::Remover(const UninstallPlan& plan, RemovalView& view, const Str& uninstallerPath, const Str& iniPath)
    : plan_(plan), view_(view), uninstallerPath_(uninstallerPath), iniPath_(iniPath) {}

bool Remover::Stop() {
  ProcessPendingMessages();
  if (!outcome.stopped && view_.StopRequested()) outcome.stopped = true;
  return outcome.stopped;
}

bool Remover::RemoveItems() {
  // The records passed on have no action here; they count as done.
  for (size_t i = 0; i < plan_.passedOn.size(); ++i) view_.Advance();
  RunCommands(plan_.before);
  if (!Stop()) UnregisterLibraries();
  if (!Stop()) RemoveFonts();
  if (!Stop()) RemoveFiles();
  if (!Stop()) RemoveIniEntries();
  if (!Stop()) RemoveRegistryValues();
  if (Stop()) return false;
  view_.Status(plan_.Setting(setting::kFilePrefix) + FileNamePart(iniPath_));
  RemoveFile(iniPath_);
  return true;
}

void Remover::RunCommands(const std::vector<UninstallCommand>& commands) {
  for (const UninstallCommand& c : commands) {
    if (Stop()) return;
    view_.Status(FileNamePart(c.file));
    const Str folder = CommandDirectory(c.file);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    if (c.wait) info.fMask |= SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpFile = c.file.c_str();
    info.lpParameters = c.parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = c.show;
    ShellExecuteExA(&info);
    if (info.hProcess) {
      while (WaitForSingleObject(info.hProcess, 50) == WAIT_TIMEOUT) ProcessPendingMessages();
      CloseHandle(info.hProcess);
    }
    view_.Advance();
  }
}

void Remover::UnregisterLibraries() {
  for (const Str& path : plan_.libraries) {
    if (Stop()) return;
    view_.Status(plan_.Setting(setting::kUnregisterPrefix) + FileNamePart(path));
    // A library that is gone has nothing left to unregister; one without
    // the export registered nothing through it.
    if (IsAbsolutePath(path) && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LibraryLoadFlags());
      if (!module) {
        outcome.failed.push_back(path);
      } else {
        typedef HRESULT(WINAPI * Unregister)();
        if (auto unregister = LookUp<Unregister>(module, "DllUnregisterServer"))
          if (FAILED(unregister())) outcome.failed.push_back(path);
        FreeLibrary(module);
      }
    }
    view_.Advance();
  }
}

void Remover::RemoveFonts() {
  if (plan_.fonts.empty()) return;
  const Str fontsFolder = SpecialFolder(CSIDL_FONTS);
  RegKey table;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey().c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, table.Receive());
  for (const FontRemoval& font : plan_.fonts) {
    if (Stop()) break;
    view_.Advance();
    if (!PlacedByInstallation(font.file, plan_.files)) continue;
    view_.Status(plan_.Setting(setting::kUnregisterPrefix) + FileNamePart(font.file));
    RemoveFontResourceA(font.file.c_str());
    // The value is ours only when it names this file the way the setup
    // wrote it; a font of the same name from elsewhere keeps its entry.
    if (table.Get() && !font.name.empty()) {
      Str data = ReadRegistryText(2, FontsKey(), font.name);
      if (!data.empty() && (AsciiLower(data) == AsciiLower(FontRegistryData(font.file, fontsFolder)) ||
                            SamePath(data, font.file)))
        RegDeleteValueA(table.Get(), font.name.c_str());
    }
  }
  // A hung window elsewhere must not stop the removal.
  SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
}

void Remover::RemoveFile(const Str& path) {
  if (!IsAbsolutePath(path)) {
    outcome.failed.push_back(path);
    return;
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && IsFileMissing(GetLastError())) return;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // The record names files; a folder is never removed with its content.
    outcome.failed.push_back(path);
    return;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  removedFiles_.push_back(path);
  if (DeleteFileA(path.c_str())) return;
  DWORD error = GetLastError();
  if (IsFileMissing(error)) return;
  if (IsInUse(error) && MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    outcome.scheduled.push_back(path);
    return;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), attributes);
  outcome.failed.push_back(path);
}

void Remover::RemoveFiles() {
  for (size_t i = plan_.files.size(); i-- > 0;) {
    if (Stop()) return;
    const Str& path = plan_.files[i];
    view_.Status(plan_.Setting(setting::kFilePrefix) + FileNamePart(path));
    // The uninstaller's own file goes once its process has ended.
    if (!SamePath(path, uninstallerPath_) && !SamePath(path, iniPath_)) RemoveFile(path);
    view_.Advance();
  }
}

void Remover::RemoveIniEntries() {
  for (const IniRemoval& e : plan_.iniEntries) {
    if (Stop()) return;
    view_.Status(FileNamePart(e.file));
    // Deleting from a file that is not there would create it.
    if (!e.file.empty() && !e.section.empty() && !e.key.empty() &&
        GetFileAttributesA(e.file.c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (!WritePrivateProfileStringA(e.section.c_str(), e.key.c_str(), nullptr, e.file.c_str()))
        outcome.failed.push_back(e.file + " [" + e.section + "] " + e.key);
      char probe[4];
      if (GetPrivateProfileSectionA(e.section.c_str(), probe, sizeof probe, e.file.c_str()) == 0)
        WritePrivateProfileStringA(e.section.c_str(), nullptr, nullptr, e.file.c_str());
      WritePrivateProfileStringA(nullptr, nullptr, nullptr, e.file.c_str());
      // A settings file left with nothing in it was the package's own.
      if (IsAbsolutePath(e.file)) {
        HANDLE f = CreateFileA(e.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
          char text[256];
          DWORD n = 0;
          bool blank = ReadFile(f, text, sizeof text, &n, nullptr) && n < sizeof text && IsBlankText(Str(text, n));
          CloseHandle(f);
          if (blank) RemoveFile(e.file);
        }
      }
    }
    view_.Advance();
  }
}

void Remover::RemoveRegistryValues() {
  for (const RegistryRemoval& r : plan_.registryValues) {
    if (Stop()) return;
    HKEY root = RootKey(r.root);
    Str key = r.key;
    while (!key.empty() && key[0] == '\\') key = key.substr(1);
    if (!root || key.empty()) {
      outcome.failed.push_back(r.key + "\\" + r.value);
    } else {
      RegKey open;
      LONG status = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, open.Receive());
      if (status == ERROR_SUCCESS) {
        status = RegDeleteValueA(open.Get(), r.value.c_str());
        open.Close();
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) outcome.failed.push_back(key + "\\" + r.value);
      }
      if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        for (const Str& k : EmptyKeysToRemove(key)) {
          if (!KeyIsEmpty(root, k) || RegDeleteKeyA(root, k.c_str()) != ERROR_SUCCESS) break;
        }
      }
    }
    view_.Advance();
  }
}

void Remover::RemoveUninstaller(bool processEnded) {
  if (uninstallerPath_.empty()) return;
  // The image may stay mapped a moment after its process has ended.
  for (int attempt = 0; processEnded && attempt < 40; ++attempt) {
    SetFileAttributesA(uninstallerPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(uninstallerPath_.c_str()) || IsFileMissing(GetLastError())) {
      removedFiles_.push_back(uninstallerPath_);
      return;
    }
    Sleep(50);
  }
  RemoveFile(uninstallerPath_);
}

void Remover::Finish() {
  std::vector<Str> files = removedFiles_;
  files.push_back(iniPath_);
  for (const Str& folder : FoldersToRemove(plan_.folders, files, plan_.Setting(setting::kInstallFolder),
                                           ProtectedFolders())) {
    view_.Status(plan_.Setting(setting::kFolderPrefix) + folder);
    RemoveDirectoryA(folder.c_str());
  }
  for (size_t i = 0; i < plan_.folders.size(); ++i) view_.Advance();
  RunCommands(plan_.after);
}

}  // namespace pvx
