#include <windows.h>

#include "core/action_paths.h"
#include "actions/actions_win.h"
#include "format/text_util.h"
#include "core/install_ui_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

void WriteIniEntries(Run& run, InstallUi& ui) {
  const ScriptList& list = run.script.List(ListKind::IniEntries);
  Str current(4096, '\0');
  for (size_t r = 0; r < list.Count(); ++r) {
    // Fields: file, section, key, value.
    ExpandedRecord e(list, r, run.folderResolver);
    CreateFolderChain(FolderPart(e.field[0]));
    // Mode 0 keeps a value that is already there (an empty one is replaced).
    uint32_t error = kNoResult;
    if (list.FieldInt(r, 4) != 0 || !GetPrivateProfileStringA(e[1], e[2], "", current.data(), 4096, e[0]))
      error = WritePrivateProfileStringA(e[1], e[2], e[3], e[0]) ? 0 : LastError();
    LogResult(error, "INI %s [%s] %s%s", e[0], e[1], e[2], error == kNoResult ? kKeptExists : "");
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
