// The uninstaller's window, in the setup's look: a welcome page with
// Remove and Cancel, the removing page with status line and progress, and
// the finished page.
#pragma once
#include <windows.h>

#include "format/str.h"
#include "uninstaller/remover_win.h"
#include "uninstaller/uninstall_plan.h"

namespace pvx {

class UninstallWizard : public RemovalView {
 public:
  // `picture` is the header picture as a BMP file, or empty.
  UninstallWizard(const UninstallPlan& plan, const Str& picture);
  ~UninstallWizard();
  UninstallWizard(const UninstallWizard&) = delete;
  UninstallWizard& operator=(const UninstallWizard&) = delete;

  // The welcome page until the user chooses; false for Cancel.
  bool AskToRemove();
  // The removing page; the removal runs while it shows.
  void ShowRemoving();
  // From here on the removal cannot be stopped any more.
  void DisallowStop();
  // The finished page with `note` (empty when everything went) and the
  // list of `details`, until the user closes it; then the web address,
  // when one is offered and its box is ticked.
  void ShowFinished(const Str& note, const Str& details);

  void Status(const Str& text) override;
  void Advance() override;
  bool StopRequested() override;

  // For the window procedure.
  LRESULT Handle(HWND window, UINT message, WPARAM w, LPARAM l);

 private:
  enum class Page { Welcome, Removing, Finished };
  void Build();
  void BuildBand();
  void Show(Page page);
  void SetHeader(const Str& title, const Str& subtitle);
  void RunUntilChosen();
  void OnCancel();
  void PaintBand(HDC dc);

  const UninstallPlan& plan_;
  Str picture_;
  HWND window_ = nullptr;
  HWND title_ = nullptr, subtitle_ = nullptr;
  HWND primary_ = nullptr, cancel_ = nullptr;
  HWND welcomeText_ = nullptr, folderLabel_ = nullptr, folder_ = nullptr;
  HWND waitText_ = nullptr, status_ = nullptr, progress_ = nullptr;
  HWND finalText_ = nullptr, web_ = nullptr, note_ = nullptr, details_ = nullptr;
  HBITMAP band_ = nullptr;
  Page page_ = Page::Welcome;
  bool chosen_ = false;
  bool accepted_ = false;
  bool stopAllowed_ = true;
  bool stopRequested_ = false;
  uint32_t position_ = 0;
};

}  // namespace pvx
