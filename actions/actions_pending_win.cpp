// Placeholders for the system actions while they are being written; the
// real definitions replace these at link time.
#include "actions/actions_win.h"

#include "install/install_ui_win.h"
#include "startup/run_win.h"

namespace pvx {

__attribute__((weak)) void RunCommands(Run& run, InstallUi& ui, int) { ui.SetStatus(run.Text(57)); }
__attribute__((weak)) void WriteRegistryEntries(Run&, InstallUi&) {}
__attribute__((weak)) void InstallFonts(Run&, InstallUi&) {}
__attribute__((weak)) void CreateShortcuts(Run&, InstallUi&) {}
__attribute__((weak)) void WriteUninstallRecord(Run& run) { run.uninstallFiles.clear(); }
__attribute__((weak)) void WriteIniEntries(Run&, InstallUi&) {}
__attribute__((weak)) void RegisterComServers(Run&, InstallUi&) {}
__attribute__((weak)) void AddUninstallPath(Run& run, const Str& path) {
  run.uninstallFiles.push_back(path);
}

}  // namespace pvx
