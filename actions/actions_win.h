// The system actions of the install sequence, in the order it calls them.
// Each walks its list of the setup script, applies what it can (failures
// are skipped silently, the next record follows), sets its status text
// where it has one of its own, and adds one work unit per record to the
// progress.
#pragma once
#include "format/str.h"

namespace pvx {

struct Run;
class InstallUi;

// Install-part commands of the phase (0 before the files, 1 at the end).
void RunCommands(Run& run, InstallUi& ui, int phase);
void WriteRegistryEntries(Run& run, InstallUi& ui);
void InstallFonts(Run& run, InstallUi& ui);
// Reads the shortcut choices from run.choices.
void CreateShortcuts(Run& run, InstallUi& ui);
// Writes the UninstallIni and the uninstaller's trailer, then empties
// run.uninstallFiles.
void WriteUninstallRecord(Run& run);
void WriteIniEntries(Run& run, InstallUi& ui);
void RegisterComServers(Run& run, InstallUi& ui);

void AddUninstallPath(Run& run, const Str& path);

}  // namespace pvx
