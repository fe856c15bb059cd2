// Building blocks for the runtime's windows: fonts, controls placed by
// client coordinates, and a modal loop for prompts built from plain
// windows (no dialog templates, which cost bytes and fix the layout to
// dialog units).
#pragma once
#include <windows.h>

namespace pvx {

// Names more than one window of the runtime uses, held once.
extern const char kUiFace[];       // "Tahoma"
extern const char kStaticClass[];  // "STATIC"
extern const char kButtonClass[];  // "BUTTON"

// A font by face and height (negative: character height in pixels),
// created once per combination and kept for the run.
HFONT UiFont(const char* face, int height, int weight = FW_NORMAL);

HWND AddControl(HWND parent, const char* windowClass, const char* text, DWORD style, int x,
                int y, int width, int height, int id, HFONT font, DWORD exStyle = 0);

// A top-level window of the given client size, centred over `center` (or
// on the screen when it is null), hidden.
HWND CreateFrameWindow(const char* windowClass, const char* title, DWORD style, DWORD exStyle,
                       int clientWidth, int clientHeight, HWND owner, HWND center,
                       void* context);

// Registers a window class once; the window procedure finds its context
// through GWLP_USERDATA (set from CreateWindowEx's parameter).
void RegisterFrameClass(const char* name, WNDPROC proc, HBRUSH background = nullptr);
template <class T>
T* FrameContext(HWND window) {
  return reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}
// Handles WM_NCCREATE for frames created by CreateFrameWindow.
void StoreFrameContext(HWND window, UINT message, LPARAM l);

// Shows the window and runs messages until *done becomes true; the owner
// is disabled meanwhile. Tab, Enter (IDOK) and Escape (IDCANCEL) work as in
// dialogs.
void RunModal(HWND window, HWND owner, const bool* done);

// The size a text needs in a control's font.
SIZE TextExtent(HWND control, const char* text);

}  // namespace pvx
