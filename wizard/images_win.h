// Bitmaps from the work folder and the painting shared by the wizard and
// the backdrop.
#pragma once
#include <windows.h>

#include <cstdint>

namespace pvx {

struct Run;

// A memory DC with one object selected, undone on scope exit.
class MemoryDc {
 public:
  MemoryDc(HDC like, HGDIOBJ object) : dc_(CreateCompatibleDC(like)), old_(SelectObject(dc_, object)) {}
  ~MemoryDc() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  operator HDC() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

class GdiObject {
 public:
  explicit GdiObject(HGDIOBJ object) : object_(object) {}
  ~GdiObject() { DeleteObject(object_); }
  operator HGDIOBJ() const { return object_; }

 private:
  HGDIOBJ object_;
};

// Step 14 of the start-up: the pictures the package's flags ask for.
void LoadWizardPictures(Run& run);
// Resource file n as a bitmap; null when missing or unreadable.
HBITMAP LoadPicture(int n);

// A header colour: a COLORREF, or 0x80000000 plus a COLOR_ index.
COLORREF ResolveColour(int32_t colour);

// Paints a gradient from c1 to c2 into (0, 0, w, h) of the target,
// top to bottom when vertical, else left to right.
void GradientFill(HDC target, int w, int h, bool vertical, int32_t c1, int32_t c2);

}  // namespace pvx
