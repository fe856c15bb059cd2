#include "startup/app_window_win.h"

namespace pvx {

namespace {

const char kAppClass[] = "ParvolexApplication";
const char kBackdropClass[] = "ParvolexBackdrop";

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_CLOSE) return 0;  // only the run decides when it ends
  return DefWindowProcA(window, message, w, l);
}

ATOM Register(HINSTANCE instance, const char* name, WNDPROC proc) {
  WNDCLASSA c = {};
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hIcon = LoadIconA(instance, "MAINICON");
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.lpszClassName = name;
  return RegisterClassA(&c);
}

}  // namespace

HWND CreateApplicationWindow(HINSTANCE instance) {
  Register(instance, kAppClass, AppWindowProc);
  // A zero-size pop-up: it has no surface, but once shown it gives the run
  // its taskbar button with the setup title.
  return CreateWindowExA(WS_EX_APPWINDOW, kAppClass, "*", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                         GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                         0, nullptr, nullptr, instance, nullptr);
}

HWND CreateBackdropWindow(HINSTANCE instance, HWND owner) {
  Register(instance, kBackdropClass, DefWindowProcA);
  RECT r = {190, 105, 190 + 227, 105 + 111};
  AdjustWindowRectEx(&r, WS_POPUP, FALSE, 0);
  HWND window = CreateWindowExA(0, kBackdropClass, "Parvolex", WS_POPUP, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, owner, nullptr, instance,
                                nullptr);
  if (window) DeleteMenu(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  return window;
}

void ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace pvx
