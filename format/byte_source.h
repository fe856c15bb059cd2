// A readable, seekable run of bytes: the package file in the runtime, a
// file or a memory buffer in the tool and the tests.
//
// Reads past the end deliver fewer bytes (or none) and never fail hard, so
// a reader can treat "nothing more" as zero bytes the way the package rules
// ask. Positions are absolute from the start of the source.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pvx {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() = 0;
  // Moves to an absolute position; a position beyond the end is allowed and
  // simply yields no bytes.
  virtual bool Seek(uint64_t position) = 0;
  // Returns the number of bytes read: less than n only at the end or on a
  // read error, 0 when nothing is left.
  virtual size_t Read(void* destination, size_t n) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t Size() override { return size_; }
  bool Seek(uint64_t position) override {
    position_ = position;
    return true;
  }
  size_t Read(void* destination, size_t n) override {
    if (position_ >= size_) return 0;
    size_t left = static_cast<size_t>(size_ - position_);
    if (n > left) n = left;
    std::memcpy(destination, data_ + position_, n);
    position_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
};

// Little-endian integer coding shared by every binary structure of the
// package.
inline uint64_t LoadLE(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline void StoreLE(uint8_t* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

}  // namespace pvx
