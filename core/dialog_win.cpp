#include "core/dialog_win.h"

#include <cstring>

namespace pvx {

namespace {

struct FontEntry {
  char face[32];
  int height;
  int weight;
  HFONT font;
};
// On the heap, made at the first font: zero bytes kept in the file's data
// section would cost the stub as much as code.
FontEntry* g_fonts;
int g_fontCount = 0;

}  // namespace

const char kUiFace[] = "Tahoma";
const char kStaticClass[] = "STATIC";
const char kButtonClass[] = "BUTTON";

HFONT UiFont(const char* face, int height, int weight) {
  for (int i = 0; i < g_fontCount; ++i)
    if (g_fonts[i].height == height && g_fonts[i].weight == weight &&
        lstrcmpA(g_fonts[i].face, face) == 0)
      return g_fonts[i].font;
  HFONT font = CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face);
  if (!g_fonts) g_fonts = new FontEntry[12];
  if (g_fontCount < 12) {
    FontEntry& e = g_fonts[g_fontCount++];
    lstrcpynA(e.face, face, sizeof e.face);
    e.height = height;
    e.weight = weight;
    e.font = font;
  }
  return font;
}

HWND AddControl(HWND parent, const char* windowClass, const char* text, DWORD style, int x,
                int y, int width, int height, int id, HFONT font, DWORD exStyle) {
  HWND control = CreateWindowExA(exStyle, windowClass, text, WS_CHILD | style, x, y, width,
                                 height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (control && font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void RegisterFrameClass(const char* name, WNDPROC proc, HBRUSH background) {
  WNDCLASSA c = {};
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (GetClassInfoA(instance, name, &c)) return;
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = background ? background : GetSysColorBrush(COLOR_BTNFACE);
  c.lpszClassName = name;
  RegisterClassA(&c);
}

void StoreFrameContext(HWND window, UINT message, LPARAM l) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams));
}

HWND CreateFrameWindow(const char* windowClass, const char* title, DWORD style, DWORD exStyle,
                       int clientWidth, int clientHeight, HWND owner, HWND center,
                       void* context) {
  RECT r = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  int w = r.right - r.left, h = r.bottom - r.top;
  RECT area;
  if (!center || !IsWindowVisible(center) || !GetWindowRect(center, &area))
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  int x = area.left + (area.right - area.left - w) / 2;
  int y = area.top + (area.bottom - area.top - h) / 2;
  return CreateWindowExA(exStyle, windowClass, title, style, x, y, w, h, owner, nullptr,
                         GetModuleHandleA(nullptr), context);
}

void RunModal(HWND window, HWND owner, const bool* done) {
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  MSG message;
  while (!*done && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  ShowWindow(window, SW_HIDE);
}

SIZE TextExtent(HWND control, const char* text) {
  SIZE size = {0, 0};
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
  GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

}  // namespace pvx
