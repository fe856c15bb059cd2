// dll_probe NAME [restricted]: loads NAME by its bare name, the way a
// program that trusts the search order would, and prints where the
// library came from. With "restricted" it first restricts the search the
// way the setup runtime does, so a test can show both sides: a canary
// beside the program is taken by a bare-name load, and not after the
// restriction.
//
// Exit code: 0 loaded from the system folder, 10 loaded from anywhere
// else, 1 not loaded.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (argc > 2 && std::strcmp(argv[2], "restricted") == 0) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    typedef BOOL(WINAPI * SetDefault)(DWORD);
    typedef BOOL(WINAPI * SetFolder)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefault>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    auto setFolder = reinterpret_cast<SetFolder>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setFolder) setFolder("");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      std::printf("no SetDefaultDllDirectories\n");
      return 3;
    }
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    std::printf("not loaded\n");
    return 1;
  }
  char path[MAX_PATH] = {}, system[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof path);
  UINT n = GetSystemDirectoryA(system, sizeof system);
  std::printf("%s\n", path);
  return n && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, n, system, n) == CSTR_EQUAL
             ? 0
             : 10;
}
