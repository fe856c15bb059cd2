// Small text helpers shared by the runtime and the tool. Texts are 8-bit
// ANSI; case folding touches only the ASCII letters.
#pragma once
#include "format/str.h"

namespace pvx {

Str AsciiUpper(Str text);
Str AsciiLower(Str text);

// The part after the last "\", "/" or ":".
Str FileNamePart(const Str& path);
// Everything up to and including the last "\", "/" or ":" (empty if none).
Str FolderPart(const Str& path);

Str WithTrailingBackslash(Str path);
// Removes one trailing backslash, if there is one.
Str WithoutTrailingBackslash(Str path);

// Joins two path texts with exactly one "\" between them; an empty first
// text yields the second, an empty second text leaves the first.
Str JoinPath(const Str& first, const Str& second);

}  // namespace pvx
