#include "install/resources_win.h"

#include "format/script.h"
#include "format/stored_records.h"
#include "format/work_files.h"
#include "install/cab_extractor_win.h"
#include "install/overwrite.h"
#include "install/package_data_win.h"
#include "install/path_safety.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

CabAnswer KeepInsideWorkDir(TCab&, void*, const Str& name, uint32_t, uint16_t, uint16_t,
                            uint16_t, uint16_t, Str&) {
  return IsWorkDirMemberName(name) ? CabAnswer::Continue : CabAnswer::Skip;
}

}  // namespace

void ExtractResourceArea(Run& run, FileSource& package) {
  const PackageTrailer& trailer = run.package.trailer;
  package.Seek(static_cast<uint64_t>(trailer.resourceOffset));
  Str temporary = TemporaryFolder();
  if (temporary.empty()) return;  // no private folder: nothing is unpacked
  if (trailer.IsCabinetForm()) {
    Str cabinet = TempFileName(work_files::kResourceCabinet);
    CopyTarget target;
    target.file = CreateFileA(cabinet.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target.file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(target.file, "MSCF", 4, &written, nullptr);
    CopyStream(target, package, static_cast<uint64_t>(trailer.resourceLength), nullptr);
    CloseHandle(target.file);
    CabEvents events;
    events.onCopyFile = KeepInsideWorkDir;
    TCab cab(events);
    // A damaged resource area costs pictures and texts, not the run; but
    // without the system's decompressor no payload file could be placed
    // either, so the run ends now, before anything is asked or installed.
    Outcome outcome = cab.Extract(cabinet, temporary);
    if (outcome.kind == OutcomeKind::UnusableSystem) EndRun(run, outcome);
    return;
  }
  TextReader reader(package);
  for (unsigned i = 0; i < trailer.resourceCount; ++i) {
    Str name, length;
    if (!reader.ReadText(name)) break;
    reader.ReadText(length);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (IsWorkDirMemberName(name))
      file = CreateFileA((temporary + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    uint64_t left = StoredResourceLength(length);
    char buffer[2048];
    while (left) {
      size_t want = left < sizeof buffer ? static_cast<size_t>(left) : sizeof buffer;
      size_t got = reader.ReadRaw(buffer, want);
      if (got == 0) break;
      DWORD written = 0;
      if (file != INVALID_HANDLE_VALUE) WriteFile(file, buffer, static_cast<DWORD>(got), &written, nullptr);
      left -= got;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}

}  // namespace pvx
