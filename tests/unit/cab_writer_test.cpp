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

namespace pvx {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Exit status and combined output of a shell command.
int RunShell(const std::string& cmd, std::string* output = nullptr) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int status = pclose(p);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
                      const std::string& specialName = "") {
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
};

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
    {"SetStoredManySmall", CabCompression::None, 12000, ManySmall(300), 4, true},
    {"SetStoredNearMinimum", CabCompression::None, 1200, {{3000, 'r'}, {7, 't'}, {2500, 't'}}, 5},
    {"SetOnlyEmptyMembersFitsOnePart", CabCompression::MSZip, 2048, {{0, 't'}, {0, 't'}}, 1},
    {"SetMszipAcrossBatches", CabCompression::MSZip, 256 << 10,
     {{3 << 20, 't'}, {500000, 'r'}, {70000, 't'}}, 2},
};

class CabWriterRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CabWriterRoundTrip, ToolsAndReaderGetTheInputsBack) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  Written w;
  ASSERT_EQ(WriteCase(dir, c.members, c.compression, c.partLength, w, "$inst\\4.tmp"), "");
  const unsigned parts = w.summary.parts;
  ASSERT_GE(parts, c.minParts);
  ASSERT_EQ(w.summary.cabinetLengths.size(), parts);

  // Exact part lengths: the package finds part k at k * partLength.
  uint64_t total = 0;
  unsigned padded = 0;
  for (unsigned k = 0; k < parts; ++k) {
    std::string bytes = ReadFile(w.partPaths[k]);
    if (bytes.size() > 38 && (bytes[30] & 4) && (bytes[36] || bytes[37])) ++padded;
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
    EXPECT_EQ(m.compression, c.compression == CabCompression::MSZip ? "MSZIP" : "none");
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
  for (uint64_t partLength : {uint64_t(0), uint64_t(300000)}) {
    std::vector<std::vector<std::string>> results;
    for (unsigned threads : {1u, 2u, 3u}) {
      CabWriteOptions o;
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
  WriteFile(dir / "big", MakeData(5000, 'r', 9));
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
      {"part length without room for data", {member("0", dir / "big")}, 1024, true, "too small"},
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

  // The first part lists every member, so it must have room for them all.
  std::vector<CabMember> many;
  for (int i = 0; i < 200; ++i) {
    CabMember m;
    m.name = "member-with-a-long-name-" + std::to_string(i);
    m.content = MakeData(100, 'r', uint32_t(i));
    many.push_back(m);
  }
  CabWriteOptions o;
  o.partStoredLength = 4000;
  o.partName = PartName;
  MemoryCabSink sink;
  EXPECT_NE(WriteCabinets(many, o, sink).find("lists all members"), std::string::npos);

  // A failing sink is reported with the part it failed on.
  std::vector<CabMember> one(1);
  one[0].name = "0";
  one[0].content = MakeData(50000, 'r', 1);
  FailingSink failing(1);
  std::string err = WriteCabinets(one, o, failing);
  EXPECT_NE(err.find("part 1"), std::string::npos) << err;
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
