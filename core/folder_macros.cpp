#include "format/str.h"
#include "core/folder_macros.h"

#include "format/decimal.h"
#include "format/folder_numbers.h"

namespace pvx {

int MacroNumber(const Str& digits) { return DecimalInt(digits) & 0xFF; }

static Str Replacement(const Str& digits, FolderResolver& resolver) {
  int number = MacroNumber(digits);
  bool shortForm = number > folder::kShortFormOffset && number <= 2 * folder::kShortFormOffset;
  if (shortForm) number -= folder::kShortFormOffset;
  Str folder = resolver.ResolveFolder(number);
  if (shortForm) folder = folder.empty() ? Str() : resolver.ShortForm(folder);
  return folder;
}

Str ExpandFolderMacros(const Str& text, FolderResolver& resolver) {
  Str r = text;
  size_t budget = text.size() + kExtraReplacements;
  const size_t prefixLength = sizeof kMacroPrefix - 1;
  for (;;) {
    size_t at = r.find(kMacroPrefix);
    if (at == Str::npos) return r;
    Str digits = r.substr(at + prefixLength, 2);
    size_t tokenLength = prefixLength + digits.size();
    if (budget == 0) {
      // Out of replacements: what is left expands to nothing, without
      // bringing in new text.
      r.erase(at, tokenLength);
      continue;
    }
    --budget;
    r.replace(at, tokenLength, Replacement(digits, resolver));
  }
}

Str EscapeAmpersands(const Str& text) {
  Str out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

}  // namespace pvx
