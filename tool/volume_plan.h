// Where the package data stream is cut into volumes.
//
// The stream is the setup executable without its trailer, followed by the
// data of the continuation volumes. `volumeSize` limits every volume FILE:
// volume 1 counts the whole executable, trailer included; the script and
// the resource area must lie in volume 1. In the stored form a cut may fall
// only strictly inside a record's content (the runtime reads each 24-byte
// record header from one volume and cannot resume between records), so a
// cut moves back to the last allowed point before the limit, or, when there
// is none, forward to the next one (that volume is then larger).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pvx::tool {

struct StoredRecordSpan {
  uint64_t contentStart = 0;  // stream offset of the first content byte
  uint64_t contentSize = 0;
};

struct VolumePlan {
  // Stream offsets where volumes 2, 3, ... begin.
  std::vector<uint64_t> cuts;
  std::vector<std::string> warnings;
};

// Throws std::runtime_error when volume 1 cannot hold what must be in it.
// cabinetForm: any cut at or after payloadOffset is allowed; otherwise only
// the points inside `records`.
VolumePlan PlanVolumes(uint64_t streamLength, uint64_t payloadOffset, uint64_t volumeSize, bool cabinetForm,
                       const std::vector<StoredRecordSpan>& records);

}  // namespace pvx::tool
