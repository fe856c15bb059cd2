// entry_probe.exe: starts a program and stamps three moments of its life,
// for the phase table of bench/install_bench.py and bench/first_page_bench.py:
// process start, the first instruction of its entry point, and its end.
//
//   entry_probe.exe LIMIT_MS PROGRAM [ARGUMENTS...]
//
// The program starts as the probe's debuggee: the probe puts a breakpoint
// on the image's entry point (AddressOfEntryPoint of the image the process
// was created from), takes the time when it is hit, puts the byte back and
// detaches, so that the rest of the run is not debugged. Until then every
// library load is a debug event the program waits on; what that costs is
// seen by running an empty program under the probe and without it.
// A program still running LIMIT_MS after its start is terminated.
//
// Prints one line:
//
//   entry_ms=... end_ms=... start=T entry=T end=T exit=N killed=0|1
//
// with the milliseconds counted from just before CreateProcess, and each T
// the local time as a FILETIME count (100 ns since 1601), the clock of the
// installation log's stamps. entry_ms is -1 when the entry was never
// reached.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "command_tail.h"

namespace {

struct Stamp {
  LARGE_INTEGER counter;
  ULONGLONG local;
};

Stamp Now() {
  Stamp s;
  QueryPerformanceCounter(&s.counter);
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  s.local = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return s;
}

double Milliseconds(const Stamp& from, const Stamp& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.counter.QuadPart - from.counter.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// The command line from the third argument on.
const wchar_t* ProgramPart(const wchar_t* line) { return CommandLineAfter(line, 2); }

// The image's entry point, from its headers in the new process.
BYTE* EntryPoint(HANDLE process, BYTE* base) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS nt;
  SIZE_T got;
  if (!ReadProcessMemory(process, base, &dos, sizeof dos, &got) ||
      !ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, &got))
    return nullptr;
  return base + nt.OptionalHeader.AddressOfEntryPoint;
}

// Runs the debuggee until its entry point; returns whether it got there.
bool RunToEntry(const PROCESS_INFORMATION& pi, Stamp& entry) {
  BYTE* at = nullptr;
  BYTE original = 0;
  for (;;) {
    DEBUG_EVENT e;
    if (!WaitForDebugEvent(&e, 60000)) return false;
    DWORD status = DBG_CONTINUE;
    switch (e.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        if (e.u.CreateProcessInfo.hFile) CloseHandle(e.u.CreateProcessInfo.hFile);
        at = EntryPoint(pi.hProcess, static_cast<BYTE*>(e.u.CreateProcessInfo.lpBaseOfImage));
        const BYTE trap = 0xCC;
        SIZE_T n;
        if (!at || !ReadProcessMemory(pi.hProcess, at, &original, 1, &n) ||
            !WriteProcessMemory(pi.hProcess, at, &trap, 1, &n))
          at = nullptr;
        FlushInstructionCache(pi.hProcess, at, 1);
        break;
      }
      case LOAD_DLL_DEBUG_EVENT:
        if (e.u.LoadDll.hFile) CloseHandle(e.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& r = e.u.Exception.ExceptionRecord;
        if (r.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        }
        if (!at || r.ExceptionAddress != at) break;  // the loader's own breakpoint
        entry = Now();
        SIZE_T n;
        WriteProcessMemory(pi.hProcess, at, &original, 1, &n);
        FlushInstructionCache(pi.hProcess, at, 1);
        HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, e.dwThreadId);
        CONTEXT c = {};
        c.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(thread, &c);
#ifdef _WIN64
        c.Rip = reinterpret_cast<DWORD64>(at);
#else
        c.Eip = reinterpret_cast<DWORD>(at);
#endif
        SetThreadContext(thread, &c);
        CloseHandle(thread);
        ContinueDebugEvent(e.dwProcessId, e.dwThreadId, DBG_CONTINUE);
        DebugSetProcessKillOnExit(FALSE);
        DebugActiveProcessStop(e.dwProcessId);
        return true;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        ContinueDebugEvent(e.dwProcessId, e.dwThreadId, DBG_CONTINUE);
        DebugActiveProcessStop(e.dwProcessId);
        return false;
      default:
        break;
    }
    ContinueDebugEvent(e.dwProcessId, e.dwThreadId, status);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: entry_probe LIMIT_MS PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  double limit = _wtof(argv[1]);
  wchar_t* command = _wcsdup(ProgramPart(GetCommandLineW()));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  Stamp start = Now();
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    fwprintf(stderr, L"cannot start %ls (error %lu)\n", command, GetLastError());
    return 2;
  }
  Stamp entry = start;
  bool reached = RunToEntry(pi, entry);
  double left = limit - Milliseconds(start, Now());
  bool killed = false;
  if (WaitForSingleObject(pi.hProcess, left > 0 ? static_cast<DWORD>(left) : 0) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 10000);
    killed = true;
  }
  Stamp end = Now();
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  printf("entry_ms=%.1f end_ms=%.1f start=%llu entry=%llu end=%llu exit=%lu killed=%d\n",
         reached ? Milliseconds(start, entry) : -1.0, Milliseconds(start, end), start.local,
         reached ? entry.local : 0ULL, end.local, code, killed ? 1 : 0);
  fflush(stdout);
  return reached ? 0 : 1;
}
