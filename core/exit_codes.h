// How a run ends, as its process exit code. Scripts and deployment tools
// read these, so the numbers never change.
#pragma once

namespace pvx {

enum class ExitCode : unsigned {
  Installed = 0,          // also the "test" argument and the message loop's end
  Damaged = 1,            // the package is damaged or unreadable
  CancelledBefore = 2,    // cancelled before the installation began
  PrerequisiteFailed = 3, // system version, administrator rights, .NET
  InstallFailed = 4,      // files could not be written
  CancelledDuring = 5,    // cancelled or aborted during the installation
};

}  // namespace pvx
