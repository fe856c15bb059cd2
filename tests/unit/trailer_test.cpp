#include "format/trailer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pvx {
namespace {

std::vector<uint8_t> FileWithTrailer(const PackageTrailer& t, size_t before = 64) {
  std::vector<uint8_t> file(before, 0xAA);
  uint8_t bytes[kTrailerSize];
  EncodeTrailer(t, bytes);
  file.insert(file.end(), bytes, bytes + kTrailerSize);
  return file;
}

TEST(TrailerTest, ExampleOfTheFormatReadsExactly) {
  // script 112,640, resource length 13,510, resource 118,519, payload
  // 132,029, then 0x01 0x04 0x78 0xF1.
  uint8_t bytes[kTrailerSize] = {};
  StoreLE(bytes + 0, 112640, 8);
  StoreLE(bytes + 8, 13510, 8);
  StoreLE(bytes + 16, 118519, 8);
  StoreLE(bytes + 24, 132029, 8);
  bytes[32] = 0x01, bytes[33] = 0x04, bytes[34] = 0x78, bytes[35] = 0xF1;
  std::vector<uint8_t> file(200000, 0);
  std::copy(bytes, bytes + kTrailerSize, file.end() - kTrailerSize);
  MemorySource source(file.data(), file.size());
  PackageTrailer t;
  ASSERT_EQ(ReadPackageTrailer(source, t), TrailerStatus::Ok);
  EXPECT_EQ(t.scriptOffset, 112640);
  EXPECT_EQ(t.resourceLength, 13510);
  EXPECT_EQ(t.resourceOffset, 118519);
  EXPECT_EQ(t.payloadOffset, 132029);
  EXPECT_TRUE(t.IsCabinetForm());
  EXPECT_EQ(t.resourceCount, 4);
  EXPECT_EQ(t.headerLastIndex + 1, 121);
}

TEST(TrailerTest, EncodeDecodeRoundTrip) {
  PackageTrailer t;
  t.scriptOffset = 0x12345678;
  t.resourceLength = 1;
  t.resourceOffset = 0x7FFFFFFF;
  t.payloadOffset = 99;
  t.form = 0;
  t.resourceCount = 255;
  t.headerLastIndex = 0;
  uint8_t bytes[kTrailerSize];
  EncodeTrailer(t, bytes);
  PackageTrailer back = DecodeTrailer(bytes);
  EXPECT_EQ(back.scriptOffset, t.scriptOffset);
  EXPECT_EQ(back.resourceLength, t.resourceLength);
  EXPECT_EQ(back.resourceOffset, t.resourceOffset);
  EXPECT_EQ(back.payloadOffset, t.payloadOffset);
  EXPECT_EQ(back.form, 0);
  EXPECT_FALSE(back.IsCabinetForm());
  EXPECT_EQ(back.resourceCount, 255);
  EXPECT_EQ(back.headerLastIndex, 0);
}

struct TrailerCase {
  const char* name;
  void (*damage)(std::vector<uint8_t>& file);
  TrailerStatus expected;
};

PackageTrailer Valid() {
  PackageTrailer t;
  t.scriptOffset = 10;
  t.resourceOffset = 20;
  t.payloadOffset = 30;
  return t;
}

void SetOffset(std::vector<uint8_t>& file, int at, int64_t v) {
  StoreLE(file.data() + file.size() - kTrailerSize + at, static_cast<uint64_t>(v), 8);
}

const TrailerCase kCases[] = {
    {"valid", [](std::vector<uint8_t>&) {}, TrailerStatus::Ok},
    {"last byte 0xF0", [](std::vector<uint8_t>& f) { f.back() = 0xF0; }, TrailerStatus::BadMagic},
    {"35 bytes", [](std::vector<uint8_t>& f) { f.erase(f.begin(), f.end() - 35); },
     TrailerStatus::TooShort},
    {"empty file", [](std::vector<uint8_t>& f) { f.clear(); }, TrailerStatus::TooShort},
    {"exactly 36 bytes", [](std::vector<uint8_t>& f) { f.erase(f.begin(), f.end() - 36); },
     TrailerStatus::Ok},
    {"script offset 2 GiB", [](std::vector<uint8_t>& f) { SetOffset(f, 0, 0x80000000LL); },
     TrailerStatus::OffsetTooLarge},
    {"resource length 2 GiB", [](std::vector<uint8_t>& f) { SetOffset(f, 8, 0x80000000LL); },
     TrailerStatus::OffsetTooLarge},
    {"resource offset huge", [](std::vector<uint8_t>& f) { SetOffset(f, 16, 1LL << 40); },
     TrailerStatus::OffsetTooLarge},
    {"payload offset negative", [](std::vector<uint8_t>& f) { SetOffset(f, 24, -1); },
     TrailerStatus::OffsetTooLarge},
    {"payload offset just below 2 GiB", [](std::vector<uint8_t>& f) { SetOffset(f, 24, 0x7FFFFFFF); },
     TrailerStatus::Ok},
    {"offsets beyond the file are allowed", [](std::vector<uint8_t>& f) { SetOffset(f, 0, 1 << 30); },
     TrailerStatus::Ok},
};

TEST(TrailerTest, Validation) {
  for (const TrailerCase& c : kCases) {
    std::vector<uint8_t> file = FileWithTrailer(Valid());
    c.damage(file);
    MemorySource source(file.data(), file.size());
    PackageTrailer t;
    EXPECT_EQ(ReadPackageTrailer(source, t), c.expected) << c.name;
  }
}

TEST(TrailerTest, FormTwoIsTheCabinetForm) {
  PackageTrailer t = Valid();
  t.form = 2;
  std::vector<uint8_t> file = FileWithTrailer(t);
  MemorySource source(file.data(), file.size());
  PackageTrailer back;
  ASSERT_EQ(ReadPackageTrailer(source, back), TrailerStatus::Ok);
  EXPECT_TRUE(back.IsCabinetForm());
}

}  // namespace
}  // namespace pvx
