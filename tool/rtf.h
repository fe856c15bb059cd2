// Licence and readme texts are shown in a rich-edit box that reads RTF.
#pragma once
#include <string>

namespace pvx::tool {

// Whether the bytes already are an RTF document.
bool LooksLikeRtf(const std::string& bytes);

// Turns plain ANSI text (in `codepage`) into a small RTF document: "\", "{"
// and "}" escaped, bytes above 127 as \'hh, every line break as \par.
std::string PlainTextToRtf(const std::string& ansi, int codepage);

}  // namespace pvx::tool
