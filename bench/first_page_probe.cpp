// first_page_probe.exe: starts an installer and times how long its first
// wizard page takes to become visible. Used by bench/first_page_bench.py.
//
//   first_page_probe.exe CLASS ID INTERVAL_MS TIMEOUT_MS PROGRAM [ARGUMENTS...]
//
// The clock starts just before CreateProcess. Every INTERVAL_MS the probe
// looks at the top-level windows of the new process's first thread, the one
// both NSIS and Parvolex build their wizard on (EnumThreadWindows: cheaper
// than EnumWindows, which asks about every window on the desktop): the page
// counts as shown once one of class CLASS is visible and a descendant with
// the control id ID (a control of the first page) is visible too
// (IsWindowVisible, so every ancestor is visible). Only window-manager
// state is read, never a message sent, so the installer's thread is not
// disturbed. Then the installer is terminated and the probe prints
//
//   shown ms=... polls=N poll_us=...   (poll_us: mean cost of one look)
//
// or "timeout ms=..." and exit code 1.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "command_tail.h"

namespace {

struct Target {
  const wchar_t* windowClass;
  int controlId;
  bool found;
};

BOOL CALLBACK FindControl(HWND child, LPARAM param) {
  Target* t = reinterpret_cast<Target*>(param);
  if (GetDlgCtrlID(child) == t->controlId && IsWindowVisible(child)) {
    t->found = true;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param) {
  Target* t = reinterpret_cast<Target*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t name[256];
  if (!GetClassNameW(window, name, 256) || wcscmp(name, t->windowClass) != 0) return TRUE;
  EnumChildWindows(window, FindControl, param);
  return !t->found;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The command line from the fifth argument on.
const wchar_t* ProgramPart(const wchar_t* line) { return CommandLineAfter(line, 5); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    fwprintf(stderr, L"usage: first_page_probe CLASS ID INTERVAL_MS TIMEOUT_MS PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  Target target = {argv[1], _wtoi(argv[2]), false};
  DWORD interval = static_cast<DWORD>(_wtoi(argv[3]));
  double timeout = _wtof(argv[4]);
  wchar_t* command = _wcsdup(ProgramPart(GetCommandLineW()));

  LARGE_INTEGER frequency, start, before, after;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    fwprintf(stderr, L"cannot start %ls (error %lu)\n", command, GetLastError());
    return 2;
  }

  unsigned polls = 0;
  double pollTime = 0;
  double elapsed = 0;
  for (;;) {
    QueryPerformanceCounter(&before);
    EnumThreadWindows(pi.dwThreadId, FindWindowOf, reinterpret_cast<LPARAM>(&target));
    QueryPerformanceCounter(&after);
    ++polls;
    pollTime += Milliseconds(before, after, frequency);
    elapsed = Milliseconds(start, after, frequency);
    if (target.found || elapsed > timeout) break;
    if (WaitForSingleObject(pi.hProcess, interval) == WAIT_OBJECT_0) break;  // ended early
  }
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  printf("%s ms=%.1f polls=%u poll_us=%.0f\n", target.found ? "shown" : "timeout", elapsed, polls,
         1000.0 * pollTime / polls);
  fflush(stdout);
  return target.found ? 0 : 1;
}
