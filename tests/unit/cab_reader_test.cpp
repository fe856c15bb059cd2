// The reader against cabinets made by other tools (tests/data/cabs): valid
// ones must list and extract as cabextract extracts them, damaged and
// hostile ones must be refused without crashing, hanging or writing
// anywhere but the destinations we hand out.

#include "tool/cab_reader.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include "tests/unit/test_files.h"

namespace pvx {
namespace {


bool HaveTool(const char* name) { return RunShell(std::string("command -v ") + name + " >/dev/null") == 0; }

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/pvx-cabr-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { RunShell("rm -rf '" + path_ + "'"); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Every regular file below dir, relative to it.
std::set<std::string> FilesBelow(const std::string& dir, const std::string& prefix = "") {
  std::set<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (!d) return out;
  for (dirent* e; (e = readdir(d));) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string full = dir + "/" + n;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      for (const std::string& f : FilesBelow(full, prefix + n + "/")) out.insert(f);
    } else {
      out.insert(prefix + n);
    }
  }
  closedir(d);
  return out;
}

// tests/data/cabs, found from the environment, the build's source dir, or
// by walking up from the working directory or the test binary.
std::string FixtureDir() {
  const char* env = getenv("PVX_CAB_FIXTURES");
  if (env && *env) return env;
  std::vector<std::string> starts;
#ifdef PVX_TEST_DATA
  if (Exists(std::string(PVX_TEST_DATA) + "/cabs/mszip_lzx_qtm.cab")) return std::string(PVX_TEST_DATA) + "/cabs";
#endif
#ifdef PVX_SOURCE_DIR
  starts.push_back(PVX_SOURCE_DIR);
#endif
  char buf[4096];
  if (getcwd(buf, sizeof buf)) starts.push_back(buf);
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) starts.push_back(std::string(buf, size_t(n)));
  for (std::string dir : starts) {
    for (int up = 0; up < 8 && !dir.empty(); ++up) {
      std::string candidate = dir + "/tests/data/cabs";
      if (Exists(candidate + "/mszip_lzx_qtm.cab")) return candidate;
      size_t slash = dir.rfind('/');
      dir = slash == std::string::npos || slash == 0 ? "" : dir.substr(0, slash);
    }
  }
  return "";
}

std::string Fixture(const std::string& name) { return FixtureDir() + "/" + name; }

// Runs f on a thread and aborts the whole test binary if it does not return
// in time: a hang must fail loudly, not stall the run.
template <class F>
auto WithinDeadline(const std::string& what, F f) -> decltype(f()) {
  std::packaged_task<decltype(f())()> task(std::move(f));
  auto result = task.get_future();
  std::thread(std::move(task)).detach();
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    fprintf(stderr, "%s did not finish within 60 s: the reader hangs\n", what.c_str());
    std::_Exit(3);
  }
  return result.get();
}

CabPartSource WholeFile(const std::string& path) { return {path, 0, kCabPartToEnd, false}; }

std::vector<CabPartSource> MultiBasicParts() {
  std::vector<CabPartSource> parts;
  for (int i = 1; i <= 5; ++i)
    parts.push_back(WholeFile(Fixture("cabd_multi_basic_pt" + std::to_string(i) + ".cab")));
  return parts;
}

class CabReaderFixtures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FixtureDir().empty()) GTEST_FAIL() << "tests/data/cabs not found; set PVX_CAB_FIXTURES";
  }
};

struct ValidCase {
  const char* label;
  std::vector<std::string> parts;
  std::vector<std::string> names;
  std::vector<std::string> methods;
};

const ValidCase kValid[] = {
    {"MszipLzxQuantum", {"mszip_lzx_qtm.cab"}, {"mszip.txt", "lzx.txt", "qtm.txt"}, {"MSZIP", "LZX:18", "Quantum:18"}},
    {"TwoFilesOneFolder", {"normal_2files_1folder.cab"}, {"hello.c", "welcome.c"}, {"none", "none"}},
    {"TwoFolders", {"normal_2files_2folders.cab"}, {"mszip1.txt", "mszip2.txt", "lzx1.txt", "lzx2.txt"}, {"MSZIP", "MSZIP", "LZX:18", "LZX:18"}},
    {"LongName", {"normal_255c_filename.cab"}, {std::string(250, '?')}, {"none"}},
    {"Reserve---", {"reserve_---.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"Reserve--D", {"reserve_--D.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"Reserve-F-", {"reserve_-F-.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"Reserve-FD", {"reserve_-FD.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"ReserveH--", {"reserve_H--.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"ReserveH-D", {"reserve_H-D.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"ReserveHF-", {"reserve_HF-.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"ReserveHFD", {"reserve_HFD.cab"}, {"test1.txt", "test2.txt"}, {"none", "none"}},
    {"MultiBasicSet",
     {"cabd_multi_basic_pt1.cab", "cabd_multi_basic_pt2.cab", "cabd_multi_basic_pt3.cab",
      "cabd_multi_basic_pt4.cab", "cabd_multi_basic_pt5.cab"},
     {"test1.txt", "test2.txt", "test3.txt"},
     {"none", "none", "none"}},
};

class CabReaderValid : public ::testing::TestWithParam<ValidCase> {};

TEST_P(CabReaderValid, ListsAndExtractsLikeCabextract) {
  const ValidCase& c = GetParam();
  ASSERT_FALSE(FixtureDir().empty()) << "tests/data/cabs not found; set PVX_CAB_FIXTURES";
  std::vector<CabPartSource> parts;
  for (const std::string& p : c.parts) parts.push_back(WholeFile(Fixture(p)));

  std::vector<CabMemberInfo> listed;
  ASSERT_EQ(ListCabinetSet(parts, listed), "");
  ASSERT_EQ(listed.size(), c.names.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    if (c.names[i][0] != '?') {
      EXPECT_EQ(listed[i].name, c.names[i]);
    } else {
      EXPECT_GE(listed[i].name.size(), c.names[i].size());
    }
    EXPECT_EQ(listed[i].compression, c.methods[i]) << listed[i].name;
  }

  TempDir dir;
  mkdir((dir / "ours").c_str(), 0755);
  std::string err = ExtractCabinetSet(parts, [&](const CabMemberInfo& m) {
    return dir / ("ours/" + m.name);
  });
  ASSERT_EQ(err, "");
  std::set<std::string> ours = FilesBelow(dir / "ours");
  EXPECT_EQ(ours.size(), listed.size());
  for (const CabMemberInfo& m : listed)
    EXPECT_EQ(ReadFile(dir / ("ours/" + m.name)).size(), m.size) << m.name;

  if (!HaveTool("cabextract")) {
    std::cout << "cabextract not installed: comparison skipped\n";
    return;
  }
  std::string out;
  ASSERT_EQ(RunShell("cabextract -q -d '" + (dir / "cx") + "' '" + Fixture(c.parts[0]) + "'", &out), 0) << out;
  EXPECT_EQ(FilesBelow(dir / "cx"), ours);
  for (const std::string& f : ours)
    EXPECT_TRUE(ReadFile(dir / ("cx/" + f)) == ReadFile(dir / ("ours/" + f))) << f;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CabReaderValid, ::testing::ValuesIn(kValid),
                         [](const auto& info) {
                           std::string s = info.param.label;
                           for (char& ch : s)
                             if (ch == '-') ch = '_';
                           return s;
                         });

// Damaged and hostile cabinets. Each must be refused (when opened or when
// extracted); the few listed as partial extract their intact members.
struct DamagedCase {
  const char* file;
  std::vector<std::string> intact;  // members still extracted
};

const DamagedCase kDamaged[] = {
    {"bad_folderindex.cab", {}},
    {"bad_nofiles.cab", {}},
    {"bad_nofolders.cab", {}},
    {"bad_signature.cab", {}},
    {"cve-2010-2800-mszip-infinite-loop.cab", {}},
    {"cve-2014-9556-qtm-infinite-loop.cab", {}},
    {"cve-2014-9732-folders-segfault.cab", {"1", "3"}},
    {"cve-2015-4470-mszip-over-read.cab", {}},
    {"cve-2015-4471-lzx-under-read.cab", {}},
    {"cve-2017-11423-fname-overread.cab", {}},
    {"cve-2018-18584-qtm-max-size-block.cab", {}},
    {"filename-read-violation-1.cab", {}},
    {"filename-read-violation-2.cab", {}},
    {"filename-read-violation-3.cab", {}},
    {"filename-read-violation-4.cab", {}},
    {"hidden-file-bad-folderid.cab", {}},
    {"hidden-file-beyond-eof.cab", {}},
    {"lzx-main-tree-no-lengths.cab", {}},
    {"lzx-premature-matches.cab", {}},
    {"partial_nodata.cab", {}},
    {"partial_nofiles.cab", {}},
    {"partial_nofolder.cab", {}},
    {"partial_shortextheader.cab", {}},
    {"partial_shortfile1.cab", {}},
    {"partial_shortfile2.cab", {}},
    {"partial_shortfolder.cab", {}},
    {"partial_shortheader.cab", {}},
    {"partial_str_nofname.cab", {}},
    {"partial_str_noninfo.cab", {}},
    {"partial_str_nonname.cab", {}},
    {"partial_str_nopinfo.cab", {}},
    {"partial_str_nopname.cab", {}},
    {"partial_str_shortfname.cab", {}},
    {"partial_str_shortninfo.cab", {}},
    {"partial_str_shortnname.cab", {}},
    {"partial_str_shortpinfo.cab", {}},
    {"partial_str_shortpname.cab", {}},
};

class CabReaderDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(CabReaderDamaged, RefusedCleanly) {
  const DamagedCase& c = GetParam();
  ASSERT_FALSE(FixtureDir().empty()) << "tests/data/cabs not found; set PVX_CAB_FIXTURES";
  TempDir dir;
  mkdir((dir / "out").c_str(), 0755);
  // Read the fixture from inside a package as well, signature stripped.
  std::string bytes = ReadFile(Fixture(c.file));
  ASSERT_FALSE(bytes.empty());
  const bool hasSignature = bytes.compare(0, 4, "MSCF") == 0;
  WriteFile(dir / "package.bin", "HEAD" + (hasSignature ? bytes.substr(4) : bytes) + "TAIL");
  const std::vector<std::vector<CabPartSource>> variants = {
      {WholeFile(Fixture(c.file))},
      {{dir / "package.bin", 4, hasSignature ? bytes.size() - 4 : bytes.size(), hasSignature}},
  };
  for (const auto& parts : variants) {
    std::vector<std::string> handedOut;
    std::string err = WithinDeadline(c.file, [&] {
      std::vector<CabMemberInfo> listed;
      std::string e = ListCabinetSet(parts, listed);
      if (!e.empty()) return e;
      return ExtractCabinetSet(parts, [&](const CabMemberInfo&) {
        handedOut.push_back("out/" + std::to_string(handedOut.size()));
        return dir / handedOut.back();
      });
    });
    EXPECT_NE(err, "") << c.file << " was accepted";
    // Only destinations we handed out may exist, and only intact members.
    std::set<std::string> written = FilesBelow(dir.path());
    written.erase("package.bin");
    EXPECT_EQ(written.size(), c.intact.size()) << c.file;
    for (const std::string& f : written)
      EXPECT_NE(std::find(handedOut.begin(), handedOut.end(), f), handedOut.end()) << f;
    RunShell("rm -rf '" + (dir / "out") + "'/*");
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CabReaderDamaged, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) {
                           std::string s = info.param.file;
                           for (char& ch : s)
                             if (!isalnum((unsigned char)ch)) ch = '_';
                           return s;
                         });

TEST_F(CabReaderFixtures, PartialExtractionNamesTheBrokenMember) {
  TempDir dir;
  std::vector<std::string> extracted;
  std::string err = ExtractCabinetSet({WholeFile(Fixture("cve-2014-9732-folders-segfault.cab"))},
                                      [&](const CabMemberInfo& m) {
                                        extracted.push_back(m.name);
                                        return dir / m.name;
                                      });
  EXPECT_NE(err.find("member '2'"), std::string::npos) << err;
  EXPECT_TRUE(Exists(dir / "1"));
  EXPECT_FALSE(Exists(dir / "2"));  // the failed output is removed again
  EXPECT_TRUE(Exists(dir / "3"));
}

TEST_F(CabReaderFixtures, HiddenFilesAreNotListed) {
  std::vector<CabMemberInfo> listed;
  ASSERT_EQ(ListCabinetSet({WholeFile(Fixture("hidden-files.cab"))}, listed), "");
  for (const CabMemberInfo& m : listed) EXPECT_EQ(m.name.rfind("normal", 0), 0u) << m.name;
}

TEST_F(CabReaderFixtures, SetFromChainFromFilesAndFromPackageRanges) {
  std::vector<CabPartSource> chain;
  ASSERT_EQ(CabinetChainFromFile(Fixture("cabd_multi_basic_pt1.cab"), chain), "");
  ASSERT_EQ(chain.size(), 5u);

  // The parts back to back in one file, without signatures, between other bytes.
  TempDir dir;
  std::string package = "0123456789";
  std::vector<CabPartSource> ranges;
  for (const CabPartSource& p : MultiBasicParts()) {
    std::string bytes = ReadFile(p.path);
    ranges.push_back({dir / "package.bin", package.size(), bytes.size() - 4, true});
    package += bytes.substr(4);
  }
  package += "trailer";
  WriteFile(dir / "package.bin", package);
  ranges.back().storedLength = kCabPartToEnd;  // bounded by its own cbCabinet

  std::string expected;
  for (const auto& parts : {chain, MultiBasicParts(), ranges}) {
    std::string out;
    std::string err = ExtractCabinetSet(parts, [&](const CabMemberInfo& m) {
      return m.name == "test2.txt" ? dir / "t2" : std::string();  // skip the others
    });
    ASSERT_EQ(err, "");
    out = ReadFile(dir / "t2");
    EXPECT_EQ(out, "This is the data from cabinet part 3.\n");
    EXPECT_FALSE(Exists(dir / "test1.txt"));
    unlink((dir / "t2").c_str());
  }
}

TEST_F(CabReaderFixtures, RefusesBadSetsAndRanges) {
  TempDir dir;
  const std::string one = Fixture("normal_2files_1folder.cab");
  const uint64_t oneSize = ReadFile(one).size();
  auto parts = MultiBasicParts();
  auto without = [](std::vector<CabPartSource> v, size_t i) {
    v.erase(v.begin() + long(i));
    return v;
  };
  auto swapped = parts;
  std::swap(swapped[1], swapped[2]);
  struct Case {
    const char* label;
    std::vector<CabPartSource> parts;
    const char* expected;
  };
  const Case cases[] = {
      {"last part missing", without(parts, 4), "continues in cabinet"},
      {"first part missing", without(parts, 0), "continues cabinet"},
      {"parts out of order", swapped, "does not belong"},
      {"lone middle part", {parts[2]}, "continues"},
      {"unrelated cabinet appended", {WholeFile(one), WholeFile(one)}, "not a continuation"},
      {"no parts", {}, "no cabinet"},
      {"missing file", {WholeFile(dir / "nope.cab")}, "nope.cab"},
      {"offset beyond the end", {{one, oneSize + 1, kCabPartToEnd, false}}, "beyond the end"},
      {"range beyond the end", {{one, 10, oneSize, false}}, "remain in the file"},
      {"range cutting the cabinet short", {{one, 0, 60, false}}, "part 0"},
      {"signature where none is missing", {{one, 0, kCabPartToEnd, true}}, "part 0"},
  };
  for (const Case& c : cases) {
    std::vector<CabMemberInfo> listed;
    std::string err = WithinDeadline(c.label, [&] { return ListCabinetSet(c.parts, listed); });
    EXPECT_NE(err.find(c.expected), std::string::npos) << c.label << ": " << err;
  }
}

TEST_F(CabReaderFixtures, ChainNamesLeavingTheFolderAreRefused) {
  TempDir dir;
  for (int i = 1; i <= 5; ++i) {
    std::string n = "cabd_multi_basic_pt" + std::to_string(i) + ".cab";
    WriteFile(dir / n, ReadFile(Fixture(n)));
  }
  std::string first = ReadFile(dir / "cabd_multi_basic_pt1.cab");
  size_t at = first.find("cabd_multi_basic_pt2.cab");
  ASSERT_NE(at, std::string::npos);
  first.replace(at, 24, "../../../../../etc/pwned");
  WriteFile(dir / "cabd_multi_basic_pt1.cab", first);
  std::vector<CabPartSource> chain;
  std::string err = CabinetChainFromFile(dir / "cabd_multi_basic_pt1.cab", chain);
  EXPECT_NE(err.find("outside its folder"), std::string::npos) << err;

  // A successor whose name differs only in case is still found.
  WriteFile(dir / "cabd_multi_basic_pt1.cab", ReadFile(Fixture("cabd_multi_basic_pt1.cab")));
  ASSERT_EQ(rename((dir / "cabd_multi_basic_pt3.cab").c_str(), (dir / "CABD_Multi_Basic_PT3.cab").c_str()), 0);
  ASSERT_EQ(CabinetChainFromFile(dir / "cabd_multi_basic_pt1.cab", chain), "");
  ASSERT_EQ(chain.size(), 5u);
  EXPECT_EQ(chain[2].path, dir / "CABD_Multi_Basic_PT3.cab");
  std::vector<CabMemberInfo> listed;
  EXPECT_EQ(ListCabinetSet(chain, listed), "");

  // A chain must start at the first part.
  EXPECT_NE(CabinetChainFromFile(dir / "cabd_multi_basic_pt2.cab", chain).find("not the first"),
            std::string::npos);
}

TEST_F(CabReaderFixtures, NeverOverwritesTheCabinetItReads) {
  TempDir dir;
  WriteFile(dir / "a.cab", ReadFile(Fixture("normal_2files_1folder.cab")));
  const std::string before = ReadFile(dir / "a.cab");
  std::string err = ExtractCabinetSet({WholeFile(dir / "a.cab")},
                                      [&](const CabMemberInfo&) { return dir / "a.cab"; });
  EXPECT_NE(err.find("being read"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(dir / "a.cab"), before);
}

TEST(CabReader, SafeRelativeMemberPath) {
  struct Case {
    const char* name;
    bool ok;
    const char* path;
  };
  const Case cases[] = {
      {"0", true, "0"},
      {"$inst\\4.tmp", true, "$inst/4.tmp"},
      {"a/b\\c.txt", true, "a/b/c.txt"},
      {"a\\.\\b", true, "a/b"},
      {"a\\\\b", true, "a/b"},
      {"..foo\\bar..", true, "..foo/bar.."},
      {"", false, ""},
      {".", false, ""},
      {"\\windows\\system32", false, ""},
      {"/etc/passwd", false, ""},
      {"C:\\autoexec.bat", false, ""},
      {"c:relative", false, ""},
      {"file:stream", false, ""},
      {"..\\evil", false, ""},
      {"a\\..\\..\\evil", false, ""},
      {"a/../b", false, ""},
      {"..", false, ""},
      {"dir\\", false, ""},
      {"\\\\server\\share\\x", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "junk";
    EXPECT_EQ(SafeRelativeMemberPath(c.name, out), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(out, c.path) << c.name;
    }
  }
}

TEST(CabReader, MemberNameUtf8) {
  CabMemberInfo m;
  m.name = "caf\xE9.txt";
  EXPECT_EQ(MemberNameUtf8(m), "caf\xC3\xA9.txt");
  m.attributes = 0x80;
  m.name = "caf\xC3\xA9.txt";
  EXPECT_EQ(MemberNameUtf8(m), "caf\xC3\xA9.txt");
}

}  // namespace
}  // namespace pvx
