// The hidden application window that owns all others (and carries the
// taskbar button once shown); the backdrop is in backdrop_win.h.
#pragma once
#include <windows.h>

namespace pvx {

HWND CreateApplicationWindow(HINSTANCE instance);

extern const char kIconName[];  // PVX_ICON_RESOURCE_NAME, the executable's icon resource

// A window class of this module with the executable's icon.
ATOM RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background);

// The window whose Tab, Enter and Esc the message pump below handles as a
// dialog's (the wizard, once it is built). Prompts run loops of their own.
void SetDialogWindow(HWND window);

// Dispatches every pending message, so that windows stay responsive during
// long work on the one GUI thread; between pages it is the run's message
// loop too, so the keys work alike on every page.
void ProcessPendingMessages();
// The same at most every 30 ms: for loops that run once per file or per
// block, where each look into the queue costs a call into the system
// (under Wine a round trip to its server) and the window cannot repaint
// faster anyway.
void ProcessMessagesNowAndThen();

}  // namespace pvx
