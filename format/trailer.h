// The 36-byte record at the very end of a setup executable that locates
// the package appended to the runtime image.
//
//   file offset        content
//   0                  runtime image
//   script offset      SetupScript: NUL-terminated texts
//   resource offset    resource area (pictures, licence, readme)
//   payload offset     payload area (the application's files); may run on
//                      into further volume files
//   size - 36          PackageTrailer, little-endian:
//       +0  int64  script offset
//       +8  int64  resource length (cabinet form: cabinet size - 4)
//       +16 int64  resource offset
//       +24 int64  payload offset
//       +32 uint8  package form: 0 stored, any other value cabinet
//       +33 uint8  resource count (stored resource entries)
//       +34 uint8  header last index (the header holds this + 1 texts)
//       +35 uint8  magic 0xF1
#pragma once
#include <cstdint>

#include "format/byte_source.h"

namespace pvx {

constexpr unsigned kTrailerSize = 36;
constexpr uint8_t kTrailerMagic = 0xF1;
// The runtime addresses its own file with 32-bit positions.
constexpr int64_t kMaxPackageOffset = 0x7FFFFFFF;

struct PackageTrailer {
  int64_t scriptOffset = 0;
  int64_t resourceLength = 0;
  int64_t resourceOffset = 0;
  int64_t payloadOffset = 0;
  uint8_t form = 1;
  uint8_t resourceCount = 0;
  uint8_t headerLastIndex = 120;
  uint8_t magic = kTrailerMagic;

  bool IsCabinetForm() const { return form != 0; }
};

enum class TrailerStatus {
  Ok,
  TooShort,        // the file cannot hold a trailer
  ReadFailed,      // the last 36 bytes could not be read
  BadMagic,        // the last byte is not 0xF1
  OffsetTooLarge,  // an offset or length is negative or not below 2 GiB
};

void EncodeTrailer(const PackageTrailer& trailer, uint8_t out[kTrailerSize]);
PackageTrailer DecodeTrailer(const uint8_t in[kTrailerSize]);

// Reads and validates the trailer at the end of the source. Only the magic
// byte and the 32-bit reach of the offsets are checked: offsets past the
// end of the file are allowed and simply read as nothing.
TrailerStatus ReadPackageTrailer(ByteSource& source, PackageTrailer& out);

const char* TrailerStatusText(TrailerStatus status);

}  // namespace pvx
