#include "install/replace_dialog_win.h"

#include "format/language_texts.h"
#include "install/overwrite.h"
#include "core/dialog_win.h"
#include "core/run_win.h"

namespace pvx {

namespace {

const char kClass[] = "ParvolexReplace";

struct Replace {
  int32_t answer = kSkip;
  bool done = false;
};

LRESULT CALLBACK ReplaceProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  StoreFrameContext(window, message, l);
  Replace* r = FrameContext<Replace>(window);
  if (message == WM_COMMAND) {
    int id = LOWORD(w);
    if (id == IDOK) id = kReplace;  // Enter
    if (id == IDCANCEL) id = kSkip;  // Escape
    if (id == kReplace || id == kReplaceAll || id == kSkip || id == kSkipAll) {
      r->answer = id;
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return 0;
  }
  if (message == WM_CLOSE) {
    r->done = true;
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

HWND Label(HWND parent, const Str& text, int x, int y, HFONT font) {
  HWND label = AddControl(parent, kStaticClass, text.c_str(), WS_VISIBLE | SS_NOPREFIX, x, y, 10, 10, -1, font);
  SIZE size = TextExtent(label, text.c_str());
  MoveWindow(label, x, y, size.cx, size.cy, FALSE);
  return label;
}

}  // namespace

Str FileDescription(const FILETIME& utc, uint64_t size) {
  FILETIME local;
  SYSTEMTIME t;
  char date[64] = {}, time[64] = {};
  if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &t)) {
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, sizeof time);
  }
  return Str(date) + " " + time + "    " + SizeText(size) + "b";
}

int32_t AskReplaceFile(Run& run, HWND owner, const ReplaceQuestion& q) {
  RegisterFrameClass(kClass, ReplaceProc);
  Replace r;
  HWND window = CreateFrameWindow(kClass, run.startup.setupTitle.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, 456, 159,
                                  owner, owner, &r);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(kUiFace, -13)), FALSE);
  HFONT font = UiFont(kUiFace, -11), bold = UiFont(kUiFace, -11, FW_BOLD);
  Label(window, run.Text(text::kReplaceQuestion), 16, 12, bold);
  HWND path = Label(window, Str(), 16, 36, font);
  RECT client;
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, UiFont(kUiFace, -13));
  Str shown = ShortenPath(q.destination, client.right - 2 * 16, [dc](const Str& text) {
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  });
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  SetWindowTextA(path, shown.c_str());
  SIZE size = TextExtent(path, shown.c_str());
  MoveWindow(path, 16, 36, size.cx, size.cy, FALSE);
  HWND captions[2] = {Label(window, run.Text(text::kReplaceExisting), 16, 60, font),
                      Label(window, run.Text(text::kReplaceNew), 16, 84, font)};
  RECT a, b;
  GetWindowRect(captions[0], &a);
  GetWindowRect(captions[1], &b);
  int column = (a.right - a.left > b.right - b.left ? a.right - a.left : b.right - b.left) + 28;
  Label(window, q.existing, column, 60, font);
  Label(window, q.incoming, column, 84, font);
  AddControl(window, kStaticClass, "", WS_VISIBLE | SS_SUNKEN, 16, 110, 424, 2, -1, nullptr);
  const int answers[4] = {kReplace, kReplaceAll, kSkip, kSkipAll};
  for (int i = 0; i < 4; ++i)
    AddControl(window, kButtonClass, run.Text(text::kReplaceButton + i).c_str(),
               WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : 0), 16 + 108 * i, 124, 100,
               23, answers[i], font);
  RunModal(window, owner, &r.done);
  DestroyWindow(window);
  return r.answer;
}

}  // namespace pvx
