#include "startup/prerequisites.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

uint32_t Version(unsigned major, unsigned minor, bool family9x) {
  return major | (minor << 8) | (family9x ? 0x80000000u : 0);
}

TEST(PrerequisitesTest, VersionClasses) {
  struct Case {
    unsigned major, minor;
    bool family9x;
    int expected;
  } cases[] = {
      {3, 10, true, 0},  {4, 0, true, 1},   {4, 10, true, 2},  {4, 89, true, 2},
      {4, 90, true, 3},  {5, 0, true, 3},   {3, 51, false, 4}, {4, 0, false, 4},
      {5, 0, false, 5},  {5, 1, false, 6},  {5, 2, false, 7},  {6, 0, false, 8},
      {6, 1, false, 6},  {6, 2, false, 8},  {10, 0, false, 8}, {6, 3, false, 8},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowsVersionClass(Version(c.major, c.minor, c.family9x)), c.expected)
        << c.major << "." << c.minor << (c.family9x ? " 9x" : " NT");
}

TEST(PrerequisitesTest, RefusedClasses) {
  for (int c = 0; c <= 8; ++c) {
    EXPECT_EQ(VersionClassRefused(c, 15), c <= 3) << c;
    EXPECT_EQ(VersionClassRefused(c, 256), c == 8) << c;
    EXPECT_FALSE(VersionClassRefused(c, 65536)) << c;
    EXPECT_EQ(VersionClassRefused(c, -1), true) << c;
  }
}

TEST(PrerequisitesTest, DotNet) {
  struct Case {
    std::vector<std::string> keys;
    double required;
    bool anyLaterFails, exactFails;
  } cases[] = {
      {{"v1.0", "v1.1", "v2.0"}, 2.0, false, false},
      {{"v1.1"}, 2.0, true, true},
      {{"v2.0", "v4.0"}, 2.0, false, true},  // exact compares with the highest
      {{}, 0.0, false, false},
      {{"v4.0"}, 0.0, false, true},
      {{"2.0", "vx", "V3.5", "standards"}, 3.5, false, false},
  };
  for (const Case& c : cases) {
    double best = BestDotNetVersion(c.keys);
    EXPECT_EQ(DotNetCheckFails(true, best, c.required), c.anyLaterFails);
    EXPECT_EQ(DotNetCheckFails(false, best, c.required), c.exactFails);
  }
  EXPECT_DOUBLE_EQ(BestDotNetVersion({"v1.1.4322", "v1.0.3705"}), 1.1);
}

TEST(PrerequisitesTest, RunningCopyMatching) {
  EXPECT_TRUE(TitleQualifies("Untitled - Notepad", "notepad"));
  EXPECT_FALSE(TitleQualifies("Parvolex notepad", "notepad"));
  EXPECT_FALSE(TitleQualifies("", ""));
  EXPECT_TRUE(TitleQualifies("x", ""));
  EXPECT_TRUE(ProgramNameMatches("C:\\Apps\\TOOL.EXE", "tool.exe"));
  EXPECT_TRUE(ProgramNameMatches("tool.exe", "Tool.Exe"));
  EXPECT_FALSE(ProgramNameMatches("C:\\Apps\\tool.exe.bak", "tool.exe"));
  EXPECT_TRUE(ProgramNameMatches("\\Device\\x/tool.exe", "tool.exe"));
}

// Windows XP and 2003 refuse an OpenProcess whose mask holds a bit they do
// not know, such as those of PROCESS_ALL_ACCESS in today's headers
// (0x1FFFFF); their own "all access" was 0x1F0FFF. Wine accepts either, so
// the mask is checked here.
TEST(PrerequisitesTest, RunningCopyIsOpenedWithRightsOldSystemsGrant) {
  const uint32_t kTerminate = 0x0001, kQuery = 0x0400, kSynchronize = 0x00100000;
  const uint32_t kAllAccessBeforeVista = 0x1F0FFF;
  EXPECT_EQ(kEndProcessAccess, kTerminate | kQuery | kSynchronize);
  EXPECT_EQ(kEndProcessAccess & ~kAllAccessBeforeVista, 0u);
}

}  // namespace
}  // namespace pvx
