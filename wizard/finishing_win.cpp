#include "wizard/finishing_win.h"

#include <shellapi.h>

#include "format/header_fields.h"
#include "format/text_util.h"
#include "install/fdi_files_win.h"
#include "core/run_win.h"

namespace pvx {

namespace {

// Windows 95 and 98 have no privileges to enable.
void EnableShutdownPrivilege() {
  DWORD version = GetVersion();
  if ((version & 0x80000000) && MAKEWORD(HIBYTE(LOWORD(version)), LOBYTE(version)) < MAKEWORD(90, 4)) return;
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  TOKEN_PRIVILEGES previous;
  DWORD length;
  if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous, &length);
  CloseHandle(token);
}

}  // namespace

void RunFinishingActions(Run& run, HWND wizard, unsigned chosen) {
  const SetupScript& s = run.script;
  ShowWindow(run.startup.backdropWindow, SW_HIDE);
  ShowWindow(wizard, SW_HIDE);
  ShowWindow(run.startup.appWindow, SW_HIDE);
  // Run, readme, web address: the flag that offers each and its path.
  static const uint8_t kActions[3][2] = {
      {field::kFinishOffersRun, field::kRunProgram},
      {field::kFinishOffersReadme, field::kReadmeFile},
      {field::kFinishOffersWeb, field::kWebAddress},
  };
  for (int i = 0; i < 3; ++i) {
    if (!(chosen >> i & 1) || !s.HeaderFlag(kActions[i][0])) continue;
    Str path = run.ExpandField(kActions[i][1]);
    // The program and the readme start in their own folder.
    if (i < 2) SetCurrentDirectoryA(FolderPart(path).c_str());
    // A program path with spaces goes to WinExec in quotes, or Windows
    // would try "C:\Program.exe" and the like first; a text that names no
    // file is a command line with arguments and goes as it stands. A
    // document instead of a program opens with its associated program.
    Str command = FileExists(path) ? "\"" + path + "\"" : path;
    if (i || WinExec(command.c_str(), SW_SHOW) < 32)
      ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOW);
  }
  if (s.HeaderFlag(field::kFinishOffersRestart) && (chosen & kFinishRestart)) {
    EnableShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
  }
  EndInstalled(run);
}

}  // namespace pvx
