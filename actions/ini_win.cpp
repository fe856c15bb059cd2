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
    using namespace ini_entry;
    ExpandedRecord e(list, r, run.folderResolver);
    CreateFolderChain(FolderPart(e.field[kFile]));
    // Mode 0 keeps a value that is already there (an empty one is replaced).
    uint32_t error = kNoResult;
    if (list.FieldInt(r, kMode) != 0 ||
        !GetPrivateProfileStringA(e[kSection], e[kKey], "", current.data(), 4096, e[kFile]))
      error = WritePrivateProfileStringA(e[kSection], e[kKey], e[kValue], e[kFile]) ? 0 : LastError();
    LogResult(error, "INI %s [%s] %s%s", e[kFile], e[kSection], e[kKey], error == kNoResult ? kKeptExists : "");
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
