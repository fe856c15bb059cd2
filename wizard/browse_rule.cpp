#include "wizard/browse_rule.h"

namespace pvx {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

// Whether text begins with prefix, a-z and A-Z taken as equal.
bool StartsWithAscii(const Str& text, const Str& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(text[i]) != Upper(prefix[i])) return false;
  return true;
}

}  // namespace

Str BrowsedFolder(Str chosen, const Str& defaultFolder, const Str* appended) {
  bool endsInBackslash = !chosen.empty() && chosen.back() == '\\';
  if (appended && !StartsWithAscii(chosen, defaultFolder)) {
    if (!endsInBackslash) chosen += '\\';
    chosen += *appended;
  } else if (endsInBackslash) {
    chosen.pop_back();
  }
  if (chosen.size() == 2) chosen += '\\';
  return chosen;
}

}  // namespace pvx
