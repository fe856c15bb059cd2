// The removal itself, step by step, in the order that keeps every step
// possible: commands before, libraries unregistered while their files
// exist, fonts released before their files go, files last first, INI
// entries, registry values, the record file; then, once the uninstaller's
// own process has ended, its file, the emptied folders and the commands
// after.
#pragma once
#include <vector>

#include "format/str.h"
#include "uninstaller/uninstall_plan.h"

namespace pvx {

// The window (or nothing, in silent mode) that shows the removal.
class RemovalView {
 public:
  virtual void Status(const Str& text) = 0;
  // One unit of work is done.
  virtual void Advance() = 0;
  // Asked between items; true when the user confirmed to stop.
  virtual bool StopRequested() = 0;

 protected:
  ~RemovalView() = default;
};

struct RemovalOutcome {
  std::vector<Str> scheduled;  // go at the next restart
  std::vector<Str> failed;     // could not be removed
  bool stopped = false;
};

class Remover {
 public:
  Remover(const UninstallPlan& plan, RemovalView& view, const Str& uninstallerPath, const Str& iniPath);

  // Up to and including the record file; false when stopped on the way
  // (the record and the uninstaller then stay, so that a later run can
  // finish the work).
  bool RemoveItems();
  // The uninstaller's file: once its process has ended, or (when it still
  // runs) at the next restart.
  void RemoveUninstaller(bool processEnded);
  // Empty folders, then the commands after the removal.
  void Finish();

  RemovalOutcome outcome;

 private:
  bool Stop();
  void RunCommands(const std::vector<UninstallCommand>& commands);
  void UnregisterLibraries();
  void RemoveFonts();
  void RemoveFiles();
  void RemoveIniEntries();
  void RemoveRegistryValues();
  // A file goes now or at the next restart; a missing one is fine.
  void RemoveFile(const Str& path);

  const UninstallPlan& plan_;
  RemovalView& view_;
  Str uninstallerPath_;
  Str iniPath_;
  std::vector<Str> removedFiles_;
};

}  // namespace pvx
