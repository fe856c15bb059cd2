#include "format/volumes.h"

#include "format/decimal.h"

namespace pvx {

Str VolumeFileName(const Str& nameTemplate, unsigned volume) {
  Str name = nameTemplate;
  size_t at = name.find(kVolumeNumberToken);
  if (at != Str::npos)
    name.replace(at, sizeof kVolumeNumberToken - 1, DecimalText(static_cast<uint64_t>(volume)));
  return name;
}

}  // namespace pvx
