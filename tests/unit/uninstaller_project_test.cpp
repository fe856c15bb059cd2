// [uninstall] uninstaller: the project ships an uninstaller program.
#include <gtest/gtest.h>

#include "format/header_fields.h"
#include "tests/unit/tool_test_util.h"
#include "tool/project.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

std::string Project(const std::string& uninstall) {
  return "[setup]\ntitle = \"T\"\n[[files]]\nsource = \"a.txt\"\ndestination = \"{app}\"\n[uninstall]\n" + uninstall;
}

std::string ErrorOf(const ScratchDir& dir, const std::string& toml, const LoadOptions& options) {
  try {
    LoadProjectText(toml, "p.toml", dir.path(), options);
  } catch (const ProjectError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(UninstallerProjectTest, ShipsTheBundledOrANamedUninstaller) {
  ScratchDir dir;
  dir.Write("a.txt", "a");
  dir.Write("bin/uninstall.exe", "MZ bundled");
  dir.Write("own/u.exe", "MZ own!");
  LoadOptions options;
  options.uninstaller = dir / "bin/uninstall.exe";
  struct Case {
    const char* name;
    std::string uninstall;
    std::string source;
    std::string destination;
  } cases[] = {
      {"the bundled one at the default path", "uninstaller = true\n", dir / "bin/uninstall.exe",
       "@$&%04\\Uninstall.exe"},
      {"a named one at the program path", "uninstaller = \"own/u.exe\"\nprogram = \"{app}\\\\bin\\\\Remove.exe\"\n",
       dir / "own/u.exe", "@$&%04\\bin\\Remove.exe"},
  };
  for (const Case& c : cases) {
    pvx::tool::Project p = LoadProjectText(Project(c.uninstall), "p.toml", dir.path(), options);
    ASSERT_EQ(p.files.size(), 2u) << c.name;
    EXPECT_EQ(p.files[1].sourcePath, c.source) << c.name;
    EXPECT_EQ(p.files[1].destination, c.destination) << c.name;
    EXPECT_TRUE(p.files[1].uninstall) << c.name;
    EXPECT_EQ(p.files[1].overwrite, 2) << c.name;
    EXPECT_EQ(p.header[field::kWriteUninstallRecord], "1") << c.name;
  }
  pvx::tool::Project none = LoadProjectText(Project("uninstaller = false\n"), "p.toml", dir.path(), options);
  EXPECT_EQ(none.files.size(), 1u);
  pvx::tool::Project notes = LoadProjectText(
      Project("restart_note = \"R\"\nfailure_note = \"F\"\nweb = \"https://example.invalid/bye\"\n"), "p.toml",
      dir.path(), options);
  EXPECT_EQ(notes.header[field::kUninstallSetting75], "R");
  EXPECT_EQ(notes.header[field::kUninstallSetting64], "F");
  EXPECT_EQ(notes.header[field::kUninstallSetting97], "https://example.invalid/bye");
}

TEST(UninstallerProjectTest, Errors) {
  ScratchDir dir;
  dir.Write("a.txt", "a");
  dir.Write("Uninstall.exe", "MZ");
  LoadOptions options;
  options.uninstaller = dir / "missing/uninstall.exe";
  struct Case {
    std::string toml;
    std::string error;
  } cases[] = {
      {Project("uninstaller = true\n"),
       "p.toml:7: uninstall.uninstaller: uninstaller not found: " + (dir / "missing/uninstall.exe")},
      {Project("uninstaller = 3\n"), "p.toml:7: uninstall.uninstaller: expected a boolean or a path, found an integer"},
      {Project("uninstaller = \"Uninstall.exe\"\nenabled = false\n"),
       "p.toml:7: uninstall.uninstaller: the uninstaller needs the uninstall record (enabled = true)"},
      {Project("uninstaller = \"Uninstall.exe\"\nprogram = \"{app}\\\\\"\n"),
       "p.toml:7: uninstall.uninstaller: uninstall.program must name the uninstaller's file"},
      {"[setup]\ntitle = \"T\"\n[[files]]\nsource = \"Uninstall.exe\"\ndestination = \"{app}\"\n[uninstall]\n"
       "uninstaller = \"Uninstall.exe\"\n",
       "p.toml:7: uninstall.uninstaller: files[0] also installs @$&%04\\Uninstall.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(dir, c.toml, options), c.error);
}

}  // namespace
}  // namespace pvx::tool
