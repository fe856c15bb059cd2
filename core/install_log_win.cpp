#include "format/str.h"
#include "core/install_log_win.h"

#include <windows.h>

#include "format/text_util.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

// The one log of the run; every part of the runtime writes to it, so it
// lives here rather than in the Run that not every caller holds.
HANDLE g_log = INVALID_HANDLE_VALUE;

// wsprintf writes at most 1,024 characters, and whether a cut text ends
// in a NUL differs between systems: the byte after that room is made a
// NUL first, and the length is measured.
int Append(char* at, const char* format, const void* args) {
  at[1024] = 0;
  wvsprintfA(at, format, static_cast<va_list>(const_cast<void*>(args)));
  return lstrlenA(at);
}

// The local time as wsprintf arguments: year, month, day, hour, minute,
// second, milliseconds.
void LocalTime(DWORD_PTR out[7]) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const WORD* fields = &t.wYear;
  for (int i = 0, j = 0; i < 8; ++i)
    if (i != 2) out[j++] = fields[i];  // not the day of the week
}

void WriteLine(uint32_t error, const char* format, va_list args) {
  if (g_log == INVALID_HANDLE_VALUE) return;
  char line[3 * 1024 + 8];
  DWORD_PTR stamp[7];
  LocalTime(stamp);
  int n = Append(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", stamp);
  n += Append(line + n, format, args);
  if (error != kNoResult) {
    // " (the system's text)", without its line break and full stop.
    char text[520] = " (";
    int length = error == kFailedWithoutCode || !error
                     ? 0
                     : FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      error, 0, text + 2, 512, nullptr);
    while (length && (static_cast<unsigned char>(text[length + 1]) <= ' ' || text[length + 1] == '.')) --length;
    lstrcpyA(length ? text + length + 2 : text, length ? ")" : "");
    const DWORD_PTR result[] = {error, reinterpret_cast<DWORD_PTR>(text)};
    n += Append(line + n,
                !error ? ": done"
                : error == kFailedWithoutCode ? ": failed"
                : error > 0xFFFF ? ": failed, error 0x%08X%s"
                                 : ": failed, error %u%s",
                result);
  }
  lstrcpyA(line + n, "\r\n");
  DWORD written;
  WriteFile(g_log, line, n + 2, &written, nullptr);
}

HANDLE CreateLog(const char* path, DWORD disposition) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void OpenInstallLog(const CommandLine& line) {
  if (!line.log) return;
  if (!line.logPath.empty()) {
    CreateFolderChain(FolderPart(line.logPath));
    g_log = CreateLog(line.logPath.c_str(), CREATE_ALWAYS);
    return;
  }
  // A new file in the temporary folder, named by the date and time; two
  // runs started in the same second each get one of their own.
  char name[MAX_PATH + 2 * 1024];  // room for Append
  DWORD n = GetTempPathA(MAX_PATH + 1, name);
  if (n == 0 || n > MAX_PATH) return;
  if (name[n - 1] != '\\') lstrcpyA(name + n++, "\\");
  CreateFolderChain(name);
  DWORD_PTR args[7];
  LocalTime(args);
  char* end = name + n + Append(name + n, "Setup Log %04u-%02u-%02u %02u.%02u.%02u", args);
  for (args[0] = 1; args[0] < 100; ++args[0]) {
    Append(end, args[0] > 1 ? " (%u).txt" : ".txt", args);
    g_log = CreateLog(name, CREATE_NEW);
    if (g_log != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return;
  }
}

void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(kNoResult, format, args);
  va_end(args);
}

void LogResult(uint32_t error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(error, format, args);
  va_end(args);
}

const char kKeptExists[] = ": kept (exists)";

void LogExit(unsigned code, const char* reason) { Log("Exit code %u: %s", code, reason); }

uint32_t LastError() {
  DWORD error = GetLastError();
  return error ? error : kFailedWithoutCode;
}

}  // namespace pvx
