#include "tool/product.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "format/header_fields.h"
#include "tests/unit/tool_test_util.h"
#include "tool/builder.h"
#include "tool/project.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExampleTool";

// A scratch project folder with two payload files and an uninstaller.
struct ProductProject {
  ScratchDir dir;
  LoadOptions options;
  ProductProject() {
    dir.Write("app/tool.exe", std::string(3000, 'x'));
    dir.Write("app/readme.txt", "read me");
    dir.Write("uninstall.exe", std::string(500, 'u'));
    options.uninstaller = dir / "uninstall.exe";
  }
  Project Load(const std::string& toml) const { return LoadProjectText(toml, "p.toml", dir.path(), options); }
  std::string ErrorOf(const std::string& toml) const {
    try {
      Load(toml);
    } catch (const ProjectError& e) {
      return e.what();
    }
    return "(no error)";
  }
};

const char kFiles[] = R"T(
[[files]]
source = "app"
destination = "{app}"
)T";
const char kUninstaller[] = "[uninstall]\nuninstaller = true\n";

// The registration's values as the package writes them: name -> type:data,
// and whether every one is removed at uninstall.
std::map<std::string, std::string> Registration(const Project& p, bool* allRemoved = nullptr) {
  SetupScript s = ComposeScript(p, PlanResources(p), PayloadFacts{});
  std::map<std::string, std::string> out;
  const ScriptList& list = s.List(ListKind::RegistryEntries);
  if (allRemoved) *allRemoved = true;
  for (size_t r = 0; r < list.Count(); ++r) {
    if (list.Field(r, 1) != kKey) continue;
    EXPECT_EQ(list.Field(r, 0), "2");
    EXPECT_EQ(list.Field(r, 5), "1") << "overwritten on upgrade: " << list.Field(r, 2);
    if (allRemoved && list.Field(r, 6) != "1") *allRemoved = false;
    EXPECT_EQ(out.count(list.Field(r, 2)), 0u) << "written twice: " << list.Field(r, 2);
    out[list.Field(r, 2)] = (list.Field(r, 4) == "2" ? "dword:" : "string:") + list.Field(r, 3);
  }
  return out;
}

TEST(ProductRegistration, ValuesComeFromTheProductAndThePayload) {
  ProductProject pp;
  const std::string full = std::string(R"T(
[product]
id = "ExampleTool"
name = "Example Tool"
version = "1.4"
publisher = "Example Software"
url = "https://example.invalid/"
support_url = "https://example.invalid/help"
contact = "help@example.invalid"
comments = "Turns text into reports"
icon = "{app}\\tool.exe"
)T") + kFiles + kUninstaller;
  bool removed = false;
  auto values = Registration(pp.Load(full), &removed);
  // 3000 + 7 + 500 bytes = 3507 bytes = 4 KiB rounded up.
  const std::map<std::string, std::string> expected = {
      {"DisplayName", "string:Example Tool"},
      {"DisplayVersion", "string:1.4"},
      {"Publisher", "string:Example Software"},
      {"URLInfoAbout", "string:https://example.invalid/"},
      {"HelpLink", "string:https://example.invalid/help"},
      {"Contact", "string:help@example.invalid"},
      {"Comments", "string:Turns text into reports"},
      {"InstallLocation", "string:@$&%04"},
      {"DisplayIcon", "string:@$&%04\\tool.exe"},
      {"UninstallString", "string:\"@$&%04\\Uninstall.exe\""},
      {"QuietUninstallString", "string:\"@$&%04\\Uninstall.exe\" /S"},
      {"EstimatedSize", "dword:4"},
      {"NoModify", "dword:1"},
      {"NoRepair", "dword:1"},
  };
  EXPECT_EQ(values, expected);
  EXPECT_TRUE(removed) << "every value of the registration goes at uninstall";
}

// Each case changes one source; the value it feeds changes (or goes) and
// nothing else of the registration does.
TEST(ProductRegistration, OnlyValuesWithASourceAndTheProjectsOwnWin) {
  struct Case {
    const char* what;
    std::string toml;
    std::map<std::string, std::string> changed;  // "" = not written
    const char* warning = nullptr;
  };
  const std::string head = "[product]\nid = \"ExampleTool\"\nname = \"Example Tool\"\n";
  const std::map<std::string, std::string> base = {
      {"DisplayName", "string:Example Tool"},
      {"InstallLocation", "string:@$&%04"},
      {"UninstallString", "string:\"@$&%04\\Uninstall.exe\""},
      {"QuietUninstallString", "string:\"@$&%04\\Uninstall.exe\" /S"},
      {"EstimatedSize", "dword:4"},
      {"NoModify", "dword:1"},
      {"NoRepair", "dword:1"},
  };
  const Case cases[] = {
      {"minimal product", head + kFiles + kUninstaller, {}},
      {"empty publisher is no publisher", head + "publisher = \"\"\n" + kFiles + kUninstaller, {}},
      {"name from the setup title", "[setup]\ntitle = \"Tool Setup\"\n[product]\nid = \"ExampleTool\"\n" +
                                        std::string(kFiles) + kUninstaller,
       {{"DisplayName", "string:Tool Setup"}}},
      {"icon named by its source", head + "icon = \"app/tool.exe\"\n" + kFiles + kUninstaller,
       {{"DisplayIcon", "string:@$&%04\\tool.exe"}}},
      {"icon in another case", head + "icon = \"{APP}\\\\TOOL.EXE\"\n" + kFiles + kUninstaller,
       {{"DisplayIcon", "string:@$&%04\\tool.exe"}}},
      {"own uninstaller path", head + kFiles + "[uninstall]\nuninstaller = true\nprogram = \"{app}\\\\bin\\\\rm.exe\"\n",
       {{"UninstallString", "string:\"@$&%04\\bin\\rm.exe\""},
        {"QuietUninstallString", "string:\"@$&%04\\bin\\rm.exe\" /S"}}},
      {"no uninstaller shipped", head + kFiles + "[uninstall]\n",
       // 3007 bytes without the uninstaller: 3 KiB.
       {{"UninstallString", ""}, {"QuietUninstallString", ""}, {"EstimatedSize", "dword:3"}},
       "no UninstallString"},
      {"project's own value wins", head + kFiles + kUninstaller +
                                       "[[registry]]\nroot = \"HKLM\"\nkey = \"software\\\\microsoft\\\\windows\\\\"
                                       "currentversion\\\\uninstall\\\\exampletool\"\nname = \"NoModify\"\n"
                                       "type = \"dword\"\ndata = 0\nuninstall = true\n",
       {{"NoModify", ""}}},  // written under the project's spelling of the key
  };
  for (const Case& c : cases) {
    ProductProject pp;
    auto expected = base;
    for (auto& [name, value] : c.changed) {
      if (value.empty()) expected.erase(name);
      else expected[name] = value;
    }
    Project p = pp.Load(c.toml);
    if (c.warning) {
      ASSERT_EQ(p.warnings.size(), 1u) << c.what;
      EXPECT_NE(p.warnings[0].find(c.warning), std::string::npos) << p.warnings[0];
    } else {
      EXPECT_TRUE(p.warnings.empty()) << c.what << ": " << (p.warnings.empty() ? "" : p.warnings[0]);
    }
    EXPECT_EQ(Registration(p), expected) << c.what;
    // Whatever this version leaves out is still removed at uninstall: an
    // earlier version may have written it.
    std::set<std::string> removed;
    for (auto& [name, value] : Registration(p)) removed.insert(name);
    for (auto& r : p.records[static_cast<int>(ListKind::UninstallRegistryEntries)]) {
      EXPECT_EQ(r[0], "2");
      EXPECT_EQ(r[1], kKey);
      EXPECT_TRUE(removed.insert(r[2]).second) << c.what << ": listed twice: " << r[2];
    }
    std::set<std::string> every(RegistrationValueNames().begin(), RegistrationValueNames().end());
    if (std::string(c.what) == "project's own value wins") every.erase("NoModify");
    EXPECT_EQ(removed, every) << c.what;
  }
}

TEST(ProductRegistration, NoUninstallRecordMeansNoRegistrationAndAWarning) {
  ProductProject pp;
  Project p = pp.Load(std::string("[product]\nid = \"ExampleTool\"\nname = \"Example Tool\"\n") + kFiles);
  EXPECT_TRUE(Registration(p).empty());
  EXPECT_TRUE(p.records[static_cast<int>(ListKind::RegistryVariables)].empty());
  EXPECT_EQ(p.header[field::kDefaultFolder], "@$&%01\\Example Tool");
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_NE(p.warnings[0].find("no uninstall record"), std::string::npos) << p.warnings[0];
}

TEST(ProductRegistration, EstimatedSizeCountsWhatIsPacked) {
  ProductProject pp;
  Project p = pp.Load(std::string("[product]\nid = \"ExampleTool\"\nname = \"T\"\n") + kFiles + kUninstaller);
  // The builder packs signed copies, whose sizes differ: it is the packed
  // size that counts.
  for (PayloadFile& f : p.files) f.size = 0;
  p.files[0].size = 5 * 1024 * 1024 + 1;
  EXPECT_EQ(Registration(p)["EstimatedSize"], "dword:" + std::to_string(5 * 1024 + 1));
  const std::pair<uint64_t, uint32_t> sizes[] = {
      {0, 0}, {1, 1}, {1024, 1}, {1025, 2}, {uint64_t(1) << 50, 0xFFFFFFFFu}};
  for (auto& [bytes, kib] : sizes) EXPECT_EQ(EstimatedSizeKiB(bytes), kib) << bytes;
}

// The header fields [product] derives, and what overrides each.
TEST(ProductDerived, TitleFolderGroupAndUpgradeFolder) {
  struct Case {
    const char* what;
    std::string toml;
    std::map<int, std::string> fields;
    std::string folderDefault;  // the registry variable's default text
  };
  const std::string product = "[product]\nid = \"ExampleTool\"\nname = \"Example Tool\"\nversion = \"1.4\"\n";
  const std::string rest = std::string(kFiles) + kUninstaller;
  const Case cases[] = {
      {"all derived", product + rest,
       {{field::kSetupTitle, "Example Tool 1.4"},
        {field::kBackdropTitle, "Example Tool 1.4"},
        {field::kDefaultFolder, "@$&%81"},
        {field::kDefaultGroup, "Example Tool"},
        {field::kBrowseAppendFolder, "Example Tool"}},
       "@$&%01\\Example Tool"},
      {"no version", "[product]\nid = \"ExampleTool\"\nname = \"Example Tool\"\n" + rest,
       {{field::kSetupTitle, "Example Tool"}}, "@$&%01\\Example Tool"},
      {"title given", "[setup]\ntitle = \"Example Tool Setup\"\n" + product + rest,
       {{field::kSetupTitle, "Example Tool Setup"}, {field::kDefaultGroup, "Example Tool"}}, "@$&%01\\Example Tool"},
      {"folder given", "[setup]\ndefault_folder = \"{cf}\\\\Example\"\n" + product + rest,
       {{field::kDefaultFolder, "@$&%81"}, {field::kBrowseAppendFolder, "Example"}}, "@$&%16\\Example"},
      {"group given", "[setup]\nprogram_group = \"Examples\\\\Tool\"\n" + product + rest,
       {{field::kDefaultGroup, "Examples\\Tool"}}, "@$&%01\\Example Tool"},
      {"odd name with folder and group given",
       "[setup]\ndefault_folder = \"{pf}\\\\ET\"\nprogram_group = \"ET\"\n"
       "[product]\nid = \"ExampleTool\"\nname = \"Example: Tool\"\n" + rest,
       {{field::kSetupTitle, "Example: Tool"}, {field::kDefaultGroup, "ET"}}, "@$&%01\\ET"},
      {"after the project's own variables",
       product + rest + "[[registry_variables]]\nroot = \"HKCU\"\nkey = \"Software\\\\A\"\nname = \"B\"\n"
                        "[[registry_variables]]\nroot = \"HKCU\"\nkey = \"Software\\\\A\"\nname = \"C\"\n",
       {{field::kDefaultFolder, "@$&%83"}}, "@$&%01\\Example Tool"},
      {"field 58 set by number", product + rest + "[header]\n58 = \"C:\\\\Fixed\"\n",
       {{field::kDefaultFolder, "C:\\Fixed"}}, "@$&%01\\Example Tool"},
  };
  for (const Case& c : cases) {
    ProductProject pp;
    Project p = pp.Load(c.toml);
    for (auto& [n, value] : c.fields) EXPECT_EQ(p.header[n], value) << c.what << ", field " << n;
    const auto& vars = p.records[static_cast<int>(ListKind::RegistryVariables)];
    ASSERT_FALSE(vars.empty()) << c.what;
    EXPECT_EQ(vars.back(), (std::vector<std::string>{"2", kKey, "InstallLocation", c.folderDefault})) << c.what;
  }
}

TEST(ProductErrors, BadProductsNameTheKeyAndTheReason) {
  const std::string rest = std::string(kFiles) + kUninstaller;
  const std::pair<std::string, const char*> cases[] = {
      {"[product]\nname = \"X\"\n", "p.toml:1: product.id: missing"},
      {"[product]\nid = \"\"\nname = \"X\"\n", "product.id: \"\" cannot name a registry key: the id is empty"},
      {"[product]\nid = \"Example\\\\Tool\"\nname = \"X\"\n", "contains a backslash"},
      {"[product]\nid = \"" + std::string(256, 'a') + "\"\nname = \"X\"\n", "longer than 255 characters"},
      {"[product]\nid = \" Tool\"\nname = \"X\"\n", "begins or ends with a blank"},
      {"[product]\nid = \"..\"\nname = \"X\"\n", "is not a key name"},
      {"[product]\nid = \"A\\tB\"\nname = \"X\"\n", "control character"},
      {"[product]\nid = \"@$&%04\"\nname = \"X\"\n", "product.id: contains \"@$&%\", which the runtime would expand"},
      {"[product]\nid = \"T\"\nname = \"X\"\npublisher = \"@$&%01\"\n", "product.publisher: contains \"@$&%\""},
      {"[product]\nid = \"T\"\nname = \"\"\n", "product.name: the name is empty"},
      {"[product]\nid = \"T\"\n", "product.name: missing"},
      {"[product]\nid = \"T\"\nname = \"A/B\"\n", "product.name: cannot be the default folder and program group"},
      {"[product]\nid = \"T\"\nname = \"X\"\nicon = \"{app}\\\\missing.ico\"\n" + rest,
       "product.icon: \"{app}\\missing.ico\" is not a file of the payload"},
      {"[product]\nid = \"T\"\nname = \"X\"\nicon = \"\"\n", "product.icon: the icon is empty"},
      {"[product]\nid = \"T\"\nname = \"X\"\nwinget_id = \"NoDot\"\n", "product.winget_id: is not a winget identifier"},
      {"[product]\nid = \"T\"\nname = \"X\"\nversio = \"1\"\n", "product.versio: unknown key"},
      {"[product]\nid = 7\n", "product.id: expected a string, found an integer"},
      {"[package]\nform = \"stored\"\n", "setup: missing"},
  };
  for (auto& [toml, expected] : cases) {
    ProductProject pp;
    std::string error = pp.ErrorOf(toml);
    EXPECT_NE(error.find(expected), std::string::npos) << "project:\n" << toml << "\nerror: " << error;
  }
  // Twenty registry variables cannot be reached; the product's would be one too many.
  std::string many = "[product]\nid = \"T\"\nname = \"X\"\n" + rest;
  for (int i = 0; i < 19; ++i) many += "[[registry_variables]]\nroot = \"HKCU\"\nkey = \"Software\\\\A\"\n";
  ProductProject pp;
  EXPECT_NE(pp.ErrorOf(many).find("takes all of {reg1} to {reg19}"), std::string::npos) << pp.ErrorOf(many);
}

}  // namespace
}  // namespace pvx::tool
