// The record layouts of format/record_fields.h and the work-folder names of
// format/work_files.h against the package format: each named field must
// sit at the position the format gives it, each list must be as wide as
// the format's record, and the tool must write every project value into
// the field the runtime reads it from. The positions below are the
// format's own numbers, written out, so that a name moved in the header
// (which both sides would follow) still fails here.
#include "format/record_fields.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "actions/uninstall_ini.h"
#include "format/header_fields.h"
#include "format/overwrite_modes.h"
#include "format/trailer.h"
#include "format/work_files.h"
#include "install/path_safety.h"
#include "core/language.h"
#include "core/workdir.h"
#include "tests/unit/tool_test_util.h"
#include "tool/builder.h"
#include "tool/list_records.h"
#include "tool/package_file.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

TEST(RecordFields, EveryListIsAsWideAsItsRecord) {
  const struct {
    ListKind kind;
    unsigned named;   // kFieldCount of the list's namespace
    unsigned format;  // the width the format gives the record
  } lists[] = {
      {ListKind::RegistryVariables, registry_variable::kFieldCount, 4},
      {ListKind::RegistryEntries, registry_entry::kFieldCount, 7},
      {ListKind::UninstallRegistryEntries, uninstall_registry_entry::kFieldCount, 3},
      {ListKind::Fonts, font_entry::kFieldCount, 2},
      {ListKind::Shortcuts, shortcut_entry::kFieldCount, 8},
      {ListKind::Files, file_record::kFieldCount, 3},
      {ListKind::Folders, folder_entry::kFieldCount, 2},
      {ListKind::Commands, command_entry::kFieldCount, 6},
      {ListKind::IniEntries, ini_entry::kFieldCount, 6},
      {ListKind::UninstallExtras, uninstall_extra::kFieldCount, 2},
      {ListKind::ComRegistrations, com_registration::kFieldCount, 2},
      {ListKind::Languages, language_record::kFieldCount, 4},
  };
  ASSERT_EQ(std::size(lists), static_cast<size_t>(kListKindCount));
  for (const auto& l : lists) {
    EXPECT_EQ(l.named, l.format) << ListName(l.kind);
    EXPECT_EQ(ShapeOf(l.kind).width, l.format) << ListName(l.kind);
    EXPECT_LE(l.format, kWidestRecord) << ListName(l.kind);
  }
}

// One record of every list, each field with a text of its own, so that
// two fields trading places cannot go unnoticed.
const char kProject[] = R"T(
[setup]
title = "Fields"
[[languages]]
base = "english"
[[files]]
source = "tool.exe"
destination = "{app}"
overwrite = "if-newer"
uninstall = false
[[registry_variables]]
root = "HKCU"
key = "Software\\Var"
name = "VarName"
default = "VarDefault"
[[registry]]
root = "HKLM"
key = "Software\\Reg"
name = "RegName"
type = "dword"
data = 42
overwrite = false
uninstall = true
[[fonts]]
name = "Font Name"
file = "font.ttf"
[[shortcuts]]
kind = "start-menu"
name = "Link.lnk"
target = "target.exe"
arguments = "/args"
description = "Describes"
icon = "icon.ico"
icon_index = 3
working_dir = "work"
[[folders]]
path = "folder"
uninstall = true
[[commands]]
when = "after"
file = "command.exe"
parameters = "/params"
show = "maximized"
wait = true
note = "a note"
[[ini]]
file = "file.ini"
section = "Section"
key = "Key"
value = "Value"
mode = "if-empty"
uninstall = true
[[com]]
library = "library.dll"
unregister = true
[uninstall]
enabled = true
registry = [{ root = "HKU", key = "Gone\\Key", name = "GoneName" }]
extras = [{ code = 7, text = "extra text" }]
)T";

struct Built {
  ScratchDir dir;
  SetupScript script;
  Built() {
    dir.Write("runtime.exe", test::FakeRuntime());
    dir.Write("tool.exe", "MZ tool");
    Project p = LoadProjectText(kProject, "fields.toml", dir.path());
    BuildOptions o;
    o.output = dir / "setup.exe";
    o.runtime = dir / "runtime.exe";
    BuildPackage(p, o);
    // Read back with the format library alone, as the runtime reads it.
    std::string bytes = dir.Read("setup.exe");
    MemorySource source(bytes.data(), bytes.size());
    PackageTrailer t;
    EXPECT_EQ(ReadPackageTrailer(source, t), TrailerStatus::Ok);
    source.Seek(static_cast<uint64_t>(t.scriptOffset));
    TextReader reader(source);
    LoadScriptHead(reader, t.headerLastIndex, script);
    LoadScriptLists(reader, script);
  }
};

TEST(RecordFields, TheToolWritesEachValueWhereTheFormatPutsIt) {
  Built b;
  const struct {
    ListKind kind;
    unsigned named;
    unsigned position;  // the format's field number
    const char* text;   // what the project above gives it
  } fields[] = {
      {ListKind::RegistryVariables, registry_variable::kRoot, 0, "1"},
      {ListKind::RegistryVariables, registry_variable::kKey, 1, "Software\\Var"},
      {ListKind::RegistryVariables, registry_variable::kValueName, 2, "VarName"},
      {ListKind::RegistryVariables, registry_variable::kDefault, 3, "VarDefault"},
      {ListKind::RegistryEntries, registry_entry::kRoot, 0, "2"},
      {ListKind::RegistryEntries, registry_entry::kKey, 1, "Software\\Reg"},
      {ListKind::RegistryEntries, registry_entry::kValueName, 2, "RegName"},
      {ListKind::RegistryEntries, registry_entry::kData, 3, "42"},
      {ListKind::RegistryEntries, registry_entry::kType, 4, "2"},
      {ListKind::RegistryEntries, registry_entry::kOverwrite, 5, "0"},
      {ListKind::RegistryEntries, registry_entry::kUninstall, 6, "1"},
      {ListKind::UninstallRegistryEntries, uninstall_registry_entry::kRoot, 0, "3"},
      {ListKind::UninstallRegistryEntries, uninstall_registry_entry::kKey, 1, "Gone\\Key"},
      {ListKind::UninstallRegistryEntries, uninstall_registry_entry::kValueName, 2, "GoneName"},
      {ListKind::Fonts, font_entry::kName, 0, "Font Name"},
      {ListKind::Fonts, font_entry::kFile, 1, "font.ttf"},
      {ListKind::Shortcuts, shortcut_entry::kKind, 0, "2"},
      {ListKind::Shortcuts, shortcut_entry::kLinkName, 1, "Link.lnk"},
      {ListKind::Shortcuts, shortcut_entry::kTarget, 2, "target.exe"},
      {ListKind::Shortcuts, shortcut_entry::kArguments, 3, "/args"},
      {ListKind::Shortcuts, shortcut_entry::kDescription, 4, "Describes"},
      {ListKind::Shortcuts, shortcut_entry::kIconFile, 5, "icon.ico"},
      {ListKind::Shortcuts, shortcut_entry::kIconIndex, 6, "3"},
      {ListKind::Shortcuts, shortcut_entry::kWorkingFolder, 7, "work"},
      {ListKind::Files, file_record::kDestination, 0, "@$&%04\\tool.exe"},
      {ListKind::Files, file_record::kOverwrite, 1, "3"},
      {ListKind::Files, file_record::kUninstall, 2, "0"},
      {ListKind::Folders, folder_entry::kPath, 0, "folder"},
      {ListKind::Folders, folder_entry::kUninstall, 1, "1"},
      {ListKind::Commands, command_entry::kNote, 0, "a note"},
      {ListKind::Commands, command_entry::kFile, 1, "command.exe"},
      {ListKind::Commands, command_entry::kParameters, 2, "/params"},
      {ListKind::Commands, command_entry::kShow, 3, "3"},
      {ListKind::Commands, command_entry::kPhase, 4, "1"},
      {ListKind::Commands, command_entry::kWait, 5, "1"},
      {ListKind::IniEntries, ini_entry::kFile, 0, "file.ini"},
      {ListKind::IniEntries, ini_entry::kSection, 1, "Section"},
      {ListKind::IniEntries, ini_entry::kKey, 2, "Key"},
      {ListKind::IniEntries, ini_entry::kValue, 3, "Value"},
      {ListKind::IniEntries, ini_entry::kMode, 4, "0"},
      {ListKind::IniEntries, ini_entry::kUninstall, 5, "1"},
      {ListKind::UninstallExtras, uninstall_extra::kCode, 0, "7"},
      {ListKind::UninstallExtras, uninstall_extra::kText, 1, "extra text"},
      {ListKind::ComRegistrations, com_registration::kLibrary, 0, "library.dll"},
      {ListKind::ComRegistrations, com_registration::kUnregister, 1, "1"},
      {ListKind::Languages, language_record::kName, 0, "English"},
      {ListKind::Languages, language_record::kLanguageId, 1, "1033"},
      {ListKind::Languages, language_record::kLicenceFile, 2, ""},
      {ListKind::Languages, language_record::kReadmeFile, 3, ""},
  };
  std::set<int> covered;
  for (const auto& f : fields) {
    const ScriptList& list = b.script.List(f.kind);
    ASSERT_EQ(list.Count(), 1u) << ListName(f.kind);
    EXPECT_EQ(f.named, f.position) << ListName(f.kind) << " field " << f.position;
    EXPECT_EQ(list.Field(0, f.position), f.text) << ListName(f.kind) << " field " << f.position;
    covered.insert(static_cast<int>(f.kind) * 16 + static_cast<int>(f.position));
  }
  // Every field of every list is in the table.
  for (int k = 0; k < kListKindCount; ++k)
    for (unsigned n = 0; n < ShapeOf(static_cast<ListKind>(k)).width; ++n)
      EXPECT_TRUE(covered.count(k * 16 + static_cast<int>(n))) << ListName(static_cast<ListKind>(k)) << " field " << n;
}

class Folders : public FolderResolver {
 public:
  std::string ResolveFolder(int number) override { return number == 4 ? "C:\\App" : std::string(); }
  std::string ShortForm(const std::string&) override { return std::string(); }
};

// The runtime's uninstall record takes its sections from the named fields:
// a field read from the wrong place shows here as a wrong value.
TEST(RecordFields, TheUninstallRecordReadsTheFieldsTheToolWrote) {
  Built b;
  Folders folders;
  LanguageState language;
  ApplyLanguage(b.script, 0, language);
  const std::string ini = BuildUninstallIni(b.script, {}, "C:\\App\\", folders);
  const char* sections[] = {
      "[e]\r\n1=folder\r\n",
      "[o1]\r\n0=7\r\n1=extra text\r\n",
      "[u]\r\n1=library.dll\r\n",
      "[i1]\r\n0=file.ini\r\n1=Section\r\n2=Key\r\n",
      "[r1]\r\n0=2\r\n1=Software\\Reg\r\n2=RegName\r\n",
      "[r2]\r\n0=3\r\n1=Gone\\Key\r\n2=GoneName\r\n",
      "[n1]\r\n0=Font Name\r\n1=font.ttf\r\n",
  };
  for (const char* s : sections) EXPECT_NE(ini.find(s), std::string::npos) << s << "\nin\n" << ini;
}

TEST(RecordFields, ALanguageRecordGivesItsDocumentsAndIsFoundByItsIdentifier) {
  SetupScript s;
  s.header.assign(field::kHeaderFieldCount, "0");
  ScriptList& languages = s.List(ListKind::Languages);
  for (const Record& r :
       {MakeRecord(ListKind::Languages, {{language_record::kName, "English"}, {language_record::kLanguageId, "1033"},
                                         {language_record::kLicenceFile, ""}, {language_record::kReadmeFile, ""}}),
        MakeRecord(ListKind::Languages, {{language_record::kReadmeFile, "51"}, {language_record::kLicenceFile, "21"},
                                         {language_record::kLanguageId, "1031"}, {language_record::kName, "Deutsch"}})})
    languages.texts.insert(languages.texts.end(), r.begin(), r.end());
  EXPECT_EQ(PreselectedLanguage(languages, 1031), 1);
  EXPECT_EQ(MatchRequestedLanguage(languages, "deut"), 1);
  LanguageState state;
  ApplyLanguage(s, 1, state);
  EXPECT_EQ(state.licenseFileNo, 21);
  EXPECT_EQ(state.readmeFileNo, 51);
  ApplyLanguage(s, 0, state);
  EXPECT_EQ(state.licenseFileNo, work_files::kLicence);
  EXPECT_EQ(state.readmeFileNo, work_files::kReadme);
}

TEST(RecordFields, ARecordMissingOrRepeatingAFieldIsRefused) {
  EXPECT_THROW(MakeRecord(ListKind::Fonts, {{font_entry::kName, "n"}}), std::logic_error);
  EXPECT_THROW(MakeRecord(ListKind::Fonts, {{font_entry::kName, "n"}, {font_entry::kName, "m"}}), std::logic_error);
  EXPECT_THROW(MakeRecord(ListKind::Fonts, {{font_entry::kName, "n"}, {font_entry::kFile, "f"}, {2, "x"}}),
               std::logic_error);
  EXPECT_EQ(MakeRecord(ListKind::Fonts, {{font_entry::kFile, "f"}, {font_entry::kName, "n"}}),
            (Record{"n", "f"}));
}

// The tool's resource members unpack to the files the runtime opens, and
// every number the tool hands out is one the clean-up removes again.
TEST(WorkFiles, ResourceMembersLandOnTheRuntimesFilesAndAreCleanedUp) {
  ScratchDir dir;
  dir.Write("runtime.exe", test::FakeRuntime());
  dir.Write("tool.exe", "MZ");
  std::string toml = "[setup]\ntitle = \"T\"\n[[files]]\nsource = \"tool.exe\"\ndestination = \"{app}\"\n"
                     "[[shortcuts]]\nkind = \"desktop\"\nname = \"T.lnk\"\ntarget = \"{app}\\\\tool.exe\"\n";
  const char* const bases[] = {"english", "german", "english"};
  for (int l = 0; l < 3; ++l)
    toml += std::string("[[languages]]\nbase = \"") + bases[l] + "\"\nname = \"L" + std::to_string(l) +
            "\"\nlicence = \"licence" + std::to_string(l) + ".txt\"\nreadme = \"readme" + std::to_string(l) +
            ".txt\"\n";
  for (int l = 0; l < 3; ++l) {
    dir.Write("licence" + std::to_string(l) + ".txt", "licence " + std::to_string(l));
    dir.Write("readme" + std::to_string(l) + ".txt", "readme " + std::to_string(l));
  }
  Project p = LoadProjectText(toml, "t.toml", dir.path());
  BuildOptions o;
  o.output = dir / "setup.exe";
  o.runtime = dir / "runtime.exe";
  BuildPackage(p, o);
  PackageFile package(dir / "setup.exe");
  const std::vector<int> cleaned = CleanupFileNumbers(true, static_cast<int32_t>(p.languages.size()));
  const std::set<int> removed(cleaned.begin(), cleaned.end());
  std::set<int> numbers;
  for (const auto& m : package.Resources()) {
    EXPECT_TRUE(IsWorkDirMemberName(m.name)) << m.name;
    const std::string number = m.name.substr(work_files::kFolderLength, m.name.size() - work_files::kFolderLength - 4);
    const int n = std::stoi(number);
    numbers.insert(n);
    EXPECT_EQ("C:\\Temp\\" + m.name, WorkDirFileName("C:\\Temp\\", n, false)) << m.name;
    EXPECT_TRUE(removed.count(n)) << m.name << " stays behind after the run";
  }
  for (int n : {work_files::kHeaderPicture, work_files::kSidePicture, work_files::kFolderPicture,
                work_files::kShortcutsPicture, work_files::kLicence, work_files::kReadme})
    EXPECT_TRUE(numbers.count(n)) << n;
  EXPECT_EQ(numbers.size(), 4u + 2 * 3);  // three licences and three readmes of their own
  // What the language records name is what the resource area holds.
  const ScriptList& languages = package.script().List(ListKind::Languages);
  for (size_t l = 0; l < languages.Count(); ++l)
    for (unsigned k : {language_record::kLicenceFile, language_record::kReadmeFile}) {
      const std::string& text = languages.Field(l, k);
      const int n = text.empty() ? (k == language_record::kLicenceFile ? work_files::kLicence : work_files::kReadme)
                                 : std::stoi(text);
      EXPECT_TRUE(numbers.count(n)) << "language " << l << " field " << k;
    }
  EXPECT_EQ(WorkDirFileName("C:\\Temp", 0, true),
            std::string("C:\\Temp\\") + work_files::kFolder + work_files::kPartPrefix + "0" + work_files::kSuffix);
  EXPECT_EQ(std::string(work_files::kFolder).size(), work_files::kFolderLength);
}

}  // namespace
}  // namespace pvx::tool
