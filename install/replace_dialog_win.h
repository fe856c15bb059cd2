#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

struct Run;

// The texts of one question: the destination and a description of each
// file (date and time, four spaces, size text, "b").
struct ReplaceQuestion {
  Str destination;
  Str existing;
  Str incoming;
};

// Asks whether an existing file may be replaced; returns kReplace,
// kReplaceAll, kSkip (also when closed) or kSkipAll.
int32_t AskReplaceFile(Run& run, HWND owner, const ReplaceQuestion& question);

// "date time    sizeb" for a UTC file time and a size.
Str FileDescription(const FILETIME& utc, uint64_t size);

}  // namespace pvx
