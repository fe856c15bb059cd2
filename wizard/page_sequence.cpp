#include "wizard/page_sequence.h"

#include "format/header_fields.h"
#include "format/script.h"

namespace pvx {

namespace {

// The two header flags a kind needs (one flag twice where one suffices).
const uint8_t kConditions[kExit][2] = {
    {field::kWelcomePage, field::kWelcomePage},
    {field::kLicensePage, field::kLicensePage},
    {field::kInformationPage, field::kInformationPage},
    {field::kFolderPage, field::kFolderPage},
    {field::kMakeProgramGroup, field::kGroupPage},
    {field::kOfferShortcuts, field::kShortcutsPage},
    {field::kReadyPage, field::kReadyPage},
    {0, 0},  // the Installing page is always there
    {field::kFinishPage, field::kFinishPage},
};

}  // namespace

PageSequence BuildPageSequence(const SetupScript& script) {
  PageSequence sequence = {};
  for (uint8_t kind = 0; kind < kExit; ++kind)
    if (kind == kInstalling ||
        (script.HeaderFlag(kConditions[kind][0]) && script.HeaderFlag(kConditions[kind][1])))
      sequence.kinds[sequence.count++] = kind;
  sequence.kinds[sequence.count++] = kExit;
  return sequence;
}

}  // namespace pvx
