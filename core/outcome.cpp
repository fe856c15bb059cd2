#include "core/outcome.h"

namespace pvx {

ExitCode OutcomeExitCode(OutcomeKind kind) {
  static const uint8_t codes[] = {
      static_cast<uint8_t>(ExitCode::Installed), static_cast<uint8_t>(ExitCode::CancelledDuring),
      static_cast<uint8_t>(ExitCode::Damaged), static_cast<uint8_t>(ExitCode::InstallFailed),
      static_cast<uint8_t>(ExitCode::PrerequisiteFailed)};
  return static_cast<ExitCode>(codes[static_cast<unsigned>(kind)]);
}

const char* OutcomeReason(OutcomeKind kind) {
  static const char* const reasons[] = {"installed", "installation aborted",
                                        "package data damaged", "write failed",
                                        "no usable cabinet.dll"};
  return reasons[static_cast<unsigned>(kind)];
}

}  // namespace pvx
