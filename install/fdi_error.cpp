#include "install/fdi_error.h"

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

}  // namespace pvx
