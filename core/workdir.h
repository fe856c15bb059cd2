// The run's work folder: numbered ".tmp" files in "$inst\" under a base
// folder (the user's temporary folder).
//
//   file 2            restored resource cabinet
//   files 4..8        wizard and backdrop pictures
//   15, 16 (default)  licence and readme; 20.. and 50.. for more languages
//   temp_0.tmp        the payload cabinet part being extracted
#pragma once
#include <cstdint>
#include "format/str.h"
#include <vector>

namespace pvx {

// base + "$inst\" + ("temp_" when prefixed) + n + ".tmp"; a missing
// trailing backslash of the base is added.
Str WorkDirFileName(const Str& base, int n, bool prefixed);

// The file numbers the clean-up deletes: 0..17, and with the language files
// 20..20+L and 50..50+L. L is clamped to 0..255, the most languages a
// package can hold, so a damaged count cannot make the clean-up run for
// hours.
std::vector<int> CleanupFileNumbers(bool withLanguageFiles, int32_t languages);

}  // namespace pvx
