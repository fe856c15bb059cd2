#include "wizard/page_sequence.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "format/script.h"

namespace pvx {
namespace {

std::vector<int> Sequence(std::initializer_list<int> onFields) {
  SetupScript script;
  for (int i = 0; i < 121; ++i) script.SetHeader(i, "0");
  for (int field : onFields) script.SetHeader(field, "1");
  PageSequence s = BuildPageSequence(script);
  return std::vector<int>(s.kinds, s.kinds + s.count);
}

TEST(PageSequenceTest, FlagsChooseThePages) {
  struct Case {
    const char* name;
    std::initializer_list<int> fields;
    std::vector<int> expected;
  } cases[] = {
      {"every optional page off", {}, {kInstalling, kExit}},
      {"all pages",
       {111, 30, 84, 112, 86, 113, 22, 114, 115, 116},
       {kWelcome, kLicense, kInformation, kFolder, kProgramGroup, kShortcuts, kReady, kInstalling,
        kFinish, kExit}},
      {"group page needs a program group", {113}, {kInstalling, kExit}},
      {"program group without its page", {86}, {kInstalling, kExit}},
      {"group page", {86, 113}, {kProgramGroup, kInstalling, kExit}},
      {"shortcuts page needs shortcuts offered", {114}, {kInstalling, kExit}},
      {"shortcuts offered without the page", {22}, {kInstalling, kExit}},
      {"shortcuts page", {22, 114}, {kShortcuts, kInstalling, kExit}},
      {"licence then finish", {30, 116}, {kLicense, kInstalling, kFinish, kExit}},
      {"welcome and folder", {111, 112}, {kWelcome, kFolder, kInstalling, kExit}},
  };
  for (const Case& c : cases) EXPECT_EQ(Sequence(c.fields), c.expected) << c.name;
}

TEST(PageSequenceTest, EmptyFieldsAreTrueFlags) {
  SetupScript script;  // every field reads as empty text
  PageSequence s = BuildPageSequence(script);
  EXPECT_EQ(s.count, 10);
}

TEST(PageSequenceTest, InnerPages) {
  const bool inner[] = {false, true, true, true, true, true, true, true, false, false};
  for (int k = kWelcome; k <= kExit; ++k) EXPECT_EQ(IsInnerPage(k), inner[k]) << k;
}

}  // namespace
}  // namespace pvx
