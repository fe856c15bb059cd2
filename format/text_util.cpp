#include "format/str.h"
#include "format/text_util.h"

namespace pvx {

Str AsciiUpper(Str text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

Str AsciiLower(Str text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

static size_t LastSeparator(const Str& path) {
  return path.find_last_of("\\/:");
}

Str FileNamePart(const Str& path) {
  size_t i = LastSeparator(path);
  return i == Str::npos ? path : path.substr(i + 1);
}

Str FolderPart(const Str& path) {
  size_t i = LastSeparator(path);
  return i == Str::npos ? Str() : path.substr(0, i + 1);
}

Str WithTrailingBackslash(Str path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

Str WithoutTrailingBackslash(Str path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

Str JoinPath(const Str& first, const Str& second) {
  if (first.empty()) return second;
  if (second.empty()) return first;
  bool a = first.back() == '\\', b = second.front() == '\\';
  if (a && b) return first + second.substr(1);
  if (a || b) return first + second;
  return first + "\\" + second;
}

}  // namespace pvx
