#include "install/install_ui_win.h"

#include <windows.h>
#include <commctrl.h>

#include "install/progress.h"
#include "startup/app_window_win.h"

namespace pvx {

void InstallUi::Reset(int32_t maximum) {
  count_ = 0;
  SendMessageA(progressBar, PBM_SETRANGE32, 0, maximum);
  SendMessageA(progressBar, PBM_SETPOS, 0, 0);
}

void InstallUi::Add(uint64_t bytes) {
  count_ += bytes;
  SendMessageA(progressBar, PBM_SETPOS, ProgressPosition(count_), 0);
  ProcessMessagesNowAndThen();
}

void InstallUi::SetStatus(const Str& text) { SetWindowTextA(statusLabel, text.c_str()); }

}  // namespace pvx
