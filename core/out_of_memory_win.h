// What a program does when memory runs out (an allocation or a container
// that cannot grow). Unset, the process ends at once with exit code 1.
#pragma once

namespace pvx {

// Called once, and must not return; an allocation that fails while it runs
// ends the process at once.
extern void (*g_outOfMemory)();

}  // namespace pvx
