#include "format/str.h"
#include "startup/language_win.h"

#include "format/header_fields.h"
#include "core/app_window_win.h"
#include "core/dialog_win.h"
#include "core/install_log_win.h"
#include "core/language.h"

namespace pvx {

namespace {

const char kDialogClass[] = "ParvolexLanguage";
constexpr int kListId = 100;

struct LanguageDialog {
  int selected = 0;
  bool confirmed = false;
  bool done = false;
};

LRESULT CALLBACK LanguageProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  StoreFrameContext(window, message, l);
  LanguageDialog* dialog = FrameContext<LanguageDialog>(window);
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(w) == IDOK) {
        dialog->selected = static_cast<int>(SendDlgItemMessageA(window, kListId, CB_GETCURSEL, 0, 0));
        dialog->confirmed = dialog->selected >= 0;
        dialog->done = true;
      } else if (LOWORD(w) == IDCANCEL) {
        dialog->done = true;
      }
      return 0;
    case WM_CLOSE:
      dialog->done = true;
      return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

// Shows the dialog; returns the chosen record or -1 when it was cancelled.
int ShowLanguageDialog(Run& run, const ScriptList& records, int count) {
  RegisterFrameClass(kDialogClass, LanguageProc);
  LanguageDialog dialog;
  HWND window = CreateFrameWindow(kDialogClass, run.startup.setupTitle.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, 287,
                                  127, run.startup.appWindow, nullptr, &dialog);
  HFONT font = UiFont(kUiFace, -11);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HWND icon = AddControl(window, kStaticClass, "", WS_VISIBLE | SS_ICON, 16, 16, 32, 32, 101, font);
  SendMessageA(icon, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadIconA(GetModuleHandleA(nullptr), kIconName)), 0);
  const char* prompt = "Please select a language.";
  HWND label = AddControl(window, kStaticClass, prompt, WS_VISIBLE | SS_NOPREFIX, 67, 16, 200, 14, 102, font);
  SIZE size = TextExtent(label, prompt);
  MoveWindow(label, 67, 16, size.cx, size.cy, FALSE);
  HWND list = AddControl(window, "COMBOBOX", "",
                         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 67, 62, 210, 160,
                         kListId, font);
  for (int i = 0; i < count; ++i)
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records.Field(i, language_record::kName).c_str()));
  SendMessageA(list, CB_SETCURSEL, PreselectedLanguage(records, GetUserDefaultLangID()), 0);
  AddControl(window, kButtonClass, "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 112, 95, 75, 23,
             IDOK, font);
  AddControl(window, kButtonClass, "Cancel", WS_VISIBLE | WS_TABSTOP, 202, 95, 75, 23, IDCANCEL, font);
  SetFocus(list);
  RunModal(window, run.startup.appWindow, &dialog.done);
  DestroyWindow(window);
  return dialog.confirmed ? dialog.selected : -1;
}

}  // namespace

void ChooseLanguage(Run& run) {
  SetupScript& script = run.script;
  const ScriptList& records = script.List(ListKind::Languages);
  int count = script.HeaderInt(field::kLanguageCount);
  if (count > static_cast<int>(records.Count())) count = static_cast<int>(records.Count());
  if (count > 255) count = 255;
  Str& requested = run.startup.requestedLanguage;
  int index = 0;
  const char* how = count > 1 ? "by /L=" : "only one";
  if (!requested.empty()) {
    int match = MatchRequestedLanguage(records, requested);
    if (match >= 0 && match < 256)
      index = match;
    else
      requested.clear();
  }
  if (count > 1 && requested.empty()) {
    index = ShowLanguageDialog(run, records, count);
    if (index < 0)
      EndRun(run, ExitCode::CancelledBefore, "language dialog cancelled", Cleanup::WithLanguageFiles);
    run.language.confirmed = true;
    how = "dialog";
  }
  ApplyLanguage(script, static_cast<uint8_t>(count > 1 ? index : 0), run.language);
  requested = records.Field(run.language.index, language_record::kName);
  run.folders.languageName = requested;
  Log("Language: %s (%s)", requested.c_str(), how);
}

}  // namespace pvx
