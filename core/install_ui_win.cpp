#include "core/install_ui_win.h"

#include <windows.h>
#include <commctrl.h>

#include "core/progress.h"
#include "core/app_window_win.h"

namespace pvx {

void InstallUi::Reset(int32_t maximum) {
  count_ = 0;
  SendMessageA(progressBar, PBM_SETRANGE32, 0, maximum);
  Show(true);
}

void InstallUi::Add(uint64_t bytes) {
  count_ += bytes;
  Show(false);
  ProcessMessagesNowAndThen();
}

void InstallUi::SetStatus(const Str& text) {
  SetFileStatus(text);
  Show(true);
}

void InstallUi::SetFileStatus(const Str& text) {
  if (!status_) status_ = new Str;
  *status_ = text;
  Show(false);
}

void InstallUi::Show(bool always) {
  DWORD now = GetTickCount();
  if (!always && now - shownAt_ < 30) return;
  shownAt_ = now;
  SetWindowTextA(statusLabel, status_ ? status_->c_str() : "");
  SendMessageA(progressBar, PBM_SETPOS, ProgressPosition(count_), 0);
}

}  // namespace pvx
