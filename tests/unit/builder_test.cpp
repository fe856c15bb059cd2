#include "tool/builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/stored_records.h"
#include "format/volumes.h"
#include "tests/unit/tool_test_util.h"
#include "tool/package_file.h"
#include "tool/volume_plan.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

// A project with a bit of everything, in either form.
std::string DemoToml(const std::string& package) {
  return R"T(
[setup]
title = "Example Tool"
licence = "docs/licence.txt"
readme = "docs/readme.txt"
[package]
)T" + package + R"T(
[[languages]]
base = "english"
[[languages]]
base = "german"
strings = { 1 = "Willkommen!" }
[[files]]
source = "app"
destination = "{app}"
[[files]]
source = "big.bin"
destination = "{app}\\data"
overwrite = "if-newer"
attributes = ["readonly"]
[[registry]]
root = "HKLM"
key = "SOFTWARE\\Example"
name = "Path"
data = "{app}"
[[ini]]
file = "{app}\\tool.ini"
section = "Main"
key = "Lang"
value = "{language}"
[[shortcuts]]
kind = "desktop"
name = "Tool.lnk"
target = "{app}\\tool.exe"
[[folders]]
path = "{app}\\logs"
[[commands]]
when = "after"
file = "{app}\\tool.exe"
parameters = "/register"
[[commands]]
when = "uninstall-before"
file = "{app}\\cleanup.exe"
[[fonts]]
name = "Example Sans"
file = "{fonts}\\ExampleSans.ttf"
[[com]]
library = "{app}\\ext.dll"
[[registry_variables]]
root = "HKLM"
key = "SOFTWARE\\Other"
name = "Dir"
default = "{pf}"
[uninstall]
enabled = true
registry = [{ root = "HKCU", key = "Software\\Example", name = "Seen" }]
extras = [{ code = 1, text = "{app}\\cache" }]
)T";
}

// Pseudo-random bytes that compress badly, so parts and volumes fill up.
std::string Noise(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

struct Fixture {
  ScratchDir dir;
  Fixture() {
    dir.Write("runtime.exe", test::FakeRuntime());
    dir.Write("docs/licence.txt", "Use it well.\n");
    dir.Write("docs/readme.txt", "Read me.\n");
    dir.Write("app/tool.exe", "MZ" + Noise(3000, 1));
    dir.Write("app/readme.txt", "Hello\r\n");
    dir.Write("app/empty.txt", "");
    dir.Write("app/sub/notes.txt", std::string(5000, 'n'));
    dir.Write("big.bin", Noise(300000, 7));
  }
  Project Load(const std::string& package) {
    LoadOptions lo;
    lo.sourceDateEpoch = 1700000000;
    return LoadProjectText(DemoToml(package), "demo.toml", dir.path(), lo);
  }
  BuildResult Build(const Project& p, const std::string& out = "out/setup.exe") {
    BuildOptions o;
    o.output = dir / out;
    o.runtime = dir / "runtime.exe";
    return BuildPackage(p, o);
  }
};

// Reads the package back with the format library alone, as the runtime does.
SetupScript ReadBack(const std::string& bytes, PackageTrailer& t) {
  MemorySource source(bytes.data(), bytes.size());
  EXPECT_EQ(ReadPackageTrailer(source, t), TrailerStatus::Ok);
  source.Seek(static_cast<uint64_t>(t.scriptOffset));
  TextReader reader(source);
  SetupScript s;
  LoadScriptHead(reader, t.headerLastIndex, s);
  LoadScriptLists(reader, s);
  return s;
}

void ExpectSameScript(const SetupScript& a, const SetupScript& b) {
  EXPECT_EQ(a.header, b.header);
  for (int k = 0; k < kListKindCount; ++k) EXPECT_EQ(a.lists[k].texts, b.lists[k].texts) << ListName(ListKind(k));
  EXPECT_EQ(a.languageStrings, b.languageStrings);
}

TEST(BuilderRoundTrip, CabinetFormReadsBackThroughTheFormatLibrary) {
  Fixture f;
  Project p = f.Load("form = \"cabinet\"");
  BuildResult r = f.Build(p);
  std::string bytes = f.dir.Read("out/setup.exe");
  PackageTrailer t;
  SetupScript s = ReadBack(bytes, t);
  ExpectSameScript(s, r.script);
  EXPECT_EQ(bytes.compare(0, test::FakeRuntime().size(), test::FakeRuntime()), 0);
  EXPECT_EQ(t.scriptOffset, static_cast<int64_t>(test::FakeRuntime().size()));
  EXPECT_EQ(t.form, 1);
  EXPECT_EQ(t.headerLastIndex, 120);
  EXPECT_EQ(t.resourceOffset, t.scriptOffset + static_cast<int64_t>(EncodeScript(s).size()));
  EXPECT_EQ(t.payloadOffset, t.resourceOffset + t.resourceLength);
  // Header: counts and derived fields.
  EXPECT_EQ(s.HeaderText(field::kSignature), "Parvolex v. 5.02");
  EXPECT_EQ(s.HeaderInt(field::kFileCount), 5);
  EXPECT_EQ(s.HeaderInt(field::kLanguageCount), 2);
  EXPECT_EQ(s.HeaderInt(field::kTextsPerLanguage), 99);
  EXPECT_EQ(s.HeaderInt(field::kRegistryCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kIniCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kShortcutCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kFolderCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kInstallCommandCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kUninstallCommandCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kFontCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kComCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kRegistryVariableCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kUninstallRegistryCount), 1);
  EXPECT_EQ(s.HeaderInt(field::kUninstallExtraCount), 1);
  // Every list the project named arrives record by record.
  for (int k = 0; k < kListKindCount; ++k) {
    if (k == static_cast<int>(ListKind::Files) || k == static_cast<int>(ListKind::Languages)) continue;
    std::vector<std::string> flat;
    for (auto& r : p.records[k]) flat.insert(flat.end(), r.begin(), r.end());
    EXPECT_EQ(s.lists[k].texts, flat) << ListName(ListKind(k));
    EXPECT_FALSE(flat.empty()) << ListName(ListKind(k));
  }
  const uint64_t sizes = 3002 + 7 + 0 + 5000 + 300000;
  EXPECT_EQ(DecimalInt64(s.HeaderText(field::kDiskSpaceNeeded)), static_cast<int64_t>(sizes));
  // Folder, registry, font, shortcut, uninstall record, INI, COM, one
  // after-command (the uninstall-part command does not run).
  uint64_t total = sizes + 8 * 10240;
  EXPECT_EQ(s.HeaderInt(field::kProgressMaximum), static_cast<int32_t>((total + 512) / 1024));
  EXPECT_EQ(s.HeaderInt(field::kLastPartNumber), 0);
  EXPECT_EQ(static_cast<uint64_t>(s.HeaderInt(field::kLastPartLength)), bytes.size() - 36 - t.payloadOffset);
  // Lists: files in sorted order, languages with their document numbers.
  const ScriptList& files = s.List(ListKind::Files);
  ASSERT_EQ(files.Count(), 5u);
  EXPECT_EQ(files.Field(0, 0), "@$&%04\\empty.txt");
  EXPECT_EQ(files.Field(3, 0), "@$&%04\\tool.exe");
  EXPECT_EQ(files.Field(4, 0), "@$&%04\\data\\big.bin");
  EXPECT_EQ(files.Field(4, 1), "3");
  const ScriptList& langs = s.List(ListKind::Languages);
  ASSERT_EQ(langs.Count(), 2u);
  EXPECT_EQ(langs.Field(0, 0), "English");
  EXPECT_EQ(langs.Field(0, 1), "1033");
  EXPECT_EQ(langs.Field(0, 2), "15");
  EXPECT_EQ(langs.Field(0, 3), "16");
  EXPECT_EQ(langs.Field(1, 2), "15");  // the same licence is stored once
  EXPECT_EQ(s.languageStrings.size(), 1u + 2 * 99);
  EXPECT_EQ(s.languageStrings[100], "Willkommen!");
  // The built-in folder page text ends with the space the files need
  // (308,009 bytes), in both languages.
  const std::string& folderText = s.languageStrings[3];
  EXPECT_EQ(folderText.substr(folderText.rfind(':')), ": 301 KB") << folderText;
  EXPECT_EQ(s.languageStrings[99 + 3].substr(s.languageStrings[99 + 3].rfind(':')), ": 301 KB");
  // Both areas through the package reader.
  PackageFile pf(f.dir / "out/setup.exe");
  std::vector<std::string> names;
  for (auto& m : pf.Resources()) names.push_back(m.name);
  EXPECT_EQ(names, (std::vector<std::string>{"$inst\\4.tmp", "$inst\\5.tmp", "$inst\\7.tmp", "$inst\\8.tmp",
                                             "$inst\\15.tmp", "$inst\\16.tmp"}));
  std::vector<PayloadMember> payload = pf.Payload();
  ASSERT_EQ(payload.size(), 5u);
  for (size_t i = 0; i < payload.size(); ++i) EXPECT_EQ(payload[i].name, std::to_string(i));
  EXPECT_EQ(payload[4].attributes, 0x01);
  EXPECT_EQ(payload[4].size, 300000u);
}

TEST(DiskSpaceText, KilobytesRoundUpThenMegabytesAndGigabytes) {
  const struct {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 KB"},          {1, "1 KB"},          {1024, "1 KB"},
      {1025, "2 KB"},       {1048575, "1024 KB"}, {1048576, "1.0 MB"},
      {66898739, "63.8 MB"}, {1073741824, "1.00 GB"}, {5368709120ull, "5.00 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(DiskSpaceText(c.bytes), c.text) << c.bytes;
}

TEST(BuilderLanguages, OnlyTheBuiltInFolderTextGetsTheFigure) {
  Fixture f;
  std::string toml = "[setup]\ntitle = \"T\"\n"
                     "[[languages]]\nbase = \"english\"\n"
                     "[[languages]]\nbase = \"german\"\nstrings = { 3 = \"Ordner:\" }\n"
                     "[[files]]\nsource = \"app/readme.txt\"\ndestination = \"{app}\"\n";
  Project p = LoadProjectText(toml, "t.toml", f.dir.path());
  f.Build(p);
  PackageTrailer t;
  SetupScript s = ReadBack(f.dir.Read("out/setup.exe"), t);
  EXPECT_EQ(s.languageStrings[3].substr(s.languageStrings[3].rfind(':')), ": 1 KB");
  EXPECT_EQ(s.languageStrings[99 + 3], "Ordner:");  // the publisher's own text stays as written
}

TEST(BuilderRoundTrip, StoredFormRecordsCarryIndexSizeUtcTimeAttributesAndContent) {
  Fixture f;
  Project p = f.Load("form = \"stored\"");
  BuildResult r = f.Build(p);
  std::string bytes = f.dir.Read("out/setup.exe");
  PackageTrailer t;
  SetupScript s = ReadBack(bytes, t);
  ExpectSameScript(s, r.script);
  EXPECT_EQ(t.form, 0);
  EXPECT_EQ(t.resourceCount, 6);
  EXPECT_EQ(s.HeaderText(field::kLastPartNumber), "0");
  // Resource area: name, length text, content.
  size_t at = static_cast<size_t>(t.resourceOffset);
  for (int i = 0; i < t.resourceCount; ++i) {
    size_t z = bytes.find('\0', at);
    std::string name = bytes.substr(at, z - at);
    size_t z2 = bytes.find('\0', z + 1);
    uint64_t len = StoredResourceLength(bytes.substr(z + 1, z2 - z - 1));
    EXPECT_EQ(name.compare(0, 6, "$inst\\"), 0);
    at = z2 + 1 + len;
  }
  EXPECT_EQ(at, static_cast<size_t>(t.payloadOffset));
  // Payload: one record per file, in list order.
  for (size_t i = 0; i < p.files.size(); ++i) {
    StoredFileHeader h = DecodeStoredFileHeader(reinterpret_cast<const uint8_t*>(bytes.data() + at));
    EXPECT_EQ(h.index, static_cast<int32_t>(i));
    EXPECT_EQ(h.size, static_cast<int64_t>(p.files[i].size));
    EXPECT_EQ(h.time, FileTimeFromUnix(1700000000));  // clamped by SOURCE_DATE_EPOCH
    EXPECT_EQ(h.attributes, p.files[i].attributes);
    std::string content = bytes.substr(at + kStoredFileHeaderSize, static_cast<size_t>(h.size));
    EXPECT_EQ(content, f.dir.Read(std::filesystem::relative(p.files[i].sourcePath, f.dir.path()).string()));
    at += kStoredFileHeaderSize + static_cast<size_t>(h.size);
  }
  EXPECT_EQ(at, bytes.size() - kTrailerSize);
}

TEST(BuilderProgress, FieldFortyEightCountsTheWorkTheInstallSequenceDoes) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::string>> header;
    std::vector<std::vector<std::string>> commands;
    uint64_t bytes;
    int64_t expected;
  };
  auto base = [](std::vector<std::pair<int, std::string>> extra) {
    std::vector<std::pair<int, std::string>> h = {{field::kComCount, "0"}, {field::kWriteUninstallRecord, "0"}};
    h.insert(h.end(), extra.begin(), extra.end());
    return h;
  };
  const std::vector<Case> cases = {
      {"nothing", base({}), {}, 0, 0},
      {"bytes round to nearest", base({}), {}, 1535, 1},
      {"half rounds to even (down)", base({}), {}, 512, 0},
      {"half rounds to even (up)", base({}), {}, 1536, 2},
      {"folders registry fonts shortcuts ini", base({{93, "1"}, {50, "2"}, {31, "1"}, {54, "3"}, {24, "1"}}), {}, 0, 80},
      {"COM counts only when field 20 is not 0", base({{field::kComCount, "2"}}), {}, 0, 20},
      {"uninstall record", base({{field::kWriteUninstallRecord, "1"}}), {}, 0, 10},
      {"commands of phase 0 and 1 only, install part only",
       base({{40, "3"}, {25, "1"}}),
       {{"", "a", "", "1", "0", "0"}, {"", "b", "", "1", "2", "0"}, {"", "c", "", "1", "1", "0"},
        {"", "u", "", "1", "0", "0"}},
       0, 20},
  };
  for (const Case& c : cases) {
    SetupScript s;
    s.header.assign(121, "0");
    for (auto& [n, v] : c.header) s.header[n] = v;
    for (auto& r : c.commands)
      for (auto& t : r) s.List(ListKind::Commands).texts.push_back(t);
    EXPECT_EQ(ProgressMaximum(s, c.bytes), c.expected) << c.name;
  }
}

TEST(BuilderOverrides, ExplicitFieldsVerbatimListsAndShortHeadersSurvive) {
  Fixture f;
  const std::string toml = R"T(
[setup]
title = "Odd"
[header]
50 = "9"
48 = "12345"
41 = "Hi"
[raw]
header_last_index = 118
registry_entries = [["2", "SOFTWARE\\X", "v", "d", "0", "1", "1"]]
fonts = [["F", "f.ttf"], ["G", "g.ttf"]]
)T";
  Project p = LoadProjectText(toml, "odd.toml", f.dir.path());
  f.Build(p);
  PackageTrailer t;
  SetupScript s = ReadBack(f.dir.Read("out/setup.exe"), t);
  EXPECT_EQ(t.headerLastIndex, 118);
  EXPECT_EQ(s.header.size(), 119u);
  EXPECT_EQ(s.HeaderText(50), "9");     // the count override wins over the list
  EXPECT_EQ(s.HeaderText(48), "12345");
  EXPECT_EQ(s.HeaderText(31), "2");     // taken from the verbatim list
  EXPECT_EQ(s.HeaderText(41), "Hi");
  // The count of 9 makes the loader read past the one record into the next lists.
  EXPECT_EQ(s.List(ListKind::RegistryEntries).texts.size(), 63u > s.List(ListKind::RegistryEntries).texts.size()
                                                              ? s.List(ListKind::RegistryEntries).texts.size()
                                                              : 63u);
  EXPECT_EQ(s.List(ListKind::RegistryEntries).Field(0, 1), "SOFTWARE\\X");
}

TEST(BuilderReproducible, SameInputsGiveIdenticalBytes) {
  for (const char* form : {"form = \"cabinet\"\npart_size = 20000", "form = \"stored\""}) {
    Fixture f;
    Project p = f.Load(form);
    f.Build(p, "a/setup.exe");
    Project q = f.Load(form);
    f.Build(q, "b/other.exe");
    EXPECT_EQ(f.dir.Read("a/setup.exe"), f.dir.Read("b/other.exe")) << form;
  }
}

TEST(BuilderFailure, NothingIsLeftAtTheOutputPaths) {
  Fixture f;
  {
    Project p = f.Load("form = \"stored\"");
    BuildOptions o;
    o.output = f.dir / "out/setup.exe";
    o.runtime = f.dir / "no-such-runtime.exe";
    EXPECT_THROW(BuildPackage(p, o), std::runtime_error);
  }
  {
    // A volume size that cannot hold the runtime and the script.
    Project p = f.Load("form = \"stored\"\nvolume_size = 2000");
    EXPECT_THROW(f.Build(p), std::runtime_error);
  }
  {
    // A source that vanishes after the project was read.
    Project p = f.Load("form = \"stored\"\nvolume_size = 120000");
    std::filesystem::remove(f.dir / "big.bin");
    EXPECT_THROW(f.Build(p), std::runtime_error);
  }
  if (std::filesystem::exists(f.dir / "out"))
    for (auto& e : std::filesystem::directory_iterator(f.dir / "out")) ADD_FAILURE() << "left behind: " << e.path();
}

TEST(VolumeNames, FirstTokenOnlyAndNoTokenMeansOneName) {
  EXPECT_EQ(VolumeFileName("setup-@$&%19.bin", 2), "setup-2.bin");
  EXPECT_EQ(VolumeFileName("a@$&%19b@$&%19", 13), "a13b@$&%19");
  EXPECT_EQ(VolumeFileName("data.bin", 2), "data.bin");
  EXPECT_EQ(VolumeFileName("data.bin", 3), "data.bin");
}

TEST(VolumePlan, StoredCutsFallStrictlyInsideRecordContent) {
  // Records: header 24 bytes, then content; payload starts at 1000.
  std::vector<StoredRecordSpan> records;
  uint64_t at = 1000;
  for (uint64_t size : {0ull, 1ull, 5000ull, 2ull, 0ull, 30000ull, 1ull, 9000ull}) {
    records.push_back({at + 24, size});
    at += 24 + size;
  }
  for (uint64_t volume : {1100ull, 1500ull, 4000ull, 7000ull, 20000ull}) {
    VolumePlan plan = PlanVolumes(at, 1000, volume, false, records);
    uint64_t start = 0;
    for (size_t i = 0; i < plan.cuts.size(); ++i) {
      uint64_t c = plan.cuts[i];
      bool inside = false;
      for (auto& r : records) inside |= c > r.contentStart && c < r.contentStart + r.contentSize;
      EXPECT_TRUE(inside) << "cut " << c << " for volume size " << volume;
      EXPECT_GT(c, start);
      start = c;
    }
    // Volumes stay within the size unless a warning says otherwise.
    if (plan.warnings.empty()) {
      uint64_t prev = 0;
      for (size_t i = 0; i <= plan.cuts.size(); ++i) {
        uint64_t end = i < plan.cuts.size() ? plan.cuts[i] : at;
        EXPECT_LE(end - prev + (i == 0 ? 36 : 0), volume) << "volume " << i + 1;
        prev = end;
      }
    }
  }
  // Cabinet form: exact cuts at the size.
  VolumePlan cab = PlanVolumes(10000, 1000, 3036, true, {});
  EXPECT_EQ(cab.cuts, (std::vector<uint64_t>{3000, 6036, 9072}));
  EXPECT_THROW(PlanVolumes(10000, 1000, 1000, true, {}), std::runtime_error);
}

TEST(BuilderVolumes, CabinetPartsAreExactAndVolumesJoinUp) {
  Fixture f;
  Project p = f.Load("form = \"cabinet\"\ncompression = \"none\"\npart_size = 16384\nvolume_size = 100000\n"
                     "volume_name = \"example-@$&%19.cab\"");
  BuildResult r = f.Build(p);
  ASSERT_GE(r.volumes.size(), 2u);
  for (size_t v = 1; v < r.volumes.size(); ++v)
    EXPECT_EQ(std::filesystem::path(r.volumes[v].path).filename(), "example-" + std::to_string(v + 1) + ".cab");
  EXPECT_EQ(std::filesystem::file_size(r.volumes[0].path), 100000u);
  for (size_t v = 1; v + 1 < r.volumes.size(); ++v) EXPECT_EQ(std::filesystem::file_size(r.volumes[v].path), 100000u);
  // Join the stream and look at each part: "MSCF" comes back and each part
  // names its successor.
  std::string stream = f.dir.Read("out/setup.exe");
  stream.resize(stream.size() - 36);
  for (size_t v = 1; v < r.volumes.size(); ++v)
    stream += f.dir.Read(std::filesystem::relative(r.volumes[v].path, f.dir.path()).string());
  const SetupScript& s = r.script;
  const uint64_t stride = static_cast<uint64_t>(s.HeaderInt(field::kPartLength));
  const int last = s.HeaderInt(field::kLastPartNumber);
  EXPECT_EQ(stride, 16384u);
  ASSERT_GE(last, 10);
  EXPECT_EQ(r.trailer.payloadOffset + last * stride + s.HeaderInt(field::kLastPartLength), stream.size());
  for (int k = 0; k <= last; ++k) {
    std::string part = stream.substr(r.trailer.payloadOffset + k * stride, 4);
    EXPECT_EQ(LoadLE(reinterpret_cast<const uint8_t*>(part.data()), 4), 0u) << "reserved1 of part " << k;
  }
  // Everything extracts again through the reader, across the volumes.
  PackageFile pf(r.volumes[0].path);
  std::vector<std::string> out;
  std::string problems = pf.ExtractPayload([&](const PayloadMember& m) {
    out.push_back(m.name);
    return f.dir / ("x" + m.name);
  });
  EXPECT_EQ(problems, "");
  ASSERT_EQ(out.size(), 5u);
  EXPECT_TRUE(f.dir.Read("x4") == f.dir.Read("big.bin"));
  EXPECT_TRUE(f.dir.Read("x3") == f.dir.Read("app/tool.exe"));
}

TEST(BuilderVolumes, StoredVolumesEndInsideContentAndExtractAcrossThem) {
  Fixture f;
  Project p = f.Load("form = \"stored\"\nvolume_size = 90000\nvolume_name = \"ex@$&%19.bin\"");
  BuildResult r = f.Build(p);
  ASSERT_GE(r.volumes.size(), 3u);
  PackageFile pf(r.volumes[0].path);
  std::vector<PayloadMember> members = pf.Payload();  // throws if a header were split
  ASSERT_EQ(members.size(), 5u);
  for (size_t v = 1; v < r.volumes.size(); ++v) {
    uint64_t cut = r.volumes[v].streamOffset;
    bool inside = false;
    for (auto& m : members) inside |= cut > m.streamOffset && cut < m.streamOffset + m.size;
    EXPECT_TRUE(inside) << "volume " << v + 1 << " starts at " << cut;
  }
  std::string problems = pf.ExtractPayload([&](const PayloadMember& m) { return f.dir / ("y" + m.name); });
  EXPECT_EQ(problems, "");
  EXPECT_TRUE(f.dir.Read("y4") == f.dir.Read("big.bin"));
  EXPECT_TRUE(f.dir.Read("y1") == f.dir.Read("app/readme.txt"));
  EXPECT_TRUE(f.dir.Read("y2") == f.dir.Read("app/sub/notes.txt"));
}

TEST(BuilderVolumes, TemplateWithoutTokenPutsVolumesIntoSeparateFolders) {
  Fixture f;
  Project p = f.Load("form = \"cabinet\"\ncompression = \"none\"\nvolume_size = 100000\nvolume_name = \"data.bin\"");
  EXPECT_FALSE(p.warnings.empty());
  BuildResult r = f.Build(p);
  ASSERT_GE(r.volumes.size(), 3u);
  for (size_t v = 1; v < r.volumes.size(); ++v)
    EXPECT_EQ(r.volumes[v].path, f.dir / ("out/disk" + std::to_string(v + 1) + "/data.bin"));
  PackageFile pf(r.volumes[0].path);
  EXPECT_EQ(pf.Payload().size(), 5u);
}

}  // namespace
}  // namespace pvx::tool
