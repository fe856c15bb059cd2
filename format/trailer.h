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
//   package end        zero padding, at most 7 bytes (signed files only)
//   certificate table  Authenticode signature (signed files only)
//
// Signing a setup appends a certificate table after the package, padded so
// that it starts on a multiple of 8, and records it in the PE security
// directory (data directory 4). The package then ends where that table
// begins, less the zero padding: the trailer's last byte is never zero, so
// at most 7 zero bytes before the end are taken for padding. Removing the
// signature again leaves the padding at the end of the file, so an
// unsigned file's package ends before such zero bytes too.
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
  BadSecurityDirectory,  // the certificate table is not where signing puts it
};

// Where the package ends within its file, and the certificate table after
// it, if any.
struct PackageExtent {
  uint64_t end = 0;            // the trailer's last byte is end - 1
  uint32_t tableOffset = 0;    // the certificate table; size 0: none
  uint32_t tableSize = 0;
  bool IsSigned() const { return tableSize != 0; }
};

// The logical end of the package in the source: where the certificate
// table that a PE image's security directory names begins, or else where
// the source ends, less at most 7 zero bytes of padding before it. A
// directory that names a table which does not end exactly at the end of
// the file, is shorter than its 8-byte header, or leaves no room for a
// trailer before it is BadSecurityDirectory.
TrailerStatus FindPackageEnd(ByteSource& source, PackageExtent& out);

void EncodeTrailer(const PackageTrailer& trailer, uint8_t out[kTrailerSize]);
PackageTrailer DecodeTrailer(const uint8_t in[kTrailerSize]);

// Reads and validates the trailer at the package's logical end (above),
// which `extent` receives. Only the magic byte and the 32-bit reach of the
// offsets are checked: offsets past the end of the file are allowed and
// simply read as nothing.
TrailerStatus ReadPackageTrailer(ByteSource& source, PackageTrailer& out, PackageExtent& extent);
inline TrailerStatus ReadPackageTrailer(ByteSource& source, PackageTrailer& out) {
  PackageExtent extent;
  return ReadPackageTrailer(source, out, extent);
}

const char* TrailerStatusText(TrailerStatus status);

}  // namespace pvx
