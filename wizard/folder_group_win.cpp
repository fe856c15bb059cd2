// The installation folder and the program group: editing, browsing,
// checks while typing, the group list and the package's locks.
#include <windows.h>
#include <commctrl.h>

#include "core/folder_macros.h"
#include "format/folder_numbers.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "format/text_util.h"
#include "core/run_win.h"
#include "wizard/browse_rule.h"
#include "core/browse_win.h"
#include "wizard/wizard_win.h"

namespace pvx {

namespace {


// The group page's label, edit box and list, with the list's text colour.
void EnableGroupChoice(bool enabled) {
  for (int id = kGroupLabel; id <= kGroupList; ++id) EnableWindow(Ctl(id), enabled);
  HWND list = Ctl(kGroupList);
  SendMessageA(list, LVM_SETTEXTCOLOR, 0, enabled ? 0 : RGB(128, 128, 128));
  InvalidateRect(list, nullptr, TRUE);
}

}  // namespace

void FolderChanged() {
  Str text = ControlText(kFolderEdit);
  if (g_wizard.Kind() == kFolder) {
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    bool ok = false;
    if (text.size() >= 3) {
      // Only the drive must exist; the rest is created by the installation.
      char root[] = {text[0], ':', '\\', 0};
      DWORD attributes = GetFileAttributesA(root);
      ok = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    EnableWindow(Ctl(kNext), ok);
    SetErrorMode(mode);
  }
  g_wizard.run->folders.installFolder = WithTrailingBackslash(text);
}

void BrowseClicked() {
  Run& run = *g_wizard.run;
  Str path = ControlText(kFolderEdit);
  if (BrowseForFolder(run.startup.appWindow, EscapeAmpersands(Lang(text::kBrowseTitle)), path) && !path.empty()) {
    Str appended = run.ExpandField(field::kBrowseAppendFolder);
    path = BrowsedFolder(path, run.ExpandField(field::kDefaultFolder),
                         run.script.HeaderText(field::kBrowseAppendFolder).empty() ? nullptr : &appended);
  }
  SetText(kFolderEdit, path);
}

void GroupChanged() {
  if (g_wizard.Kind() == kProgramGroup)
    EnableWindow(Ctl(kNext), GetWindowTextLengthA(Ctl(kGroupEdit)) > 0);
}

void GroupPicked() {
  HWND list = Ctl(kGroupList);
  char name[261] = "";
  int i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (i >= 0) {
    LVITEMA item = {};
    item.pszText = name;
    item.cchTextMax = sizeof name;
    SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
  }
  Str group = name;
  if (!group.empty()) group += '\\';
  SetText(kGroupEdit, group + g_wizard.run->ExpandField(field::kDefaultGroup));
}

void NoShortcutsClicked() {
  EnableGroupChoice(!Checked(kNoShortcuts) && !Flag(field::kGroupLocked));
}

void FillGroupList() {
  Str folder = g_wizard.run->folderResolver.ResolveFolder(folder::kPrograms);
  if (folder.empty()) return;  // "\*" would list the current drive's root
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  // The pages are filled again once every control exists.
  SendMessageA(Ctl(kGroupList), LVM_DELETEALLITEMS, 0, 0);
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.pszText = found.cFileName;
  do {
    const char* n = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(n[0] == '.' && (!n[1] || (n[1] == '.' && !n[2])))) {
      SendMessageA(Ctl(kGroupList), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
      ++item.iItem;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void ApplyLocks() {
  if (Flag(field::kFolderLocked)) {
    EnableWindow(Ctl(kFolderEdit), FALSE);
    EnableWindow(Ctl(kBrowse), FALSE);
  }
  if (Flag(field::kGroupLocked)) {
    EnableGroupChoice(false);
    EnableWindow(Ctl(kNoShortcuts), FALSE);
  }
}

}  // namespace pvx
