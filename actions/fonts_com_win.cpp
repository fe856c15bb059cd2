#include <windows.h>

#include "core/action_paths.h"
#include "actions/actions_win.h"
#include "core/registry_win.h"
#include "actions/registry_write_win.h"
#include "format/folder_numbers.h"
#include "format/language_texts.h"
#include "format/text_util.h"
#include "core/install_ui_win.h"
#include "core/app_window_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/system_dll_win.h"

namespace pvx {

namespace {

// Both return the outcome for the log: 0, a system error code or an HRESULT.
uint32_t InstallFont(Run& run, const ExpandedRecord& e) {
  const Str& file = e.field[font_entry::kFile];
  DWORD attributes = GetFileAttributesA(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kFailedWithoutCode;  // a folder of that name
  WriteRegistryValue(2, FontsKey(), e.field[font_entry::kName], FontRegistryData(file, run.folderResolver.ResolveFolder(folder::kFonts)), 0, false);
  uint32_t result = AddFontResourceA(file.c_str()) ? 0 : LastError();
  // A hung window elsewhere must not stop the installation.
  SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  return result;
}

bool IsAbsolute(const Str& path) {
  return (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
         (path.size() > 1 && path[0] == '\\' && path[1] == '\\');
}

uint32_t RegisterComServer(Run&, const ExpandedRecord& e) {
  // The library's own folder, not the setup's, is searched for the DLLs it
  // depends on.
  const Str& path = e.field[com_registration::kLibrary];
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, IsAbsolute(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (!module) return LastError();
  typedef HRESULT(WINAPI * Register)();
  uint32_t result;
  if (auto registerServer =
          LookUp<Register>(module, "DllRegisterServer")) {
    HRESULT registered = registerServer();
    result = FAILED(registered) ? static_cast<uint32_t>(registered) : 0;
  } else {
    result = LastError();
  }
  FreeLibrary(module);
  return result;
}

// Both steps show the file of each record while they work on it, and log
// it with its outcome.
void ForEachFile(Run& run, InstallUi& ui, ListKind kind, unsigned fileField, const char* what,
                 uint32_t (*apply)(Run&, const ExpandedRecord&)) {
  const ScriptList& list = run.script.List(kind);
  for (size_t r = 0; r < list.Count(); ++r) {
    ExpandedRecord e(list, r, run.folderResolver);
    ui.SetStatus(run.Text(text::kRegisteringStatus) + FileNamePart(e.field[fileField]));
    ProcessPendingMessages();
    LogResult(apply(run, e), "%s %s", what, e[fileField]);
    ui.Add(kWorkUnit);
  }
}

}  // namespace

void InstallFonts(Run& run, InstallUi& ui) {
  ForEachFile(run, ui, ListKind::Fonts, font_entry::kFile, "Font", InstallFont);
}

void RegisterComServers(Run& run, InstallUi& ui) {
  ForEachFile(run, ui, ListKind::ComRegistrations, com_registration::kLibrary, "COM registration", RegisterComServer);
}

}  // namespace pvx
