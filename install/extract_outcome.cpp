#include "install/extract_outcome.h"

namespace pvx {

namespace {

// FDIERROR_TARGET_FILE: the decompressor's write callback failed.
constexpr uint32_t kFdiTargetFile = 8;

}  // namespace

OutcomeKind KindOfFdiError(uint32_t error) {
  // Running out of memory inside the decompressor ends the run as memory
  // running out anywhere else does: code 1.
  return error == kFdiTargetFile ? OutcomeKind::IoFailure : OutcomeKind::Damaged;
}

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
