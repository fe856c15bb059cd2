// LZX cabinets written by our encoder are read back by decoders that share
// no code with it: libmspack (through our cabinet reader) and cabextract,
// which must both return every member byte for byte.

#include "tool/cab_reader.h"
#include "tool/cab_writer.h"
#include "tool/lzx_encoder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>

#include "tests/unit/test_files.h"

namespace pvx {
namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/pvx-lzx-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { RunShell("rm -rf '" + path_ + "'"); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

const char* const kPeDirs[] = {"/usr/lib/i386-linux-gnu/wine/i386-windows/", "/usr/lib/wine/i386-windows/"};

// A real 32-bit PE file of the machine, or empty when there is none.
std::string RealPe(const char* name) {
  for (const char* d : kPeDirs) {
    std::string s = ReadFile(std::string(d) + name);
    if (!s.empty()) return s;
  }
  return {};
}

// Deterministic inputs by kind:
//   r random, t text, z zeros, u runs of one byte longer than 257,
//   f far repeats (a block repeated just inside the window's reach),
//   x x86 code (a real PE file, repeated or cut to size)
std::string Make(char kind, size_t size, uint32_t seed, unsigned windowBits = 21) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(size);
  static const char* words[] = {"setup ", "folder ", "cabinet ", "part ", "member ", "data\n",
                                "install ", "Parvolex ", "block ", "window ", "Uninstall ", "%s\\%s "};
  switch (kind) {
    case 'r':
      while (s.size() < size) s.push_back(char(rng()));
      break;
    case 't':
      while (s.size() < size) s += words[rng() % 12];
      break;
    case 'z':
      s.assign(size, '\0');
      break;
    case 'u':
      while (s.size() < size) s.append(258 + rng() % 2000, char(rng()));
      break;
    case 'f': {
      // 300 random bytes, then filler, then the same 300 bytes exactly
      // window - 3 bytes later (the farthest a match may reach), repeated.
      const size_t reach = (size_t(1) << windowBits) - 3;
      while (s.size() < size) {
        size_t at = s.size();
        for (int i = 0; i < 300; ++i) s.push_back(char(rng()));
        while (s.size() < at + reach) s.push_back(char('a' + rng() % 3));
        s += s.substr(at, 300);
      }
      break;
    }
    case 'x': {
      std::string pe = RealPe("kernel32.dll") + RealPe("comctl32.dll");
      if (pe.empty()) return {};
      while (s.size() < size) s += pe;
      break;
    }
  }
  s.resize(size);
  return s;
}

struct Member {
  char kind;
  size_t size;
};

struct LzxCase {
  const char* label;
  unsigned windowBits;
  std::vector<Member> members;
  bool solid = true;
  unsigned solidFolders = 2;
  unsigned passes = 1;
};

const LzxCase kCases[] = {
    {"Empty", 21, {{'t', 0}}},
    {"OneByte", 21, {{'t', 1}}},
    {"ExactlyOneFrame", 21, {{'t', 32768}}},
    {"ExactlyTwoFrames", 16, {{'t', 65536}}},
    {"FramePlusOneByte", 21, {{'r', 32769}}},
    {"RandomIsStoredInUncompressedBlocks", 17, {{'r', 300000}}},
    {"Text", 15, {{'t', 400000}}},
    {"Zeros", 21, {{'z', 1 << 20}}},
    {"RunsLongerThanTheLongestMatch", 18, {{'u', 500000}}},
    {"OffsetsAtTheWindowsEnd", 15, {{'f', 200000}}},
    {"OffsetsAtTheWindowsEnd17", 17, {{'f', 600000}}},
    {"X86Code", 21, {{'x', 3000000}}},
    {"MembersCrossFrames", 16,
     {{'t', 1}, {'r', 40000}, {'t', 0}, {'t', 32767}, {'x', 70000}, {'z', 5}, {'t', 98304}, {'t', 0}}},
    {"MixedKindsInOneBlockRun", 19, {{'t', 100000}, {'r', 100000}, {'t', 100000}, {'z', 100000}, {'x', 200000}}},
    {"X86CodeParsedTwice", 20, {{'x', 1 << 20}, {'t', 70000}}, true, 2, 2},
    {"FolderPerMember", 21, {{'t', 5000}, {'t', 0}, {'x', 100000}, {'r', 40000}, {'t', 0}}, false},
    {"TwoSolidFoldersOver20MiB", 21, {{'x', 9 << 20}, {'t', 1 << 20}, {'x', 6 << 20}, {'r', 1 << 20}, {'x', 3 << 20}}},
};

class LzxRoundTrip : public ::testing::TestWithParam<LzxCase> {};

TEST_P(LzxRoundTrip, LibmspackAndCabextractReturnTheMembers) {
  const LzxCase& c = GetParam();
  TempDir dir;
  mkdir((dir / "src").c_str(), 0755);
  std::vector<CabMember> members;
  std::vector<std::string> contents;
  for (size_t i = 0; i < c.members.size(); ++i) {
    std::string data = Make(c.members[i].kind, c.members[i].size, uint32_t(i + 1), c.windowBits);
    if (c.members[i].kind == 'x' && data.empty()) GTEST_SKIP() << "no 32-bit PE files on this machine";
    CabMember m;
    m.name = "m" + std::to_string(i);
    m.sourcePath = dir / ("src/" + m.name);
    WriteFile(m.sourcePath, data);
    members.push_back(m);
    contents.push_back(data);
  }
  CabWriteOptions o;
  o.compression = CabCompression::Lzx;
  o.lzxWindowBits = c.windowBits;
  o.solid = c.solid;
  o.lzxSolidFolders = c.solidFolders;
  o.lzxPasses = c.passes;
  std::string cab;
  ASSERT_EQ(WriteSingleCabinetToMemory(members, o, cab), "");
  WriteFile(dir / "t.cab", cab);

  // Our reader (libmspack) names the method and the member bytes.
  std::vector<CabMemberInfo> listed;
  ASSERT_EQ(ListCabinetSet({{dir / "t.cab"}}, listed), "");
  ASSERT_EQ(listed.size(), members.size());
  std::map<std::string, unsigned> folders;
  for (const CabMemberInfo& m : listed) {
    EXPECT_EQ(m.compression, "LZX:" + std::to_string(c.windowBits));
    folders[m.name] = m.folder;
  }
  mkdir((dir / "out").c_str(), 0755);
  ASSERT_EQ(ExtractCabinetSet({{dir / "t.cab"}},
                              [&](const CabMemberInfo& m) { return dir / ("out/" + m.name); }),
            "");
  for (size_t i = 0; i < members.size(); ++i)
    EXPECT_TRUE(ReadFile(dir / ("out/" + members[i].name)) == contents[i]) << members[i].name;

  // cabextract, on its own.
  std::string log;
  ASSERT_EQ(RunShell("cabextract -q -d '" + (dir / "cx") + "' '" + (dir / "t.cab") + "'", &log), 0) << log;
  for (size_t i = 0; i < members.size(); ++i)
    EXPECT_TRUE(ReadFile(dir / ("cx/" + members[i].name)) == contents[i]) << members[i].name;

  // Compressible inputs must come out smaller than they went in.
  size_t total = 0;
  for (const std::string& s : contents) total += s.size();
  if (total > 100000 && c.members[0].kind != 'r') {
    EXPECT_LT(cab.size(), total * 3 / 4);
  }
  if (!c.solid) {
    unsigned withData = 0;
    for (const Member& m : c.members) withData += m.size > 0;
    std::map<unsigned, int> distinct;
    for (size_t i = 0; i < members.size(); ++i)
      if (c.members[i].size) distinct[folders[members[i].name]]++;
    EXPECT_EQ(distinct.size(), withData);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LzxRoundTrip, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LzxCase>& i) { return std::string(i.param.label); });

// What the encoder decides for a kind of input, seen in its counts.
struct ChoiceCase {
  const char* label;
  char kind;
  size_t size;
  bool e8;
  bool raw;  // uncompressed blocks only
};

const ChoiceCase kChoices[] = {
    {"RandomIsStoredRaw", 'r', 200000, false, true},
    {"TextIsCompressedWithoutTranslation", 't', 200000, false, false},
    {"X86CodeIsTranslated", 'x', 1 << 20, true, false},
};

TEST(LzxEncoder, ChoosesBlocksAndTranslationByTheInput) {
  for (const ChoiceCase& c : kChoices) {
    SCOPED_TRACE(c.label);
    std::string data = Make(c.kind, c.size, 7);
    if (data.empty()) continue;  // no PE files here
    LzxStats st;
    std::vector<std::string> frames = LzxCompress(data.data(), data.size(), LzxOptions(), &st);
    EXPECT_EQ(st.frames, (c.size + kLzxFrameSize - 1) / kLzxFrameSize);
    EXPECT_EQ(frames.size(), st.frames);
    EXPECT_EQ(st.e8, c.e8);
    // What a set's writer asks before its first folder: the same choice.
    EXPECT_EQ(LzxAutoCallTranslation(reinterpret_cast<const uint8_t*>(data.data()), data.size()), c.e8);
    if (c.raw) {
      EXPECT_EQ(st.verbatimBlocks + st.alignedBlocks, 0u);
    } else {
      EXPECT_EQ(st.uncompressedBlocks, 0u);
      EXPECT_GT(st.verbatimBlocks + st.alignedBlocks, 0u);
    }
    for (const std::string& f : frames) {
      EXPECT_LE(f.size(), kLzxMaxFrameBytes);
      EXPECT_EQ(f.size() % 2, 0u);  // every frame ends on a 16-bit boundary
    }
  }
}

TEST(LzxEncoder, ThreadCountDoesNotChangeTheCabinet) {
  std::vector<CabMember> members;
  for (int i = 0; i < 5; ++i) {
    CabMember m;
    m.name = std::to_string(i);
    m.content = Make("txrzt"[i], 50000 + 30000 * size_t(i), uint32_t(i));
    members.push_back(m);
  }
  CabWriteOptions o;
  o.compression = CabCompression::Lzx;
  o.solid = false;
  std::string one, three;
  o.threads = 1;
  ASSERT_EQ(WriteSingleCabinetToMemory(members, o, one), "");
  o.threads = 3;
  ASSERT_EQ(WriteSingleCabinetToMemory(members, o, three), "");
  EXPECT_TRUE(one == three);
}

TEST(LzxEncoder, CabinetWriterRefusesWhatItCannotWrite) {
  TempDir dir;
  WriteFile(dir / "ok", std::string(100000, 'a'));
  auto member = [&](const std::string& name, const std::string& path) {
    CabMember m;
    m.name = name;
    m.sourcePath = path;
    return m;
  };
  struct Case {
    const char* label;
    unsigned window;
    uint64_t partLength;
    std::vector<CabMember> members;
    const char* expected;  // part of the error text
    bool solid = false;
  };
  const Case cases[] = {
      {"window below 15", 14, 0, {member("0", dir / "ok")}, "LZX window 14 is not within 15..21"},
      {"window above 21", 22, 0, {member("0", dir / "ok")}, "LZX window 22 is not within 15..21"},
      // Read by a compressing thread: its error still names the file.
      {"missing source in the second folder", 21, 0, {member("0", dir / "ok"), member("1", dir / "nope")},
       "nope"},
      // Read as the layout of a set reaches it.
      {"missing source in a solid set", 21, 4096, {member("0", dir / "ok"), member("1", dir / "nope")}, "nope",
       true},
  };
  for (const Case& c : cases) {
    CabWriteOptions o;
    o.compression = CabCompression::Lzx;
    o.lzxWindowBits = c.window;
    o.solid = c.solid;
    o.partStoredLength = c.partLength;
    o.partName = [](unsigned k) { return "p" + std::to_string(k); };
    MemoryCabSink sink;
    std::string err = WriteCabinets(c.members, o, sink);
    EXPECT_NE(err.find(c.expected), std::string::npos) << c.label << ": " << err;
    EXPECT_TRUE(sink.parts.empty()) << c.label;
  }
}

// A stream ended early by EndAt is the stream of the shorter input, however
// far the encoder had gone past that end, and keeps the frames before its
// last restart point as they were.
TEST(LzxEncoder, EndAtGivesTheStreamOfTheShorterInput) {
  std::string data;
  for (int i = 0; i < 6; ++i) data += Make("trz"[i % 3], 250000, uint32_t(i));
  const uint64_t all = data.size();
  struct Case {
    const char* label;
    uint64_t written;  // input written before EndAt, one batch at a time
    uint64_t end;
    uint64_t released;  // passed to Release before EndAt
    bool rewinds;       // frames already handed over are encoded again
  };
  // Batches of 8 frames: written whole, the first 1,310,720 bytes are encoded.
  const Case cases[] = {
      {"before the first frame's end", all, 1000, 0, true},
      {"on a frame boundary", all, 3 * 32768, 0, true},
      {"inside an earlier batch", all, 600000, 0, true},
      {"inside the last batch encoded", all, 1200000, 0, true},
      {"after a release", all, 1200000, 1 << 20, true},
      {"after the encoded batches", all, all - 100, 0, false},
      {"beyond what was written", 1 << 20, 1400000, 0, false},
      {"before any batch was encoded", 200000, 70000, 0, false},
  };
  LzxOptions opt;
  opt.windowBits = 16;
  opt.e8 = LzxCallTranslation::Off;
  opt.batchFrames = 8;
  opt.expectedSize = data.size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> frames;
    LzxOptions ro = opt;
    ro.rewindable = true;
    LzxEncoder enc(ro, [&](const uint8_t* p, size_t n, uint32_t) {
      frames.emplace_back(reinterpret_cast<const char*>(p), n);
    });
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (uint64_t at = 0; at < c.written; at += 8 * kLzxFrameSize)
      enc.Write(bytes + at, size_t(std::min<uint64_t>(8 * kLzxFrameSize, c.written - at)));
    if (c.released) enc.Release(c.released);
    const std::vector<std::string> before = frames;
    const size_t kept = enc.EndAt(c.end);
    ASSERT_LE(kept, frames.size());
    EXPECT_EQ(kept < frames.size(), c.rewinds);
    frames.resize(kept);
    if (c.end > c.written) enc.Write(bytes + c.written, size_t(c.end - c.written));
    enc.Finish();

    std::vector<std::string> expected = LzxCompress(data.data(), size_t(c.end), opt);
    ASSERT_EQ(frames.size(), expected.size());
    EXPECT_TRUE(frames == expected);
    for (size_t i = 0; i < kept; ++i) EXPECT_TRUE(frames[i] == before[i]) << "frame " << i;
  }
}

}  // namespace
}  // namespace pvx
