#include "format/header_fields.h"
#include "install/cab_extractor_win.h"
#include "startup/run_win.h"
#include "startup/workdir_win.h"

namespace pvx {

void EndRun(Run& run, ExitCode code, Cleanup cleanup, const ExitMessage* message) {
  ReleaseExtractionFiles();
  if (cleanup != Cleanup::None)
    CleanupWorkDir(cleanup == Cleanup::WithLanguageFiles,
                   run.script.HeaderInt(field::kLanguageCount));
  if (message) MessageBoxA(run.startup.appWindow, message->text, message->caption, message->flags);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace pvx
