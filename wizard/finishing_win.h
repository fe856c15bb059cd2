// What the run does after the last page.
#pragma once
#include <windows.h>

namespace pvx {

struct Run;

// Bits of the finish page's choices.
enum FinishChoice : unsigned {
  kFinishRun = 1,
  kFinishReadme = 2,
  kFinishWeb = 4,
  kFinishRestart = 8,
};

// Hides the setup's windows, starts what was chosen (and offered by the
// package), restarts Windows when asked, and ends the run.
[[noreturn]] void RunFinishingActions(Run& run, HWND wizard, unsigned chosen);

}  // namespace pvx
