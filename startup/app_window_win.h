// The hidden application window that owns all others (and carries the
// taskbar button once shown); the backdrop is in backdrop_win.h.
#pragma once
#include <windows.h>

namespace pvx {

HWND CreateApplicationWindow(HINSTANCE instance);

extern const char kIconName[];  // "MAINICON", the executable's icon resource

// A window class of this module with the executable's icon "MAINICON".
ATOM RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background);

// Dispatches every pending message, so that windows stay responsive during
// long work on the one GUI thread.
void ProcessPendingMessages();

}  // namespace pvx
