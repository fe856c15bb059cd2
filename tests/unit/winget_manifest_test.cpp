#include "tool/winget_manifest.h"

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <string>
#include <vector>

#include "tests/unit/tool_test_util.h"

namespace pvx::tool {
namespace {

ProductInfo Example() {
  ProductInfo p;
  p.id = "ExampleTool";
  p.name = "Example Tool \xE9";  // code page 1252: e acute
  p.version = "1.10";
  p.publisher = "Example Software";
  p.wingetId = "ExampleSoftware.ExampleTool";
  return p;
}

const char kUrl[] = "https://example.invalid/download/setup.exe";
const std::string kSha(64, 'A');

// The required properties of the installer manifest, from the public
// schema manifest.installer.1.6.0.json: its top-level "required" list and
// that of an Installer; InstallerType must be given at one of the two
// levels.
const char* const kRequiredTop[] = {"PackageIdentifier", "PackageVersion", "Installers", "ManifestType",
                                    "ManifestVersion"};
const char* const kRequiredInstaller[] = {"Architecture", "InstallerUrl", "InstallerSha256"};

TEST(WingetManifest, HoldsEveryRequiredFieldAndOurSwitchesAndCodes) {
  const std::string text = WingetInstallerManifest(Example(), 1252, kUrl, kSha);
  EXPECT_EQ(text.find("# yaml-language-server: $schema=https://aka.ms/winget-manifest.installer.1.6.0.schema.json"),
            text.find('\n') + 1);
  YAML::Node m = YAML::Load(text);
  for (const char* key : kRequiredTop) EXPECT_TRUE(m[key]) << key;
  ASSERT_TRUE(m["Installers"].IsSequence());
  ASSERT_EQ(m["Installers"].size(), 1u);
  YAML::Node installer = m["Installers"][0];
  for (const char* key : kRequiredInstaller) EXPECT_TRUE(installer[key]) << key;
  EXPECT_TRUE(m["InstallerType"] || installer["InstallerType"]);

  EXPECT_EQ(m["ManifestType"].as<std::string>(), "installer");
  EXPECT_EQ(m["ManifestVersion"].as<std::string>(), "1.6.0");
  EXPECT_EQ(m["PackageIdentifier"].as<std::string>(), "ExampleSoftware.ExampleTool");
  // Quoted, so that "1.10" stays a text and is not read as the number 1.1.
  EXPECT_EQ(m["PackageVersion"].Tag(), "!");
  EXPECT_EQ(m["PackageVersion"].as<std::string>(), "1.10");
  EXPECT_EQ(m["InstallerType"].as<std::string>(), "exe");
  EXPECT_EQ(m["Scope"].as<std::string>(), "machine");
  EXPECT_EQ(m["ProductCode"].as<std::string>(), "ExampleTool");
  EXPECT_EQ(m["UpgradeBehavior"].as<std::string>(), "install");
  EXPECT_EQ(installer["Architecture"].as<std::string>(), "x86");
  EXPECT_EQ(installer["InstallerUrl"].as<std::string>(), kUrl);
  EXPECT_EQ(installer["InstallerSha256"].as<std::string>(), kSha);
  YAML::Node switches = m["InstallerSwitches"];
  EXPECT_EQ(switches["Silent"].as<std::string>(), "/S");
  EXPECT_EQ(switches["SilentWithProgress"].as<std::string>(), "/S");
  EXPECT_EQ(switches["InstallLocation"].as<std::string>(), "/P=\"<INSTALLPATH>\"");
  EXPECT_EQ(switches["Log"].as<std::string>(), "/LOG=\"<LOGPATH>\"");
  // Every failure code of the setup, and none that winget already knows (0).
  std::vector<std::pair<int, std::string>> codes;
  for (const YAML::Node& c : m["ExpectedReturnCodes"])
    codes.emplace_back(c["InstallerReturnCode"].as<int>(), c["ReturnResponse"].as<std::string>());
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "contactSupport"}, {2, "cancelledByUser"}, {3, "systemNotSupported"}, {4, "fileInUse"}, {5, "cancelledByUser"}};
  EXPECT_EQ(codes, expected);
  EXPECT_FALSE(m["InstallerSuccessCodes"]) << "no non-zero code means success";
  // The entry winget matches against the list of installed programs: the
  // registration's own values, texts converted to UTF-8.
  ASSERT_EQ(m["AppsAndFeaturesEntries"].size(), 1u);
  YAML::Node arp = m["AppsAndFeaturesEntries"][0];
  EXPECT_EQ(arp["DisplayName"].as<std::string>(), "Example Tool \xC3\xA9");
  EXPECT_EQ(arp["Publisher"].as<std::string>(), "Example Software");
  EXPECT_EQ(arp["DisplayVersion"].as<std::string>(), "1.10");
  EXPECT_EQ(arp["ProductCode"].as<std::string>(), "ExampleTool");
  // No publisher: no empty Publisher either.
  ProductInfo bare = Example();
  bare.publisher.clear();
  EXPECT_FALSE(YAML::Load(WingetInstallerManifest(bare, 1252, kUrl, kSha))["AppsAndFeaturesEntries"][0]["Publisher"]);
}

TEST(WingetManifest, ChecksBeforeBuilding) {
  struct Case {
    const char* what;
    ProductInfo product;
    std::string url;
    const char* problem;  // nullptr = fine
  };
  ProductInfo noVersion = Example();
  noVersion.version.clear();
  ProductInfo slashVersion = Example();
  slashVersion.version = "1/2";
  ProductInfo idAsIs = Example();
  idAsIs.wingetId.clear();
  idAsIs.id = "Example.Tool";
  ProductInfo noIdentifier = Example();
  noIdentifier.wingetId.clear();
  const Case cases[] = {
      {"complete", Example(), kUrl, nullptr},
      {"the id has the identifier's form", idAsIs, kUrl, nullptr},
      {"plain http", Example(), "http://example.invalid/s.exe", nullptr},
      {"no identifier", noIdentifier, kUrl, "product.winget_id: missing"},
      {"no version", noVersion, kUrl, "product.version: missing"},
      {"slash in the version", slashVersion, kUrl, "PackageVersion cannot hold"},
      {"no address", Example(), "", "--winget needs --winget-url"},
      {"not a web address", Example(), "ftp://example.invalid/s.exe", "expected an http:// or https:// address"},
      {"scheme alone", Example(), "https://", "expected an http:// or https:// address"},
  };
  for (const Case& c : cases) {
    std::string problem = WingetProblem(c.product, c.url);
    if (!c.problem) EXPECT_EQ(problem, "") << c.what;
    else EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
  }
  EXPECT_EQ(WingetManifestFileName(idAsIs), "Example.Tool.installer.yaml");
}

TEST(WingetManifest, IdentifierForm) {
  const std::pair<std::string, bool> cases[] = {
      {"Example.Tool", true},
      {"A.B.C.D.E.F.G.H", true},
      {"A.B.C.D.E.F.G.H.I", false},  // nine parts
      {std::string(32, 'a') + ".b", true},
      {std::string(33, 'a') + ".b", false},
      {"Example", false},
      {"Example.", false},
      {".Tool", false},
      {"Example..Tool", false},
      {"Example Software.Tool", false},
      {"Example.To:ol", false},
      {"Example.To\"ol", false},
      {"Example.T\x01", false},
  };
  for (auto& [id, ok] : cases) EXPECT_EQ(WingetIdProblem(id).empty(), ok) << id << ": " << WingetIdProblem(id);
}

TEST(WingetManifest, Sha256OfAFile) {
  test::ScratchDir dir;
  // FIPS 180-2's test vectors; the long one takes many reads.
  const std::pair<std::string, const char*> cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
  };
  for (auto& [content, digest] : cases) {
    dir.Write("f", content);
    EXPECT_EQ(FileSha256(dir / "f"), digest) << content.size();
  }
  EXPECT_THROW(FileSha256(dir / "missing"), std::runtime_error);
}

}  // namespace
}  // namespace pvx::tool
