// The decompressor's error numbers (FDIERROR_*) as the run's outcomes.
#pragma once
#include <cstdint>

#include "core/outcome.h"

namespace pvx {

// The kind of a failed extraction from the decompressor's error number.
// An owner's abort is known before the decompressor reports it, so its
// "user abort" only ever comes from a refusal of the extractor's own (a
// name or folder that cannot be used): damaged data.
OutcomeKind KindOfFdiError(uint32_t error);

}  // namespace pvx
