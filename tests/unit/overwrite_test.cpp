#include "install/overwrite.h"
#include "install/path_safety.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(OverwriteTest, DecisionTable) {
  struct Case {
    int32_t mode;
    bool newer;
    Decision expected;
  } cases[] = {
      {0, false, Decision::Ask},     {0, true, Decision::Ask},
      {1, false, Decision::Keep},    {1, true, Decision::Ask},
      {2, false, Decision::Replace}, {2, true, Decision::Replace},
      {3, false, Decision::Keep},    {3, true, Decision::Replace},
      {4, false, Decision::Keep},    {4, true, Decision::Keep},
      {5, false, Decision::Replace}, {-1, false, Decision::Replace},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideOverwrite(c.mode, c.newer), c.expected) << c.mode << " " << c.newer;
}

TEST(OverwriteTest, NewerIsStrictlyLaterFieldByField) {
  CalendarTime base = {2024, 5, 17, 10, 30, 0, 0};
  CalendarTime later = base, earlier = base;
  later.millisecond = 1;
  earlier.year = 2023;
  earlier.month = 12;
  EXPECT_TRUE(IsNewer(later, base));
  EXPECT_FALSE(IsNewer(base, base));
  EXPECT_FALSE(IsNewer(earlier, base));
  EXPECT_TRUE(IsNewer(base, earlier));
}

TEST(OverwriteTest, RememberedAnswers) {
  struct Case {
    int32_t answer;
    bool replace, ask;
  } cases[] = {
      {kReplaceAll, true, false}, {kSkipAll, false, false}, {kAsk, true, true},
      {kReplace, true, false},    {7, true, false},
  };
  for (const Case& c : cases) {
    bool ask = false;
    EXPECT_EQ(AnswerFromMemory(c.answer, ask), c.replace) << c.answer;
    EXPECT_EQ(ask, c.ask) << c.answer;
  }
}

TEST(OverwriteTest, SizeText) {
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0"},        {500, "500"},      {1023, "1023"},   {1024, "1K"},
      {1536, "1.5K"},  {1100, "1.07K"},   {1030, "1K"},     {1048576, "1M"},
      {1073741824ULL * 3, "3G"},          {1099511627776ULL, "1T"},
      {1099511627776ULL * 2048, "2048T"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(OverwriteTest, ShortenPath) {
  auto width = [](const Str& s) { return static_cast<int>(s.size()) * 10; };
  struct Case {
    const char* path;
    int max;
    const char* expected;
  } cases[] = {
      {"C:\\Program Files\\Application\\Data\\file.dat", 1000,
       "C:\\Program Files\\Application\\Data\\file.dat"},
      {"C:\\Program Files\\Application\\Data\\file.dat", 250, "C:\\Program Files\\..\\file.dat"},
      {"C:\\a\\averyveryverylongfilename.dat", 50, "..\\averyveryverylongfilename.dat"},
      {"nobackslashes-and-very-long", 10, "nobackslashes-and-very-long"},
      {"C:\\dir\\sub\\", 1000, "C:\\dir\\sub"},
      {"C:\\\\x\\f", 1000, "C:\\\\x\\f"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortenPath(c.path, c.max, width), c.expected) << c.path;
}

TEST(OverwriteTest, MemberNames) {
  struct Case {
    const char* name;
    bool inside;
  } cases[] = {
      {"$inst\\4.tmp", true},      {"$INST\\15.tmp", true},     {"$inst\\..\\x.tmp", false},
      {"..\\evil.dll", false},     {"C:\\Windows\\x", false},   {"\\x", false},
      {"$inst/../x", false},       {"$inst\\", false},          {"$inst\\a\\\\b", false},
      {"$inst\\sub\\5.tmp", true}, {"other\\4.tmp", false},     {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWorkDirMemberName(c.name), c.inside) << c.name;
  EXPECT_TRUE(IsBareFileName("pvx1.cab"));
  EXPECT_FALSE(IsBareFileName("..\\pvx1.cab"));
  EXPECT_FALSE(IsBareFileName(".."));
  EXPECT_FALSE(IsBareFileName(""));
}

// How Windows opens an existing file for replacing it (CreateFile with
// GENERIC_WRITE and CREATE_ALWAYS, the new file's attributes "normal"):
// refused for a read-only file, and for a hidden or system one whose bits
// the call does not ask for. (Wine opens all of them, which is why this is
// decided here and not only seen end to end.)
bool WindowsOpensForReplacing(uint32_t existing) {
  const uint32_t requested = 0x80;
  if (existing & 0x1) return false;
  if ((existing & 0x2) && !(requested & 0x2)) return false;
  if ((existing & 0x4) && !(requested & 0x4)) return false;
  return true;
}

TEST(OverwriteTest, ExistingFilesCanBeReplacedWhateverTheirAttributes) {
  struct Case {
    uint32_t existing;
    uint32_t before;  // 0: left as it is
  } cases[] = {
      {0x80, 0},      {0x20, 0},     {0x2020, 0},  // normal, archive, not indexed
      {0x01, 0x80},   {0x02, 0x80},  {0x04, 0x80}, {0x06, 0x80},
      {0x27, 0x20},   {0x26, 0x20},  {0x2022, 0x2020},
  };
  for (const Case& c : cases) {
    uint32_t before = AttributesBeforeReplacing(c.existing);
    EXPECT_EQ(before, c.before) << std::hex << c.existing;
    EXPECT_TRUE(WindowsOpensForReplacing(before ? before : c.existing)) << std::hex << c.existing;
  }
}

}  // namespace
}  // namespace pvx
