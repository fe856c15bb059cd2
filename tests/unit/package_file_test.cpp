#include "tool/package_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/stored_records.h"
#include "tests/unit/tool_test_util.h"
#include "tool/commands.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

std::string Cab(const std::string& name) {
  std::ifstream in(std::string(PVX_TEST_DATA) + "/cabs/" + name, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A package put together by hand: runtime, script, areas, trailer.
std::string Package(SetupScript script, const std::string& resources, const std::string& payload, uint8_t form,
                     uint8_t resourceCount) {
  if (script.header.empty()) script.header.assign(121, "0");
  std::string bytes = test::FakeRuntime();
  PackageTrailer t;
  t.scriptOffset = static_cast<int64_t>(bytes.size());
  bytes += EncodeScript(script);
  t.resourceOffset = static_cast<int64_t>(bytes.size());
  t.resourceLength = static_cast<int64_t>(resources.size());
  bytes += resources;
  t.payloadOffset = static_cast<int64_t>(bytes.size());
  bytes += payload;
  t.form = form;
  t.resourceCount = resourceCount;
  t.headerLastIndex = static_cast<uint8_t>(script.header.size() - 1);
  uint8_t trailer[kTrailerSize];
  EncodeTrailer(t, trailer);
  bytes.append(reinterpret_cast<const char*>(trailer), kTrailerSize);
  return bytes;
}

// A cabinet form package whose both areas are the given cabinet.
std::string ForeignCabinetPackage(const std::string& cab) {
  std::string stored = cab.size() >= 4 ? cab.substr(4) : std::string();
  SetupScript s;
  s.header.assign(121, "0");
  s.header[field::kPartLength] = DecimalText(static_cast<uint64_t>(stored.size()));
  s.header[field::kLastPartNumber] = "0";
  s.header[field::kLastPartLength] = DecimalText(static_cast<uint64_t>(stored.size()));
  return Package(s, stored, stored, 1, 1);
}

void ExpectNothingOutside(const ScratchDir& dir, const std::string& allowedTop) {
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == allowedTop || name == "setup.exe") << "written outside: " << e.path();
  }
}

TEST(ForeignCabinets, ValidCabinetsOfOtherToolsListAndExtract) {
  struct Case {
    const char* file;
    size_t members;
    std::set<std::string> compressions;
  };
  const Case cases[] = {
      {"normal_2files_1folder.cab", 2, {}},
      {"normal_2files_2folders.cab", 4, {}},
      {"mszip_lzx_qtm.cab", 3, {"MSZIP", "LZX:18", "Quantum:18"}},
      {"normal_255c_filename.cab", 1, {}},
      {"reserve_HFD.cab", 2, {}},
      {"reserve_---.cab", 2, {}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("setup.exe", ForeignCabinetPackage(Cab(c.file)));
    PackageFile p(dir / "setup.exe");
    std::vector<ResourceMember> resources = p.Resources();
    std::vector<PayloadMember> payload = p.Payload();
    EXPECT_EQ(resources.size(), c.members) << c.file;
    ASSERT_EQ(payload.size(), c.members) << c.file;
    std::set<std::string> seen;
    for (auto& m : payload) seen.insert(m.compression);
    for (auto& want : c.compressions) EXPECT_TRUE(seen.count(want)) << c.file << " " << want;
    EXPECT_EQ(RunExtract(dir / "setup.exe", dir / "out"), 0) << c.file;
    for (auto& m : payload) {
      std::string rel;
      ASSERT_TRUE(SafeRelativeMemberPath(m.name, rel));
      EXPECT_EQ(std::filesystem::file_size(dir / ("out/payload/" + rel)), m.size) << c.file << " " << m.name;
    }
    ExpectNothingOutside(dir, "out");
  }
}

TEST(ForeignCabinets, DamagedOrHostileCabinetsAreRefusedCleanly) {
  const char* files[] = {
      "bad_folderindex.cab", "bad_nofiles.cab", "bad_nofolders.cab", "bad_signature.cab",
      "cve-2010-2800-mszip-infinite-loop.cab", "cve-2014-9556-qtm-infinite-loop.cab",
      "cve-2014-9732-folders-segfault.cab", "cve-2015-4470-mszip-over-read.cab",
      "cve-2015-4471-lzx-under-read.cab", "cve-2017-11423-fname-overread.cab",
      "cve-2018-18584-qtm-max-size-block.cab", "filename-read-violation-1.cab", "filename-read-violation-2.cab",
      "filename-read-violation-3.cab", "filename-read-violation-4.cab", "hidden-file-bad-folderid.cab",
      "hidden-file-beyond-eof.cab", "lzx-main-tree-no-lengths.cab", "lzx-premature-matches.cab",
      "partial_nodata.cab", "partial_nofiles.cab", "partial_nofolder.cab", "partial_shortextheader.cab",
      "partial_shortfile1.cab", "partial_shortfile2.cab", "partial_shortfolder.cab", "partial_shortheader.cab",
      "partial_str_nofname.cab", "partial_str_noninfo.cab", "partial_str_nonname.cab", "partial_str_nopinfo.cab",
      "partial_str_nopname.cab", "partial_str_shortfname.cab", "partial_str_shortninfo.cab",
      "partial_str_shortnname.cab", "partial_str_shortpinfo.cab", "partial_str_shortpname.cab",
  };
  for (const char* file : files) {
    ScratchDir dir;
    dir.Write("setup.exe", ForeignCabinetPackage(Cab(file)));
    // Either refused outright or extracted in part with the problem named;
    // never a crash or a hang, and nothing outside the folder.
    int rc = RunExtract(dir / "setup.exe", dir / "out");
    EXPECT_TRUE(rc == 0 || rc == 1) << file;
    ExpectNothingOutside(dir, "out");
    PackageFile p(dir / "setup.exe");
    try {
      p.Payload();
    } catch (const PackageError& e) {
      EXPECT_NE(std::string(e.what()), "") << file;
    }
  }
}

TEST(DamagedPackages, ClearErrorsAndNoOverreach) {
  SetupScript files;
  files.header.assign(121, "0");
  files.header[field::kFileCount] = "2";
  auto record = [](int32_t index, int64_t size, const std::string& content) {
    StoredFileHeader h;
    h.index = index;
    h.size = size;
    uint8_t b[kStoredFileHeaderSize];
    EncodeStoredFileHeader(h, b);
    return std::string(reinterpret_cast<char*>(b), sizeof b) + content;
  };
  SetupScript hugeParts;
  hugeParts.header.assign(121, "0");
  hugeParts.header[field::kLastPartNumber] = "2000000000";
  hugeParts.header[field::kPartLength] = "40";
  hugeParts.header[field::kLastPartLength] = "40";
  SetupScript tinyParts = hugeParts;
  tinyParts.header[field::kLastPartNumber] = "3";
  tinyParts.header[field::kPartLength] = "1";
  SetupScript volumes = files;
  volumes.header[field::kVolumeNameTemplate] = "gone-@$&%19.bin";
  struct Case {
    const char* name;
    std::string bytes;
    bool payloadFails;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"record claims more than follows", Package(files, "", record(0, 5, "abcde") + record(1, 900, "xy"), 0, 0), true,
       "stored record 1 claims 900 bytes"},
      {"negative size", Package(files, "", record(0, -4, ""), 0, 0), true, "negative size"},
      {"records missing", Package(files, "", record(0, 1, "a"), 0, 0), true, "ends after 1 of 2 stored records"},
      {"missing volume is named", Package(volumes, "", record(0, 1, "a"), 0, 0), true, "gone-2.bin"},
      {"part count beyond the data", Package(hugeParts, "", "", 1, 0), true, "the package data ends early"},
      {"parts too small for a cabinet", Package(tinyParts, "", "", 1, 0), true, "cannot hold a cabinet"},
      {"stored resource longer than the area", Package(files, std::string("$inst\\4.tmp\0" "99999\0", 18), "", 0, 1),
       false, "claims 99999 bytes"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("setup.exe", c.bytes);
    PackageFile p(dir / "setup.exe");
    std::string error;
    try {
      if (c.payloadFails) p.Payload();
      else p.Resources();
    } catch (const PackageError& e) {
      error = e.what();
    }
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(RunExtract(dir / "setup.exe", dir / "out"), 1) << c.name;
    EXPECT_EQ(RunInspect(dir / "setup.exe", true), 1) << c.name;
  }
  // Not a package at all.
  ScratchDir dir;
  dir.Write("plain.exe", "MZ just a program");
  EXPECT_THROW(PackageFile(dir / "plain.exe"), PackageError);
  std::string shortScript = Package(files, "", "", 0, 0);
  shortScript[shortScript.size() - 33] = '\x7F';  // script offset beyond the data
  dir.Write("far.exe", shortScript);
  EXPECT_THROW(PackageFile(dir / "far.exe"), PackageError);
}

TEST(DamagedPackages, UnsafeMemberNamesNeverLeaveTheFolder) {
  ScratchDir dir;
  std::string resources;
  for (const char* name : {"$inst\\4.tmp", "..\\..\\evil.tmp", "/abs/evil.tmp", "C:\\evil.tmp"}) {
    resources += EncodeStoredResourceHead(name, 3);
    resources += "abc";
  }
  SetupScript s;
  s.header.assign(121, "0");
  dir.Write("setup.exe", Package(s, resources, "", 0, 4));
  EXPECT_EQ(RunExtract(dir / "setup.exe", dir / "out"), 1);
  EXPECT_TRUE(dir.Exists("out/resources/4.tmp"));
  ExpectNothingOutside(dir, "out");
  size_t count = 0;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir / "out/resources")) {
    (void)e;
    ++count;
  }
  EXPECT_EQ(count, 1u);
}

}  // namespace
}  // namespace pvx::tool
