// Project texts arrive as UTF-8; packages hold 8-bit ANSI texts of one
// Windows code page, which the runtime shows as they are.
#pragma once
#include <string>

namespace pvx::tool {

// Converts UTF-8 to the code page. Returns false and describes the first
// character that cannot be written (or the bad UTF-8) in `problem`.
bool Utf8ToCodePage(const std::string& utf8, int codepage, std::string& out, std::string& problem);
// Back again, for showing package texts (inspect). Undefined bytes become U+FFFD.
std::string CodePageToUtf8(const std::string& ansi, int codepage);
// Whether the code page is known to the converter.
bool CodePageSupported(int codepage);

// Line breaks inside package texts are CR LF: lone LF and lone CR become CR LF.
std::string NormalizeLineBreaks(const std::string& text);

}  // namespace pvx::tool
