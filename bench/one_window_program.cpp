// one_window_program.exe: a GUI program that shows one window with one
// visible control (id 1) and then waits for messages until it is ended.
// The floor of bench/first_page_bench.py: first_page_probe.exe watches for
// the window class "PvxOneWindow" with control 1, as it watches for an
// installer's first page. No C runtime start-up code, as in the stub.
#include <windows.h>

extern "C" void WinMainCRTStartup() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "PvxOneWindow";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "One window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 500, 360, nullptr, nullptr, instance, nullptr);
  CreateWindowExA(0, "STATIC", "Welcome", WS_CHILD | WS_VISIBLE, 20, 20, 300, 24, window,
                  reinterpret_cast<HMENU>(1), instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  ExitProcess(0);
}
