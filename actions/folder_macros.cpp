#include "actions/folder_macros.h"

#include "format/decimal.h"

namespace pvx {

int MacroNumber(const std::string& digits) { return DecimalInt(digits) & 0xFF; }

static std::string Replacement(const std::string& digits, FolderResolver& resolver) {
  int number = MacroNumber(digits);
  bool shortForm = number >= 41 && number <= 80;
  if (shortForm) number -= 40;
  std::string folder = resolver.ResolveFolder(number);
  if (shortForm) folder = folder.empty() ? std::string() : resolver.ShortForm(folder);
  return folder;
}

std::string ExpandFolderMacros(const std::string& text, FolderResolver& resolver) {
  std::string r = text;
  size_t budget = text.size() + kExtraReplacements;
  const size_t prefixLength = sizeof kMacroPrefix - 1;
  for (;;) {
    size_t at = r.find(kMacroPrefix);
    if (at == std::string::npos) return r;
    std::string digits = r.substr(at + prefixLength, 2);
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

std::string EscapeAmpersands(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

}  // namespace pvx
