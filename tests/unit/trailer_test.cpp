#include "format/trailer.h"

#include <gtest/gtest.h>

#include <algorithm>

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


// A setup laid out as signing leaves it: a PE header whose security
// directory points past the package, the trailer, zero padding and a
// certificate table.
struct SignedLayout {
  bool wide = false;           // PE32+ rather than PE32
  unsigned padding = 0;        // zero bytes between trailer and table
  uint32_t tableSize = 24;     // bytes of certificate table in the file
  int64_t offsetShift = 0;     // added to the directory's table offset
  int64_t sizeShift = 0;       // added to the directory's table size
  unsigned after = 0;          // bytes after the table
  unsigned directories = 16;   // the optional header's directory count
  bool pe = true;              // "MZ" and "PE\0\0" present
  bool wraps = false;          // offset 2^32 - 16, size file + 16: the 32-bit sum is the file's length
};

constexpr size_t kPeAt = 0x80;

std::vector<uint8_t> SignedFile(const SignedLayout& l, uint64_t& tableAt) {
  std::vector<uint8_t> file = FileWithTrailer(Valid(), 512);
  if (l.pe) {
    file[0] = 'M', file[1] = 'Z';
    StoreLE(&file[0x3C], kPeAt, 4);
    StoreLE(&file[kPeAt], 0x4550, 4);
  }
  const size_t wide = l.wide ? 16 : 0;
  StoreLE(&file[kPeAt + 24], l.wide ? 0x20B : 0x10B, 2);
  StoreLE(&file[kPeAt + 24 + 92 + wide], l.directories, 4);
  file.insert(file.end(), l.padding, 0);
  tableAt = file.size();
  file.insert(file.end(), l.tableSize, 0x30);
  file.insert(file.end(), l.after, 0x30);
  StoreLE(&file[kPeAt + 24 + 128 + wide], static_cast<uint32_t>(tableAt + l.offsetShift), 4);
  StoreLE(&file[kPeAt + 24 + 132 + wide], static_cast<uint32_t>(l.tableSize + l.sizeShift), 4);
  if (l.wraps) {
    StoreLE(&file[kPeAt + 24 + 128 + wide], 0x100000000ULL - 0x10, 4);
    StoreLE(&file[kPeAt + 24 + 132 + wide], file.size() + 0x10, 4);
  }
  return file;
}

struct EndCase {
  const char* name;
  SignedLayout layout;
  TrailerStatus find;     // FindPackageEnd
  bool atTable;           // the package ends before the padding (else at the file's end)
  TrailerStatus trailer;  // ReadPackageTrailer
};

std::vector<EndCase> EndCases() {
  std::vector<EndCase> cases;
  for (bool wide : {false, true}) {
    for (unsigned padding = 0; padding <= 7; ++padding) {
      SignedLayout l;
      l.wide = wide;
      l.padding = padding;
      cases.push_back({wide ? "PE32+ padding" : "PE32 padding", l, TrailerStatus::Ok, true,
                       TrailerStatus::Ok});
    }
    // Unsigned, or signed and the signature removed again, which leaves
    // the padding at the end.
    SignedLayout none;
    none.wide = wide;
    none.tableSize = 0;
    for (unsigned padding : {0u, 1u, 7u}) {
      none.padding = padding;
      cases.push_back({"no table, padding", none, TrailerStatus::Ok, true, TrailerStatus::Ok});
    }
  }
  SignedLayout l;
  l.padding = 8;  // more than signing ever adds: the trailer's end is zero
  cases.push_back({"eight zero bytes", l, TrailerStatus::Ok, true, TrailerStatus::BadMagic});
  l = SignedLayout();
  l.after = 8;
  cases.push_back({"table not at the end", l, TrailerStatus::BadSecurityDirectory, false,
                   TrailerStatus::BadSecurityDirectory});
  l = SignedLayout();
  l.sizeShift = 8;
  cases.push_back({"table beyond the file", l, TrailerStatus::BadSecurityDirectory, false,
                   TrailerStatus::BadSecurityDirectory});
  l = SignedLayout();
  l.sizeShift = -8;
  cases.push_back({"table ends before the file", l, TrailerStatus::BadSecurityDirectory, false,
                   TrailerStatus::BadSecurityDirectory});
  l = SignedLayout();
  l.tableSize = 4;
  cases.push_back({"table shorter than its header", l, TrailerStatus::BadSecurityDirectory,
                   false, TrailerStatus::BadSecurityDirectory});
  l = SignedLayout();
  l.wraps = true;
  cases.push_back({"offset plus size overflows", l, TrailerStatus::BadSecurityDirectory, false,
                   TrailerStatus::BadSecurityDirectory});
  l = SignedLayout();
  l.offsetShift = -static_cast<int64_t>(512 + kTrailerSize);  // table at 0: inside the headers
  l.sizeShift = 512 + kTrailerSize;
  cases.push_back({"table over the whole file", l, TrailerStatus::BadSecurityDirectory, false,
                   TrailerStatus::BadSecurityDirectory});
  // Not a PE image, or one without a security directory: the file's
  // last bytes are the table's, so no trailer is found.
  l = SignedLayout();
  l.pe = false;
  cases.push_back({"not a PE image", l, TrailerStatus::Ok, false, TrailerStatus::BadMagic});
  l = SignedLayout();
  l.directories = 4;
  cases.push_back({"four data directories", l, TrailerStatus::Ok, false, TrailerStatus::BadMagic});
  return cases;
}

TEST(TrailerTest, PackageEndUnderACertificateTable) {
  for (const EndCase& c : EndCases()) {
    uint64_t tableAt = 0;
    std::vector<uint8_t> file = SignedFile(c.layout, tableAt);
    std::string name = std::string(c.name) + " " + std::to_string(c.layout.padding);
    MemorySource source(file.data(), file.size());
    PackageExtent extent;
    ASSERT_EQ(FindPackageEnd(source, extent), c.find) << name;
    // At most seven zero bytes are padding.
    const uint64_t end = c.atTable ? tableAt - std::min(c.layout.padding, 7u) : file.size();
    const bool isSigned = c.atTable && c.layout.tableSize > 0;
    if (c.find == TrailerStatus::Ok) {
      EXPECT_EQ(extent.end, end) << name;
      EXPECT_EQ(extent.IsSigned(), isSigned) << name;
      if (isSigned) {
        EXPECT_EQ(extent.tableOffset, tableAt) << name;
        EXPECT_EQ(extent.tableSize, c.layout.tableSize) << name;
      }
    }
    PackageTrailer t;
    EXPECT_EQ(ReadPackageTrailer(source, t, extent), c.trailer) << name;
    if (c.trailer == TrailerStatus::Ok) {
      EXPECT_EQ(t.payloadOffset, Valid().payloadOffset) << name;
    }
  }
}

}  // namespace
}  // namespace pvx
