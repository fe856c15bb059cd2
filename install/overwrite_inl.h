#pragma once
#include <vector>

namespace pvx {

template <class Width>
Str ShortenPath(const Str& path, int maxWidth, Width width) {
  if (path.find('\\') == Str::npos) return path;
  std::vector<Str> parts;
  size_t start = 0;
  for (;;) {
    size_t cut = path.find('\\', start);
    if (cut == Str::npos) {
      if (start < path.size()) parts.push_back(path.substr(start));
      break;
    }
    parts.push_back(path.substr(start, cut - start));
    start = cut + 1;
  }
  Str tail = parts.back();
  parts.pop_back();
  Str result;
  size_t next = 0;
  while (next < parts.size() && maxWidth > width(result + tail)) {
    result += parts[next++];
    result += '\\';
  }
  if (next == parts.size()) return result + tail;
  return result + "..\\" + tail;
}

}  // namespace pvx
