// The stored form of the two data areas: plain records instead of cabinets.
//
// StoredResourceEntry (resource area; the trailer counts them):
//   name   text ended by a zero byte, relative to the temporary folder
//          ("$inst\4.tmp")
//   length decimal text ended by a zero byte
//   content `length` bytes
//
// StoredFileRecord (payload area; one per file-list record), little-endian:
//   +0  int32   index of the record in the file list
//   +4  int64   size of the content in bytes
//   +12 uint64  time, a FILETIME in UTC
//   +20 uint32  Win32 attribute bits
//   +24         `size` bytes of content
// A volume may end only inside a record's content, never inside a record
// header or between two records.
#pragma once
#include <cstdint>
#include "format/str.h"

namespace pvx {

constexpr unsigned kStoredFileHeaderSize = 24;

struct StoredFileHeader {
  int32_t index = 0;
  int64_t size = 0;
  uint64_t time = 0;
  uint32_t attributes = 0;
};

void EncodeStoredFileHeader(const StoredFileHeader& header, uint8_t out[kStoredFileHeaderSize]);
StoredFileHeader DecodeStoredFileHeader(const uint8_t in[kStoredFileHeaderSize]);

// The name and length texts that precede a stored resource's content.
Str EncodeStoredResourceHead(const Str& name, uint64_t length);
// The content length a stored resource's length text announces; an empty,
// non-numeric or negative text gives 0.
uint64_t StoredResourceLength(const Str& lengthText);

// FILETIME (100 ns ticks since 1601, UTC) from Unix seconds and back.
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds = 0);
int64_t UnixFromFileTime(uint64_t fileTime);

}  // namespace pvx
