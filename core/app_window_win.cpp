#include "core/app_window_win.h"

#include "format/stub_resources.h"

namespace pvx {

const char kIconName[] = PVX_ICON_RESOURCE_NAME;

namespace {

const char kAppClass[] = "ParvolexApplication";

HWND g_dialogWindow;

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_CLOSE) return 0;  // only the run decides when it ends
  // Activated through its taskbar button, or as the folder browser's owner
  // when that closes: the keyboard belongs to the wizard, unless a prompt
  // of the wizard holds it.
  if (message == WM_SETFOCUS) {
    HWND wizard = g_dialogWindow;
    if (IsWindowEnabled(wizard) && IsWindowVisible(wizard)) SetForegroundWindow(wizard);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

}  // namespace

ATOM RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA c = {};
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hIcon = LoadIconA(instance, kIconName);
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = background;
  c.lpszClassName = name;
  return RegisterClassA(&c);
}

HWND CreateApplicationWindow(HINSTANCE instance) {
  RegisterWindowClass(kAppClass, AppWindowProc, nullptr);
  // A zero-size pop-up: it has no surface, but once shown it gives the run
  // its taskbar button with the setup title.
  return CreateWindowExA(WS_EX_APPWINDOW, kAppClass, "*", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                         GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                         0, nullptr, nullptr, instance, nullptr);
}

void SetDialogWindow(HWND window) { g_dialogWindow = window; }

void ProcessMessagesNowAndThen() {
  static DWORD last;
  DWORD now = GetTickCount();
  if (now - last < 30) return;
  last = now;
  ProcessPendingMessages();
}

void ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (g_dialogWindow && IsDialogMessageA(g_dialogWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace pvx
