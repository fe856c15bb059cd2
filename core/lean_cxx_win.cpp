// Replacements for the pieces of libstdc++ and the C++ runtime that would
// otherwise pull exception support into the stub. Allocation goes straight
// to the process heap; a failed allocation or a container length error can
// only mean memory is exhausted, so the run ends: through the program's
// own way out when it has one, so that its work folder goes and its log
// says why.
#include <windows.h>
#include <cstddef>
#include <new>

#include "core/out_of_memory_win.h"

namespace pvx {
void (*g_outOfMemory)() = nullptr;
}  // namespace pvx

namespace {
[[noreturn]] void OutOfMemory() {
  // Once only: an allocation that fails on that way out ends the process
  // at once.
  if (void (*handler)() = pvx::g_outOfMemory) {
    pvx::g_outOfMemory = nullptr;
    handler();
  }
  ExitProcess(1);
}
}  // namespace

void* operator new(std::size_t n) {
  void* p = HeapAlloc(GetProcessHeap(), 0, n ? n : 1);
  if (!p) OutOfMemory();
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace std {
void __throw_length_error(const char*) { OutOfMemory(); }
void __throw_logic_error(const char*) { OutOfMemory(); }
void __throw_out_of_range(const char*) { OutOfMemory(); }
void __throw_out_of_range_fmt(const char*, ...) { OutOfMemory(); }
void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_bad_function_call() { OutOfMemory(); }
}  // namespace std

extern "C" void __cxa_pure_virtual() { OutOfMemory(); }

// Every run ends in ExitProcess; destructors of function-local statics
// have nothing to give back, so they are not registered at all (the stub
// has no C runtime start-up that would keep such a list).
// Not analysed across calls: a registration must stay visible in the
// program, so that a global with a destructor shows in the constructor
// list, which the link requires empty.
extern "C" __attribute__((noipa)) int atexit(void (*)(void)) { return 0; }
