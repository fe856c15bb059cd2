#include "install/resources_win.h"

#include "format/script.h"
#include "format/stored_records.h"
#include "format/work_files.h"
#include "install/cab_extractor_win.h"
#include "install/overwrite.h"
#include "install/package_data_win.h"
#include "install/path_safety.h"
#include "startup/run_win.h"
#include "startup/workdir_win.h"

namespace pvx {

namespace {

void KeepInsideWorkDir(TCab&, void*, const Str& name, uint32_t, uint16_t, uint16_t, uint16_t,
                       uint16_t, Str& destination, bool&) {
  if (!IsWorkDirMemberName(name)) destination = Str();
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
    cab.Extract(cabinet, temporary);
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
