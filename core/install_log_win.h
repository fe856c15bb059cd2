// The installation log on disk: one line per event, stamped with the local
// time and written at once (one WriteFile per line, nothing kept back), so
// that a process killed at any moment leaves every event before it. Without
// "/LOG" no file is opened and every call returns at once.
#pragma once
#include <cstdint>

#include "core/command_line.h"
#include "core/install_log.h"

namespace pvx {

// Opens the log the command line asks for: "/LOG=path" at that path (its
// folders made, an existing file replaced), "/LOG" as a new file in the
// user's temporary folder. A log that cannot be made is simply absent.
void OpenInstallLog(const CommandLine& line);

// Results beside 0 (done) and the system's codes.
constexpr uint32_t kNoResult = 0xFFFFFFFE;          // the line reports none
constexpr uint32_t kFailedWithoutCode = 0xFFFFFFFF;  // failed, no code known

// One line: the time, then the text of wsprintf's format and arguments
// (cut at 1,023 characters).
void Log(const char* format, ...);
// The same for an action, followed by its result: ": done" for 0,
// ": failed, error N (the system's text)" for a Windows error code, the
// same in hexadecimal for an HRESULT, ": failed" for kFailedWithoutCode,
// nothing for kNoResult.
void LogResult(uint32_t error, const char* format, ...);

// The text after an entry that is already there and is not replaced.
extern const char kKeptExists[];  // ": kept (exists)"

// The run's last line: "Exit code N: reason".
void LogExit(unsigned code, const char* reason);

// GetLastError(), or kFailedWithoutCode when the failure set no code.
uint32_t LastError();

}  // namespace pvx
