// The built-in language sets: all 99 language strings of English and
// German, written for Parvolex. Texts are UTF-8 here; the builder converts
// them to the package's code page.
#pragma once
#include <array>
#include <string>

#include "format/language_texts.h"

namespace pvx::tool {

constexpr int kLanguageStringCount = text::kCount;
using LanguageStrings = std::array<std::string, kLanguageStringCount>;  // [0] is string 1

struct BuiltinLanguage {
  const char* key;   // "english", "german"
  const char* name;  // shown in the language dialog
  int langId;        // Windows LANGID
};

// nullptr when the key is not a built-in set.
const BuiltinLanguage* FindBuiltinLanguage(const std::string& key);
LanguageStrings BuiltinStrings(const BuiltinLanguage& language);

}  // namespace pvx::tool
