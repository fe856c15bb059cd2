// Choosing the run's language among the package's LanguageRecords
// (name, LANGID, licence file number, readme file number).
#pragma once
#include <cstdint>
#include "format/str.h"

#include "format/script.h"
#include "format/work_files.h"

namespace pvx {

struct LanguageState {
  uint8_t index = 0;            // the chosen record
  bool confirmed = false;       // OK was pressed in the dialog
  uint8_t licenseFileNo = work_files::kLicence;
  uint8_t readmeFileNo = work_files::kReadme;
};

// The last record whose name contains the request (ASCII letters compared
// without case), or -1.
int MatchRequestedLanguage(const ScriptList& languages, const Str& request);

// The record the dialog opens on: the last whose LANGID equals the user's,
// else the first named exactly "English", else the first.
int PreselectedLanguage(const ScriptList& languages, int32_t userLanguageId);

// Makes record `index` the one whose texts LanguageText returns and sets
// the licence and readme file numbers (work_files::kLicence and kReadme
// when the record leaves them empty).
void ApplyLanguage(SetupScript& script, uint8_t index, LanguageState& state);

// Text k (from 1) of the chosen language; empty outside 1..S.
const Str& LanguageText(const SetupScript& script, int k);

}  // namespace pvx
