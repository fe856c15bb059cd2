// The wizard: one window with a header band, a page area and a button
// row; its pages are child panels of which one is visible at a time.
#pragma once
#include <windows.h>

#include "format/str.h"
#include "format/wizard_controls.h"
#include "core/install_ui_win.h"
#include "wizard/page_sequence.h"

namespace pvx {

struct Run;

// Builds the wizard window and shows its first page; in silent mode the
// window stays hidden and the installation runs at once.
void StartWizard(Run& run);

static_assert(kNext == IDOK && kCancel == IDCANCEL, "Enter and Esc press Next and Cancel");

// The wizard's run-long state; one instance, zero before the wizard is
// built.
struct Wizard {
  Run* run;
  HWND ctl[kControlCount];
  PageSequence sequence;
  uint8_t current;  // index into sequence
  bool installing;  // the install sequence has begun
  // Until the first page shows, only its own controls and those the
  // installation reads exist.
  uint8_t firstPanel;
  bool complete;
  HWND focus;  // the control that had the focus when the window was last deactivated
  InstallUi ui;

  uint8_t Kind() const { return sequence.kinds[current]; }
};
extern Wizard g_wizard;

inline HWND Ctl(int id) { return g_wizard.ctl[id]; }
// The run's header fields and language texts, in short.
bool Flag(int n);
int32_t Int(int n);
const Str& Lang(int k);
void MoveTo(int id, int x, int y);
void Place(int id, int x, int y, int w, int h);

// Pages (pages_win.cpp). CreateControls makes the controls not made yet
// that the wizard's state allows (see Wizard::complete).
void CreateControls(HINSTANCE instance);
void FillPages();
void SetText(int id, const Str& text);
void SetLanguageText(int id, int k);
Str ControlText(int id);
bool Checked(int id);
void ShowControl(int id, bool shown);
bool Offered(int id);  // the control's own visible bit, whatever its page shows
void SetUpFinish();
void RebuildSummary();
void SyncChoices();
void LayoutSeparator();

// Folder and group (folder_group_win.cpp).
void FolderChanged();
void BrowseClicked();
void GroupChanged();
void GroupPicked();
void NoShortcutsClicked();
void FillGroupList();
void ApplyLocks();

// Painting (images_win.cpp): the band, the side box and the page pictures.
void PaintControl(int id, HDC dc);

}  // namespace pvx
