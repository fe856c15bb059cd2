// Cabinets written by CabWriter are checked by tools that share no code with
// it: cabextract (test mode and extraction), gcab, and our libmspack reader,
// also over parts stored back to back without signatures as in a package.

#include "tool/cab_reader.h"
#include "tool/cab_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "tests/unit/test_files.h"

namespace pvx {
namespace {


bool HaveTool(const char* name) {
  return RunShell(std::string("command -v ") + name + " >/dev/null") == 0;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/pvx-cabw-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { RunShell("rm -rf '" + path_ + "'"); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Deterministic test data: 't' compressible text, 'r' random bytes, 'z' zeros.
std::string MakeData(size_t size, char kind, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(size);
  static const char* words[] = {"setup ", "folder ", "cabinet ", "part ", "member ", "data\n",
                                "install ", "Parvolex ", "block ", "window "};
  while (s.size() < size) {
    if (kind == 'r') s.push_back(char(rng() & 0xFF));
    else if (kind == 'z') s.push_back('\0');
    else s += words[rng() % 10];
  }
  s.resize(size);
  return s;
}

struct MemberSpec {
  uint32_t size;
  char kind;
};

std::string PartName(unsigned k) { return "pvx" + std::to_string(k + 1) + ".cab"; }

struct Written {
  std::vector<CabMember> members;
  std::vector<std::string> contents;
  CabWriteSummary summary;
  std::vector<std::string> partPaths;
};

// Writes the members as files in dir/src and the cabinet(s) into dir.
std::string WriteCase(const TempDir& dir, const std::vector<MemberSpec>& specs,
                      CabCompression compression, uint64_t partLength, Written& w,
                      const std::string& specialName = "", unsigned lzxWindow = 21, bool solid = true) {
  mkdir((dir / "src").c_str(), 0755);
  for (size_t i = 0; i < specs.size(); ++i) {
    CabMember m;
    m.name = (i + 1 == specs.size() && !specialName.empty()) ? specialName : std::to_string(i);
    m.sourcePath = dir / ("src/" + std::to_string(i));
    m.attributes = uint16_t(kCabAttrArchive | (i % 3 == 1 ? kCabAttrReadOnly : 0) |
                            (i % 5 == 2 ? kCabAttrHidden | kCabAttrSystem : 0));
    DosDateTimeFromUnix(1700000000 + int64_t(i) * 7919, true, m.dosDate, m.dosTime);
    std::string data = MakeData(specs[i].size, specs[i].kind, uint32_t(i * 7 + 1));
    WriteFile(m.sourcePath, data);
    w.members.push_back(m);
    w.contents.push_back(data);
  }
  CabWriteOptions o;
  o.compression = compression;
  o.lzxWindowBits = lzxWindow;
  o.solid = solid;
  o.partStoredLength = partLength;
  o.partName = PartName;
  o.setId = 0x5056;
  FileCabSink sink([&](unsigned k) { return dir / PartName(k); });
  std::string err = WriteCabinets(w.members, o, sink, &w.summary);
  for (unsigned k = 0; k < w.summary.parts; ++k) w.partPaths.push_back(dir / PartName(k));
  return err;
}

// Member name as cabextract writes it below its output folder.
std::string ExtractedName(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

struct RoundTripCase {
  const char* label;
  CabCompression compression;
  uint64_t partLength;
  std::vector<MemberSpec> members;
  unsigned minParts;
  bool padded = false;  // some part must fill its exact length with header reserve
  // Some member must continue into the next part, and some folder must
  // reach over a whole part into a third (a member listed as 0xFFFF).
  bool spans = false;
  unsigned lzxWindow = 21;
  bool solid = true;
};

// Per part: the iFolder of each CFFILE entry.
std::vector<uint16_t> EntryFolders(const std::string& cab) {
  auto u16 = [&](size_t at) { return uint16_t(uint8_t(cab[at]) | uint8_t(cab[at + 1]) << 8); };
  size_t at = size_t(u16(16)) | size_t(u16(18)) << 16;  // coffFiles
  std::vector<uint16_t> folders;
  for (unsigned i = 0, n = u16(28); i < n && at + 16 < cab.size(); ++i) {
    folders.push_back(u16(at + 8));
    at = cab.find('\0', at + 16) + 1;
  }
  return folders;
}

std::string CompressionName(const RoundTripCase& c) {
  switch (c.compression) {
    case CabCompression::None: return "none";
    case CabCompression::MSZip: return "MSZIP";
    case CabCompression::Lzx: return "LZX:" + std::to_string(c.lzxWindow);
  }
  return "";
}

std::vector<MemberSpec> ManyTiny(unsigned n) {
  std::vector<MemberSpec> v;
  for (unsigned i = 0; i < n; ++i) v.push_back({i % 20, i % 3 ? 't' : 'r'});
  return v;
}

// Members of 90 to 150 KB, text and random by turns: over 4 MiB, so that the
// LZX encoder has run batches ahead of the layout when a part ends a folder.
std::vector<MemberSpec> MixedMedium(unsigned n) {
  std::vector<MemberSpec> v;
  for (unsigned i = 0; i < n; ++i) v.push_back({90000 + (i * 7919) % 60000, i % 3 ? 'r' : 't'});
  return v;
}

std::vector<MemberSpec> ManySmall(unsigned n) {
  std::vector<MemberSpec> v;
  for (unsigned i = 0; i < n; ++i) v.push_back({(i * 37) % 300, i % 2 ? 'r' : 't'});
  return v;
}

const RoundTripCase kRoundTrips[] = {
    {"SingleStored", CabCompression::None, 0,
     {{0, 't'}, {1, 't'}, {5, 'r'}, {32768, 'r'}, {65536, 't'}, {98304, 'z'}, {100000, 'r'}}, 1},
    {"SingleMszip", CabCompression::MSZip, 0,
     {{0, 't'}, {1, 't'}, {5, 'r'}, {32768, 'r'}, {65536, 't'}, {98304, 'z'}, {100000, 'r'}}, 1},
    {"SingleOnlyEmptyMembers", CabCompression::MSZip, 0, {{0, 't'}, {0, 't'}, {0, 't'}}, 1},
    {"SingleManySmall", CabCompression::MSZip, 0, ManySmall(2000), 1},
    {"SetStoredMemberSpansManyParts", CabCompression::None, 4096,
     {{10, 't'}, {20000, 'r'}, {0, 't'}, {3, 't'}}, 5},
    {"SetMszipRandomSpansManyParts", CabCompression::MSZip, 8192,
     {{100, 't'}, {70000, 'r'}, {0, 'z'}, {3, 't'}}, 8},
    {"SetMszipBlockMultiples", CabCompression::MSZip, 20000,
     {{32768, 't'}, {65536, 'r'}, {32768, 'r'}, {131072, 't'}, {0, 't'}}, 6},
    {"SetStoredBlockMultiples", CabCompression::None, 30000,
     {{32768, 'r'}, {65536, 'z'}, {0, 't'}, {32768, 't'}}, 5},
    {"SetMszipManySmall", CabCompression::MSZip, 16384, ManySmall(400), 3},
    {"SetStoredManySmall", CabCompression::None, 3000, ManySmall(300), 4, true},
    {"SetMixedSmallParts", CabCompression::MSZip, 1024,
     {{0, 't'}, {1, 'r'}, {1000, 't'}, {32768, 'r'}, {40000, 't'}, {9000, 'r'}}, 20},
    {"SetEmptyMembersAfterAContinuedFolder", CabCompression::MSZip, 9000,
     {{0, 't'}, {50000, 'r'}, {0, 't'}, {0, 'z'}}, 5},
    {"SetStoredNearMinimum", CabCompression::None, 1200, {{3000, 'r'}, {7, 't'}, {2500, 't'}}, 5},
    {"SetOnlyEmptyMembersFitsOnePart", CabCompression::MSZip, 2048, {{0, 't'}, {0, 't'}}, 1},
    {"SetMszipAcrossBatches", CabCompression::MSZip, 256 << 10,
     {{3 << 20, 't'}, {500000, 'r'}, {70000, 't'}}, 2},
    // LZX: a solid folder ends after the member crossing each boundary, and
    // the next folder's stream starts with the member after it.
    {"SetLzxSolidFolderSpansManyParts", CabCompression::Lzx, 16384,
     {{10, 't'}, {200000, 'r'}, {0, 't'}, {3, 't'}, {50000, 't'}, {40000, 'r'}}, 12, false, true},
    {"SetLzxSolidManySmall", CabCompression::Lzx, 16384, ManySmall(400), 2, false, false, 16},
    {"SetLzxSolidBlockMultiples", CabCompression::Lzx, 20000,
     {{32768, 'r'}, {65536, 'r'}, {0, 't'}, {32768, 'r'}, {131072, 't'}, {0, 'z'}}, 6, false, true, 15},
    {"SetLzxSolidEmptyMembersAfterAContinuedFolder", CabCompression::Lzx, 9000,
     {{0, 't'}, {50000, 'r'}, {0, 't'}, {0, 'z'}}, 5, false, true, 18},
    {"SetLzxSolidSmallParts", CabCompression::Lzx, 1024,
     {{0, 't'}, {1, 'r'}, {1000, 't'}, {32768, 'r'}, {40000, 't'}, {9000, 'r'}}, 20, false, true, 17},
    {"SetLzxSolidRewindsBatchesAhead", CabCompression::Lzx, 256 << 10, MixedMedium(60), 12},
    // More entries in one frame than a part holds: folders end inside frames.
    {"SetLzxSolidTinyMembersInSmallParts", CabCompression::Lzx, 4096, ManyTiny(3000), 15},
    {"SetLzxTinyMembersEachInItsFolder", CabCompression::Lzx, 2048, ManyTiny(600), 15, false, false, 16,
     false},
    {"SetLzxFolderPerMember", CabCompression::Lzx, 8192,
     {{100, 't'}, {70000, 'r'}, {0, 'z'}, {3, 't'}, {30000, 't'}}, 8, false, true, 16, false},
};

class CabWriterRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CabWriterRoundTrip, ToolsAndReaderGetTheInputsBack) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  Written w;
  ASSERT_EQ(WriteCase(dir, c.members, c.compression, c.partLength, w, "$inst\\4.tmp", c.lzxWindow, c.solid), "");
  const unsigned parts = w.summary.parts;
  ASSERT_GE(parts, c.minParts);
  ASSERT_EQ(w.summary.cabinetLengths.size(), parts);

  // Exact part lengths: the package finds part k at k * partLength.
  uint64_t total = 0;
  unsigned padded = 0, continued = 0, throughWholeParts = 0;
  for (unsigned k = 0; k < parts; ++k) {
    std::string bytes = ReadFile(w.partPaths[k]);
    if (bytes.size() > 38 && (bytes[30] & 4) && (bytes[36] || bytes[37])) ++padded;
    for (uint16_t f : EntryFolders(bytes)) {
      continued += f >= 0xFFFD;
      throughWholeParts += f == 0xFFFF;
    }
    EXPECT_EQ(bytes.size(), w.summary.cabinetLengths[k]);
    EXPECT_EQ(bytes.substr(0, 4), "MSCF");
    if (c.partLength && k + 1 < parts) {
      EXPECT_EQ(bytes.size(), c.partLength + 4) << "part " << k;
    }
    if (c.partLength) {
      EXPECT_LE(bytes.size(), c.partLength + 4);
    }
    total += bytes.size();
  }
  EXPECT_EQ(w.summary.bytesWritten, total);
  if (c.padded) {
    EXPECT_GT(padded, 0u);
  }
  if (c.spans) {
    EXPECT_GT(continued, 0u);
    EXPECT_GT(throughWholeParts, 0u);
  }
  EXPECT_FALSE(Exists(dir / PartName(parts)));

  if (HaveTool("cabextract")) {
    std::string out;
    EXPECT_EQ(RunShell("cabextract -t '" + w.partPaths[0] + "'", &out), 0) << out;
    EXPECT_NE(out.find("All done, no errors."), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(RunShell("cabextract -q -d '" + (dir / "cx") + "' '" + w.partPaths[0] + "'", &out), 0) << out;
    for (size_t i = 0; i < w.members.size(); ++i)
      EXPECT_TRUE(ReadFile(dir / ("cx/" + ExtractedName(w.members[i].name))) == w.contents[i])
          << "member " << w.members[i].name;
    std::string count;
    RunShell("find '" + (dir / "cx") + "' -type f | wc -l", &count);
    EXPECT_EQ(std::stoul(count), w.members.size());
  } else {
    std::cout << "cabextract not installed: tool checks skipped\n";
  }

  if (parts == 1 && HaveTool("gcab")) {
    std::string out;
    EXPECT_EQ(RunShell("gcab -l '" + w.partPaths[0] + "'", &out), 0) << out;
    for (const CabMember& m : w.members) EXPECT_NE(out.find(m.name), std::string::npos) << m.name;
  }

  // Our reader, from the part files.
  std::vector<CabPartSource> sources;
  for (const std::string& p : w.partPaths) sources.push_back({p, 0, kCabPartToEnd, false});
  std::vector<CabMemberInfo> listed;
  ASSERT_EQ(ListCabinetSet(sources, listed), "");
  ASSERT_EQ(listed.size(), w.members.size());
  std::map<std::string, size_t> byName;
  for (size_t i = 0; i < w.members.size(); ++i) byName[w.members[i].name] = i;
  for (const CabMemberInfo& m : listed) {
    ASSERT_TRUE(byName.count(m.name)) << m.name;
    const CabMember& in = w.members[byName[m.name]];
    EXPECT_EQ(m.size, w.contents[byName[m.name]].size());
    EXPECT_EQ(m.attributes, in.attributes) << m.name;
    EXPECT_EQ(m.dosDate, in.dosDate) << m.name;
    EXPECT_EQ(m.dosTime, in.dosTime) << m.name;
    EXPECT_EQ(m.compression, CompressionName(c));
  }

  // ... and from one package file holding the parts without signatures,
  // with bytes of other data around them.
  std::string package(77, 'P');
  for (const std::string& p : w.partPaths) package += ReadFile(p).substr(4);
  package += std::string(33, 'T');
  WriteFile(dir / "package.bin", package);
  std::vector<CabPartSource> ranges;
  for (unsigned k = 0; k < parts; ++k) {
    CabPartSource s;
    s.path = dir / "package.bin";
    s.offset = 77 + k * c.partLength;
    s.storedLength = k + 1 < parts ? c.partLength : kCabPartToEnd;
    s.signatureMissing = true;
    ranges.push_back(s);
  }
  for (const auto* set : {&sources, &ranges}) {
    mkdir((dir / "ours").c_str(), 0755);
    std::string err = ExtractCabinetSet(*set, [&](const CabMemberInfo& m) {
      return dir / ("ours/" + std::to_string(byName[m.name]));
    });
    ASSERT_EQ(err, "");
    for (size_t i = 0; i < w.members.size(); ++i)
      EXPECT_TRUE(ReadFile(dir / ("ours/" + std::to_string(i))) == w.contents[i]) << "member " << i;
    RunShell("rm -rf '" + (dir / "ours") + "'");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CabWriterRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CabWriter, ThreadCountDoesNotChangeTheBytes) {
  std::vector<CabMember> members;
  for (int i = 0; i < 4; ++i) {
    CabMember m;
    m.name = std::to_string(i);
    m.content = MakeData(i == 1 ? (2 << 20) + 12345 : 70000, i == 2 ? 'r' : 't', uint32_t(i));
    members.push_back(m);
  }
  for (CabCompression compression : {CabCompression::MSZip, CabCompression::Lzx}) {
    for (uint64_t partLength : {uint64_t(0), uint64_t(300000), uint64_t(20000)}) {
      std::vector<std::vector<std::string>> results;
      for (unsigned threads : {1u, 2u, 3u}) {
        CabWriteOptions o;
        o.compression = compression;
        o.lzxWindowBits = 16;
        o.threads = threads;
        o.partStoredLength = partLength;
        o.partName = PartName;
        MemoryCabSink sink;
        ASSERT_EQ(WriteCabinets(members, o, sink), "");
        results.push_back(sink.parts);
      }
      EXPECT_TRUE(results[0] == results[1]) << "partLength " << partLength;
      EXPECT_TRUE(results[0] == results[2]) << "partLength " << partLength;
    }
  }
}

TEST(CabWriter, MemorySinkAndOmittedSignature) {
  std::vector<CabMember> members(2);
  members[0].name = "$inst\\4.tmp";
  members[0].content = MakeData(90000, 't', 5);
  members[1].name = "1";
  members[1].content = MakeData(40000, 'r', 6);
  CabWriteOptions o;
  o.partStoredLength = 8000;
  o.partName = PartName;
  MemoryCabSink full, bare;
  CabWriteSummary s1, s2;
  ASSERT_EQ(WriteCabinets(members, o, full, &s1), "");
  o.omitSignature = true;
  ASSERT_EQ(WriteCabinets(members, o, bare, &s2), "");
  ASSERT_EQ(full.parts.size(), bare.parts.size());
  EXPECT_EQ(bare.ended, bare.parts.size());
  EXPECT_EQ(s1.bytesWritten, s2.bytesWritten + 4 * full.parts.size());
  for (size_t k = 0; k < full.parts.size(); ++k) {
    EXPECT_EQ(full.parts[k].substr(4), bare.parts[k]);
    if (k + 1 < bare.parts.size()) {
      EXPECT_EQ(bare.parts[k].size(), 8000u);
    }
  }

  std::string single;
  ASSERT_EQ(WriteSingleCabinetToMemory(members, o, single), "");
  EXPECT_EQ(single.substr(0, 4), "MSCF");
  TempDir dir;
  WriteFile(dir / "r.cab", single);
  std::vector<CabMemberInfo> listed;
  ASSERT_EQ(ListCabinetSet({{dir / "r.cab", 0, kCabPartToEnd, false}}, listed), "");
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "$inst\\4.tmp");
}

TEST(CabWriter, ProgressCoversTheInput) {
  std::vector<CabMember> members(3);
  uint64_t total = 0;
  for (int i = 0; i < 3; ++i) {
    members[i].name = std::to_string(i);
    members[i].content = MakeData(size_t(1500000 * i + 7), 't', uint32_t(i));
    total += members[i].content->size();
  }
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  CabWriteOptions o;
  o.progress = [&](uint64_t done, uint64_t all) { calls.push_back({done, all}); };
  MemoryCabSink sink;
  ASSERT_EQ(WriteCabinets(members, o, sink), "");
  ASSERT_GE(calls.size(), 2u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].second, total);
    if (i) {
      EXPECT_GE(calls[i].first, calls[i - 1].first);
    }
  }
  EXPECT_EQ(calls.back().first, total);
}

class FailingSink : public CabSink {
 public:
  explicit FailingSink(unsigned failPart) : failPart_(failPart) {}
  bool Write(unsigned part, const void*, size_t) override { return part != failPart_; }
  bool EndPart(unsigned) override { return true; }

 private:
  unsigned failPart_;
};

TEST(CabWriter, RefusesWhatItCannotWrite) {
  TempDir dir;
  WriteFile(dir / "ok", "data");
  // A sparse file one byte over the 32-bit member size limit.
  {
    FILE* f = fopen((dir / "huge").c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), off_t(0x100000000ll)), 0);
    fclose(f);
    f = fopen((dir / "gib").c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), off_t(1) << 30), 0);
    fclose(f);
  }
  auto member = [&](const std::string& name, const std::string& path) {
    CabMember m;
    m.name = name;
    m.sourcePath = path;
    return m;
  };
  struct Case {
    const char* label;
    std::vector<CabMember> members;
    uint64_t partLength;
    bool partNames;
    const char* expected;  // part of the error text
  };
  const Case cases[] = {
      {"missing source", {member("0", dir / "ok"), member("1", dir / "nope")}, 0, true, "nope"},
      {"directory as source", {member("0", dir.path())}, 0, true, "not a regular file"},
      {"member over 4 GiB - 1", {member("0", dir / "huge")}, 0, true, "larger than 4 GiB - 1"},
      {"folder over 0x7FFF8000 bytes", {member("0", dir / "gib"), member("1", dir / "gib")}, 0, true,
       "limit of one cabinet folder"},
      {"no members", {}, 0, true, "no members"},
      {"empty name", {member("", dir / "ok")}, 0, true, "1 to 255 bytes"},
      {"name too long", {member(std::string(256, 'n'), dir / "ok")}, 0, true, "1 to 255 bytes"},
      {"part length below minimum", {member("0", dir / "ok")}, 1000, true, "too small"},
      {"set without part names", {member("0", dir / "ok")}, 4096, false, "part name"},
  };
  for (const Case& c : cases) {
    CabWriteOptions o;
    o.partStoredLength = c.partLength;
    if (c.partNames) o.partName = PartName;
    MemoryCabSink sink;
    std::string err = WriteCabinets(c.members, o, sink);
    EXPECT_NE(err.find(c.expected), std::string::npos) << c.label << ": " << err;
    EXPECT_TRUE(sink.parts.empty()) << c.label;
  }

  // Part names and a member name so long that a part continuing the member
  // has no room left for data; found before anything is written.
  std::vector<CabMember> longName(1);
  longName[0].name = std::string(255, 'm');
  longName[0].content = MakeData(5000, 'r', 9);
  CabWriteOptions o;
  o.partStoredLength = 1024;
  o.partName = [](unsigned k) { return std::string(250, 'p') + std::to_string(k); };
  MemoryCabSink sink;
  std::string err = WriteCabinets(longName, o, sink);
  EXPECT_NE(err.find("too small for part 1"), std::string::npos) << err;
  EXPECT_TRUE(sink.parts.empty());

  // A failing sink is reported with the part it failed on.
  std::vector<CabMember> one(1);
  one[0].name = "0";
  one[0].content = MakeData(50000, 'r', 1);
  o.partStoredLength = 4000;
  o.partName = PartName;
  FailingSink failing(1);
  err = WriteCabinets(one, o, failing);
  EXPECT_NE(err.find("part 1"), std::string::npos) << err;
}

// What one cabinet of a set says about itself, read back field by field.
struct ParsedCabinet {
  struct Piece {
    uint16_t cbData, cbUncomp;
  };
  struct Entry {
    std::string name;
    uint32_t size, uoff;
    uint16_t folder;
  };
  uint16_t flags = 0;
  std::vector<std::vector<Piece>> folders;
  std::vector<Entry> entries;
};

bool IsFromPrev(uint16_t f) { return f == 0xFFFD || f == 0xFFFF; }
bool IsToNext(uint16_t f) { return f == 0xFFFE || f == 0xFFFF; }

::testing::AssertionResult ParseCabinet(const std::string& b, ParsedCabinet& c) {
  auto u8 = [&](size_t at) -> uint32_t { return at < b.size() ? uint8_t(b[at]) : 0; };
  auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  auto str = [&](size_t& at) {
    size_t end = b.find('\0', at);
    std::string v = b.substr(at, end - at);
    at = end + 1;
    return v;
  };
  if (b.size() < 36 || b.compare(0, 4, "MSCF") != 0) return ::testing::AssertionFailure() << "no header";
  if (u32(8) != b.size()) return ::testing::AssertionFailure() << "cbCabinet " << u32(8);
  unsigned nFolders = u16(26), nFiles = u16(28);
  c.flags = uint16_t(u16(30));
  size_t at = 36;
  if (c.flags & 4) {
    if (u8(38) || u8(39)) return ::testing::AssertionFailure() << "folder or data reserve";
    at += 4 + u16(36);
  }
  for (int field = 0; field < ((c.flags & 1) ? 2 : 0) + ((c.flags & 2) ? 2 : 0); ++field) str(at);
  for (unsigned f = 0; f < nFolders; ++f, at += 8) {
    std::vector<ParsedCabinet::Piece> pieces;
    size_t d = u32(at);
    for (unsigned k = 0; k < u16(at + 4); ++k) {
      pieces.push_back({uint16_t(u16(d + 4)), uint16_t(u16(d + 6))});
      d += 8 + u16(d + 4);
      if (d > b.size()) return ::testing::AssertionFailure() << "data past the end";
    }
    c.folders.push_back(pieces);
  }
  if (at != u32(16)) return ::testing::AssertionFailure() << "coffFiles " << u32(16);
  for (unsigned i = 0; i < nFiles; ++i) {
    ParsedCabinet::Entry e;
    e.size = u32(at);
    e.uoff = u32(at + 4);
    e.folder = uint16_t(u16(at + 8));
    at += 16;
    e.name = str(at);
    c.entries.push_back(e);
  }
  return ::testing::AssertionSuccess();
}

// The layout the system's FDI and libmspack both extract, each member once.
// Checked on the cabinets' own fields, then by extraction.
TEST(CabWriter, EachCabinetListsItsMembersTheConventionalWay) {
  struct Case {
    const char* label;
    CabCompression compression;
    uint64_t partLength;
    std::vector<MemberSpec> members;
    size_t nameLength;  // 0: names "0", "1", ...
  };
  const std::vector<MemberSpec> mixed = {{0, 't'}, {1, 'r'}, {1000, 't'}, {32768, 'r'},
                                         {300000, 'r'}, {70001, 't'}, {0, 'z'}};
  const Case cases[] = {
      {"mixed 20000", CabCompression::MSZip, 20000, mixed, 0},
      {"mixed stored 5000", CabCompression::None, 5000, mixed, 0},
      {"mixed 1024", CabCompression::MSZip, 1024, mixed, 0},
      {"mixed 65536", CabCompression::None, 65536, mixed, 0},
      {"many small", CabCompression::MSZip, 4000, ManySmall(400), 0},
      {"long names", CabCompression::None, 4000, ManySmall(200), 120},
      {"empty members at the ends", CabCompression::None, 7000,
       {{0, 't'}, {0, 't'}, {30000, 'r'}, {0, 't'}, {0, 't'}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<CabMember> members;
    for (size_t i = 0; i < c.members.size(); ++i) {
      CabMember m;
      m.name = std::to_string(i);
      if (c.nameLength) m.name = std::string(c.nameLength - m.name.size(), 'n') + m.name;
      m.content = MakeData(c.members[i].size, c.members[i].kind, uint32_t(i + 3));
      members.push_back(m);
    }
    CabWriteOptions o;
    o.compression = c.compression;
    o.partStoredLength = c.partLength;
    o.partName = PartName;
    MemoryCabSink sink;
    ASSERT_EQ(WriteCabinets(members, o, sink), "");
    const size_t parts = sink.parts.size();
    ASSERT_GE(parts, 2u);

    std::map<std::string, int> home;  // listings other than continued ones
    std::vector<std::string> toNext;  // of the previous cabinet
    for (size_t k = 0; k < parts; ++k) {
      SCOPED_TRACE("part " + std::to_string(k));
      ParsedCabinet cab;
      ASSERT_TRUE(ParseCabinet(sink.parts[k], cab));
      const bool last = k + 1 == parts;
      EXPECT_EQ(cab.flags, (k ? 1 : 0) | (last ? 0 : 2) | 4);
      ASSERT_GE(cab.folders.size(), 1u);
      ASSERT_LE(cab.folders.size(), 2u);

      // Continued members first: exactly those the previous cabinet sent on.
      std::vector<std::string> fromPrev, sends;
      size_t i = 0;
      for (; i < cab.entries.size() && IsFromPrev(cab.entries[i].folder); ++i)
        fromPrev.push_back(cab.entries[i].name);
      EXPECT_EQ(fromPrev, toNext);
      // They go on again exactly when their folder does.
      const bool continuedGoesOn = !fromPrev.empty() && cab.folders.size() == 1 && !last;
      for (size_t j = 0; j < fromPrev.size(); ++j)
        EXPECT_EQ(cab.entries[j].folder, continuedGoesOn ? 0xFFFF : 0xFFFD) << fromPrev[j];
      // A continued folder holds nothing that begins in it. A member begun
      // here is sent on exactly when whole blocks here do not hold it all:
      // FDI looks for it in the next cabinet when it needs the block that
      // crosses over.
      const unsigned firstNew = fromPrev.empty() ? 0 : 1;
      uint64_t whole = 0;
      if (firstNew < cab.folders.size())
        for (const auto& piece : cab.folders[firstNew]) whole += piece.cbUncomp;
      bool sending = false;
      for (; i < cab.entries.size(); ++i) {
        const auto& e = cab.entries[i];
        EXPECT_FALSE(IsFromPrev(e.folder)) << e.name;
        ++home[e.name];
        bool beyond = e.size ? e.uoff + e.size > whole : e.uoff >= whole;
        EXPECT_EQ(e.folder == 0xFFFE, beyond && !last) << e.name;
        if (e.folder == 0xFFFE) {
          sending = true;
        } else {
          EXPECT_FALSE(sending) << e.name << " listed after a member sent on";
          EXPECT_GE(e.folder, firstNew) << e.name;
          EXPECT_LT(e.folder, cab.folders.size()) << e.name;
        }
      }
      for (const auto& e : cab.entries)
        if (IsToNext(e.folder)) sends.push_back(e.name);

      // Every part but the last ends inside a block, which FDI follows into
      // the next cabinet only with a member to look for there.
      const auto& lastFolder = cab.folders.back();
      for (size_t f = 0; f < cab.folders.size(); ++f)
        for (size_t d = 0; d < cab.folders[f].size(); ++d) {
          bool end = f + 1 == cab.folders.size() && d + 1 == cab.folders[f].size();
          EXPECT_EQ(cab.folders[f][d].cbUncomp == 0, end && !last) << "folder " << f << " block " << d;
        }
      if (!last) {
        EXPECT_FALSE(lastFolder.empty());
        EXPECT_FALSE(sends.empty());
      } else {
        EXPECT_TRUE(sends.empty());
      }
      toNext = sends;
    }
    EXPECT_EQ(home.size(), members.size());
    for (const auto& [name, count] : home) EXPECT_EQ(count, 1) << name;

    TempDir dir;
    std::vector<CabPartSource> sources;
    for (size_t k = 0; k < parts; ++k) {
      WriteFile(dir / PartName(unsigned(k)), sink.parts[k]);
      sources.push_back({dir / PartName(unsigned(k)), 0, kCabPartToEnd, false});
    }
    if (HaveTool("cabextract")) {
      std::string out;
      EXPECT_EQ(RunShell("cabextract -t '" + sources[0].path + "'", &out), 0) << out;
      EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    }
    std::map<std::string, std::string> got;
    ASSERT_EQ(ExtractCabinetSet(sources, [&](const CabMemberInfo& m) {
                got[m.name] = dir / ("x" + std::to_string(got.size()));
                return got[m.name];
              }),
              "");
    ASSERT_EQ(got.size(), members.size());
    for (const CabMember& m : members) EXPECT_TRUE(ReadFile(got[m.name]) == *m.content) << m.name;
  }
}

TEST(CabWriter, DosDateTime) {
  struct Case {
    int64_t t;
    bool utc;
    const char* tz;
    uint16_t date, time;
  };
  const Case cases[] = {
      {0, true, nullptr, 0x0021, 0},                           // before 1980: clamped
      {-5000000000ll, true, nullptr, 0x0021, 0},
      {315532800, true, nullptr, 0x0021, 0},                   // 1980-01-01 00:00:00
      {315532801, true, nullptr, 0x0021, 0},                   // 2-second resolution
      {1709214359, true, nullptr, (44 << 9) | (2 << 5) | 29, (13 << 11) | (45 << 5) | 29},
      {4354819200ll, true, nullptr, (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},
      {315550800, false, "EST5", 0x0021, 0},                   // 05:00 UTC is midnight in EST
      {1709214359, false, "EST5", (44 << 9) | (2 << 5) | 29, (8 << 11) | (45 << 5) | 29},
  };
  std::string oldTz = getenv("TZ") ? getenv("TZ") : "";
  bool hadTz = getenv("TZ") != nullptr;
  for (const Case& c : cases) {
    if (c.tz) setenv("TZ", c.tz, 1);
    tzset();
    uint16_t d = 1, t = 1;
    DosDateTimeFromUnix(c.t, c.utc, d, t);
    EXPECT_EQ(d, c.date) << c.t;
    EXPECT_EQ(t, c.time) << c.t;
    if (hadTz) setenv("TZ", oldTz.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
}

}  // namespace
}  // namespace pvx
