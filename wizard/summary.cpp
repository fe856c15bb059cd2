#include "wizard/summary.h"

namespace pvx {

Str ReadySummary(const Str* const headings[3], const Str& folder, const Str* group,
                 const Str* const shortcuts[3]) {
  const char kIndent[] = "    ";
  const char kBreak[] = "\r\n\r\n";
  Str s = *headings[0];
  s += kIndent;
  s += folder;
  if (group) {
    s += kBreak;
    s += *headings[1];
    s += kIndent;
    s += *group;
  }
  Str t;
  for (int i = 0; i < 3; ++i) {
    if (!shortcuts[i]) continue;
    t += kIndent;
    t += *shortcuts[i];
    if (i < 2) t += "\r\n";
  }
  if (!t.empty()) {
    s += kBreak;
    s += *headings[2];
    s += t;
  }
  return s;
}

}  // namespace pvx
