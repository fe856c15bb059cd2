#include "uninstaller/wizard_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "core/app_window_win.h"
#include "core/dialog_win.h"
#include "core/gradient.h"
#include "core/system_dll_win.h"

namespace pvx {

namespace {

const char kWindowClass[] = "ParvolexUninstall";
constexpr int kWidth = 495, kHeight = 359;
constexpr int kBandWidth = kWidth, kBandHeight = 58;
enum { kTitleId = 300, kSubtitleId, kTextId };

// Colours with the top bit set name a system colour.
COLORREF ResolveColor(int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  return (v & 0x80000000u) ? GetSysColor(static_cast<int>(v & 0xFF)) : (v & 0xFFFFFFu);
}

// COLORREF (0x00BBGGRR) as a 32-bit DIB pixel (0x00RRGGBB).
uint32_t Pixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

HBITMAP TopDownDib(HDC dc, int width, int height, uint32_t** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* p = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
  *bits = static_cast<uint32_t*>(p);
  return bitmap;
}

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  StoreFrameContext(window, message, l);
  if (UninstallWizard* wizard = FrameContext<UninstallWizard>(window)) return wizard->Handle(window, message, w, l);
  return DefWindowProcA(window, message, w, l);
}

Str OrDefault(const Str& text, const char* fallback) { return text.empty() ? Str(fallback) : text; }

}  // namespace

UninstallWizard::UninstallWizard(const UninstallPlan& plan, const Str& picture) : plan_(plan), picture_(picture) {
  Build();
}

UninstallWizard::~UninstallWizard() {
  if (window_) DestroyWindow(window_);
  if (band_) DeleteObject(band_);
}

void UninstallWizard::Build() {
  InitCommonControlsByName();
  RegisterWindowClass(kWindowClass, WizardProc, GetSysColorBrush(COLOR_BTNFACE));
  window_ = CreateFrameWindow(kWindowClass, plan_.Setting(setting::kTitle).c_str(),
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, kWidth, kHeight, nullptr,
                              nullptr, this);
  // The removal's message pump handles Tab, Enter and Esc as the pages'
  // own loop does.
  SetDialogWindow(window_);
  HFONT font = UiFont(kUiFace, -11);
  HFONT bold = UiFont(kUiFace, -11, FW_BOLD);
  const DWORD label = WS_VISIBLE | SS_NOPREFIX;
  title_ = AddControl(window_, "STATIC", "", label | SS_LEFTNOWORDWRAP, plan_.SettingInt(setting::kTitleLeft),
                      plan_.SettingInt(setting::kTitleTop), 302, 14, kTitleId, bold);
  subtitle_ = AddControl(window_, "STATIC", "", label, plan_.SettingInt(setting::kSubtitleLeft),
                         plan_.SettingInt(setting::kSubtitleTop), 297, 26, kSubtitleId, font);

  const Str bottom = plan_.Setting(setting::kBottomText);
  HWND bottomText = AddControl(window_, "STATIC", bottom.c_str(), label | WS_DISABLED | SS_LEFTNOWORDWRAP, 12, 307,
                               10, 14, kTextId, font);
  SIZE size = TextExtent(bottomText, bottom.c_str());
  SetWindowPos(bottomText, nullptr, 0, 0, size.cx, 14, SWP_NOMOVE | SWP_NOZORDER);
  RECT outer;
  GetWindowRect(window_, &outer);
  int lineWidth = (outer.right - outer.left) - 12 - size.cx - 20;
  AddControl(window_, "STATIC", "", WS_VISIBLE | SS_ETCHEDHORZ, 12 + size.cx + (bottom.empty() ? 0 : 4), 314,
             lineWidth > 0 ? lineWidth : 0, 2, kTextId, nullptr);

  primary_ = AddControl(window_, "BUTTON", "", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 324, 327, 75, 23, IDOK,
                        font);
  cancel_ = AddControl(window_, "BUTTON", OrDefault(plan_.Setting(setting::kCancelButton), "Cancel").c_str(),
                       WS_VISIBLE | WS_TABSTOP, 410, 327, 75, 23, IDCANCEL, font);

  welcomeText_ = AddControl(window_, "STATIC", plan_.Setting(setting::kWelcomeText).c_str(), SS_NOPREFIX, 22, 76,
                            452, 96, kTextId, font);
  folderLabel_ = AddControl(window_, "STATIC", plan_.Setting(setting::kRemovingFromLabel).c_str(), SS_NOPREFIX, 22,
                            184, 452, 14, kTextId, font);
  folder_ = AddControl(window_, "EDIT", plan_.Setting(setting::kInstallFolder).c_str(),
                       ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, 22, 202, 452, 21, kTextId, font, WS_EX_CLIENTEDGE);

  waitText_ = AddControl(window_, "STATIC", plan_.Setting(setting::kWaitText).c_str(), SS_NOPREFIX, 22, 76, 452, 40,
                         kTextId, font);
  status_ = AddControl(window_, "STATIC", "", SS_NOPREFIX | SS_LEFTNOWORDWRAP, 22, 246, 452, 14, kTextId, font);
  progress_ = AddControl(window_, PROGRESS_CLASSA, "", PBS_SMOOTH, 22, 268, 452, 18, kTextId, font);
  SendMessageA(progress_, PBM_SETRANGE32, 0, static_cast<LPARAM>(plan_.ProgressTotal()));

  Str finalText = plan_.Setting(setting::kSuccessText);
  if (!plan_.Setting(setting::kFinalText).empty()) finalText += "\r\n\r\n" + plan_.Setting(setting::kFinalText);
  finalText_ = AddControl(window_, "STATIC", finalText.c_str(), SS_NOPREFIX, 22, 76, 452, 64, kTextId, font);
  web_ = AddControl(window_, "BUTTON", plan_.Setting(setting::kWebCaption).c_str(), BS_AUTOCHECKBOX | WS_TABSTOP,
                    22, 146, 452, 17, kTextId, font);
  note_ = AddControl(window_, "STATIC", "", SS_NOPREFIX, 22, 146, 452, 40, kTextId, font);
  details_ = AddControl(window_, "EDIT", "",
                        ES_READONLY | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, 22, 190, 452, 106,
                        kTextId, font, WS_EX_CLIENTEDGE);
  BuildBand();
}

void UninstallWizard::BuildBand() {
  HDC screen = GetDC(nullptr);
  uint32_t* band = nullptr;
  band_ = TopDownDib(screen, kBandWidth, kBandHeight, &band);
  if (!band_) {
    ReleaseDC(nullptr, screen);
    return;
  }
  const COLORREF color = ResolveColor(plan_.SettingInt(setting::kBandColor));
  for (int i = 0; i < kBandWidth * kBandHeight; ++i) band[i] = Pixel(color);
  if (plan_.SettingFlag(setting::kGradient)) {
    const COLORREF start = ResolveColor(plan_.SettingInt(setting::kGradientStart));
    for (int x = 0; x < 170; ++x) {
      uint32_t p = Pixel(GradientColor(start, color, x, 170));
      for (int y = 0; y < kBandHeight; ++y) band[y * kBandWidth + x] = p;
    }
  }
  if (!picture_.empty()) {
    // GDI decodes the picture into a plain pixel buffer; the key colour is
    // its top-left pixel, left out when the picture is transparent.
    const BITMAPFILEHEADER* file = reinterpret_cast<const BITMAPFILEHEADER*>(picture_.data());
    const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(picture_.data() + sizeof(BITMAPFILEHEADER));
    const int w = info->bmiHeader.biWidth;
    const int h = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    uint32_t* pixels = nullptr;
    HBITMAP decoded = TopDownDib(screen, w, h, &pixels);
    HDC dc = CreateCompatibleDC(screen);
    if (decoded && dc) {
      HGDIOBJ old = SelectObject(dc, decoded);
      SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, picture_.data() + file->bfOffBits, info, DIB_RGB_COLORS);
      GdiFlush();
      const bool transparent = plan_.SettingFlag(setting::kPictureTransparent);
      const uint32_t key = pixels[0] & 0xFFFFFF;
      const int left = plan_.SettingInt(setting::kPictureLeft), top = plan_.SettingInt(setting::kPictureTop);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int bx = left + x, by = top + y;
          if (bx < 0 || by < 0 || bx >= kBandWidth || by >= kBandHeight) continue;
          const uint32_t p = pixels[y * w + x] & 0xFFFFFF;
          if (!transparent || p != key) band[by * kBandWidth + bx] = p;
        }
      SelectObject(dc, old);
    }
    if (dc) DeleteDC(dc);
    if (decoded) DeleteObject(decoded);
  }
  ReleaseDC(nullptr, screen);
}

void UninstallWizard::PaintBand(HDC dc) {
  if (band_) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, band_);
    BitBlt(dc, 0, 0, kBandWidth, kBandHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  RECT edge = {0, kBandHeight, kWidth, kBandHeight + 1};
  FillRect(dc, &edge, GetSysColorBrush(COLOR_APPWORKSPACE));
  edge.top = kBandHeight + 1;
  edge.bottom = kBandHeight + 2;
  FillRect(dc, &edge, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void UninstallWizard::SetHeader(const Str& title, const Str& subtitle) {
  SetWindowTextA(title_, title.c_str());
  SetWindowTextA(subtitle_, subtitle.c_str());
  // The labels are transparent: the band behind them is painted anew.
  RECT band = {0, 0, kWidth, kBandHeight};
  RedrawWindow(window_, &band, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void UninstallWizard::Show(Page page) {
  page_ = page;
  const int welcome = page == Page::Welcome ? SW_SHOW : SW_HIDE;
  const int removing = page == Page::Removing ? SW_SHOW : SW_HIDE;
  const int finished = page == Page::Finished ? SW_SHOW : SW_HIDE;
  ShowWindow(welcomeText_, welcome);
  ShowWindow(folderLabel_, welcome);
  ShowWindow(folder_, welcome);
  ShowWindow(waitText_, removing);
  ShowWindow(status_, removing);
  ShowWindow(progress_, removing);
  ShowWindow(finalText_, finished);
  switch (page) {
    case Page::Welcome:
      SetHeader(plan_.Setting(setting::kTitle), plan_.Setting(setting::kSubtitle));
      SetWindowTextA(primary_, OrDefault(plan_.Setting(setting::kRemoveButton), "&Remove").c_str());
      break;
    case Page::Removing:
      SetHeader(plan_.Setting(setting::kTitle), plan_.Setting(setting::kSubtitle));
      EnableWindow(primary_, FALSE);
      break;
    case Page::Finished:
      SetHeader(plan_.Setting(setting::kCompleteTitle), plan_.Setting(setting::kFinalHeading));
      SetWindowTextA(primary_, OrDefault(plan_.Setting(setting::kFinishButton), "&Finish").c_str());
      EnableWindow(primary_, TRUE);
      EnableWindow(cancel_, FALSE);
      SetFocus(primary_);
      break;
  }
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

void UninstallWizard::RunUntilChosen() {
  chosen_ = false;
  SetForegroundWindow(window_);
  SetFocus(primary_);
  MSG message;
  while (!chosen_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool UninstallWizard::AskToRemove() {
  Show(Page::Welcome);
  RunUntilChosen();
  return accepted_;
}

void UninstallWizard::ShowRemoving() { Show(Page::Removing); }

void UninstallWizard::DisallowStop() {
  stopAllowed_ = false;
  EnableWindow(cancel_, FALSE);
}

void UninstallWizard::ShowFinished(const Str& note, const Str& details) {
  SendMessageA(progress_, PBM_SETPOS, static_cast<WPARAM>(plan_.ProgressTotal()), 0);
  SetWindowTextA(note_, note.c_str());
  SetWindowTextA(details_, details.c_str());
  Show(Page::Finished);
  const Str& web = plan_.Setting(setting::kWebAddress);
  int y = 146;
  if (!web.empty()) {
    ShowWindow(web_, SW_SHOW);
    y += 26;
  }
  SetWindowPos(note_, nullptr, 22, y, 452, 40, SWP_NOZORDER);
  SetWindowPos(details_, nullptr, 22, y + 44, 452, 296 - y - 44, SWP_NOZORDER);
  ShowWindow(note_, note.empty() ? SW_HIDE : SW_SHOW);
  ShowWindow(details_, details.empty() ? SW_HIDE : SW_SHOW);
  RunUntilChosen();
  if (!web.empty() && SendMessageA(web_, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    ShowWindow(window_, SW_HIDE);
    ShellExecuteA(nullptr, nullptr, web.c_str(), nullptr, nullptr, SW_SHOW);
  }
}

void UninstallWizard::Status(const Str& text) { SetWindowTextA(status_, text.c_str()); }

void UninstallWizard::Advance() { SendMessageA(progress_, PBM_SETPOS, ++position_, 0); }

bool UninstallWizard::StopRequested() { return stopRequested_; }

void UninstallWizard::OnCancel() {
  switch (page_) {
    case Page::Welcome:
      accepted_ = false;
      chosen_ = true;
      break;
    case Page::Removing:
      if (!stopAllowed_ || stopRequested_) break;
      if (MessageBoxA(window_, OrDefault(plan_.Setting(setting::kCancelQuestion), "Stop removing the program?").c_str(),
                      plan_.Setting(setting::kTitle).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES &&
          stopAllowed_)
        stopRequested_ = true;
      break;
    case Page::Finished:
      chosen_ = true;
      break;
  }
}

LRESULT UninstallWizard::Handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(w) == IDOK && IsWindowEnabled(primary_) && page_ != Page::Removing) {
        accepted_ = true;
        chosen_ = true;
      } else if (LOWORD(w) == IDCANCEL) {
        OnCancel();
      }
      return 0;
    case WM_CLOSE:
      OnCancel();
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(l) == title_ || reinterpret_cast<HWND>(l) == subtitle_) {
        SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintBand(dc);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcA(window, message, w, l);
}

}  // namespace pvx
