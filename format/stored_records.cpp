#include "format/str.h"
#include "format/stored_records.h"

#include "format/byte_source.h"
#include "format/decimal.h"

namespace pvx {

void EncodeStoredFileHeader(const StoredFileHeader& h, uint8_t out[kStoredFileHeaderSize]) {
  StoreLE(out + 0, static_cast<uint32_t>(h.index), 4);
  StoreLE(out + 4, static_cast<uint64_t>(h.size), 8);
  StoreLE(out + 12, h.time, 8);
  StoreLE(out + 20, h.attributes, 4);
}

StoredFileHeader DecodeStoredFileHeader(const uint8_t in[kStoredFileHeaderSize]) {
  StoredFileHeader h;
  h.index = static_cast<int32_t>(LoadLE(in + 0, 4));
  h.size = static_cast<int64_t>(LoadLE(in + 4, 8));
  h.time = LoadLE(in + 12, 8);
  h.attributes = static_cast<uint32_t>(LoadLE(in + 20, 4));
  return h;
}

Str EncodeStoredResourceHead(const Str& name, uint64_t length) {
  Str out = name;
  out += '\0';
  out += DecimalText(length);
  out += '\0';
  return out;
}

uint64_t StoredResourceLength(const Str& lengthText) {
  int64_t v = DecimalInt64(lengthText);
  return v > 0 ? static_cast<uint64_t>(v) : 0;
}

}  // namespace pvx
