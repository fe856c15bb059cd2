#include "install/install_sequence_win.h"

#include "actions/actions_win.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "install/file_placement_win.h"
#include "core/install_ui_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

void CreateFolders(Run& run, InstallUi& ui) {
  ui.SetStatus(run.Text(text::kFoldersStatus));
  const ScriptList& folders = run.script.List(ListKind::Folders);
  for (size_t i = 0; i < folders.Count(); ++i) {
    Str folder = run.Expand(folders.Field(i, folder_entry::kPath));
    LogResult(CreateFolderChain(folder) ? 0 : LastError(), "Folder %s", folder.c_str());
    ui.Add(kWorkUnit);
  }
}

}  // namespace

void RunInstallSequence(Run& run, InstallUi& ui) {
  const SetupScript& script = run.script;
  run.install.replaceAnswer = kAsk;
  run.install.madeFolder = Str();
  ui.Reset(script.HeaderInt(field::kProgressMaximum));
  Log("Installing to %s, group %s", run.folders.installFolder.c_str(),
      run.choices.groupName.c_str());
  RunCommands(run, ui, 0);
  run.uninstallFiles.clear();
  InstallFiles(run, ui);
  CreateFolders(run, ui);
  ui.SetStatus(run.Text(text::kRegistryStatus));
  WriteRegistryEntries(run, ui);
  InstallFonts(run, ui);
  ui.SetStatus(run.Text(text::kShortcutsStatus));
  CreateShortcuts(run, ui);
  if (script.HeaderFlag(field::kWriteUninstallRecord)) {
    ui.SetStatus(run.Text(text::kUninstallRecordStatus));
    WriteUninstallRecord(run);
    ui.Add(kWorkUnit);
  }
  ui.SetStatus(run.Text(text::kIniStatus));
  WriteIniEntries(run, ui);
  if (script.HeaderFlag(field::kComCount)) RegisterComServers(run, ui);
  RunCommands(run, ui, 1);
  ui.SetStatus(run.Text(text::kFinishingStatus));
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  CleanupWorkDir(true, script.HeaderInt(field::kLanguageCount));
  // The pause lets the last status be read; a silent run has no reader.
  if (run.startup.silentMode) EndInstalled(run);
  Sleep(100);
}

}  // namespace pvx
