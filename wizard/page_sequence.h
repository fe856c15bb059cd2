// The wizard's page kinds and the sequence a package asks for.
#pragma once
#include <cstdint>

namespace pvx {

class SetupScript;

enum PageKind : uint8_t {
  kWelcome,
  kLicense,
  kInformation,
  kFolder,
  kProgramGroup,
  kShortcuts,
  kReady,
  kInstalling,
  kFinish,
  kExit,
};

// Inner pages carry the header band, the Back button and the bottom text.
inline bool IsInnerPage(uint8_t kind) { return kind >= kLicense && kind <= kInstalling; }

struct PageSequence {
  uint8_t kinds[kExit + 1];
  uint8_t count;
};

// The kinds whose header flags hold, in their fixed order; Installing and
// Exit always take part.
PageSequence BuildPageSequence(const SetupScript& script);

}  // namespace pvx
