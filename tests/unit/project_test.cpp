#include "tool/project.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/header_fields.h"
#include "tests/unit/tool_test_util.h"
#include "tool/folder_names.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

Project Load(const ScratchDir& dir, const std::string& toml, const LoadOptions& options = {}) {
  return LoadProjectText(toml, "demo.toml", dir.path(), options);
}

std::string ErrorOf(const ScratchDir& dir, const std::string& toml) {
  try {
    Load(dir, toml);
  } catch (const ProjectError& e) {
    return e.what();
  }
  return "(no error)";
}

const char kMinimal[] = "[setup]\ntitle = \"Example Tool\"\n";

TEST(ProjectDefaults, MinimalProjectFillsEveryHeaderField) {
  ScratchDir dir;
  Project p = Load(dir, kMinimal);
  ASSERT_EQ(p.header.size(), 121u);
  EXPECT_EQ(p.header[field::kSignature], "Parvolex v. 5.02");
  EXPECT_EQ(p.header[field::kSetupTitle], "Example Tool");
  EXPECT_EQ(p.header[field::kDefaultFolder], "@$&%01\\Example Tool");
  EXPECT_EQ(p.header[field::kBrowseAppendFolder], "Example Tool");
  EXPECT_EQ(p.header[field::kLicensePage], "0");  // no licence given
  EXPECT_EQ(p.header[field::kInformationPage], "0");
  EXPECT_EQ(p.header[field::kOfferShortcuts], "0");
  ASSERT_EQ(p.languages.size(), 1u);
  EXPECT_EQ(p.languages[0].name, "English");
  EXPECT_EQ(p.languages[0].langId, 1033);
  // Default pictures: header, side, folder page; no shortcuts page.
  EXPECT_TRUE(p.pictures.count(4));
  EXPECT_TRUE(p.pictures.count(5));
  EXPECT_TRUE(p.pictures.count(7));
  EXPECT_FALSE(p.pictures.count(8));
  EXPECT_FALSE(p.pictures.count(6));
}

TEST(FolderNames, ReadableNamesBecomeMacros) {
  const std::pair<const char*, const char*> cases[] = {
      {"{app}\\Tool.exe", "@$&%04\\Tool.exe"},
      {"{PF}\\X", "@$&%01\\X"},
      {"{app:short}", "@$&%44"},
      {"{reg1}|{reg19}", "@$&%81|@$&%99"},
      {"{reg20}", "{reg20}"},  // number 100 has no two-digit token
      {"CLSID\\{00021401-0000}", "CLSID\\{00021401-0000}"},
      {"@$&%04\\raw", "@$&%04\\raw"},
      {"{unknown}", "{unknown}"},
      {"{", "{"},
  };
  for (auto& [in, out] : cases) EXPECT_EQ(ExpandFolderNames(in), out) << in;
}

TEST(ProjectFiles, FoldersGlobsAndRenamesAreSortedAndMapped) {
  ScratchDir dir;
  dir.Write("app/b.txt", "bb");
  dir.Write("app/a.txt", "a");
  dir.Write("app/sub/c.dat", "ccc");
  dir.Write("app/sub/skip.bak", "x");
  dir.Write("bin/tool.exe", "MZ");
  Project p = Load(dir, std::string(kMinimal) + R"T(
[[files]]
source = "app"
destination = "{app}\\"
exclude = ["*.bak"]
[[files]]
source = "app/**/*.dat"
destination = "{app}\\data"
overwrite = "if-newer"
uninstall = false
attributes = ["readonly", "hidden"]
[[files]]
source = "bin/tool.exe"
destination = "{app}"
name = "Tool.exe"
overwrite = "never"
)T");
  ASSERT_EQ(p.files.size(), 5u);
  EXPECT_EQ(p.files[0].destination, "@$&%04\\a.txt");
  EXPECT_EQ(p.files[1].destination, "@$&%04\\b.txt");
  EXPECT_EQ(p.files[2].destination, "@$&%04\\sub\\c.dat");
  EXPECT_EQ(p.files[0].overwrite, 2);
  EXPECT_EQ(p.files[0].attributes, 0x20u);
  EXPECT_EQ(p.files[3].destination, "@$&%04\\data\\sub\\c.dat");
  EXPECT_EQ(p.files[3].overwrite, 3);
  EXPECT_FALSE(p.files[3].uninstall);
  EXPECT_EQ(p.files[3].attributes, 0x03u);
  EXPECT_EQ(p.files[4].destination, "@$&%04\\Tool.exe");
  EXPECT_EQ(p.files[4].overwrite, 4);
  EXPECT_EQ(p.files[2].size, 3u);
}

TEST(ProjectFiles, OverwriteModesByName) {
  ScratchDir dir;
  dir.Write("f", "x");
  const std::pair<const char*, int> modes[] = {
      {"ask", 0}, {"ask-if-newer", 1}, {"always", 2}, {"if-newer", 3}, {"never", 4}};
  for (auto& [name, value] : modes) {
    Project p = Load(dir, std::string(kMinimal) + "[[files]]\nsource = \"f\"\ndestination = \"{app}\"\noverwrite = \"" +
                              name + "\"\n");
    EXPECT_EQ(p.files[0].overwrite, value) << name;
  }
}

TEST(ProjectFiles, SourceDateEpochReplacesLaterTimesOnly) {
  ScratchDir dir;
  dir.Write("new", "n");
  dir.Write("old", "o");
  std::filesystem::last_write_time(dir / "old", std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(24 * 365 * 20));
  LoadOptions lo;
  lo.sourceDateEpoch = 1600000000;  // 2020
  Project p = Load(dir, std::string(kMinimal) + "[[files]]\nsource = [\"new\", \"old\"]\ndestination = \"{app}\"\n", lo);
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(p.files[0].mtime, 1600000000);
  EXPECT_EQ(p.files[0].mtimeNanos, 0u);
  EXPECT_LT(p.files[1].mtime, 1600000000);
}

TEST(ProjectLanguages, BuiltinsOverridesFilesAndCodePage) {
  ScratchDir dir;
  dir.Write("fr.txt", "# French\n1=Bienvenue\n2=Ligne un\\nLigne deux\n");
  dir.Write("licence.txt", "Käse {x}\n");
  Project p = Load(dir, std::string(kMinimal) + R"T(
[[languages]]
base = "english"
strings = { 1 = "Hello" }
licence = "licence.txt"
[[languages]]
base = "german"
[[languages]]
base = "english"
name = "Français"
id = 1036
file = "fr.txt"
)T");
  ASSERT_EQ(p.languages.size(), 3u);
  EXPECT_EQ(p.languages[0].strings[0], "Hello");
  EXPECT_EQ(p.languages[1].name, "Deutsch (German)");
  EXPECT_EQ(p.languages[1].langId, 1031);
  // German texts are written in code page 1252: "ü" is one byte 0xFC.
  EXPECT_NE(p.languages[1].strings[23].find("Zur\xFC" "ck"), std::string::npos);
  EXPECT_EQ(p.languages[2].name, "Fran\xE7" "ais");
  EXPECT_EQ(p.languages[2].strings[1], "Ligne un\r\nLigne deux");
  EXPECT_EQ(p.languages[2].strings[2], p.languages[0].strings[2]);
  ASSERT_TRUE(p.languages[0].licence);
  EXPECT_NE(p.languages[0].licence->find("K\\'e4se \\{x\\}\\par"), std::string::npos);
  EXPECT_FALSE(p.languages[1].licence);
  EXPECT_EQ(p.header[field::kLicensePage], "1");
}

TEST(ProjectLanguages, BuiltinSetsHavePlaceholdersExactlyWhereNeeded) {
  ScratchDir dir;
  Project p = Load(dir, std::string(kMinimal) + "[[languages]]\nbase = \"english\"\n[[languages]]\nbase = \"german\"\n");
  for (const LanguageDef& l : p.languages)
    for (int k = 1; k <= kLanguageStringCount; ++k) {
      const std::string& s = l.strings[k - 1];
      size_t count = 0;
      for (size_t at = s.find("%s"); at != std::string::npos; at = s.find("%s", at + 2)) ++count;
      size_t expected = k == 8 || k == 48 ? 1 : k == 99 ? 2 : 0;
      EXPECT_EQ(count, expected) << l.name << " string " << k;
      EXPECT_EQ(s.find('%') == std::string::npos, expected == 0) << l.name << " string " << k;
      EXPECT_FALSE(s.empty()) << l.name << " string " << k;
    }
}

TEST(ProjectLists, NamedKeysBecomeRecords) {
  ScratchDir dir;
  Project p = Load(dir, std::string(kMinimal) + R"T(
[[registry]]
root = "HKLM"
key = "SOFTWARE\\Example"
name = "Path"
data = "{app}"
uninstall = true
[[registry]]
root = "HKCU"
key = "Software\\Example"
name = "Count"
type = "dword"
data = -1
overwrite = false
[[ini]]
file = "{app}\\tool.ini"
section = "Main"
key = "Lang"
value = "{language}"
mode = "if-empty"
[[shortcuts]]
kind = "group"
name = "Tool.lnk"
target = "{app}\\tool.exe"
[[shortcuts]]
kind = "quick-launch"
name = "Tool.lnk"
target = "{app}\\tool.exe"
icon_index = 2
[[commands]]
when = "after"
file = "{app}\\setup-helper.exe"
show = "hidden"
wait = true
[[commands]]
when = "uninstall-before"
file = "{app}\\cleanup.exe"
[[commands]]
when = "before"
file = "notepad.exe"
[[folders]]
path = "{app}\\logs"
[[fonts]]
name = "Example Sans (TrueType)"
file = "{fonts}\\ExampleSans.ttf"
[[com]]
library = "{app}\\ext.dll"
[[registry_variables]]
root = 2
key = "SOFTWARE\\Other"
name = "Dir"
default = "{pf}\\Other"
[uninstall]
registry = [{ root = "HKLM", key = "SOFTWARE\\Example", name = "" }]
extras = [{ code = 3, text = "{app}\\cache" }]
)T");
  auto R = [&](ListKind k) { return p.records[static_cast<int>(k)]; };
  using V = std::vector<std::string>;
  EXPECT_EQ(R(ListKind::RegistryEntries)[0], (V{"2", "SOFTWARE\\Example", "Path", "@$&%04", "0", "1", "1"}));
  EXPECT_EQ(R(ListKind::RegistryEntries)[1], (V{"1", "Software\\Example", "Count", "-1", "2", "0", "0"}));
  EXPECT_EQ(R(ListKind::IniEntries)[0], (V{"@$&%04\\tool.ini", "Main", "Lang", "@$&%21", "0", "0"}));
  EXPECT_EQ(R(ListKind::Shortcuts)[1], (V{"3", "Tool.lnk", "@$&%04\\tool.exe", "", "", "", "2", ""}));
  // Install part first (in project order), then the uninstall part.
  ASSERT_EQ(R(ListKind::Commands).size(), 3u);
  EXPECT_EQ(R(ListKind::Commands)[0], (V{"", "@$&%04\\setup-helper.exe", "", "0", "1", "1"}));
  EXPECT_EQ(R(ListKind::Commands)[1], (V{"", "notepad.exe", "", "1", "0", "0"}));
  EXPECT_EQ(R(ListKind::Commands)[2], (V{"", "@$&%04\\cleanup.exe", "", "1", "0", "0"}));
  EXPECT_EQ(p.header[field::kInstallCommandCount], "2");
  EXPECT_EQ(p.header[field::kUninstallCommandCount], "1");
  EXPECT_EQ(R(ListKind::Folders)[0], (V{"@$&%04\\logs", "1"}));
  EXPECT_EQ(R(ListKind::Fonts)[0], (V{"Example Sans (TrueType)", "@$&%15\\ExampleSans.ttf"}));
  EXPECT_EQ(R(ListKind::ComRegistrations)[0], (V{"@$&%04\\ext.dll", "1"}));
  EXPECT_EQ(R(ListKind::RegistryVariables)[0], (V{"2", "SOFTWARE\\Other", "Dir", "@$&%01\\Other"}));
  EXPECT_EQ(R(ListKind::UninstallRegistryEntries)[0], (V{"2", "SOFTWARE\\Example", ""}));
  EXPECT_EQ(R(ListKind::UninstallExtras)[0], (V{"3", "@$&%04\\cache"}));
  EXPECT_EQ(p.header[field::kWriteUninstallRecord], "1");
  // Offers follow the shortcut kinds present.
  EXPECT_EQ(p.header[field::kMakeProgramGroup], "1");
  EXPECT_EQ(p.header[field::kOfferQuickLaunch], "1");
  EXPECT_EQ(p.header[field::kOfferDesktop], "0");
  EXPECT_EQ(p.header[field::kOfferShortcuts], "1");
  EXPECT_TRUE(p.pictures.count(8));
}

TEST(ProjectSettings, SectionsSetTheirHeaderFields) {
  ScratchDir dir;
  Project p = Load(dir, std::string(kMinimal) + R"T(
[wizard]
header_color = "#102030"
header_gradient_start = "system:5"
[backdrop]
style = "gradient"
direction = "horizontal"
title_font = { name = "Georgia", height = -40, bold = true, italic = false }
[requirements]
unsupported_windows = ["win95", "win98", "vista"]
admin = true
dotnet = "2.0"
dotnet_any_later = false
dotnet_download = "https://example.invalid/dotnet"
close_running = "tool.exe"
close_running_match = "program"
[finish]
run = "{app}\\tool.exe"
web = "https://example.invalid"
restart = true
[package]
form = "stored"
volume_size = "2M"
volume_name = "disk@$&%19.bin"
utc_offset = "+01:30"
)T");
  auto& h = p.header;
  EXPECT_EQ(h[field::kHeaderColor], std::to_string(0x302010));
  EXPECT_EQ(h[field::kHeaderGradientStart], std::to_string(static_cast<int32_t>(0x80000005u)));
  EXPECT_EQ(h[field::kShowBackdrop], "1");
  EXPECT_EQ(h[field::kBackdropHorizontal], "1");
  EXPECT_EQ(h[field::kBackdropTitleFont], "Georgia");
  EXPECT_EQ(h[field::kBackdropTitleHeight], "-40");
  EXPECT_EQ(h[field::kBackdropTitleStyle], "1");
  EXPECT_EQ(h[field::kUnsupportedSystems], std::to_string(2 + 4 + 256));
  EXPECT_EQ(h[field::kNeedsAdministrator], "1");
  EXPECT_EQ(h[field::kDotNetVersion], "2.0");
  EXPECT_EQ(h[field::kDotNetAnyLater], "0");
  EXPECT_EQ(h[field::kCloseRunningCopy], "1");
  EXPECT_EQ(h[field::kRunningCopyMatch], "2");
  EXPECT_EQ(h[field::kFinishOffersRun], "1");
  EXPECT_EQ(h[field::kRunProgram], "@$&%04\\tool.exe");
  EXPECT_EQ(h[field::kFinishOffersWeb], "1");
  EXPECT_EQ(h[field::kFinishOffersRestart], "1");
  EXPECT_EQ(p.form, StorageForm::Stored);
  EXPECT_EQ(p.volumeSize, 2u * 1024 * 1024);
  EXPECT_EQ(h[field::kVolumeNameTemplate], "disk@$&%19.bin");
  EXPECT_EQ(p.utcOffsetMinutes, 90);
}

TEST(ProjectOverrides, HeaderByNumberAndVerbatimLists) {
  ScratchDir dir;
  Project p = Load(dir, std::string(kMinimal) + R"T(
[header]
41 = "Hello there"
50 = 7
110 = true
[raw]
header_last_index = 118
registry_entries = [["2", "SOFTWARE\\X", "v", "d", "0", "1", "1"]]
language_strings = ["only one"]
)T");
  EXPECT_EQ(p.header[41], "Hello there");
  EXPECT_EQ(p.header[50], "7");
  EXPECT_EQ(p.header[110], "1");
  EXPECT_TRUE(p.explicitFields.count(50));
  EXPECT_EQ(*p.headerLastIndex, 118);
  EXPECT_TRUE(p.verbatim[static_cast<int>(ListKind::RegistryEntries)]);
  ASSERT_TRUE(p.verbatimLanguageStrings);
  EXPECT_EQ(p.verbatimLanguageStrings->size(), 1u);
}

TEST(ProjectSettings, LzxWindowAndSolidFolders) {
  ScratchDir dir;
  struct Case {
    const char* package;
    Compression compression;
    int window;
    bool solid;
    uint64_t partSize = 0;
  };
  const Case cases[] = {
      {"", Compression::MSZip, 21, true},
      {"compression = \"lzx\"\n", Compression::Lzx, 21, true},
      {"compression = \"lzx\"\nlzx_window = 15\nsolid = false\nvolume_size = \"2M\"\n", Compression::Lzx, 15, false},
      {"compression = \"lzx\"\npart_size = \"1M\"\nvolume_size = \"3M\"\n", Compression::Lzx, 21, true, 1 << 20},
  };
  for (const Case& c : cases) {
    Project p = Load(dir, std::string(kMinimal) + "[package]\n" + c.package);
    EXPECT_EQ(p.compression, c.compression) << c.package;
    EXPECT_EQ(p.lzxWindowBits, c.window) << c.package;
    EXPECT_EQ(p.solid, c.solid) << c.package;
    EXPECT_EQ(p.partSize, c.partSize) << c.package;
  }
}

TEST(ProjectErrors, BrokenProjectsNameFileLineKeyAndReason) {
  ScratchDir dir;
  dir.Write("f.txt", "x");
  dir.Write("part.txt", "1=a\n");
  std::string many;
  for (int i = 0; i < 256; ++i) many += "[[languages]]\nbase = \"english\"\n";
  struct Case {
    std::string toml;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"[setup]\ntitle = \"T\"\nbogus = 1\n", "demo.toml:3: setup.bogus: unknown key"},
      {"[setup]\ntitle = \"T\"\n[nonsense]\n", "demo.toml:3: nonsense: unknown key"},
      {"[setup]\ntitle = 5\n", "demo.toml:2: setup.title: expected a string, found an integer"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"f.txt\"\ndestination = \"{app}\"\n"
       "[[files]]\nsource = \"f.txt\"\ndestination = \"{app}\"\n"
       "[[files]]\nsource = \"f.txt\"\ndestination = \"{app}\"\noverwrite = \"sometimes\"\n",
       "demo.toml:12: files[2].overwrite: unknown mode \"sometimes\" (expected ask, ask-if-newer, always, "
       "if-newer, never)"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"missing.txt\"\ndestination = \"{app}\"\n",
       "demo.toml:4: files[0].source: source file not found: missing.txt"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"*.nothing\"\ndestination = \"{app}\"\n",
       "demo.toml:4: files[0].source: \"*.nothing\" matches no file"},
      {"[setup]\ntitle = \"a\\u0000b\"\n", "demo.toml:2: setup.title: the text contains a NUL character"},
      {"[setup]\ntitle = \"T\"\n" + many, "demo.toml:513: languages: more than 255 languages (256)"},
      {"[setup]\n", "demo.toml:1: setup.title: missing"},
      {"[wizard]\n", "demo.toml:1: setup: missing"},
      {"[setup]\ntitle = \"\xE6\x97\xA5\"\n", "setup.title: the character \"\xE6\x97\xA5\" (U+65E5) cannot be written in code page 1252"},
      {"[setup]\ntitle = \"T\"\n[wizard]\nheader_color = \"red\"\n", "demo.toml:4: wizard.header_color: bad colour \"red\""},
      {"[setup]\ntitle = \"T\"\n[[languages]]\nbase = \"klingon\"\n",
       "demo.toml:4: languages[0].base: unknown built-in language \"klingon\""},
      {"[setup]\ntitle = \"T\"\n[[languages]]\nname = \"X\"\nfile = \"part.txt\"\n",
       "demo.toml:3: languages[0]: strings missing: 2, 3, 4"},
      {"[setup]\ntitle = \"T\"\n[header]\n300 = \"x\"\n", "demo.toml:4: header.300: not a header field number"},
      {"[setup]\ntitle = \"T\"\n[raw]\nfonts = [[\"a\"]]\n", "demo.toml:4: raw.fonts[0]: a record of this list has 2 texts, not 1"},
      {"[setup]\ntitle = \"T\"\n[package]\npart_size = 100\n", "demo.toml:4: package.part_size: a cabinet part must hold at least 1024 bytes"},
      {"[setup]\ntitle = \"T\"\n[package]\nform = \"zip\"\n", "package.form: unknown storage form \"zip\" (expected cabinet, stored)"},
      {"[setup]\ntitle = \"T\"\n[package]\ncompression = \"lzx\"\nlzx_window = 22\n",
       "demo.toml:5: package.lzx_window: value 22 is out of range (15 to 21)"},
      {"[setup]\ntitle = \"T\"\n[package]\nlzx_window = 16\n", "package.lzx_window: applies only to compression = \"lzx\""},
      {"[setup]\ntitle = \"T\"\n[package]\nsolid = false\n", "package.solid: applies only to compression = \"lzx\""},
      {"[setup]\ntitle = \"T\"\n[package]\ncompression = \"lzx\"\ncompression_level = 9\n",
       "package.compression_level: applies to MSZIP"},
      {"[setup]\ntitle = \"T\"\n[package]\ncompression = \"quantum\"\n",
       "package.compression: unknown compression \"quantum\" (expected mszip, none, lzx)"},
      {"[setup]\ntitle = \"T\"\n[pages]\nlicense = true\n", "pages.license: the licence page needs a licence text"},
      {"[setup]\ntitle = \"T\"\n[[shortcuts]]\nkind = \"moon\"\nname = \"a.lnk\"\ntarget = \"x\"\n",
       "demo.toml:4: shortcuts[0].kind: unknown shortcut kind \"moon\""},
      {"[setup]\ntitle = \"T\"\n[[registry]]\nroot = \"HKLM\"\nkey = \"K\"\ntype = \"binary\"\ndata = \"0G\"\n",
       "registry[0].data: binary data must be pairs of hexadecimal digits"},
      {"[setup]\ntitle = \"T\"\n[package]\nvolume_name = \"..\\\\x@$&%19\"\n", "package.volume_name: must be a plain file name"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"f.txt\"\n", "demo.toml:3: files[0].destination: missing"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"f.txt\"\ndestination = \"{app}\"\nattributes = [\"archived\"]\n",
       "demo.toml:6: files[0].attributes: unknown attribute \"archived\""},
      {"[setup]\ntitle = \"T\"\nx = [\n", "demo.toml:3: "},
  };
  for (const Case& c : cases) {
    std::string got = ErrorOf(dir, c.toml);
    EXPECT_NE(got.find(c.expected), std::string::npos) << "expected: " << c.expected << "\n     got: " << got;
  }
}

}  // namespace
}  // namespace pvx::tool
