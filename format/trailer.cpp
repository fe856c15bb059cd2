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

static uint32_t Load32(const uint8_t* p) { return static_cast<uint32_t>(LoadLE(p, 4)); }

static bool ReadAt(ByteSource& source, uint64_t position, uint8_t* to, size_t n) {
  return source.Seek(position) && source.Read(to, n) == n;
}

// Offsets in a PE image: the DOS header's pointer to the PE signature ("PE"
// and two zero bytes, so a file that is not a PE image is told apart); from
// the signature, the optional header's magic and its count of data
// directories and the security directory (PE32; PE32+ has both 16 bytes
// later).
constexpr unsigned kPeOffsetAt = 0x3C;
constexpr unsigned kMagicAt = 24;
constexpr unsigned kDirectoryCountAt = kMagicAt + 92;
constexpr unsigned kSecurityDirectoryAt = kMagicAt + 96 + 4 * 8;
constexpr unsigned kPeHeadLength = kSecurityDirectoryAt + 8 + 16;
constexpr unsigned kMaxPadding = 7;

// The certificate table named by a PE image's security directory, if any.
static TrailerStatus FindCertificateTable(ByteSource& source, uint64_t size, PackageExtent& out) {
  uint8_t b[kPeHeadLength];
  // A file that is no PE image has no certificate table.
  if (!ReadAt(source, kPeOffsetAt, b, 4) ||
      !ReadAt(source, Load32(b), b, kPeHeadLength) || Load32(b) != 0x4550)
    return TrailerStatus::Ok;
  // PE32 (0x10B) or PE32+ (0x20B), whose fields lie 16 bytes further.
  const unsigned magic = b[kMagicAt] | b[kMagicAt + 1] << 8;
  const uint8_t* at = b + (magic == 0x20B ? 16 : 0);
  if ((at == b && magic != 0x10B) || Load32(at + kDirectoryCountAt) < 5) return TrailerStatus::Ok;
  const uint32_t offset = Load32(at + kSecurityDirectoryAt);
  const uint32_t length = Load32(at + kSecurityDirectoryAt + 4);
  // A directory of no length names nothing, wherever it points.
  if (length == 0) return TrailerStatus::Ok;
  // Summed in 64 bits: two 32-bit fields that wrap round to the file's
  // length do not name its end.
  if (length < 8 || offset < kTrailerSize || static_cast<uint64_t>(offset) + length != size)
    return TrailerStatus::BadSecurityDirectory;
  out.end = offset;
  out.tableOffset = offset;
  out.tableSize = length;
  return TrailerStatus::Ok;
}

TrailerStatus FindPackageEnd(ByteSource& source, PackageExtent& out) {
  out = PackageExtent();
  out.end = source.Size();
  TrailerStatus status = FindCertificateTable(source, out.end, out);
  // Zero bytes before the end are padding: signing adds them before the
  // table, and removing the signature again leaves them at the file's end.
  uint8_t b[kMaxPadding];
  if (out.end >= kMaxPadding && ReadAt(source, out.end - kMaxPadding, b, kMaxPadding))
    for (unsigned i = kMaxPadding; i > 0 && b[i - 1] == 0; --i) --out.end;
  return status;
}

TrailerStatus ReadPackageTrailer(ByteSource& source, PackageTrailer& out, PackageExtent& extent) {
  TrailerStatus status = FindPackageEnd(source, extent);
  if (status != TrailerStatus::Ok) return status;
  const uint64_t size = extent.end;
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
    case TrailerStatus::BadSecurityDirectory:
      return "the security directory names no certificate table at the end of the file";
  }
  return "unknown";
}

}  // namespace pvx
