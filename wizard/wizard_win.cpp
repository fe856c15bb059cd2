#include "wizard/wizard_win.h"

#include <windows.h>
#include <commctrl.h>

#include "format/header_fields.h"
#include "format/text_util.h"
#include "install/install_sequence_win.h"
#include "install/install_ui_win.h"
#include "startup/dialog_win.h"
#include "startup/run_win.h"

namespace pvx {

namespace {

const char kWizardClass[] = "ParvolexWizard";

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcA(window, message, w, l);
}

}  // namespace

void StartWizard(Run& run) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterFrameClass(kWizardClass, WizardProc);
  HWND window = CreateFrameWindow(kWizardClass, run.startup.setupTitle.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 495,
                                  359, run.startup.appWindow, nullptr, &run);
  HFONT font = UiFont("Tahoma", -11);
  static InstallUi ui;
  ui.owner = window;
  ui.statusLabel = AddControl(window, "STATIC", "", WS_VISIBLE | SS_NOPREFIX | SS_LEFTNOWORDWRAP,
                              22, 60 + 186, 452, 14, 200, font);
  ui.progressBar = AddControl(window, PROGRESS_CLASSA, "", WS_VISIBLE | PBS_SMOOTH, 22, 60 + 208,
                              452, 18, 201, font);
  run.folders.installFolder = WithTrailingBackslash(run.ExpandField(field::kDefaultFolder));
  if (run.script.HeaderFlag(field::kMakeProgramGroup))
    run.choices.groupName = run.script.HeaderText(field::kDefaultGroup);
  if (!run.startup.silentMode) ShowWindow(window, SW_SHOW);
  RunInstallSequence(run, ui);
  EndRun(run, run.install.filesFailed ? ExitCode::InstallFailed : ExitCode::Installed,
         Cleanup::None);
}

}  // namespace pvx
