#include "install/file_placement_win.h"

#include <vector>

#include "actions/actions_win.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "format/stored_records.h"
#include "format/text_util.h"
#include "install/cab_extractor_win.h"
#include "install/fdi_files_win.h"
#include "install/file_times_win.h"
#include "core/install_ui_win.h"
#include "install/overwrite.h"
#include "install/package_data_win.h"
#include "install/path_safety.h"
#include "install/replace_dialog_win.h"
#include "core/app_window_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

CalendarTime Calendar(const FILETIME& t) {
  SYSTEMTIME s = {};
  FileTimeToSystemTime(&t, &s);
  return CalendarTime{s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds};
}

// The existing file's last-write time; a file held open without sharing is
// read through its directory entry instead.
FILETIME ExistingTime(const Str& path) {
  FILETIME t = {0, 0};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    GetFileTime(file, nullptr, nullptr, &t);
    CloseHandle(file);
    return t;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    t = found.ftLastWriteTime;
    FindClose(search);
  }
  return t;
}

HANDLE CreateNewFile(const Str& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

uint64_t ExistingSize(const Str& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

// `decided` names the answer, remembered or given, for the log.
bool Ask(Run& run, HWND owner, const Str& destination, const FILETIME& newTime, uint64_t newSize,
         const char*& decided) {
  int32_t& answer = run.install.replaceAnswer;
  bool ask = false;
  bool replace = AnswerFromMemory(answer, ask);
  decided = ReplaceAnswerName(answer);
  if (!ask) return replace;
  ReplaceQuestion q = {destination,
                       FileDescription(ExistingTime(destination), ExistingSize(destination)),
                       FileDescription(newTime, newSize)};
  answer = AskReplaceFile(run, owner, q);
  decided = ReplaceAnswerName(answer);
  replace = answer == kReplace || answer == kReplaceAll;
  if (answer == kReplace || answer == kSkip) answer = kAsk;
  return replace;
}

// The state of one InstallFiles run, shared with the extractor's events.
struct Placement : WriteErrorPrompt {
  Placement(Run& r, InstallUi& u) : run(r), ui(u), data{r, PackageReader(), u.owner} {}
  Run& run;
  InstallUi& ui;
  PackageDataContext data;
  int partCounter = 0;
  std::vector<Str> parts;  // the copied-out part files
  uint64_t previousSize = 0;
  bool partMissing = false;
  Str delivered;  // one byte per file-list record: 1 once placed

  bool aborted = false;  // Abort was chosen inside the decompressor

  // The copy-error prompt, with the status line showing the file it names.
  // The prompt logs the failure's code, which showing the status must not
  // replace.
  PromptAnswer CopyError(const Str& path, bool abortEndsRun = true) {
    DWORD error = GetLastError();
    ui.Show(true);
    SetLastError(error);
    return CreateErrorPrompt(run, ui.owner, path, abortEndsRun);
  }

  bool RetryWrite(const Str& path) override {
    PromptAnswer answer = CopyError(path, !extracting);
    if (answer == PromptAnswer::Abort) aborted = true;
    return answer == PromptAnswer::Retry;
  }
  bool extracting = false;

  // The file-list record a member or stored record names, or -1 when it
  // names none, or one that was already placed (each file once).
  int Record(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= delivered.size() || delivered[index]) return -1;
    delivered[index] = 1;
    return index;
  }

  void ShowCopying(const Str& destination) {
    ui.SetFileStatus(run.Text(text::kCopyingStatus) + FileNamePart(destination));
    ProcessMessagesNowAndThen();
  }
};

// A deletion may fail, or under some systems only take effect later,
// while the decompressor still holds the part: every part is tried again
// at each request and at the end.
__attribute__((noinline)) void DeleteParts(const std::vector<Str>& parts) {
  for (const Str& part : parts) DeleteFileA(part.c_str());
}

CabAnswer OnCopyFile(TCab& sender, void* owner, const Str& name, uint32_t size, uint16_t date,
                     uint16_t time, uint16_t, uint16_t, Str& destination) {
  Placement& p = *static_cast<Placement*>(owner);
  p.ui.Add(p.previousSize);
  FILETIME local, utc = {0, 0};
  if (DosDateTimeToFileTime(date, time, &local)) LocalFileTimeToFileTime(&local, &utc);
  int record = p.Record(DecimalInt(name));
  HANDLE created;
  p.previousSize = size;
  if (record < 0 || !ShouldWriteFile(p.run, p.ui.owner, record, utc, destination, size, &created))
    return CabAnswer::Skip;
  if (created != INVALID_HANDLE_VALUE) sender.UseCreatedFile(created);
  p.ShowCopying(destination);
  return CabAnswer::Continue;
}

static_assert(static_cast<int>(CabAnswer::Retry) == static_cast<int>(PromptAnswer::Retry) &&
                  static_cast<int>(CabAnswer::Skip) == static_cast<int>(PromptAnswer::Ignore) &&
                  static_cast<int>(CabAnswer::Abort) == static_cast<int>(PromptAnswer::Abort),
              "a prompt's answer converts to the extractor's as it is");

CabAnswer OnCreateError(TCab&, void* owner, const Str& destination) {
  Placement& p = *static_cast<Placement*>(owner);
  PromptAnswer answer = p.CopyError(destination, false);
  if (answer == PromptAnswer::Abort) p.aborted = true;
  return static_cast<CabAnswer>(answer);
}

CabAnswer OnNextCabinet(TCab&, void* owner, const Str& name, const Str&, Str& folder) {
  Placement& p = *static_cast<Placement*>(owner);
  // The successor's name comes from the package: it must not lead out of
  // the work folder. A damaged part is asked for again and again: past the
  // last part the package holds, the chain ends as a damaged payload.
  if (!IsBareFileName(name) || p.partCounter > p.run.script.HeaderInt(field::kLastPartNumber)) {
    p.partMissing = true;
    return CabAnswer::Abort;
  }
  DeleteParts(p.parts);
  p.parts.push_back(folder + name);
  if (!CopyOutCabinetPart(p.data, p.partCounter, p.parts.back())) p.partMissing = true;
  ++p.partCounter;
  return CabAnswer::Continue;
}

// The end of a run whose payload chain did not come through: the package
// and the parts let go of, then the abort notice for a cancel, and the end
// the outcome calls for.
[[noreturn]] __attribute__((noinline)) void EndCabinetForm(Placement& p, Outcome outcome) {
  p.data.reader.stream.Close();
  DeleteParts(p.parts);
  if (outcome.kind == OutcomeKind::Cancelled) AbortInstallation(p.run, p.ui.owner);
  EndRun(p.run, outcome);
}

void InstallCabinetForm(Placement& p) {
  Str first = TempFileName(0, true);
  bool ok = CopyOutCabinetPart(p.data, 0, first);
  p.parts.push_back(Str(first));
  p.partCounter = 1;
  CabEvents events;
  events.owner = &p;
  events.onCopyFile = OnCopyFile;
  events.onCreateError = OnCreateError;
  events.onNextCabinet = OnNextCabinet;
  events.onWriteError = OnCreateError;
  Outcome outcome;
  {
    TCab cab(events);
    p.extracting = true;
    outcome = cab.Extract(first, p.run.folders.installFolder);
    p.extracting = false;
  }
  // A part that could not be copied out, or was refused, makes the chain
  // damaged whatever the decompressor made of it; Abort chosen inside the
  // decompressor (also for a part being copied out) outranks both. The
  // run ends once the decompressor has let go of its files.
  if (!ok || p.partMissing) outcome.kind = OutcomeKind::Damaged;
  if (p.aborted) outcome.kind = OutcomeKind::Cancelled;
  if (outcome.kind != OutcomeKind::Done) EndCabinetForm(p, outcome);
  p.ui.Add(p.previousSize);
}

void InstallStoredForm(Placement& p) {
  PackageReader& reader = p.data.reader;
  reader.stream.Seek(static_cast<uint64_t>(p.run.package.trailer.payloadOffset));
  int32_t count = p.run.script.HeaderInt(field::kFileCount);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t bytes[kStoredFileHeaderSize];
    // A record header is read from the current volume only: a volume never
    // ends inside one.
    if (reader.stream.Read(bytes, sizeof bytes) != sizeof bytes) PayloadDamaged(p.run);
    StoredFileHeader h = DecodeStoredFileHeader(bytes);
    if (h.size < 0) PayloadDamaged(p.run);
    uint64_t size = static_cast<uint64_t>(h.size);
    FILETIME time = {static_cast<DWORD>(h.time), static_cast<DWORD>(h.time >> 32)};
    Str destination;
    CopyTarget target;
    int record = p.Record(h.index);
    bool fresh = false;
    if (record >= 0 &&
        ShouldWriteFile(p.run, p.ui.owner, record, time, destination, size, &target.file)) {
      p.ShowCopying(destination);
      fresh = target.file != INVALID_HANDLE_VALUE;
      while (target.file == INVALID_HANDLE_VALUE) {
        target.file = CreateFileA(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (target.file == INVALID_HANDLE_VALUE && p.CopyError(destination) == PromptAnswer::Ignore)
          break;
      }
    }
    target.path = destination;
    uint64_t copied = ReadPackageData(p.data, target, size);
    if (target.file != INVALID_HANDLE_VALUE) {
      // Set through the writing handle after the last byte, so the file
      // is not opened a second time.
      CloseWrittenFile(target.file, destination, &time, &time, &time,
                       AttributesToSet(h.attributes, fresh));
    }
    if (copied != size) PayloadDamaged(p.run);
    p.ui.Add(size);
  }
}

}  // namespace

bool ShouldWriteFile(Run& run, HWND owner, int index, const FILETIME& newTime, Str& destination,
                     uint64_t newSize, HANDLE* created) {
  const ScriptList& files = run.script.List(ListKind::Files);
  destination = run.Expand(files.Field(index, file_record::kDestination));
  bool result = true;
  // For the log: what happens, and what decided it.
  const char* verb = "written";
  const char* by = "new";
  const char* name = "";
  if (created) {
    *created = CreateNewFile(destination);
    if (*created == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
        CreateFolderChain(FolderPart(destination)))
      *created = CreateNewFile(destination);
  }
  bool fresh = created && *created != INVALID_HANDLE_VALUE;
  DWORD attributes = fresh ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(destination.c_str());
  if (fresh) {
    // Created new: there was nothing to replace, and its folder exists.
  } else if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // Files mostly come folder by folder: the chain is probed once each.
    Str folder = FolderPart(destination);
    if (folder != run.install.madeFolder && CreateFolderChain(folder))
      run.install.madeFolder = folder;
  } else {
    bool newer = IsNewer(Calendar(newTime), Calendar(ExistingTime(destination)));
    const int32_t mode = files.FieldInt(index, file_record::kOverwrite);
    by = "overwrite mode ";
    name = OverwriteModeName(mode);
    switch (DecideOverwrite(mode, newer)) {
      case Decision::Replace: result = true; break;
      case Decision::Keep: result = false; break;
      case Decision::Ask:
        result = Ask(run, owner, destination, newTime, newSize, name);
        by = "answer ";
        break;
    }
    verb = result ? "replaced" : "kept";
    if (DWORD before = result ? AttributesBeforeReplacing(attributes) : 0)
      SetFileAttributesA(destination.c_str(), before);
  }
  Log("File %s: %s (%s%s)", destination.c_str(), verb, by, name);
  if (!result)
    destination = Str();
  else if (files.FieldIsOne(index, file_record::kUninstall))
    AddUninstallPath(run, destination);
  return result;
}

PromptAnswer CreateErrorPrompt(Run& run, HWND owner, const Str& destination, bool abortEndsRun) {
  LogResult(LastError(), "File %s", destination.c_str());
  Str text = run.Text(text::kCannotWriteFile) + destination + "\r\n" + run.Text(text::kCannotWriteAdvice);
  int answer = MessageBoxA(owner, text.c_str(), run.script.HeaderText(field::kSetupTitle).c_str(),
                           MB_ABORTRETRYIGNORE);
  Log("Answer: %s", answer == IDABORT ? "Abort" : answer == IDRETRY ? "Retry" : "Ignore");
  if (answer == IDABORT) {
    if (abortEndsRun) AbortInstallation(run, owner);
    return PromptAnswer::Abort;
  }
  if (answer == IDRETRY) return PromptAnswer::Retry;
  run.install.filesFailed = true;
  return PromptAnswer::Ignore;
}

void AbortInstallation(Run& run, HWND owner) {
  MessageBoxA(owner, run.Text(text::kInstallationAborted).c_str(), run.script.HeaderText(field::kSetupTitle).c_str(),
              MB_ICONEXCLAMATION);
  EndRun(run, ExitCode::CancelledDuring, "installation aborted", Cleanup::WithLanguageFiles);
}

void PayloadDamaged(Run& run, const char* reason) {
  EndRun(run, ExitCode::Damaged, reason, Cleanup::WithLanguageFiles,
         run.startup.silentMode ? nullptr : &kCorruptedMessage);
}

void InstallFiles(Run& run, InstallUi& ui) {
  Placement p(run, ui);
  p.data.prompt = &p;
  p.delivered.resize(run.script.List(ListKind::Files).Count(), 0);
  ui.SetStatus(run.Text(text::kExtractingStatus));
  ProcessPendingMessages();
  if (!OpenPackageReader(p.data)) PayloadDamaged(run);
  if (run.package.trailer.IsCabinetForm()) {
    // A package without files has no payload cabinet at all.
    if (!p.delivered.empty()) InstallCabinetForm(p);
  } else {
    InstallStoredForm(p);
  }
  p.data.reader.stream.Close();
  DeleteParts(p.parts);
  ProcessPendingMessages();
}

}  // namespace pvx
