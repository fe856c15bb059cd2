#include "uninstaller/removal_rules.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

using Paths = std::vector<std::string>;

const Paths kShared = {"C:\\Windows", "C:\\Windows\\system32", "C:\\Program Files",
                       "C:\\users\\me\\Start Menu\\Programs", "C:\\users\\me\\Desktop", "C:\\users\\me\\Temp"};

TEST(RemovalRulesTest, PathComparison) {
  EXPECT_TRUE(SamePath("C:\\App\\", "c:/app"));
  EXPECT_TRUE(SamePath("C:\\", "c:"));
  EXPECT_FALSE(SamePath("C:\\App", "C:\\App2"));
  EXPECT_TRUE(IsAtOrBelow("C:\\App\\x\\y", "c:\\app\\"));
  EXPECT_TRUE(IsAtOrBelow("C:\\App", "C:\\App"));
  EXPECT_FALSE(IsAtOrBelow("C:\\App2\\x", "C:\\App"));
  EXPECT_FALSE(IsAtOrBelow("C:\\App", "C:\\App\\x"));
  EXPECT_TRUE(IsAtOrBelow("C:\\App", "C:\\"));
  EXPECT_FALSE(IsAtOrBelow("C:\\App", ""));
  EXPECT_TRUE(IsAbsolutePath("C:\\a"));
  EXPECT_TRUE(IsAbsolutePath("\\\\srv\\share"));
  EXPECT_FALSE(IsAbsolutePath("a\\b"));
  EXPECT_FALSE(IsAbsolutePath("C:a"));
  EXPECT_FALSE(IsAbsolutePath("\\a"));
}

TEST(RemovalRulesTest, FoldersToRemove) {
  struct Case {
    const char* name;
    Paths record;
    Paths files;
    std::string installFolder;
    Paths expected;
  } cases[] = {
      {"record folders last first, file folders up to the installation folder",
       {"C:\\App\\data", "C:\\App\\data\\cache"},
       {"C:\\App\\bin\\x\\tool.exe", "C:\\App\\a.txt"},
       "C:\\App\\",
       {"C:\\App\\data\\cache", "C:\\App\\bin\\x", "C:\\App\\data", "C:\\App\\bin", "C:\\App"}},
      {"outside the installation folder only the file's own folder",
       {},
       {"C:\\users\\me\\Start Menu\\Programs\\Tool\\Tool.lnk", "C:\\Shared\\Vendor\\lib\\v.dll"},
       "C:\\App\\",
       {"C:\\users\\me\\Start Menu\\Programs\\Tool", "C:\\Shared\\Vendor\\lib"}},
      {"never a drive root, a shared folder or a folder that holds one",
       {"C:\\", "C:\\Windows", "C:\\users", "C:\\users\\me", "D:\\", "\\\\srv\\share", "C:\\Program Files"},
       {"C:\\Windows\\system32\\x.dll", "C:\\users\\me\\Desktop\\Tool.lnk", "C:\\top.txt"},
       "C:\\App\\",
       {}},
      {"relative and empty names are passed over", {"", "data", "..\\x"}, {"tool.exe"}, "C:\\App\\", {}},
      {"each folder once, without regard to case or a trailing backslash",
       {"C:\\App\\Data\\", "c:\\app\\data"},
       {"C:\\APP\\data\\a", "C:\\App\\DATA\\b"},
       "C:\\App\\",
       {"c:\\app\\data", "C:\\APP"}},
      {"an installation folder that is a drive root bounds nothing",
       {},
       {"D:\\Tool\\bin\\a.exe"},
       "D:\\",
       {"D:\\Tool\\bin"}},
      {"a user folder beside the installation is not touched",
       {"C:\\App"},
       {"C:\\App\\a.exe"},
       "C:\\App\\",
       {"C:\\App"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FoldersToRemove(c.record, c.files, c.installFolder, kShared), c.expected) << c.name;
}

TEST(RemovalRulesTest, ManyFiles) {
  Paths files;
  for (int i = 0; i < 100000; ++i) files.push_back("C:\\App\\d" + std::to_string(i % 1000) + "\\f" + std::to_string(i));
  Paths folders = FoldersToRemove({}, files, "C:\\App", kShared);
  ASSERT_EQ(folders.size(), 1001u);
  EXPECT_EQ(folders.front(), "C:\\App\\d0");
  EXPECT_EQ(folders.back(), "C:\\App");
}

TEST(RemovalRulesTest, EmptyKeysToRemove) {
  struct Case {
    const char* key;
    Paths expected;
  } cases[] = {
      {"Software\\Example Software\\Example Tool",
       {"Software\\Example Software\\Example Tool", "Software\\Example Software"}},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExampleTool",
       {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExampleTool"}},
      {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", {}},
      {"Software\\Microsoft\\Windows\\CurrentVersion\\Run", {}},
      {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"}},
      {"Software\\Microsoft\\Tool", {"Software\\Microsoft\\Tool"}},
      {"CLSID\\{1234}\\InprocServer32", {"CLSID\\{1234}\\InprocServer32", "CLSID\\{1234}"}},
      // Top-level keys stay, even a file type's own under HKCR.
      {".xyz\\shell", {".xyz\\shell"}},
      {"Software", {}},
      {"Software\\", {}},
      {"\\Software\\Tool\\", {"Software\\Tool"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(EmptyKeysToRemove(c.key), c.expected) << c.key;
}

TEST(RemovalRulesTest, FontsPlacedByTheInstallation) {
  const std::vector<Str> files = {"C:\\App\\tool.exe", "C:\\Windows\\Fonts\\Ours.ttf"};
  struct Case {
    const char* font;
    bool ours;
  } cases[] = {
      {"C:\\Windows\\Fonts\\Ours.ttf", true},
      {"c:/windows/fonts/OURS.TTF", true},  // as Windows names it
      {"C:\\Windows\\Fonts\\Shared.ttf", false},  // there before, someone else's
      {"Ours.ttf", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(PlacedByInstallation(c.font, files), c.ours) << c.font;
  EXPECT_FALSE(PlacedByInstallation("C:\\Windows\\Fonts\\Ours.ttf", {}));
}

TEST(RemovalRulesTest, BlankText) {
  EXPECT_TRUE(IsBlankText(""));
  EXPECT_TRUE(IsBlankText("\r\n \t\r\n"));
  EXPECT_FALSE(IsBlankText("[Settings]\r\n"));
}

}  // namespace
}  // namespace pvx
