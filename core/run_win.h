// The state of one run, made of the parts each subsystem owns. One instance
// lives for the whole process; functions take the parts they use.
#pragma once
#include <windows.h>

#include "format/str.h"
#include <vector>

#include "core/folders_win.h"
#include "format/overwrite_modes.h"
#include "format/script.h"
#include "format/trailer.h"
#include "core/outcome.h"
#include "core/command_line.h"
#include "core/exit_codes.h"
#include "core/language.h"

namespace pvx {

struct StartupState {
  CommandLine commandLine;
  bool silentMode = false;
  bool noCancel = false;
  Str requestedLanguage;
  Str setupTitle;
  HWND appWindow = nullptr;       // owns every window; carries the taskbar button
  HWND backdropWindow = nullptr;  // the full-screen background
  HWND wizardWindow = nullptr;    // once the wizard is built
};

struct PackageState {
  Str executablePath;
  PackageTrailer trailer;
  // Where volume 1's package data ends: the trailer ends here, before any
  // certificate table.
  uint64_t end = 0;
  bool trailerRead = false;
};

// The wizard's choices that the install sequence reads (the wizard keeps
// them current from its controls; silent runs keep the defaults).
struct Choices {
  Str groupName;
  bool noGroupShortcuts = false;
  bool desktop = true;
  bool startMenu = true;
  bool quickLaunch = true;
};

// The header picture (resource file 4) as loaded for the wizard; the
// uninstall record serialises it again.
struct Pictures {
  HBITMAP header = nullptr;
  HBITMAP side = nullptr;
  HBITMAP folder = nullptr;
  HBITMAP shortcuts = nullptr;
};

// What the install sequence keeps between files.
struct InstallState {
  int32_t replaceAnswer = kAsk;  // kAsk asks; kReplaceAll and kSkipAll are remembered
  bool filesFailed = false;     // a file could not be written
  Str madeFolder;               // the last destination folder known to exist
};

struct Run {
  StartupState startup;
  PackageState package;
  SetupScript script;
  LanguageState language;
  FolderContext folders;
  SystemFolders folderResolver{folders};
  int versionClass = 0;
  Choices choices;
  InstallState install;
  Pictures pictures;
  // Full paths the uninstall record lists for removal, in installation
  // order, repeats kept.
  std::vector<Str> uninstallFiles;

  // A package path or text with its FolderMacros replaced, at the moment
  // of use.
  Str Expand(const Str& text) { return ExpandFolderMacros(text, folderResolver); }
  Str ExpandField(int n) { return Expand(script.HeaderText(n)); }
  const Str& Text(int k) const { return LanguageText(script, k); }
};

enum class Cleanup { None, WithoutLanguageFiles, WithLanguageFiles };

// A message shown on the way out, owned by the application window.
struct ExitMessage {
  const char* text;
  const char* caption;
  UINT flags;
};

// "The setup files are corrupted…" (a damaged trailer or payload).
extern const ExitMessage kCorruptedMessage;

// Lets go of the decompressor's files and cleans the work folder as asked
// (again is harmless): the first half of EndRun, for an end that asks a
// question before it ends.
void CleanUpRun(Run& run, Cleanup cleanup);

// The one way a run ends: clean the work folder as asked, show the message
// (after the clean-up, so that nothing is left behind if the process is
// killed while the box is open), log the code and the reason, end the
// process with the code.
[[noreturn]] void EndRun(Run& run, ExitCode code, const char* reason, Cleanup cleanup,
                         const ExitMessage* message = nullptr);
// The end of a run whose extraction came to an outcome other than done:
// its exit code, the reason in the log line (with the outcome's code), the
// work folder cleaned with the language files, and, unless silent, the
// message that says what went wrong (none for a cancel: its notice has
// been shown).
[[noreturn]] void EndRun(Run& run, Outcome outcome);
// The same for the run that EndRunWhenOutOfMemory registered, from where
// no Run is at hand (a fault inside the decompressor).
[[noreturn]] void EndCurrentRun(Outcome outcome);
// Memory running out ends the run the same way: exit code 1, the work
// folder cleaned, the reason logged.
void EndRunWhenOutOfMemory(Run& run);
// The end of an installation that ran through: code 0, or 4 when a file
// could not be written.
[[noreturn]] void EndInstalled(Run& run);

}  // namespace pvx
