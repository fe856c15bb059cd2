// The overwrite rules of the file placement and the texts of the replace
// prompt, apart from the file system.
#pragma once
#include <cstdint>

#include "format/overwrite_modes.h"
#include "format/str.h"

namespace pvx {

// A calendar time in UTC, compared field by field (the day of the week
// plays no part).
struct CalendarTime {
  int year, month, day, hour, minute, second, millisecond;
};
bool IsNewer(const CalendarTime& candidate, const CalendarTime& existing);

// What the mode says for an existing file: replace, keep, or ask the user.
enum class Decision { Replace, Keep, Ask };
Decision DecideOverwrite(int32_t mode, bool newFileIsNewer);

// Applies a remembered answer to a question. Returns true for replace;
// sets `ask` when the prompt must be shown (kAsk).
bool AnswerFromMemory(int32_t answer, bool& ask);

// 500 -> "500", 1024 -> "1K", 1536 -> "1.5K", 1100 -> "1.07K".
Str SizeText(uint64_t bytes);

// Shortens a path to about maxWidth by keeping its start and its last
// component and replacing the middle by "..\"; width(text) measures.
template <class Width>
Str ShortenPath(const Str& path, int maxWidth, Width width);

// The attributes an existing file is given before it is replaced, or 0
// when it can be replaced as it is. Windows refuses to open a read-only
// file for writing, and to create over a hidden or system file unless the
// call asks for the same bits; replaced files get the new file's own
// attributes afterwards, so these three bits go first.
uint32_t AttributesBeforeReplacing(uint32_t existing);

}  // namespace pvx

#include "install/overwrite_inl.h"
