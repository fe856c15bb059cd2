// Process entry of the uninstaller.
//
// A running program cannot delete its own file, so the uninstaller that
// the user starts (the original) copies itself to the temporary folder and
// starts the copy, which does the work:
//   original: copy to %TEMP%, open the copy delete-on-close, start it with
//             "/FROM=<original>" and "/H=<original process>:<pipe>"
//             (inherited handles), then wait for the exit code on the pipe
//             and end with it, so that a caller of "/S" learns the result.
//   copy:     reads the trailer from the original's file, removes
//             everything but the original, sends the exit code, waits for
//             the original to end, deletes it, removes the emptied
//             folders, runs the commands after, and ends; the inherited
//             delete-on-close handle takes its own file away with it.
// When no copy can be made, the original works in place and its file goes
// at the next restart. Exit codes are the setup's: 0 removed, 1 damaged
// record, 2 cancelled before, 4 something stays, 5 stopped on the way.
#include <windows.h>

#include "format/decimal.h"
#include "format/text_util.h"
#include "core/command_line.h"
#include "core/exit_codes.h"
#include "core/file_source_win.h"
#include "core/module_path_win.h"
#include "core/scoped_handle_win.h"
#include "core/system_dll_win.h"
#include "uninstaller/remover_win.h"
#include "uninstaller/uninstall_plan.h"
#include "uninstaller/wizard_win.h"

namespace pvx {
namespace {

const char kDamaged[] =
    "The uninstall information of this program is missing or damaged, so the program cannot be removed.";
const char kRestartNote[] = "Some files are in use. They will be removed when the computer restarts.";
const char kFailureNote[] = "Some parts of the program could not be removed:";
const char kMissingItems[] = " item(s) that the uninstall information announces but does not list\r\n";
// The record file may list many thousands of files, never this much.
constexpr uint64_t kMaxRecord = 64u << 20;

struct Arguments {
  bool silent = false;
  Str original;  // set in the copy
  HANDLE originalProcess = nullptr;
  HANDLE resultPipe = nullptr;
};

// The user's temporary folder with its trailing backslash (the runtime's
// TemporaryFolder() names its private work folder instead).
Str TemporaryFolder() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return Str();
  return WithTrailingBackslash(Str(buffer, n));
}

// An inherited handle named on the command line, kept from the programs
// that the removal starts.
HANDLE InheritedHandle(const Str& text) {
  uint32_t value = static_cast<uint32_t>(DecimalInt(text));
  HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
  DWORD flags;
  if (!value || !GetHandleInformation(handle, &flags)) return nullptr;
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  return handle;
}

Arguments ReadArguments() {
  Arguments a;
  for (const Str& argument : SplitArguments(GetCommandLineA())) {
    Str upper = AsciiUpper(argument);
    if (upper == "/S") a.silent = true;
    if (upper.substr(0, 6) == "/FROM=") a.original = argument.substr(6);
    if (upper.substr(0, 3) == "/H=") {
      size_t colon = argument.find(':');
      if (colon == Str::npos) continue;
      a.originalProcess = InheritedHandle(argument.substr(3, colon - 3));
      a.resultPipe = InheritedHandle(argument.substr(colon + 1));
    }
  }
  return a;
}

// Starts the working copy; false when none could be started. On success
// the process ends here with the copy's result.
bool RelaunchFromCopy(const Str& self, bool silent) {
  const Str temp = TemporaryFolder();
  if (temp.empty()) return false;
  Str copy;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 16 && copy.empty(); ++attempt) {
    Str candidate = temp + "~pvxun" + DecimalText(static_cast<uint32_t>(seed + attempt * 7919u)) + ".exe";
    if (CopyFileA(self.c_str(), candidate.c_str(), TRUE)) copy = candidate;
  }
  if (copy.empty()) return false;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  // Held open by the copy until it ends; then its file is gone.
  ScopedHandle copyFile(CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
                              OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  ScopedHandle readEnd, writeEnd, selfHandle;
  if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0) ||
      !SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0) ||
      !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), selfHandle.Receive(),
                       SYNCHRONIZE, TRUE, 0)) {
    if (!copyFile.Get()) DeleteFileA(copy.c_str());
    return false;
  }
  Str command = "\"" + copy + "\"" + (silent ? " /S" : "") + " \"/FROM=" + self + "\" /H=" +
                DecimalText(static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(selfHandle.Get()))) + ":" +
                DecimalText(static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(writeEnd.Get())));
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(copy.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, temp.c_str(), &startup,
                      &process)) {
    if (!copyFile.Get()) DeleteFileA(copy.c_str());
    return false;
  }
  ScopedHandle child(process.hProcess);
  CloseHandle(process.hThread);
  writeEnd.Reset();
  // Without the delete-on-close handle the copy goes at the next restart.
  if (!copyFile.Get()) MoveFileExA(copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  copyFile.Reset();
  DWORD code = 0, got = 0;
  if (!ReadFile(readEnd.Get(), &code, sizeof code, &got, nullptr) || got != sizeof code) {
    WaitForSingleObject(child.Get(), INFINITE);
    if (!GetExitCodeProcess(child.Get(), &code)) code = static_cast<DWORD>(ExitCode::InstallFailed);
  }
  ExitProcess(code);
}

class SilentView : public RemovalView {
 public:
  void Status(const Str&) override {}
  void Advance() override {}
  bool StopRequested() override { return false; }
};

bool ReadRecord(const Str& original, Str& iniPath, UninstallPlan& plan, Str& picture) {
  FileSource file;
  uint64_t pathStart = 0;
  if (!file.Open(original) || ReadUninstallTrailer(file, iniPath, pathStart) != UninstallTrailerStatus::Ok)
    return false;
  FileSource ini;
  if (!ini.Open(iniPath)) return false;
  const uint64_t size = ini.Size();
  if (size == 0 || size > kMaxRecord) return false;
  Str text(static_cast<size_t>(size), '\0');
  if (ini.Read(text.data(), text.size()) != text.size() || !ParseUninstallIni(text, plan)) return false;
  if (plan.SettingFlag(setting::kPicturePresent)) picture = ReadTrailerPicture(file, pathStart);
  return true;
}

Str Lines(const std::vector<Str>& items) {
  Str out;
  for (const Str& item : items) out += item + "\r\n";
  return out;
}

[[noreturn]] void Run() {
  RestrictLibrarySearch();
  Arguments arguments = ReadArguments();
  const Str self = ModulePath();
  const bool inPlace = arguments.original.empty();
  if (inPlace && RelaunchFromCopy(self, arguments.silent)) ExitProcess(0);
  const Str original = inPlace ? self : arguments.original;
  // The current folder would keep the installation folder from going.
  SetCurrentDirectoryA(TemporaryFolder().c_str());

  Str iniPath, picture;
  UninstallPlan* plan = new UninstallPlan;
  auto report = [&](ExitCode code) {
    DWORD value = static_cast<DWORD>(code), written;
    if (arguments.resultPipe) {
      WriteFile(arguments.resultPipe, &value, sizeof value, &written, nullptr);
      CloseHandle(arguments.resultPipe);
      arguments.resultPipe = nullptr;
    }
  };
  if (!ReadRecord(original, iniPath, *plan, picture)) {
    if (!arguments.silent) MessageBoxA(nullptr, kDamaged, "Uninstall", MB_ICONERROR);
    report(ExitCode::Damaged);
    ExitProcess(static_cast<UINT>(ExitCode::Damaged));
  }

  SilentView silentView;
  UninstallWizard* wizard = arguments.silent ? nullptr : new UninstallWizard(*plan, picture);
  RemovalView& view = wizard ? static_cast<RemovalView&>(*wizard) : silentView;
  if (wizard && !wizard->AskToRemove()) {
    report(ExitCode::CancelledBefore);
    ExitProcess(static_cast<UINT>(ExitCode::CancelledBefore));
  }
  if (wizard) wizard->ShowRemoving();

  Remover remover(*plan, view, original, iniPath);
  if (!remover.RemoveItems()) {
    report(ExitCode::CancelledDuring);
    ExitProcess(static_cast<UINT>(ExitCode::CancelledDuring));
  }
  if (wizard) wizard->DisallowStop();
  // A file that goes at the next restart is removed all the same; only
  // what stays for good makes the result a failure.
  const bool failed = !remover.outcome.failed.empty() || plan->MissingItems() > 0;
  const ExitCode result = failed ? ExitCode::InstallFailed : ExitCode::Installed;
  report(result);
  if (arguments.originalProcess) {
    WaitForSingleObject(arguments.originalProcess, 30000);
    CloseHandle(arguments.originalProcess);
  }
  remover.RemoveUninstaller(!inPlace);
  remover.Finish();

  if (wizard) {
    // The uninstaller's own file may have failed to go since the result
    // was sent; the page tells all.
    Str note;
    if (failed || !remover.outcome.failed.empty())
      note = plan->Setting(setting::kFailureNote).empty() ? Str(kFailureNote) : plan->Setting(setting::kFailureNote);
    if (!remover.outcome.scheduled.empty()) {
      if (!note.empty()) note += "\r\n";
      note += plan->Setting(setting::kRestartNote).empty() ? Str(kRestartNote) : plan->Setting(setting::kRestartNote);
    }
    Str details = Lines(remover.outcome.failed) + Lines(remover.outcome.scheduled);
    if (plan->MissingItems()) details += DecimalText(plan->MissingItems()) + kMissingItems;
    for (const PassedOn& p : plan->passedOn) details += p.code + "\t" + p.text + "\r\n";
    wizard->ShowFinished(note, details);
  }
  ExitProcess(static_cast<UINT>(result));
}

}  // namespace
}  // namespace pvx

// No C runtime start-up code: nothing here needs static constructors or
// its argument parsing.
extern "C" void WinMainCRTStartup() { pvx::Run(); }
