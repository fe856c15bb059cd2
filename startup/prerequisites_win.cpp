#include "format/str.h"
#include "startup/prerequisites_win.h"

#include <tlhelp32.h>

#include <vector>

#include <shellapi.h>

#include "core/registry_win.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "format/text_util.h"
#include "core/install_log_win.h"
#include "startup/prerequisites.h"
#include "core/system_dll_win.h"
#include "core/system_libraries.h"

namespace pvx {

namespace {

// Like every other end of the run, the work folder is cleaned before the
// message shows: a run killed while the box is open leaves nothing.
[[noreturn]] void Fail(Run& run, const Str& text, const char* caption, bool show) {
  ExitMessage message = {text.c_str(), caption, MB_OK | MB_ICONEXCLAMATION};
  EndRun(run, ExitCode::PrerequisiteFailed, "prerequisite check failed", Cleanup::WithLanguageFiles,
         show ? &message : nullptr);
}

// Logs the result of a check; returns whether it failed.
bool Failed(const char* what, bool failed) {
  Log("Check %s: %s", what, failed ? "failed" : "passed");
  return failed;
}

struct TitleSearch {
  const Str* part;
  HWND found;
};

BOOL CALLBACK FindByTitlePart(HWND window, LPARAM l) {
  TitleSearch* search = reinterpret_cast<TitleSearch*>(l);
  char title[1025] = {};
  GetWindowTextA(window, title, sizeof title - 1);
  if (TitleQualifies(title, *search->part)) search->found = window;
  return TRUE;
}

void TerminateProcessById(DWORD id) {
  if (id == GetCurrentProcessId()) return;
  HANDLE process = OpenProcess(kEndProcessAccess, TRUE, id);
  if (!process) return;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  TerminateProcess(process, code);
  CloseHandle(process);
}

// Every process is found through the system's process snapshot where it
// has one (the 9x family, Windows 2000 and later): on 64-bit Windows it
// lists 64-bit processes too, which the module listing of a 32-bit
// program cannot see. The NT family is also walked by module listing, as
// NT 4 has no snapshot.
void TerminateByProgramName(const Str& name, bool family9x) {
  {
    typedef HANDLE(WINAPI * Snapshot)(DWORD, DWORD);
    typedef BOOL(WINAPI * Walk)(HANDLE, PROCESSENTRY32*);
    HMODULE kernel = GetModuleHandleA(kKernel32);
    Snapshot snapshot = LookUp<Snapshot>(kernel, "CreateToolhelp32Snapshot");
    Walk first = LookUp<Walk>(kernel, "Process32First");
    Walk next = LookUp<Walk>(kernel, "Process32Next");
    HANDLE list = snapshot && first && next ? snapshot(TH32CS_SNAPPROCESS, 0) : INVALID_HANDLE_VALUE;
    if (list != INVALID_HANDLE_VALUE) {
      PROCESSENTRY32 entry = {};
      entry.dwSize = sizeof entry;
      for (BOOL more = first(list, &entry); more; more = next(list, &entry))
        if (ProgramNameMatches(entry.szExeFile, name)) TerminateProcessById(entry.th32ProcessID);
      CloseHandle(list);
    }
  }
  if (family9x) return;
  typedef BOOL(WINAPI * EnumProcessesFn)(DWORD*, DWORD, DWORD*);
  typedef BOOL(WINAPI * EnumModulesFn)(HANDLE, HMODULE*, DWORD, DWORD*);
  typedef DWORD(WINAPI * ModuleNameFn)(HANDLE, HMODULE, LPSTR, DWORD);
  HMODULE psapi = LoadSystemLibrary(library::kPsapi);
  if (!psapi) return;
  auto enumProcesses = LookUp<EnumProcessesFn>(psapi, "EnumProcesses");
  auto enumModules = LookUp<EnumModulesFn>(psapi, "EnumProcessModules");
  auto moduleName = LookUp<ModuleNameFn>(psapi, "GetModuleFileNameExA");
  if (enumProcesses && enumModules && moduleName) {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    if (enumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
      for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!process) continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char path[301] = {};
        bool match = enumModules(process, &module, sizeof module, &needed) &&
                     moduleName(process, module, path, 300) &&
                     ProgramNameMatches(path, name);
        CloseHandle(process);
        if (match) TerminateProcessById(ids[i]);
      }
    }
  }
  FreeLibrary(psapi);
}

}  // namespace

bool IsAdministrator() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != ERROR_NO_TOKEN ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
      return false;
  }
  alignas(8) unsigned char buffer[1024];
  DWORD size = 0;
  BOOL read = GetTokenInformation(token, TokenGroups, buffer, sizeof buffer, &size);
  CloseHandle(token);
  if (!read) return false;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &administrators))
    return false;
  const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer);
  bool member = false;
  for (DWORD i = 0; i < groups->GroupCount && !member; ++i)
    member = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
  FreeSid(administrators);
  return member;
}

double InstalledDotNetVersion() {
  RegKey key;
  std::vector<Str> names;
  if (key.OpenForReading(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy")) {
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      names.push_back(Str(name, length));
    }
  }
  return BestDotNetVersion(names);
}

void CloseRunningCopy(const Run& run) {
  const Str& name = run.script.HeaderText(field::kRunningCopyName);
  int mode = run.script.HeaderInt(field::kRunningCopyMatch);
  if (mode >= 2) {
    TerminateByProgramName(name, run.versionClass <= 3);
    return;
  }
  if (mode < 0) return;
  HWND previous = nullptr, found = nullptr;
  for (bool first = true;; first = false) {
    previous = found;
    if (mode == 0) {
      found = FindWindowA(nullptr, name.c_str());
    } else {
      TitleSearch search = {&name, nullptr};
      EnumWindows(FindByTitlePart, reinterpret_cast<LPARAM>(&search));
      found = search.found;
    }
    if (!found || (!first && found == previous)) break;
    if (found != run.startup.appWindow && found != run.startup.backdropWindow)
      PostMessageA(found, WM_CLOSE, 0, 0);
  }
}

void RunPrerequisiteChecks(Run& run) {
  const SetupScript& script = run.script;
  if (Failed("system version", VersionClassRefused(run.versionClass, script.HeaderInt(field::kUnsupportedSystems))))
    Fail(run, run.Text(text::kUnsupportedSystem) + script.HeaderText(field::kSupportedSystemsText),
         script.HeaderText(field::kSetupTitle).c_str(), !run.startup.silentMode);
  if (script.HeaderFlag(field::kNeedsAdministrator) && Failed("administrator", !IsAdministrator()))
    Fail(run, run.Text(text::kAdministratorNeeded), run.startup.setupTitle.c_str(), true);
  if (script.HeaderFlag(field::kDotNetVersion)) {
    double required = DecimalValue(script.HeaderText(field::kDotNetVersion));
    if (Failed(".NET", DotNetCheckFails(script.HeaderFlag(field::kDotNetAnyLater),
                                                  InstalledDotNetVersion(), required))) {
      Str text = run.Text(text::kDotNetNeeded);
      bool offer = script.HeaderFlag(field::kDotNetDownloadUrl);
      if (offer) text += " " + run.Text(text::kDotNetDownloadQuestion);
      CleanUpRun(run, Cleanup::WithLanguageFiles);
      int answer = MessageBoxA(run.startup.appWindow, text.c_str(), run.startup.setupTitle.c_str(),
                               (offer ? MB_YESNO : MB_OK) | MB_ICONEXCLAMATION);
      if (offer && answer == IDYES)
        ShellExecuteA(nullptr, nullptr, script.HeaderText(field::kDotNetDownloadUrl).c_str(),
                      nullptr, nullptr, SW_SHOWNORMAL);
      Fail(run, Str(), nullptr, false);
    }
  }
  if (script.HeaderFlag(field::kCloseRunningCopy)) {
    Log("Closing copies of %s", script.HeaderText(field::kRunningCopyName).c_str());
    CloseRunningCopy(run);
  }
}

}  // namespace pvx
