// empty_program.exe: a GUI program that does nothing and ends. The floor
// of every installer run in bench/install_bench.py: what Wine needs to
// start and end a process under the prefix, with kernel32 as its only
// import and no C runtime start-up code (as the runtime stub has none).
#include <windows.h>

extern "C" void WinMainCRTStartup() { ExitProcess(0); }
