#include "wizard/page_sequence.h"

#include "format/script.h"

namespace pvx {

namespace {

// The two header flags a kind needs (one flag twice where one suffices).
const uint8_t kConditions[kExit][2] = {
    {111, 111}, {30, 30}, {84, 84}, {112, 112}, {86, 113}, {22, 114}, {115, 115}, {0, 0}, {116, 116},
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
