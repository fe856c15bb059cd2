// Small text helpers shared by the runtime and the tool. Texts are 8-bit
// ANSI; case folding touches only the ASCII letters.
#pragma once
#include <string>

namespace pvx {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

// The part after the last "\", "/" or ":".
std::string FileNamePart(const std::string& path);
// Everything up to and including the last "\", "/" or ":" (empty if none).
std::string FolderPart(const std::string& path);

std::string WithTrailingBackslash(std::string path);
// Removes one trailing backslash, if there is one.
std::string WithoutTrailingBackslash(std::string path);

// Joins two path texts with exactly one "\" between them; an empty first
// text yields the second, an empty second text leaves the first.
std::string JoinPath(const std::string& first, const std::string& second);

}  // namespace pvx
