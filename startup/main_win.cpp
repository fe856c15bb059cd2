// Process entry and the start-up order of a run.
#include "format/str.h"
#include <windows.h>

#include "format/header_fields.h"
#include "core/app_window_win.h"
#include "startup/backdrop_win.h"
#include "core/registry_win.h"
#include "core/file_source_win.h"
#include "core/install_log_win.h"
#include "startup/language_win.h"
#include "core/long_path_win.h"
#include "core/module_path_win.h"
#include "startup/prerequisites.h"
#include "startup/prerequisites_win.h"
#include "core/run_win.h"
#include "startup/signature_win.h"
#include "core/system_dll_win.h"
#include "core/workdir_win.h"
#include "install/file_placement_win.h"
#include "install/resources_win.h"
#include "wizard/images_win.h"
#include "wizard/wizard_win.h"

namespace pvx {
namespace {

// Switches overwrite header fields between the two pieces of the script.
void ApplyCommandLine(Run& run) {
  const CommandLine& line = run.startup.commandLine;
  SetupScript& script = run.script;
  run.startup.silentMode = script.HeaderFlag(field::kSilent) || line.silent;
  run.startup.noCancel = line.noCancel;
  run.startup.requestedLanguage = line.language;
  if (line.noSidePicture) script.SetHeader(field::kSidePicture, "0");
  if (line.hasFolder) script.SetHeader(field::kDefaultFolder, LongNameForm(line.folder));
  if (line.hasGroup) script.SetHeader(field::kDefaultGroup, line.group);
}

[[noreturn]] void RunSetup(HINSTANCE instance) {
  // Never destroyed: every path ends the process.
  Run& run = *new Run;
  EndRunWhenOutOfMemory(run);
  StartupState& startup = run.startup;

  startup.appWindow = CreateApplicationWindow(instance);
  // The backdrop window is made when it is shown, if ever.

  startup.commandLine = ParseArguments(SplitArguments(GetCommandLineA()));
  if (startup.commandLine.runTool) {
    WinExec("..\\parvolex.exe", SW_SHOWNORMAL);
    EndRun(run, ExitCode::Installed, nullptr, Cleanup::None);
  }
  OpenInstallLog(startup.commandLine);
  Log("Parvolex %s: %s", kRuntimeVersion, GetCommandLineA());

  CreateWorkDir();

  run.package.executablePath = ModulePath();
  FileSource package;
  package.Open(run.package.executablePath);
  PackageExtent extent;
  TrailerStatus status = ReadPackageTrailer(package, run.package.trailer, extent);
  run.package.end = extent.end;
  if (status != TrailerStatus::Ok) {
    package.Close();
    EndRun(run, ExitCode::Damaged, "package trailer damaged", Cleanup::WithoutLanguageFiles,
           &kCorruptedMessage);
  }
  run.package.trailerRead = true;
  const PackageTrailer& t = run.package.trailer;
  // Every offset is below 2 GiB once the trailer is accepted.
  Log("Package: %s form, script at %u, resources at %u (%u bytes), payload at %u",
      t.IsCabinetForm() ? "cabinet" : "stored", static_cast<unsigned>(t.scriptOffset),
      static_cast<unsigned>(t.resourceOffset), static_cast<unsigned>(t.resourceLength),
      static_cast<unsigned>(t.payloadOffset));

  package.Seek(static_cast<uint64_t>(run.package.trailer.scriptOffset));
  TextReader reader(package);
  LoadScriptHead(reader, run.package.trailer.headerLastIndex, run.script);
  ResolveRegistryVariables(run.script, ReadRegistryText);
  run.folders.registryValues = &run.script.registryValues;
  run.folders.executablePath = run.package.executablePath;
  ApplyCommandLine(run);
  // A signed setup whose bytes changed after signing is damaged like one
  // without a trailer: nothing of it is trusted, so nothing is installed.
  // Only the script's head has been read (and nothing done with it), so
  // that a silent setup checks silently.
  if (extent.IsSigned() &&
      SignedDigestChanged(run.package.executablePath, startup.appWindow, startup.silentMode)) {
    package.Close();
    EndRun(run, ExitCode::Damaged, "signed digest does not match", Cleanup::WithoutLanguageFiles,
           &kCorruptedMessage);
  }

  startup.setupTitle = run.ExpandField(field::kSetupTitle);
  SetWindowTextA(startup.appWindow, startup.setupTitle.c_str());
  ShowWindow(startup.appWindow, startup.silentMode ? SW_HIDE : SW_SHOW);
  Log("Title: %s (%s)", startup.setupTitle.c_str(), startup.silentMode ? "silent" : "interactive");

  LoadScriptLists(reader, run.script);
  // A cabinet payload is read through the work folder (parts are named,
  // and copied out, there): without it no file could be placed, so the run
  // ends now, before anything is installed, rather than report an
  // installation that placed nothing.
  if (t.IsCabinetForm() && TemporaryFolder().empty() && run.script.List(ListKind::Files).Count())
    PayloadDamaged(run, "no work folder");
  ExtractResourceArea(run, package);
  package.Close();

  ChooseLanguage(run);
  run.versionClass = WindowsVersionClass(GetVersion());
  RunPrerequisiteChecks(run);

  if (run.script.HeaderFlag(field::kShowBackdrop) && !startup.silentMode) ShowBackdrop(run);
  LoadWizardPictures(run);
  StartWizard(run);

  // Every path ends the process from inside a handler.
  for (;;) {
    WaitMessage();
    ProcessPendingMessages();
  }
}

}  // namespace
}  // namespace pvx

// The process entry. The stub carries no C runtime start-up code: nothing
// here needs static constructors or argument parsing from it.
extern "C" void WinMainCRTStartup() {
  pvx::RestrictLibrarySearch();
  pvx::RunSetup(GetModuleHandleA(nullptr));
}
