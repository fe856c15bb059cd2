// The wizard's controls, built from one table, and what each page shows.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include "core/folder_macros.h"
#include "format/folder_numbers.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "core/dialog_win.h"
#include "core/run_win.h"
#include "core/system_dll_win.h"
#include "core/system_libraries.h"
#include "core/workdir_win.h"
#include "wizard/summary.h"
#include "wizard/wizard_win.h"

namespace pvx {

namespace {

enum ControlKind : uint8_t {
  kPanel,
  kPaint,
  kLabel,
  kLine,
  kBold,
  kLargeBold,
  kGreyed,
  kEtched,
  kButton,
  kDefault,
  kCheck,
  kCheckShown,
  kRadioFirst,
  kRadio,
  kEdit,
  kRich,
  kList,
  kProgress,
  kFrame,
};

// The window classes the kinds below are made of (KindSpec::windowClass
// indexes this list); the last is the wizard's own.
const char* const kClasses[] = {kStaticClass, kButtonClass, "EDIT", "RichEdit20A", WC_LISTVIEWA,
                                PROGRESS_CLASSA, "PvxPage"};
constexpr uint8_t kPageClass = 6;
static_assert(sizeof kClasses / sizeof kClasses[0] == kPageClass + 1, "the wizard's class comes last");

struct KindSpec {
  DWORD style;
  uint8_t windowClass;
  uint8_t font;     // 0 normal, 1 bold, 2 the welcome title's
  uint8_t exStyle;  // index into kExStyles
};

const DWORD kExStyles[] = {0, WS_EX_CLIENTEDGE, WS_EX_CONTROLPARENT};

const DWORD kShown = WS_VISIBLE;
const KindSpec kKinds[] = {
    {0, 6, 0, 2},
    {kShown, 6, 0, 0},
    {kShown | SS_NOPREFIX, 0, 0, 0},
    {kShown | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 0, 0},
    {kShown | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 1, 0},
    {kShown | SS_NOPREFIX, 0, 2, 0},
    {WS_DISABLED | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 0, 0},
    {SS_ETCHEDHORZ, 0, 0, 0},
    {kShown | WS_TABSTOP | BS_PUSHBUTTON, 1, 0, 0},
    {kShown | WS_TABSTOP | BS_DEFPUSHBUTTON, 1, 0, 0},
    {WS_TABSTOP | BS_AUTOCHECKBOX, 1, 0, 0},
    {kShown | WS_TABSTOP | BS_AUTOCHECKBOX, 1, 0, 0},
    {WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 1, 0, 0},
    {BS_AUTORADIOBUTTON, 1, 0, 0},
    {kShown | WS_TABSTOP | ES_AUTOHSCROLL, 2, 0, 1},
    {kShown | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_NOHIDESEL | ES_AUTOVSCROLL, 3, 0, 1},
    {kShown | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER, 4, 0, 1},
    {kShown | PBS_SMOOTH, 5, 0, 0},
    {kShown | BS_GROUPBOX, 1, 0, 0},
};

// Parent, kind and place of every control, by control number from 1. A
// width of 0 means the control is sized to its text.
struct ControlSpec {
  uint8_t parent;
  uint8_t kind;
  int16_t x, y, w, h;
};

const ControlSpec kSpecs[kControlCount - 1] = {
    {kWindow, kDefault, 324, 327, 75, 23},  // kNext
    {kWindow, kButton, 410, 327, 75, 23},   // kCancel
    {kWindow, kButton, 249, 327, 75, 23},   // kBack
    {kWindow, kPanel, 0, 0, 495, 60},       // kBand
    {kWindow, kPanel, 0, 0, 495, 316},      // kWhitePanel
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kWindow, kPanel, 0, 60, 495, 245},
    {kBand, kBold, 171, 8, 302, 14},    // kTitle
    {kBand, kLabel, 178, 26, 297, 26},  // kSubtitle
    {kWindow, kGreyed, 12, 307, 0, 0},  // kBottomText
    {kWindow, kEtched, 0, 314, 0, 2},   // kSeparator
    {kWhitePanel, kPaint, 0, 0, 164, 314},
    {kWhitePanel, kLargeBold, 176, 16, 300, 56},
    {kWhitePanel, kLabel, 176, 80, 300, 210},
    {kWhitePanel, kCheck, 176, 152, 0, 0},
    {kWhitePanel, kCheck, 176, 176, 0, 0},
    {kWhitePanel, kCheck, 176, 198, 0, 0},
    {kWhitePanel, kRadioFirst, 176, 152, 0, 0},
    {kWhitePanel, kRadio, 176, 176, 0, 0},
    {kLicensePanel, kLabel, 22, 12, 452, 41},
    {kLicensePanel, kRich, 22, 56, 452, 178},
    {kInformationPanel, kLabel, 22, 12, 452, 41},
    {kInformationPanel, kRich, 22, 56, 452, 178},
    {kFolderPanel, kLabel, 112, 16, 360, 81},
    {kFolderPanel, kPaint, 32, 32, 48, 48},
    {kFolderPanel, kEdit, 22 + 16, 128 + 22, 329, 22},  // inside the frame
    {kFolderPanel, kButton, 22 + 360, 128 + 21, 75, 23},
    {kFolderPanel, kFrame, 22, 128, 452, 59},  // under the two above
    {kGroupPanel, kLabel, 22, 12, 452, 35},
    {kGroupPanel, kEdit, 22, 56, 452, 22},
    {kGroupPanel, kList, 22, 80, 452, 138},
    {kGroupPanel, kCheckShown, 22, 224, 0, 0},
    {kShortcutsPanel, kLabel, 112, 16, 360, 72},
    {kShortcutsPanel, kPaint, 32, 32, 48, 48},
    {kShortcutsPanel, kCheck, 22, 128, 0, 0},
    {kShortcutsPanel, kCheck, 22, 152, 0, 0},
    {kShortcutsPanel, kCheck, 22, 176, 0, 0},
    {kReadyPanel, kLabel, 22, 12, 452, 41},
    {kReadyPanel, kRich, 22, 56, 452, 178},
    {kInstallingPanel, kLabel, 22, 16, 452, 57},
    {kInstallingPanel, kLine, 22, 186, 452, 14},
    {kInstallingPanel, kProgress, 22, 208, 452, 18},
};

const ControlSpec& SpecOf(int id) { return kSpecs[id - 1]; }
bool IsCheckBox(int id) { return SpecOf(id).kind == kCheck || SpecOf(id).kind == kCheckShown; }

// Texts every page is filled with at start: control, language text.
const uint8_t kTexts[][2] = {
    {kBack, text::kBackButton},         {kCancel, text::kCancelButton},        {kBrowse, text::kBrowseButton},       {kWelcomeTitle, text::kWelcomeHeading},
    {kWelcomeBody, text::kWelcomeBody},   {kLicenseLabel, text::kLicenseBody},  {kInformationLabel, text::kInformationBody}, {kFolderLabel, text::kFolderBody},
    {kFolderFrame, text::kFolderGroupBox},  {kGroupLabel, text::kGroupBody},    {kNoShortcuts, text::kNoGroupBox},  {kShortcutsLabel, text::kShortcutsBody},
    {kDesktopBox, text::kDesktopShortcutBox},   {kStartMenuBox, text::kStartMenuShortcutBox},  {kQuickLaunchBox, text::kQuickLaunchShortcutBox}, {kReadyLabel, text::kReadyBody},
    {kRunBox, text::kRunProgramBox},       {kReadmeBox, text::kShowReadmeBox},     {kWebBox, text::kWebSiteBox},
};

const int16_t kShortcutRows[] = {128, 152, 176};
const int16_t kFinishRows[] = {152, 176, 198};

void SetCheck(int id, bool on) { SendMessageA(Ctl(id), BM_SETCHECK, on, 0); }

// Applies a header flag to each control of a table of (control, field).
void ByFlags(const uint8_t (*pairs)[2], int n, void (*apply)(int, bool)) {
  for (int i = 0; i < n; ++i) apply(pairs[i][0], Flag(pairs[i][1]));
}

const uint8_t kOfferedShortcuts[][2] = {{kDesktopBox, field::kOfferDesktop}, {kStartMenuBox, field::kOfferStartMenu}};
const uint8_t kInitialChecks[][2] = {
    {kRunBox, field::kRunChecked}, {kReadmeBox, field::kReadmeChecked}, {kWebBox, field::kWebChecked}};
const uint8_t kFinishOffers[][2] = {
    {kRunBox, field::kFinishOffersRun}, {kReadmeBox, field::kFinishOffersReadme}, {kWebBox, field::kFinishOffersWeb}};

// Offered boxes move up into the rows of hidden ones.
void Pack(int first, int x, const int16_t rows[3]) {
  int row = 0;
  for (int id = first; id < first + 3; ++id)
    if (Offered(id)) MoveTo(id, x, rows[row++]);
}

// Rich-text boxes show a work-folder file as it is.
DWORD CALLBACK ReadStream(DWORD_PTR file, LPBYTE buffer, LONG n, LONG* done) {
  return !ReadFile(reinterpret_cast<HANDLE>(file), buffer, n, reinterpret_cast<DWORD*>(done), nullptr);
}

void StreamFile(int id, int fileNo) {
  if (!Ctl(id)) return;  // made with the rest of the wizard, and filled then
  HANDLE file = CreateFileA(TempFileName(fileNo).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(file), 0, ReadStream};
  SendMessageA(Ctl(id), EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  CloseHandle(file);
}

// Rich-text boxes keep the arrow cursor; the group list picks on key release.
LRESULT CALLBACK ControlHook(HWND window, UINT message, WPARAM w, LPARAM l) {
  bool list = window == Ctl(kGroupList);
  if (message == WM_SETCURSOR && !list) {
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return TRUE;
  }
  LRESULT result = CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA)),
                                   window, message, w, l);
  if (message == WM_KEYUP && list) GroupPicked();
  return result;
}

// What the installation reads: the panels, the boxes that carry the
// user's choices with their initial states, the status line and the
// progress bar. A silent run's hidden wizard is made of these alone.
constexpr uint32_t kEssentialKinds = 1u << kPanel | 1u << kCheck | 1u << kCheckShown | 1u << kRadioFirst |
                                     1u << kRadio | 1u << kEdit | 1u << kLine | 1u << kProgress;

void Create(HINSTANCE instance, int id, const HFONT fonts[3]) {
  const ControlSpec& s = SpecOf(id);
  // An interactive wizard makes the other pages' panels and controls once
  // its first page shows. (The panels then follow the button row, which
  // leaves every page's Tab cycle as it was.)
  int page = id <= kInstallingPanel ? id : s.parent;
  bool later = !g_wizard.complete && page >= kWhitePanel && page != g_wizard.firstPanel;
  bool silent = g_wizard.run->startup.silentMode;
  bool unseen = silent && !(kEssentialKinds >> s.kind & 1);
  if (Ctl(id) || later || unseen) return;
  // Loaded with the first rich edit box: not at all in a silent run.
  if (s.kind == kRich) LoadSystemLibrary(library::kRichEdit20);
  // The same for the common controls, with the first list or progress bar.
  if (!silent && (s.kind == kList || s.kind == kProgress)) InitCommonControlsByName();
  const KindSpec& k = kKinds[s.kind];
  // A silent run's hidden controls are all of the wizard's own class,
  // which keeps a box's check state and a text as the system's controls
  // do, and takes the progress bar's messages without a word: the
  // system's buttons, edit boxes and labels the manifest redirects to the
  // common controls, whose loading would be the largest part of a silent
  // run's start. (The hidden progress bar stays: the installation's
  // messages to a missing window would change the last error that a
  // failed file's log line reports.)
  HWND control = CreateWindowExA(kExStyles[k.exStyle], kClasses[silent ? kPageClass : k.windowClass], "",
                                 WS_CHILD | k.style, s.x, s.y,
                                 s.w, s.h, Ctl(s.parent), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance, nullptr);
  g_wizard.ctl[id] = control;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[k.font]), FALSE);
  if (s.kind == kRich || s.kind == kList)
    SetWindowLongPtrA(control, GWLP_USERDATA,
                      SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlHook)));
  if (s.kind == kList) {
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 400;
    SendMessageA(control, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  }
}

}  // namespace

bool Flag(int n) { return g_wizard.run->script.HeaderFlag(n); }
int32_t Int(int n) { return g_wizard.run->script.HeaderInt(n); }
const Str& Lang(int k) { return g_wizard.run->Text(k); }
void MoveTo(int id, int x, int y) {
  SetWindowPos(Ctl(id), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
void Place(int id, int x, int y, int w, int h) {
  SetWindowPos(Ctl(id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CreateControls(HINSTANCE instance) {
  const HFONT fonts[3] = {UiFont(kUiFace, -11), UiFont(kUiFace, -11, FW_BOLD),
                          UiFont("Verdana", 19, FW_BOLD)};
  // The button row comes last, so that Tab runs through a page and then
  // Back, Next, Cancel.
  for (int id = kBand; id < kControlCount; ++id) Create(instance, id, fonts);
  Create(instance, kBack, fonts);
  Create(instance, kNext, fonts);
  Create(instance, kCancel, fonts);
}

void SetText(int id, const Str& text) {
  HWND control = Ctl(id);
  // Not made yet (or not in a silent run): measuring its text would take
  // the screen's device context.
  if (!control) return;
  SetWindowTextA(control, (IsCheckBox(id) ? EscapeAmpersands(text) : text).c_str());
  if (SpecOf(id).w) return;
  // Check boxes and radio buttons get room for their box.
  SIZE size = TextExtent(control, text.c_str());
  bool box = SpecOf(id).kind != kGreyed;
  SetWindowPos(control, nullptr, 0, 0, size.cx + (box ? 20 : 0), size.cy + (box ? 4 : 0),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetLanguageText(int id, int k) { SetText(id, Lang(k)); }

Str ControlText(int id) {
  HWND control = Ctl(id);
  int n = GetWindowTextLengthA(control);
  Str text(n, '\0');
  GetWindowTextA(control, text.data(), n + 1);
  text.resize(lstrlenA(text.c_str()));
  return text;
}

bool Checked(int id) { return SendMessageA(Ctl(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void ShowControl(int id, bool shown) { ShowWindow(Ctl(id), shown ? SW_SHOW : SW_HIDE); }

bool Offered(int id) { return GetWindowLongA(Ctl(id), GWL_STYLE) & WS_VISIBLE; }

void LayoutSeparator() {
  RECT text, window;
  GetWindowRect(Ctl(kBottomText), &text);
  GetWindowRect(Ctl(kWindow), &window);
  int end = 12 + text.right - text.left;
  Place(kSeparator, end, 314, window.right - window.left - end - 20, 2);
}

void FillPages() {
  Run& run = *g_wizard.run;
  for (const auto& t : kTexts) SetLanguageText(t[0], t[1]);
  StreamFile(kLicenseText, run.language.licenseFileNo);
  StreamFile(kInformationText, run.language.readmeFileNo);
  SendMessageA(Ctl(kSummary), EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
  if (Flag(field::kMakeProgramGroup) && Ctl(kGroupEdit)) {
    if (Flag(field::kGroupPage)) FillGroupList();
    SetText(kGroupEdit, run.script.HeaderText(field::kDefaultGroup));
  }
  for (int id = kDesktopBox; id <= kQuickLaunchBox; ++id) SetCheck(id, true);
  if (Flag(field::kOfferShortcuts) && Ctl(kDesktopBox)) {
    ByFlags(kOfferedShortcuts, 2, ShowControl);
    ShowControl(kQuickLaunchBox,
                Flag(field::kOfferQuickLaunch) && !run.folderResolver.ResolveFolder(folder::kQuickLaunch).empty());
    Pack(kDesktopBox, 22, kShortcutRows);
  }
  // Set now, not when Finish is first shown: without a Finish page the
  // finishing actions read these initial states.
  ByFlags(kInitialChecks, 3, SetCheck);
  SetCheck(kRestartNow, true);
  MoveTo(kTitle, Int(field::kTitleLeft), Int(field::kTitleTop));
  MoveTo(kSubtitle, Int(field::kSubtitleLeft), Int(field::kSubtitleTop));
  SetText(kBottomText, run.ExpandField(field::kBottomText));
  LayoutSeparator();
  EnableWindow(Ctl(kCancel), !run.startup.noCancel);
  if (!Flag(field::kSidePicture)) {
    ShowControl(kSidePicture, false);
    Place(kWelcomeTitle, 20, 16, 400, 56);
    Place(kWelcomeBody, 20, 80, 400, 210);
  }
  if (Ctl(kFolderEdit)) {
    SetText(kFolderEdit, run.ExpandField(field::kDefaultFolder));
    FolderChanged();
  }
}

void SetUpFinish() {
  ByFlags(kFinishOffers, 3, ShowControl);
  int body = text::kFinishBody;
  if (Flag(field::kFinishOffersRestart)) {
    SetLanguageText(kRestartNow, text::kRestartNowBox);
    SetLanguageText(kRestartLater, text::kRestartLaterBox);
    ShowControl(kRestartNow, true);
    ShowControl(kRestartLater, true);
    body = text::kFinishRestartBody;
  }
  SetLanguageText(kWelcomeBody, body);
  SetLanguageText(kWelcomeTitle, text::kFinishHeading);
  // The body ends above the first option row.
  RECT r;
  GetClientRect(Ctl(kWelcomeBody), &r);
  SetWindowPos(Ctl(kWelcomeBody), nullptr, 0, 0, r.right, 65, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pack(kRunBox, 176, kFinishRows);
}

void RebuildSummary() {
  const Str* headings[3] = {&Lang(text::kSummaryFolder), &Lang(text::kSummaryGroup), &Lang(text::kSummaryShortcuts)};
  const Str* shortcuts[3] = {};
  if (Flag(field::kOfferShortcuts))
    for (int i = 0; i < 3; ++i)
      if (Checked(kDesktopBox + i) && Offered(kDesktopBox + i)) shortcuts[i] = &Lang(text::kDesktopShortcutBox + i);
  Str group = ControlText(kGroupEdit);
  bool withGroup = Flag(field::kMakeProgramGroup) && !Checked(kNoShortcuts);
  SetWindowTextA(Ctl(kSummary),
                 ReadySummary(headings, ControlText(kFolderEdit), withGroup ? &group : nullptr, shortcuts).c_str());
}

void SyncChoices() {
  Choices& c = g_wizard.run->choices;
  c.groupName = ControlText(kGroupEdit);
  c.noGroupShortcuts = Checked(kNoShortcuts);
  c.desktop = Checked(kDesktopBox);
  c.startMenu = Checked(kStartMenuBox);
  c.quickLaunch = Checked(kQuickLaunchBox);
}

}  // namespace pvx
