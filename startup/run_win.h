// The state of one run, made of the parts each subsystem owns. One instance
// lives for the whole process; functions take the parts they use.
#pragma once
#include <windows.h>

#include <string>

#include "format/script.h"
#include "format/trailer.h"
#include "startup/command_line.h"
#include "startup/exit_codes.h"

namespace pvx {

struct StartupState {
  CommandLine commandLine;
  bool silentMode = false;
  bool noCancel = false;
  std::string requestedLanguage;
  std::string setupTitle;
  HWND appWindow = nullptr;       // owns every window; carries the taskbar button
  HWND backdropWindow = nullptr;  // the full-screen background
};

struct PackageState {
  std::string executablePath;
  PackageTrailer trailer;
  bool trailerRead = false;
};

struct Run {
  StartupState startup;
  PackageState package;
  SetupScript script;
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
