// The wizard's pictures and the gradient painter.
#include "wizard/images_win.h"

#include "format/header_fields.h"
#include "format/work_files.h"
#include "core/run_win.h"
#include "core/workdir_win.h"
#include "core/gradient.h"
#include "wizard/wizard_win.h"

namespace pvx {

namespace {

void Fill(HDC dc, int x, int y, int w, int h, COLORREF colour) {
  RECT r = {x, y, x + w, y + h};
  SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

const int kOpaque = -1;
const int kCornerKey = -2;

// Draws a picture unscaled at (x, y); with a key colour, pixels of exactly
// that colour are left out (the key pixels pick the destination through
// an XOR, a mask and a second XOR).
void DrawPicture(HDC dc, HBITMAP picture, int x, int y, int key) {
  if (!picture) return;
  BITMAP b;
  GetObjectA(picture, sizeof b, &b);
  int w = b.bmWidth, h = b.bmHeight;
  MemoryDc source(dc, picture);
  if (key == kOpaque) {
    BitBlt(dc, x, y, w, h, source, 0, 0, SRCCOPY);
    return;
  }
  if (key == kCornerKey) key = GetPixel(source, 0, 0);
  GdiObject maskBitmap(CreateBitmap(w, h, 1, 1, nullptr));
  MemoryDc mask(dc, maskBitmap);
  SetBkColor(source, key);
  BitBlt(mask, 0, 0, w, h, source, 0, 0, SRCCOPY);  // key pixels white, others black
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, 0);
  BitBlt(dc, x, y, w, h, source, 0, 0, SRCINVERT);
  BitBlt(dc, x, y, w, h, mask, 0, 0, SRCAND);
  BitBlt(dc, x, y, w, h, source, 0, 0, SRCINVERT);
}

}  // namespace

HBITMAP LoadPicture(int n) {
  return static_cast<HBITMAP>(LoadImageA(nullptr, TempFileName(n).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

void LoadWizardPictures(Run& run) {
  const SetupScript& s = run.script;
  Pictures& p = run.pictures;
  if (s.HeaderFlag(field::kHeaderPicture)) p.header = LoadPicture(work_files::kHeaderPicture);
  // A silent run paints nothing; the header picture still goes with the
  // uninstaller.
  if (run.startup.silentMode) return;
  if (s.HeaderFlag(field::kSidePicture)) p.side = LoadPicture(work_files::kSidePicture);
  if (s.HeaderFlag(field::kFolderPage)) p.folder = LoadPicture(work_files::kFolderPicture);
  // Any offered shortcut kind.
  for (int n = field::kOfferDesktop; n <= field::kOfferQuickLaunch; ++n)
    if (s.HeaderFlag(n)) {
      p.shortcuts = LoadPicture(work_files::kShortcutsPicture);
      break;
    }
}

COLORREF ResolveColour(int32_t colour) { return colour < 0 ? GetSysColor(colour & 0xFF) : colour; }

// The gradient is one pixel strip, stretched over the whole target.
void GradientFill(HDC target, int w, int h, bool vertical, int32_t c1, int32_t c2) {
  COLORREF first = ResolveColour(c1), second = ResolveColour(c2);
  int n = vertical ? h : w;
  int sw = vertical ? 1 : w, sh = vertical ? h : 1;
  GdiObject strip(CreateCompatibleBitmap(target, sw, sh));
  MemoryDc dc(target, strip);
  for (int i = 0; i < n; ++i)
    SetPixelV(dc, vertical ? 0 : i, vertical ? i : 0, GradientColor(first, second, i, n));
  SetStretchBltMode(target, COLORONCOLOR);
  StretchBlt(target, 0, 0, w, h, dc, 0, 0, sw, sh, SRCCOPY);
}

void PaintControl(int id, HDC dc) {
  const SetupScript& s = g_wizard.run->script;
  const Pictures& p = g_wizard.run->pictures;
  switch (id) {
    case kBand:
      // The band colour shows wherever the gradient and the picture leave
      // it; the etched edge is drawn last, over whatever reaches it.
      Fill(dc, 0, 0, 495, 58, ResolveColour(s.HeaderInt(field::kHeaderColor)));
      if (s.HeaderFlag(field::kHeaderGradient))
        GradientFill(dc, 170, 58, false, s.HeaderInt(field::kHeaderGradientStart),
                     s.HeaderInt(field::kHeaderColor));
      if (s.HeaderFlag(field::kHeaderPicture))
        DrawPicture(dc, p.header, s.HeaderInt(field::kHeaderPictureLeft), s.HeaderInt(field::kHeaderPictureTop),
                    s.HeaderFlag(field::kHeaderPictureTransparent) ? kCornerKey : kOpaque);
      Fill(dc, 0, 58, 495, 1, GetSysColor(COLOR_APPWORKSPACE));
      Fill(dc, 0, 59, 495, 1, RGB(255, 255, 255));
      break;
    case kWhitePanel:
      Fill(dc, 0, 0, 495, 314, RGB(255, 255, 255));
      Fill(dc, 0, 314, 495, 1, GetSysColor(COLOR_APPWORKSPACE));
      Fill(dc, 0, 315, 495, 1, RGB(255, 255, 255));
      break;
    case kSidePicture:
      Fill(dc, 0, 0, 164, 314, RGB(255, 255, 255));
      DrawPicture(dc, p.side, s.HeaderInt(field::kSidePictureLeft), s.HeaderInt(field::kSidePictureTop),
                  s.HeaderFlag(field::kSidePictureTransparent) ? kCornerKey : kOpaque);
      break;
    case kFolderPicture:
      DrawPicture(dc, p.folder, 0, 0, RGB(0, 0, 0));
      break;
    case kShortcutsPicture:
      DrawPicture(dc, p.shortcuts, 0, 0, RGB(0, 0, 0));
      break;
  }
}

}  // namespace pvx
