#include <windows.h>
#include <shellapi.h>

#include "core/action_paths.h"
#include "actions/actions_win.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "core/install_ui_win.h"
#include "core/app_window_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"

namespace pvx {

void RunCommands(Run& run, InstallUi& ui, int phase) {
  ui.SetStatus(run.Text(text::kCommandsStatus));
  ProcessPendingMessages();
  const ScriptList& list = run.script.List(ListKind::Commands);
  // Only the install part; the records after it belong to the uninstaller.
  const int32_t installPart = run.script.HeaderInt(field::kInstallCommandCount);
  const size_t count = installPart <= 0 ? 0 : list.Count() < static_cast<size_t>(installPart) ? list.Count() : static_cast<size_t>(installPart);
  for (size_t r = 0; r < count; ++r) {
    using namespace command_entry;
    if (list.FieldInt(r, kPhase) != phase) continue;
    ExpandedRecord e(list, r, run.folderResolver);
    const Str folder = CommandDirectory(e.field[kFile]);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    if (list.FieldIsOne(r, kWait)) info.fMask |= SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpFile = e[kFile];
    info.lpParameters = e[kParameters];
    info.lpDirectory = folder.c_str();
    info.nShow = list.FieldInt(r, kShow);
    LogResult(ShellExecuteExA(&info) ? 0 : LastError(), "Command %s %s", e[kFile], e[kParameters]);
    // No handle when not asked to wait, or when no new process was started.
    if (info.hProcess) {
      while (WaitForSingleObject(info.hProcess, 50) == WAIT_TIMEOUT) ProcessPendingMessages();
      DWORD code = 0;
      GetExitCodeProcess(info.hProcess, &code);
      Log("Command %s: exit code %u", e[kFile], static_cast<unsigned>(code));
      CloseHandle(info.hProcess);
    }
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
