#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "core/action_paths.h"
#include "actions/actions_win.h"
#include "format/text_util.h"
#include "core/install_ui_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

// Our own copies, so that the stub needs no uuid library.
const GUID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  void** Receive() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

class ComSession {
 public:
  ComSession() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComSession() {
    if (ok_) CoUninitialize();
  }
  ComSession(const ComSession&) = delete;
  ComSession& operator=(const ComSession&) = delete;

 private:
  bool ok_;
};

}  // namespace

void CreateShortcuts(Run& run, InstallUi& ui) {
  ComSession com;
  const Choices& choices = run.choices;
  const bool chosen[] = {!choices.noGroupShortcuts, choices.desktop, choices.startMenu, choices.quickLaunch};
  const ScriptList& list = run.script.List(ListKind::Shortcuts);
  for (size_t r = 0; r < list.Count(); ++r) {
    using namespace shortcut_entry;
    ExpandedRecord e(list, r, run.folderResolver);
    const int kind = list.FieldInt(r, kKind);
    const bool kindChosen = kind >= 0 && kind <= kQuickLaunchShortcut && chosen[kind];
    const Str link = ShortcutLinkPath(kind, kindChosen, choices.groupName, e.field[kLinkName], run.folderResolver);
    ComRef<IShellLinkA> shellLink;
    ComRef<IPersistFile> file;
    if (link.empty()) {
      // Not chosen in the wizard, or a kind or folder this machine lacks.
      Log("Shortcut %s: skipped", e[kLinkName]);
    } else {
      CreateFolderChain(FolderPart(link));
      HRESULT result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                        kIidShellLinkA, shellLink.Receive());
      if (SUCCEEDED(result)) result = shellLink->QueryInterface(kIidPersistFile, file.Receive());
      if (SUCCEEDED(result)) {
        shellLink->SetArguments(e[kArguments]);
        shellLink->SetDescription(e[kDescription]);
        shellLink->SetPath(e[kTarget]);
        shellLink->SetWorkingDirectory(ShortcutWorkingFolder(e.field[kWorkingFolder], e.field[kTarget]).c_str());
        if (!list.Field(r, kIconFile).empty()) shellLink->SetIconLocation(e[kIconFile], list.FieldInt(r, kIconIndex));
        WCHAR wide[1024];
        result = MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, 1024) ? file->Save(wide, FALSE)
                                                                                : HRESULT_FROM_WIN32(GetLastError());
        AddUninstallPath(run, link);
      }
      LogResult(FAILED(result) ? result : 0, "Shortcut %s", link.c_str());
    }
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
