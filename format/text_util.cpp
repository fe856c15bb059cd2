#include "format/text_util.h"

namespace pvx {

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

static size_t LastSeparator(const std::string& path) {
  return path.find_last_of("\\/:");
}

std::string FileNamePart(const std::string& path) {
  size_t i = LastSeparator(path);
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string FolderPart(const std::string& path) {
  size_t i = LastSeparator(path);
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string JoinPath(const std::string& first, const std::string& second) {
  if (first.empty()) return second;
  if (second.empty()) return first;
  bool a = first.back() == '\\', b = second.front() == '\\';
  if (a && b) return first + second.substr(1);
  if (a || b) return first + second;
  return first + "\\" + second;
}

}  // namespace pvx
