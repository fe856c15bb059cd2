#include "format/str.h"
#include "core/language.h"

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/work_files.h"
#include "format/text_util.h"

namespace pvx {

int MatchRequestedLanguage(const ScriptList& languages, const Str& request) {
  Str wanted = AsciiUpper(request);
  int match = -1;
  for (size_t i = 0; i < languages.Count() && i < 256; ++i)
    if (AsciiUpper(languages.Field(i, language_record::kName)).find(wanted) != Str::npos)
      match = static_cast<int>(i);
  return match;
}

int PreselectedLanguage(const ScriptList& languages, int32_t userLanguageId) {
  int match = -1;
  size_t count = languages.Count() < 256 ? languages.Count() : 256;
  for (size_t i = 0; i < count; ++i)
    if (languages.FieldInt(i, language_record::kLanguageId) == userLanguageId) match = static_cast<int>(i);
  if (match >= 0) return match;
  for (size_t i = 0; i < count; ++i)
    if (languages.Field(i, language_record::kName) == "English") return static_cast<int>(i);
  return 0;
}

static uint8_t FileNumber(const Str& text, uint8_t empty) {
  return text.empty() ? empty : static_cast<uint8_t>(DecimalInt(text));
}

void ApplyLanguage(SetupScript& script, uint8_t index, LanguageState& state) {
  state.index = index;
  int32_t perLanguage = script.HeaderInt(field::kTextsPerLanguage);
  std::vector<Str>& texts = script.languageStrings;
  if (index > 0 && perLanguage > 0) {
    // 64 bits: a damaged count times the index must not wrap into the
    // texts of another language.
    uint64_t offset = static_cast<uint64_t>(perLanguage) * index;
    for (size_t k = 1; k <= static_cast<size_t>(perLanguage) && k < texts.size(); ++k)
      texts[k] = k + offset < texts.size() ? texts[k + offset] : Str();
  }
  const ScriptList& records = script.List(ListKind::Languages);
  state.licenseFileNo = FileNumber(records.Field(index, language_record::kLicenceFile), work_files::kLicence);
  state.readmeFileNo = FileNumber(records.Field(index, language_record::kReadmeFile), work_files::kReadme);
}

const Str& LanguageText(const SetupScript& script, int k) {
  static const Str empty;
  int32_t perLanguage = script.HeaderInt(field::kTextsPerLanguage);
  if (k < 1 || k > perLanguage || static_cast<size_t>(k) >= script.languageStrings.size())
    return empty;
  return script.languageStrings[k];
}

}  // namespace pvx
