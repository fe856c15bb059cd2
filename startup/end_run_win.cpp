#include "format/header_fields.h"
#include "install/fdi_files_win.h"
#include "core/install_log_win.h"
#include "core/out_of_memory_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

const ExitMessage kCorruptedMessage = {
    "The setup files are corrupted. Please obtain a new copy of the program.", "Error", MB_ICONERROR};

namespace {

const ExitMessage kNoDecompressorMessage = {
    "Setup cannot run: the system's cabinet.dll is missing or unusable.", "Error",
    MB_ICONERROR};

Run* g_endingRun;

}  // namespace

void CleanUpRun(Run& run, Cleanup cleanup) {
  ReleaseExtractionFiles();
  if (cleanup != Cleanup::None)
    CleanupWorkDir(cleanup == Cleanup::WithLanguageFiles,
                   run.script.HeaderInt(field::kLanguageCount));
}

void EndRun(Run& run, ExitCode code, const char* reason, Cleanup cleanup, const ExitMessage* message) {
  CleanUpRun(run, cleanup);
  if (message) MessageBoxA(run.startup.appWindow, message->text, message->caption, message->flags);
  LogExit(static_cast<unsigned>(code), reason);
  ExitProcess(static_cast<UINT>(code));
}

void EndRun(Run& run, Outcome outcome) {
  const ExitMessage* message = outcome.kind == OutcomeKind::Damaged ? &kCorruptedMessage
                               : outcome.kind == OutcomeKind::UnusableSystem ? &kNoDecompressorMessage
                                                                             : nullptr;
  Log("Extraction: error %u", static_cast<unsigned>(outcome.code));
  EndRun(run, OutcomeExitCode(outcome.kind), OutcomeReason(outcome.kind), Cleanup::WithLanguageFiles,
         run.startup.silentMode ? nullptr : message);
}

void EndCurrentRun(Outcome outcome) { EndRun(*g_endingRun, outcome); }

namespace {

[[noreturn]] void EndOutOfMemory() {
  EndRun(*g_endingRun, ExitCode::Damaged, "out of memory", Cleanup::WithLanguageFiles);
}

}  // namespace

void EndRunWhenOutOfMemory(Run& run) {
  g_endingRun = &run;
  g_outOfMemory = EndOutOfMemory;
}

void EndInstalled(Run& run) {
  bool failed = run.install.filesFailed;
  EndRun(run, failed ? ExitCode::InstallFailed : ExitCode::Installed,
         failed ? "installed, files failed" : "installed", Cleanup::None);
}

}  // namespace pvx
