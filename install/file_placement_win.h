#pragma once
#include <windows.h>

#include <cstdint>

#include "format/str.h"

namespace pvx {

struct Run;
class InstallUi;

// Places every payload file (cabinet form through TCab, stored form record
// by record) under the overwrite rules. A payload that cannot be read to
// its end ends the run as damaged.
void InstallFiles(Run& run, InstallUi& ui);

// Where file `index` goes and whether it may be written there; false
// empties the destination. With `created`, a destination that does not
// exist yet is created here, new (write access, shared for reading), and
// its handle left there; otherwise INVALID_HANDLE_VALUE is. Creating the
// file is the cheapest way to learn that it was not there.
bool ShouldWriteFile(Run& run, HWND owner, int index, const FILETIME& newTime, Str& destination,
                     uint64_t newSize, HANDLE* created = nullptr);

enum class PromptAnswer { Retry, Ignore, Abort };
// The Abort/Retry/Ignore message for a file that cannot be created or
// written. Abort ends the run (exit code 5) at once, or, inside the
// decompressor (abortEndsRun false), is returned so that the extraction
// unwinds and lets go of its files first.
PromptAnswer CreateErrorPrompt(Run& run, HWND owner, const Str& destination,
                               bool abortEndsRun = true);
[[noreturn]] void AbortInstallation(Run& run, HWND owner);
// A payload that cannot be read to its end: the corruption message (none
// in silent mode), clean-up, exit code 1.
[[noreturn]] void PayloadDamaged(Run& run, const char* reason = "package data damaged");

}  // namespace pvx
