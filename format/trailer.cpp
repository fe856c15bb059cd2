#include "format/trailer.h"

namespace pvx {

void EncodeTrailer(const PackageTrailer& t, uint8_t out[kTrailerSize]) {
  StoreLE(out + 0, static_cast<uint64_t>(t.scriptOffset), 8);
  StoreLE(out + 8, static_cast<uint64_t>(t.resourceLength), 8);
  StoreLE(out + 16, static_cast<uint64_t>(t.resourceOffset), 8);
  StoreLE(out + 24, static_cast<uint64_t>(t.payloadOffset), 8);
  out[32] = t.form;
  out[33] = t.resourceCount;
  out[34] = t.headerLastIndex;
  out[35] = t.magic;
}

PackageTrailer DecodeTrailer(const uint8_t in[kTrailerSize]) {
  PackageTrailer t;
  t.scriptOffset = static_cast<int64_t>(LoadLE(in + 0, 8));
  t.resourceLength = static_cast<int64_t>(LoadLE(in + 8, 8));
  t.resourceOffset = static_cast<int64_t>(LoadLE(in + 16, 8));
  t.payloadOffset = static_cast<int64_t>(LoadLE(in + 24, 8));
  t.form = in[32];
  t.resourceCount = in[33];
  t.headerLastIndex = in[34];
  t.magic = in[35];
  return t;
}

static bool WithinReach(int64_t v) { return v >= 0 && v <= kMaxPackageOffset; }

TrailerStatus ReadPackageTrailer(ByteSource& source, PackageTrailer& out) {
  uint64_t size = source.Size();
  if (size < kTrailerSize) return TrailerStatus::TooShort;
  uint8_t bytes[kTrailerSize];
  if (!source.Seek(size - kTrailerSize) ||
      source.Read(bytes, kTrailerSize) != kTrailerSize)
    return TrailerStatus::ReadFailed;
  PackageTrailer t = DecodeTrailer(bytes);
  if (t.magic != kTrailerMagic) return TrailerStatus::BadMagic;
  // A position of 2 GiB or more would wrap in the runtime's 32-bit seeks
  // and read some unrelated part of the file as package data.
  if (!WithinReach(t.scriptOffset) || !WithinReach(t.resourceLength) ||
      !WithinReach(t.resourceOffset) || !WithinReach(t.payloadOffset))
    return TrailerStatus::OffsetTooLarge;
  out = t;
  return TrailerStatus::Ok;
}

const char* TrailerStatusText(TrailerStatus status) {
  switch (status) {
    case TrailerStatus::Ok: return "ok";
    case TrailerStatus::TooShort: return "file too short for a package trailer";
    case TrailerStatus::ReadFailed: return "package trailer could not be read";
    case TrailerStatus::BadMagic: return "no package trailer (last byte is not 0xF1)";
    case TrailerStatus::OffsetTooLarge: return "package trailer offset out of range (2 GiB or more, or negative)";
  }
  return "unknown";
}

}  // namespace pvx
