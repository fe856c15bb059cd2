#include "actions/finishing_win.h"

#include <shellapi.h>

#include "format/header_fields.h"
#include "format/text_util.h"
#include "startup/run_win.h"

namespace pvx {

namespace {

void Open(const Str& path) { ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOW); }

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
  if (s.HeaderFlag(field::kFinishOffersRun) && (chosen & kFinishRun)) {
    Str path = run.ExpandField(field::kRunProgram);
    SetCurrentDirectoryA(FolderPart(path).c_str());  // the application starts in its own folder
    // A document instead of a program opens with its associated program.
    if (WinExec(path.c_str(), SW_SHOW) < 32) Open(path);
  }
  if (s.HeaderFlag(field::kFinishOffersReadme) && (chosen & kFinishReadme)) {
    Str path = run.ExpandField(field::kReadmeFile);
    SetCurrentDirectoryA(FolderPart(path).c_str());
    Open(path);
  }
  if (s.HeaderFlag(field::kFinishOffersWeb) && (chosen & kFinishWeb)) Open(run.ExpandField(field::kWebAddress));
  if (s.HeaderFlag(field::kFinishOffersRestart) && (chosen & kFinishRestart)) {
    EnableShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
  }
  EndRun(run, run.install.filesFailed ? ExitCode::InstallFailed : ExitCode::Installed, Cleanup::None);
}

}  // namespace pvx
