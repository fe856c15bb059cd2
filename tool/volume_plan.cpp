#include "tool/volume_plan.h"

#include <stdexcept>

#include "format/trailer.h"

namespace pvx::tool {

VolumePlan PlanVolumes(uint64_t streamLength, uint64_t payloadOffset, uint64_t volumeSize, bool cabinetForm,
                       const std::vector<StoredRecordSpan>& records) {
  VolumePlan plan;
  if (volumeSize == 0) return plan;
  if (volumeSize <= kTrailerSize || volumeSize - kTrailerSize < payloadOffset)
    throw std::runtime_error("volume_size " + std::to_string(volumeSize) +
                             " is too small: the first volume needs at least " +
                             std::to_string(payloadOffset + kTrailerSize + 1) +
                             " bytes for the runtime, the script, the resources and the trailer");
  uint64_t start = 0;
  unsigned volume = 1;
  size_t first = 0;  // first record that may still hold a cut
  while (true) {
    uint64_t limit = volume == 1 ? volumeSize - kTrailerSize : volumeSize;
    if (streamLength - start <= limit) break;
    uint64_t target = start + limit;
    uint64_t cut = 0;
    if (cabinetForm) {
      cut = target;
    } else {
      // Allowed cuts: contentStart < p < contentStart + size.
      bool found = false;
      size_t i = first;
      for (; i < records.size(); ++i) {
        const StoredRecordSpan& r = records[i];
        if (r.contentSize < 2) continue;
        uint64_t lo = r.contentStart + 1, hi = r.contentStart + r.contentSize - 1;
        if (hi <= start) continue;
        if (lo < start + 1) lo = start + 1;
        if (lo > target) break;
        cut = hi < target ? hi : target;
        found = true;
      }
      if (!found) {
        // Nothing fits before the limit: the next allowed point after it.
        for (i = first; i < records.size(); ++i) {
          const StoredRecordSpan& r = records[i];
          if (r.contentSize < 2) continue;
          uint64_t lo = r.contentStart + 1, hi = r.contentStart + r.contentSize - 1;
          if (hi <= start) continue;
          cut = lo > start ? lo : start + 1;
          found = true;
          break;
        }
        if (!found) {
          plan.warnings.push_back("volume " + std::to_string(volume) + " is " +
                                  std::to_string(streamLength - start + (volume == 1 ? kTrailerSize : 0)) +
                                  " bytes, more than volume_size: the rest holds no file content that a "
                                  "volume may end in");
          break;
        }
        plan.warnings.push_back("volume " + std::to_string(volume) + " is " +
                                std::to_string(cut - start + (volume == 1 ? kTrailerSize : 0)) +
                                " bytes, more than volume_size: a volume may end only inside a file's content");
      }
      while (first < records.size() && records[first].contentStart + records[first].contentSize <= cut) ++first;
    }
    if (cut >= streamLength) break;
    plan.cuts.push_back(cut);
    start = cut;
    ++volume;
  }
  return plan;
}

}  // namespace pvx::tool
