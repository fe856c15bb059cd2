#include "install/new_disk_dialog_win.h"

#include "core/folder_macros.h"
#include "format/decimal.h"
#include "format/language_texts.h"
#include "format/text_util.h"
#include "install/fdi_files_win.h"
#include "core/dialog_win.h"
#include "core/run_win.h"
#include "core/browse_win.h"

namespace pvx {

namespace {

const char kClass[] = "ParvolexNewDisk";
constexpr int kFolderId = 100, kBrowseId = 101;

struct NewDisk {
  Run* run;
  Str* volumePath;
  bool done = false;
};

Str Format(const Str& pattern, const char* a, const char* b = "") {
  char buffer[1025];
  const char* args[2] = {a, b};
  wvsprintfA(buffer, pattern.c_str(), reinterpret_cast<va_list>(args));
  return buffer;
}

Str WindowText(HWND window) {
  char buffer[1024];
  int n = GetWindowTextA(window, buffer, sizeof buffer);
  return Str(buffer, n > 0 ? n : 0);
}

LRESULT CALLBACK NewDiskProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  StoreFrameContext(window, message, l);
  NewDisk* d = FrameContext<NewDisk>(window);
  if (message == WM_CLOSE) {
    d->done = true;
    return 0;
  }
  if (message != WM_COMMAND) return DefWindowProcA(window, message, w, l);
  HWND edit = GetDlgItem(window, kFolderId);
  switch (LOWORD(w)) {
    case IDOK: {
      Str folder = WindowText(edit);
      Str name = FileNamePart(*d->volumePath);
      *d->volumePath = WithTrailingBackslash(folder) + name;
      if (FileExists(*d->volumePath)) {
        d->done = true;
      } else {
        Str text = Format(d->run->Text(text::kNextDiskFileNotFound), name.c_str(), folder.c_str());
        MessageBoxA(window, text.c_str(), d->run->Text(text::kNextDiskTitle).c_str(), MB_ICONEXCLAMATION);
      }
      break;
    }
    case IDCANCEL:
      d->done = true;
      break;
    case kBrowseId: {
      Str path = WindowText(edit);
      if (BrowseForFolder(d->run->startup.appWindow, EscapeAmpersands(d->run->Text(text::kNextDiskBrowseTitle)), path) &&
          !path.empty())
        SetWindowTextA(edit, path.c_str());
      break;
    }
  }
  return 0;
}

}  // namespace

void ShowNewDiskDialog(Run& run, HWND owner, int volume, Str& volumePath) {
  RegisterFrameClass(kClass, NewDiskProc);
  NewDisk d{&run, &volumePath};
  HWND window = CreateFrameWindow(kClass, run.Text(text::kNextDiskTitle).c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  WS_EX_DLGMODALFRAME, 382, 163, owner, owner, &d);
  HFONT font = UiFont(kUiFace, -11);
  Str number = "#" + DecimalText(static_cast<int64_t>(volume));
  AddControl(window, kStaticClass, Format(run.Text(text::kNextDiskBody), number.c_str()).c_str(),
             WS_VISIBLE | SS_NOPREFIX, 10, 10, 360, 57, 102, font);
  HWND caption = AddControl(window, kStaticClass, run.Text(text::kNextDiskFolderLabel).c_str(), WS_VISIBLE | SS_NOPREFIX, 10,
                            72, 360, 14, 103, font);
  SIZE size = TextExtent(caption, run.Text(text::kNextDiskFolderLabel).c_str());
  MoveWindow(caption, 10, 72, size.cx, size.cy, FALSE);
  HWND edit = AddControl(window, "EDIT", FolderPart(volumePath).c_str(),
                         WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 90, 278, 21, kFolderId, font,
                         WS_EX_CLIENTEDGE);
  AddControl(window, kButtonClass, run.Text(text::kBrowseButton).c_str(), WS_VISIBLE | WS_TABSTOP, 296, 90, 75, 23,
             kBrowseId, font);
  AddControl(window, kButtonClass, "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 206, 128, 75, 23,
             IDOK, font);
  AddControl(window, kButtonClass, run.Text(text::kCancelButton).c_str(), WS_VISIBLE | WS_TABSTOP, 296, 128, 75, 23,
             IDCANCEL, font);
  SetFocus(edit);
  RunModal(window, owner, &d.done);
  DestroyWindow(window);
}

}  // namespace pvx
