// What a step of the run came to (an extraction today), carried up to the
// run's one exit (EndRun),
// which turns it into the message, the log line and the exit code: a kind,
// which decides those, and a code that says more in the log (the
// decompressor's error number, the system's error for a decompressor that
// could not be loaded, or the exception code of a fault inside it).
#pragma once
#include <cstdint>

#include "core/exit_codes.h"

namespace pvx {

enum class OutcomeKind : uint8_t {
  Done,            // every member written, or left out as its owner said
  Cancelled,       // an owner's event said abort
  Damaged,         // damaged or cut-off cabinet data, a missing part
  IoFailure,       // a member could not be written and nobody was asked
  UnusableSystem,  // the system's decompressor is missing or lacks its entry points
};

struct Outcome {
  OutcomeKind kind;
  uint32_t code;
};

// How a run that ends with the outcome ends: its exit code and the reason
// its log line gives. Done is no end of its own (code 0).
ExitCode OutcomeExitCode(OutcomeKind kind);
const char* OutcomeReason(OutcomeKind kind);

}  // namespace pvx
