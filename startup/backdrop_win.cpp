#include "startup/backdrop_win.h"

#include "format/header_fields.h"
#include "format/work_files.h"
#include "core/app_window_win.h"
#include "core/dialog_win.h"
#include "core/run_win.h"
#include "core/gradient.h"
#include "wizard/images_win.h"

namespace pvx {

namespace {

Run* g_run;
COLORREF g_colours[2];  // of the title and the second text (ids 1 and 2)

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  // Keeps the wizard in front: on painting, on being shown, and on presses
  // and double clicks of any button (the texts let clicks through).
  if ((message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK && (message - WM_LBUTTONDOWN) % 3 != 1) ||
      message == WM_PAINT || message == WM_SHOWWINDOW) {
    if (g_run->startup.wizardWindow) SetForegroundWindow(g_run->startup.wizardWindow);
  }
  if (message == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(w);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, g_colours[GetDlgCtrlID(reinterpret_cast<HWND>(l)) - 1]);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  return DefWindowProcA(window, message, w, l);
}

}  // namespace

HWND CreateBackdropWindow(Run& run) {
  g_run = &run;
  const char kClass[] = "ParvolexBackdrop";
  RegisterWindowClass(kClass, BackdropProc, GetSysColorBrush(COLOR_BTNFACE));
  RECT r = {190, 105, 190 + 227, 105 + 111};
  AdjustWindowRectEx(&r, WS_POPUP, FALSE, 0);
  HWND window = CreateWindowExA(0, kClass, "Parvolex", WS_POPUP, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, run.startup.appWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
  DeleteMenu(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  HFONT font = UiFont(kUiFace, -11);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  for (int i = 0; i < 2; ++i)
    AddControl(window, kStaticClass, "", WS_VISIBLE | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 16, i ? 79 : 16, 0, 0, i + 1,
               font);
  return window;
}

void ShowBackdrop(Run& run) {
  const SetupScript& s = run.script;
  HWND window = run.startup.backdropWindow = CreateBackdropWindow(run);
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(window, nullptr, 0, 0, w, h, SWP_NOZORDER | SWP_SHOWWINDOW);
  SetForegroundWindow(window);

  // Built once at the screen's size: painting is then one brush fill.
  HDC screen = GetDC(nullptr);
  HBITMAP canvas = CreateCompatibleBitmap(screen, w, h);
  HBITMAP brushBitmap = canvas;
  {
    MemoryDc dc(screen, canvas);
    if (s.HeaderFlag(field::kBackdropGradient)) {
      GradientFill(dc, w, h, !s.HeaderFlag(field::kBackdropHorizontal), s.HeaderInt(field::kBackdropColorStart),
                   s.HeaderInt(field::kBackdropColorEnd));
    } else {
      HBITMAP picture = LoadPicture(work_files::kBackdropPicture);
      BITMAP b = {};
      GetObjectA(picture, sizeof b, &b);
      MemoryDc source(screen, picture);
      switch (s.HeaderInt(field::kBackdropPictureMode)) {
        case 0:
          brushBitmap = picture;  // the brush repeats the picture itself
          break;
        case 1:
          SetStretchBltMode(dc, COLORONCOLOR);
          StretchBlt(dc, 0, 0, w, h, source, 0, 0, b.bmWidth, b.bmHeight, SRCCOPY);
          break;
        case 2:
          BitBlt(dc, CentredOffset(w, b.bmWidth), CentredOffset(h, b.bmHeight), b.bmWidth, b.bmHeight, source,
                 0, 0, SRCCOPY);
          break;
        default:
          brushBitmap = nullptr;
      }
    }
  }
  ReleaseDC(nullptr, screen);
  // Without a bitmap the window keeps its plain colour.
  SetClassLongPtrA(window, GCLP_HBRBACKGROUND,
                   reinterpret_cast<LONG_PTR>(brushBitmap ? CreatePatternBrush(brushBitmap)
                                                          : GetSysColorBrush(COLOR_BTNFACE)));

  // Per text: content, font height, face, colour, character set, style
  // (1 bold, 2 italic, 4 underline, 8 strike-out).
  static const uint8_t kFields[2][6] = {{8, 10, 11, 12, 13, 14}, {9, 18, 19, 16, 17, 15}};
  for (int i = 0; i < 2; ++i) {
    const uint8_t* f = kFields[i];
    HWND text = GetDlgItem(window, i + 1);
    g_colours[i] = ResolveColour(s.HeaderInt(f[3]));
    int style = s.HeaderInt(f[5]);
    HFONT font = CreateFontA(s.HeaderInt(f[1]), 0, 0, 0, style & 1 ? FW_BOLD : FW_NORMAL, style & 2, style & 4,
                             style & 8, static_cast<BYTE>(s.HeaderInt(f[4])), 0, 0, 0, 0, s.HeaderText(f[2]).c_str());
    SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    Str content = run.ExpandField(f[0]);
    SetWindowTextA(text, content.c_str());
    SIZE size = TextExtent(text, content.c_str());
    // The title stays at the top left; the second text goes 8 pixels in
    // from the bottom right corner.
    int x = 16, y = 16;
    if (i) {
      x = w - size.cx - 8;
      y = h - size.cy - 8;
    }
    SetWindowPos(text, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(window, nullptr, TRUE);
}

}  // namespace pvx
