// The two windows every run starts with: the hidden application window
// that owns all others (and carries the taskbar button once shown), and the
// hidden backdrop.
#pragma once
#include <windows.h>

namespace pvx {

HWND CreateApplicationWindow(HINSTANCE instance);
HWND CreateBackdropWindow(HINSTANCE instance, HWND owner);

// Dispatches every pending message, so that windows stay responsive during
// long work on the one GUI thread.
void ProcessPendingMessages();

}  // namespace pvx
