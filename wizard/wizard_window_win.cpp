// The wizard window: page switching, Next/Back/close, the disk-space
// check, the start-up message and the backdrop behind the window.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include "wizard/finishing_win.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "install/install_sequence_win.h"
#include "core/app_window_win.h"
#include "core/dialog_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/system_dll_win.h"
#include "core/system_libraries.h"
#include "wizard/wizard_win.h"

namespace pvx {

Wizard g_wizard = {};

namespace {

const char kWizardClass[] = "PvxPage";

Run& R() { return *g_wizard.run; }

// Header title, subtitle and Next caption per page kind (language texts).
const uint8_t kPageTexts[kExit][3] = {
    {0, 0, text::kNextButton},  {text::kLicenseTitle, text::kLicenseSubtitle, text::kAcceptButton},  {text::kInformationTitle, text::kInformationBody, text::kNextButton}, {text::kFolderTitle, text::kFolderSubtitle, text::kNextButton}, {text::kGroupTitle, text::kGroupSubtitle, text::kNextButton},
    {text::kGroupTitle, text::kShortcutsSubtitle, text::kNextButton}, {text::kReadyTitle, text::kReadySubtitle, text::kInstallButton}, {text::kInstallingTitle, text::kInstallingSubtitle, text::kNextButton}, {0, 0, text::kFinishButton},
};

void ShowPage();

int PanelOf(uint8_t kind) { return IsInnerPage(kind) ? kLicensePanel + kind - kLicense : kWhitePanel; }

// Gives the keyboard focus to a control of the page: to c while it can
// take it, else to Next while enabled, else to Cancel (Installing). Never
// to the window itself, whose keys reach no button. Under NoCancel the
// Installing page has no control to take it.
void FocusPage(HWND c) {
  if (c == Ctl(kWindow) || !IsWindowVisible(c) || !IsWindowEnabled(c)) c = Ctl(kNext);
  if (!IsWindowEnabled(c)) c = Ctl(kCancel);
  if (IsWindowEnabled(c)) SetFocus(c);
}

// Makes and fills the controls the first page did not need. The first page
// is painted first, and no message is handled in between: whoever asks the
// wizard anything finds it whole.
void CompleteWizard() {
  Wizard& z = g_wizard;
  if (!z.complete) {
    z.complete = true;
    UpdateWindow(Ctl(kWindow));
    CreateControls(GetModuleHandleA(nullptr));
    FillPages();
    ApplyLocks();
    // The summary reads the other pages' boxes, which exist only now.
    if (z.Kind() == kReady) RebuildSummary();
  }
  z.ui.statusLabel = Ctl(kStatus);
  z.ui.progressBar = Ctl(kProgress);
}

// The run ends with the code of where it stands: cancelled before or
// during the installation.
[[noreturn]] void EndCancelled() {
  EndRun(R(), g_wizard.installing ? ExitCode::CancelledDuring : ExitCode::CancelledBefore,
         "cancelled", Cleanup::WithLanguageFiles);
}

void QueryClose() {
  Run& run = R();
  if (run.startup.noCancel) return;
  if (run.startup.silentMode) EndCancelled();
  // The page, not the Next caption, tells whether Finish is showing: a
  // translation may give Next and Finish the same caption.
  if (g_wizard.Kind() == kFinish) EndInstalled(run);
  if (MessageBoxA(Ctl(kWindow), Lang(text::kCancelQuestion).c_str(), run.startup.setupTitle.c_str(),
                  MB_YESNO | MB_ICONQUESTION) == IDYES)
    EndCancelled();
}

bool EnoughDiskSpace() {
  Run& run = R();
  UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  int64_t required = DecimalInt64(run.script.HeaderText(field::kDiskSpaceNeeded));
  char drive = ControlText(kFolderEdit)[0];
  if (drive >= 'a' && drive <= 'z') drive -= 'a' - 'A';
  const char root[] = {drive, ':', '\\', 0};
  uint64_t free = 0;  // unreadable counts as none
  typedef BOOL(WINAPI * FreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  FreeSpaceEx ex = LookUp<FreeSpaceEx>(GetModuleHandleA(kKernel32), "GetDiskFreeSpaceExA");
  ULARGE_INTEGER available, total, totalFree;
  DWORD sectors, bytes, clusters, all;
  if (ex) {
    if (ex(root, &available, &total, &totalFree)) free = totalFree.QuadPart;
  } else if (GetDiskFreeSpaceA(root, &sectors, &bytes, &clusters, &all)) {
    free = static_cast<uint64_t>(sectors) * bytes * clusters;
  }
  bool enough = static_cast<int64_t>(free) >= required;
  if (!enough) {
    // The drive goes in by hand: the text is the package's, not a format.
    Str text = Lang(text::kDiskSpaceTooLittle);
    size_t at = text.find("%s");
    if (at != Str::npos) text.replace(at, 2, Str(1, drive));
    MessageBoxA(Ctl(kWindow), text.c_str(), Lang(text::kDiskSpaceCaption).c_str(), MB_ICONERROR);
  }
  SetErrorMode(mode);
  return enough;
}

void GoNext() {
  if (g_wizard.Kind() == kFolder) {
    if (GetWindowTextLengthA(Ctl(kFolderEdit)) == 0) return ShowPage();
    ++g_wizard.current;
    if (!EnoughDiskSpace()) --g_wizard.current;
  } else {
    ++g_wizard.current;
  }
  ShowPage();
}

void GoBack() {
  if (!Offered(kBack) || g_wizard.current == 0) return;
  uint8_t left = g_wizard.Kind();
  --g_wizard.current;
  if (left == kFolder || left == kProgramGroup) EnableWindow(Ctl(kNext), TRUE);
  ShowPage();
}

[[noreturn]] void Exit() {
  static const uint8_t kChoices[] = {kRunBox, kReadmeBox, kWebBox, kRestartNow};
  unsigned chosen = 0;
  for (int i = 0; i < 4; ++i)
    if (Checked(kChoices[i])) chosen |= 1u << i;
  RunFinishingActions(R(), Ctl(kWindow), chosen);
}

void Install() {
  CompleteWizard();
  SetLanguageText(kInstallingLabel, text::kInstallingBody);
  EnableWindow(Ctl(kNext), FALSE);
  EnableWindow(Ctl(kBack), FALSE);
  // Next, which had the focus, cannot keep it; Esc must reach Cancel.
  FocusPage(nullptr);
  SyncChoices();
  g_wizard.installing = true;
  RunInstallSequence(R(), g_wizard.ui);
  ++g_wizard.current;
  ShowPage();
  ProcessPendingMessages();
}

void ShowPage() {
  uint8_t kind = g_wizard.Kind();
  bool inner = IsInnerPage(kind);
  static const uint8_t kFrame[] = {kBand, kBack, kBottomText, kSeparator};
  for (uint8_t id : kFrame) ShowControl(id, inner);
  EnableWindow(Ctl(kBack), g_wizard.current > 0);
  if (inner) LayoutSeparator();
  if (kind == kExit) Exit();
  // A silent run's hidden wizard shows nobody a page.
  if (!R().startup.silentMode)
    Log("Page: %s", NthText("welcome\0licence\0information\0folder\0group\0shortcuts\0ready\0installing\0finish",
                            kind));
  int panel = PanelOf(kind);
  for (int id = kWhitePanel; id <= kInstallingPanel; ++id) ShowControl(id, id == panel);
  const uint8_t* texts = kPageTexts[kind];
  if (texts[0]) {
    SetLanguageText(kTitle, texts[0]);
    SetLanguageText(kSubtitle, texts[1]);
    // The labels are transparent: the band paints again behind them.
    RedrawWindow(Ctl(kBand), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
  SetLanguageText(kNext, texts[2]);
  switch (kind) {
    case kFolder:
      FolderChanged();
      break;
    case kProgramGroup:
      // Back enables Next; coming again with an empty name must not keep it.
      GroupChanged();
      break;
    case kReady:
      RebuildSummary();
      break;
    case kInstalling:
      Install();
      break;
    case kFinish:
      SetUpFinish();
      EnableWindow(Ctl(kNext), TRUE);
      EnableWindow(Ctl(kCancel), FALSE);
      ShowControl(kBottomText, false);
      break;
  }
  if (g_wizard.sequence.kinds[g_wizard.current + 1] == kInstalling) SetLanguageText(kNext, text::kInstallButton);
  if (g_wizard.complete) {
    // The control that had the focus may be on the page just hidden, or
    // disabled now.
    FocusPage(GetFocus());
    ProcessPendingMessages();
  }
}

void RestoreBackdrop() {
  Run& run = R();
  if (!Flag(field::kShowBackdrop) || run.startup.silentMode) return;
  ShowWindow(run.startup.backdropWindow, SW_SHOW);
  SetForegroundWindow(Ctl(kWindow));
}

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CLOSE:
      QueryClose();
      return 0;
    case WM_ACTIVATE:
      // As in a dialog, the focus comes back to where it was when a prompt
      // or another program took it.
      if (LOWORD(w) == WA_INACTIVE)
        g_wizard.focus = GetFocus();
      else
        FocusPage(g_wizard.focus);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case kNext:
          if (IsWindowEnabled(Ctl(kNext))) GoNext();
          break;
        case kCancel:
          if (IsWindowEnabled(Ctl(kCancel))) SendMessageA(Ctl(kWindow), WM_CLOSE, 0, 0);
          break;
        case kBack:
          GoBack();
          break;
        case kBrowse:
          BrowseClicked();
          break;
        case kNoShortcuts:
          NoShortcutsClicked();
          break;
        case kFolderEdit:
          if (HIWORD(w) == EN_CHANGE) FolderChanged();
          break;
        case kGroupEdit:
          if (HIWORD(w) == EN_CHANGE) GroupChanged();
          break;
      }
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(l)->idFrom == kGroupList && reinterpret_cast<NMHDR*>(l)->code == NM_CLICK)
        GroupPicked();
      return 0;
    // The check state of a silent run's hidden boxes (see Create).
    case BM_SETCHECK:
      SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(w));
      return 0;
    case BM_GETCHECK:
      return GetWindowLongPtrA(window, GWLP_USERDATA);
    case WM_CTLCOLORSTATIC:
      if (window == Ctl(kBand) || window == Ctl(kWhitePanel)) {
        SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(window == Ctl(kBand) ? NULL_BRUSH : WHITE_BRUSH));
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintControl(GetDlgCtrlID(window), dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SYSCOMMAND:
      if ((w & 0xFFF0) == SC_MINIMIZE) ShowWindow(R().startup.backdropWindow, SW_HIDE);
      if ((w & 0xFFF0) == SC_RESTORE) RestoreBackdrop();
      break;
    case WM_ACTIVATEAPP:
      if (w && !IsWindowVisible(R().startup.backdropWindow)) RestoreBackdrop();
      break;
  }
  return DefWindowProcA(window, message, w, l);
}

// The start-up message runs on the multimedia timer's thread, once.
typedef MMRESULT(WINAPI* KillTimer)(UINT);
KillTimer g_killTimer;

void CALLBACK StartupMessage(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  g_killTimer(id);
  Run& run = R();
  MessageBoxA(Ctl(kWindow), run.script.HeaderText(field::kStartupMessage).c_str(),
              run.startup.setupTitle.c_str(), MB_ICONINFORMATION);
}

void StartStartupTimer() {
  HMODULE winmm = LoadSystemLibrary(library::kWinmm);
  if (!winmm) return;
  typedef MMRESULT(WINAPI * SetTimer)(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT);
  SetTimer set = LookUp<SetTimer>(winmm, "timeSetEvent");
  g_killTimer = LookUp<KillTimer>(winmm, "timeKillEvent");
  if (set && g_killTimer) set(255, 255, StartupMessage, 0, TIME_PERIODIC);
}

}  // namespace

void StartWizard(Run& run) {
  Wizard& z = g_wizard;
  z.run = &run;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass(kWizardClass, WizardProc, GetSysColorBrush(COLOR_BTNFACE));
  HWND window = CreateFrameWindow(kWizardClass, run.startup.setupTitle.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 0,
                                  495, 359, run.startup.appWindow, nullptr, nullptr);
  z.ctl[kWindow] = window;
  run.startup.wizardWindow = window;
  SetDialogWindow(window);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(kUiFace, -11)), FALSE);
  z.sequence = BuildPageSequence(run.script);
  z.firstPanel = static_cast<uint8_t>(PanelOf(z.sequence.kinds[0]));
  bool silent = run.startup.silentMode;
  // A silent run's wizard never grows beyond what the installation reads.
  z.complete = silent;
  CreateControls(instance);
  z.ui.owner = window;
  FillPages();
  ApplyLocks();
  // Shown without activation: activating would wait on other programs'
  // windows and handle their messages while the wizard is not complete.
  // It takes the foreground once it is.
  if (!silent) ShowWindow(window, SW_SHOWNOACTIVATE);
  ShowPage();
  if (!silent) CompleteWizard();
  SetForegroundWindow(window);
  ProcessPendingMessages();
  // An unattended run shows no message of its own.
  if (Flag(field::kStartupMessage) && !silent) StartStartupTimer();
  if (silent) Install();  // ends the run
  FocusPage(Ctl(kNext));
  ProcessPendingMessages();
}

}  // namespace pvx
