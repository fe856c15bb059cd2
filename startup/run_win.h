// The state of one run, made of the parts each subsystem owns. One instance
// lives for the whole process; functions take the parts they use.
#pragma once
#include <windows.h>

#include "format/str.h"

#include "actions/folders_win.h"
#include "format/script.h"
#include "format/trailer.h"
#include "startup/command_line.h"
#include "startup/exit_codes.h"
#include "startup/language.h"

namespace pvx {

struct StartupState {
  CommandLine commandLine;
  bool silentMode = false;
  bool noCancel = false;
  Str requestedLanguage;
  Str setupTitle;
  HWND appWindow = nullptr;       // owns every window; carries the taskbar button
  HWND backdropWindow = nullptr;  // the full-screen background
};

struct PackageState {
  Str executablePath;
  PackageTrailer trailer;
  bool trailerRead = false;
};

struct Run {
  StartupState startup;
  PackageState package;
  SetupScript script;
  LanguageState language;
  FolderContext folders;
  SystemFolders folderResolver{folders};
  int versionClass = 0;

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

// The one way a run ends: clean the work folder as asked, show the message
// (after the clean-up, so that nothing is left behind if the process is
// killed while the box is open), end the process with the code.
[[noreturn]] void EndRun(Run& run, ExitCode code, Cleanup cleanup,
                         const ExitMessage* message = nullptr);

}  // namespace pvx
