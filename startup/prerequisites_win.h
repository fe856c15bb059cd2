#pragma once
#include "core/run_win.h"

namespace pvx {

// The system version, administrator rights, the .NET Framework and a
// running copy of the application, in that order, each when the package
// asks for it. A failed check ends the run.
void RunPrerequisiteChecks(Run& run);

bool IsAdministrator();
double InstalledDotNetVersion();
void CloseRunningCopy(const Run& run);

}  // namespace pvx
