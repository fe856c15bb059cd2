// A stand-in for a system library: loading it leaves "<its own path>.loaded"
// naming the program that loaded it. Placed beside a setup or in its current
// directory, it shows whether the setup ever takes a library from there.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 16];
  DWORD n = GetModuleFileNameA(self, marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcpyA(marker + n, ".loaded");
  char program[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, program, length, &written, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}
