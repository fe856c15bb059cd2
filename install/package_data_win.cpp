#include "install/package_data_win.h"

#include "format/header_fields.h"
#include "format/text_util.h"
#include "format/trailer.h"
#include "format/volumes.h"
#include "install/fdi_files_win.h"
#include "install/new_disk_dialog_win.h"
#include "core/app_window_win.h"
#include "core/run_win.h"

namespace pvx {

namespace {

// One copy buffer for the whole run, made on first use: every file of a
// stored package and every cabinet part goes through it, and a block this
// size already moves the data as fast as a larger one would.
constexpr uint64_t kBlockSize = 64 * 1024;
char* g_buffer;

// A write that stops short (a full disk) has still written its first
// `done` bytes: a retry writes only the rest, or the file would hold them
// twice.
bool WriteBlock(CopyTarget& target, const void* data, DWORD n, WriteErrorPrompt* prompt) {
  if (target.file == INVALID_HANDLE_VALUE || target.failed) return true;
  const char* at = static_cast<const char*>(data);
  for (;;) {
    DWORD done = 0;
    BOOL ok = WriteFile(target.file, at, n, &done, nullptr);
    at += done;
    n -= done;
    if (ok && n == 0) return true;
    if (!prompt || !prompt->RetryWrite(target.path)) {
      target.failed = true;
      return false;
    }
  }
}

}  // namespace

uint64_t CopyStream(CopyTarget& target, ByteSource& source, uint64_t count,
                    WriteErrorPrompt* prompt) {
  if (count == 0) return 0;
  const size_t size = static_cast<size_t>(kBlockSize);
  if (!g_buffer) g_buffer = new char[size];
  char* buffer = g_buffer;
  uint64_t total = 0;
  while (total < count) {
    uint64_t left = count - total;
    size_t want = left < size ? static_cast<size_t>(left) : size;
    size_t got = source.Read(buffer, want);
    if (got == 0) break;
    WriteBlock(target, buffer, static_cast<DWORD>(got), prompt);
    total += got;
    ProcessMessagesNowAndThen();
  }
  return total;
}

bool OpenPackageReader(PackageDataContext& context) {
  PackageReader& reader = context.reader;
  reader.volume = 1;
  reader.volumePath = Str();
  if (!reader.stream.Open(context.run.package.executablePath)) return false;
  reader.end = context.run.package.end;
  return true;
}

uint64_t ReadPackageData(PackageDataContext& context, CopyTarget& target, uint64_t count) {
  PackageReader& reader = context.reader;
  uint64_t n = count;
  if (reader.volume == 1) {
    // Volume 1 ends where the trailer begins (the trailer was read, so the
    // package is at least that long).
    uint64_t position = reader.stream.Position();
    uint64_t end = reader.end - kTrailerSize;
    uint64_t left = position < end ? end - position : 0;
    if (n > left) n = left;
  }
  uint64_t copied = CopyStream(target, reader.stream, n, context.prompt);
  const Str& nameTemplate = context.run.script.HeaderText(field::kVolumeNameTemplate);
  // Without a volume name there is no further volume: the data has ended.
  while (copied < count && !nameTemplate.empty()) {
    ++reader.volume;
    reader.stream.Close();
    if (reader.volumePath.empty()) reader.volumePath = context.run.package.executablePath;
    reader.volumePath = FolderPart(reader.volumePath) + VolumeFileName(nameTemplate, reader.volume);
    while (!FileExists(reader.volumePath)) {
      ShowNewDiskDialog(context.run, context.owner, reader.volume, reader.volumePath);
      ProcessPendingMessages();
      if (!FileExists(reader.volumePath)) {
        // The wizard's close question decides whether the run ends; if
        // not, the prompt comes again.
        SendMessageA(context.owner, WM_CLOSE, 0, 0);
        ProcessPendingMessages();
      }
    }
    if (!reader.stream.Open(reader.volumePath)) break;
    uint64_t more = CopyStream(target, reader.stream, count - copied, context.prompt);
    // A volume that adds nothing means the data has run out; going on
    // would ask for volumes without end.
    if (more == 0) break;
    copied += more;
  }
  return copied;
}

bool CopyOutCabinetPart(PackageDataContext& context, int part, const Str& path) {
  const SetupScript& script = context.run.script;
  int64_t stride = script.HeaderInt(field::kPartLength);
  int64_t length = part == script.HeaderInt(field::kLastPartNumber)
                       ? script.HeaderInt(field::kLastPartLength)
                       : stride;
  if (length < 0) length = 0;
  if (stride < 0) stride = 0;
  uint64_t start = static_cast<uint64_t>(context.run.package.trailer.payloadOffset) +
                   static_cast<uint64_t>(stride) * part;
  // A part that lies whole in the executable is read where it lies: no
  // copy of it is written and read back.
  uint64_t end = start + static_cast<uint64_t>(length);
  if (context.reader.volume == 1 && end + kTrailerSize <= context.reader.end &&
      end < 0x80000000u) {
    MapCabinetFile(path, context.run.package.executablePath.c_str(), static_cast<uint32_t>(start),
                   static_cast<uint32_t>(length));
    return true;
  }
  CopyTarget target;
  target.path = path;
  target.file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  // A part file that cannot be created receives no data; the package is
  // still read past it so that the next part is found.
  DWORD written = 0;
  if (target.file != INVALID_HANDLE_VALUE) {
    HoldExtractionFile(target.file);
    WriteFile(target.file, "MSCF", 4, &written, nullptr);
  }
  if (context.reader.volume == 1) context.reader.stream.Seek(start);
  uint64_t copied = ReadPackageData(context, target, static_cast<uint64_t>(length));
  bool ok = target.file != INVALID_HANDLE_VALUE && !target.failed &&
            copied == static_cast<uint64_t>(length);
  if (target.file != INVALID_HANDLE_VALUE) {
    ForgetExtractionFile(target.file);
    CloseHandle(target.file);
  }
  return ok;
}

}  // namespace pvx
