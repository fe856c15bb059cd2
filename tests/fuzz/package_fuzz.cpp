// The runtime's start-up reading of an untrusted file: the trailer, then
// the script in its two pieces, the registry variables, the language
// choice and texts, and the clean-up's file numbers. Nothing may read out
// of bounds, and no count may cost time or memory beyond the input's size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/folder_macros.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/script.h"
#include "format/trailer.h"
#include "core/language.h"
#include "core/workdir.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void LoadAndUse(pvx::ByteSource& source, unsigned lastIndex, size_t inputSize) {
  pvx::SetupScript script;
  pvx::TextReader reader(source);
  pvx::LoadScriptHead(reader, lastIndex, script);
  pvx::ResolveRegistryVariables(script, [](int32_t root, const pvx::Str& key, const pvx::Str&) {
    return root == 2 && !key.empty() ? key : pvx::Str();
  });
  pvx::LoadScriptLists(reader, script);
  // Every stored text costs at least its zero byte or the end: the lists
  // can never hold more texts than the input has bytes (+1 per list).
  size_t texts = script.languageStrings.size();
  for (const pvx::ScriptList& list : script.lists) texts += list.texts.size();
  Check(texts <= inputSize + pvx::kListKindCount + 2);
  for (int n = -2; n < 260; ++n) {
    (void)script.HeaderInt(n);
    (void)script.HeaderFlag(n);
  }
  (void)pvx::DecimalInt64(script.HeaderText(pvx::field::kDiskSpaceNeeded));
  const pvx::ScriptList& languages = script.List(pvx::ListKind::Languages);
  (void)pvx::MatchRequestedLanguage(languages, script.HeaderText(0));
  int chosen = pvx::PreselectedLanguage(languages, 1033);
  pvx::LanguageState state;
  pvx::ApplyLanguage(script, static_cast<uint8_t>(chosen), state);
  for (int k = -1; k < 120; ++k) (void)pvx::LanguageText(script, k);
  std::vector<int> numbers =
      pvx::CleanupFileNumbers(true, script.HeaderInt(pvx::field::kLanguageCount));
  Check(numbers.size() <= 18 + 2 * 256);
  for (const pvx::ScriptList& list : script.lists)
    for (size_t r = 0; r < list.Count(); ++r)
      for (unsigned k = 0; k <= list.width; ++k) (void)list.FieldInt(r, k);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pvx::MemorySource source(data, size);
  pvx::PackageTrailer trailer;
  if (pvx::ReadPackageTrailer(source, trailer) == pvx::TrailerStatus::Ok) {
    source.Seek(static_cast<uint64_t>(trailer.scriptOffset));
    LoadAndUse(source, trailer.headerLastIndex, size);
  }
  // The script alone, without a trailer to find it: the first byte is the
  // header's last index.
  if (size) {
    pvx::MemorySource script(data + 1, size - 1);
    LoadAndUse(script, data[0], size);
  }
  return 0;
}
