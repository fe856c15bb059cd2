#include "wizard/browse_rule.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(BrowseRuleTest, Cases) {
  const Str tool = "Tool", none;
  struct Case {
    const char* chosen;
    const char* defaultFolder;
    const Str* appended;
    const char* expected;
  } cases[] = {
      // Outside the default location the application's folder is added.
      {"D:\\Apps", "C:\\Program Files\\Vendor\\Tool", &tool, "D:\\Apps\\Tool"},
      {"E:\\", "C:\\Program Files\\Vendor\\Tool", &tool, "E:\\Tool"},
      // Inside it (letter case aside) the folder is taken as it is.
      {"c:\\program files\\vendor\\tool\\sub", "C:\\Program Files\\Vendor\\Tool", &tool,
       "c:\\program files\\vendor\\tool\\sub"},
      {"C:\\Program Files\\Vendor\\Tool\\", "C:\\Program Files\\Vendor\\Tool", &tool,
       "C:\\Program Files\\Vendor\\Tool"},
      // Shorter than the default: outside.
      {"C:\\Program Files", "C:\\Program Files\\Vendor\\Tool", &tool, "C:\\Program Files\\Tool"},
      // Nothing to append: one trailing backslash goes, a bare drive keeps its root.
      {"D:\\", "C:\\Program Files\\Vendor\\Tool", nullptr, "D:\\"},
      {"D:\\Apps\\", "C:\\Program Files\\Vendor\\Tool", nullptr, "D:\\Apps"},
      // A name that expands to nothing still ends the folder with a backslash.
      {"D:\\Apps", "C:\\Tool", &none, "D:\\Apps\\"},
      // Only ASCII letters fold: other bytes must match exactly.
      {"C:\\\xe4pps\\x", "C:\\\xc4pps", &tool, "C:\\\xe4pps\\x\\Tool"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BrowsedFolder(c.chosen, c.defaultFolder, c.appended), c.expected) << c.chosen;
}

}  // namespace
}  // namespace pvx
