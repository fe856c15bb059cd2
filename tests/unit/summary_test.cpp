#include "wizard/summary.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(SummaryTest, Combinations) {
  const Str folderHeading = "Destination folder:\r\n", groupHeading = "Program group:\r\n",
            shortcutHeading = "Additional shortcuts:\r\n";
  const Str* headings[3] = {&folderHeading, &groupHeading, &shortcutHeading};
  const Str folder = "C:\\Program Files\\Tool", group = "Tool";
  const Str desktop = "Desktop", startMenu = "Start menu", quick = "Quick Launch";
  struct Case {
    const char* name;
    bool withGroup;
    const Str* shortcuts[3];
    const char* expected;
  } cases[] = {
      {"folder only", false, {nullptr, nullptr, nullptr},
       "Destination folder:\r\n    C:\\Program Files\\Tool"},
      {"with group", true, {nullptr, nullptr, nullptr},
       "Destination folder:\r\n    C:\\Program Files\\Tool\r\n\r\nProgram group:\r\n    Tool"},
      {"all shortcuts", true, {&desktop, &startMenu, &quick},
       "Destination folder:\r\n    C:\\Program Files\\Tool\r\n\r\nProgram group:\r\n    Tool"
       "\r\n\r\nAdditional shortcuts:\r\n    Desktop\r\n    Start menu\r\n    Quick Launch"},
      // The desktop and Start-menu entries end with a line break of their own.
      {"desktop only", false, {&desktop, nullptr, nullptr},
       "Destination folder:\r\n    C:\\Program Files\\Tool\r\n\r\nAdditional shortcuts:\r\n    Desktop\r\n"},
      {"quick launch only", false, {nullptr, nullptr, &quick},
       "Destination folder:\r\n    C:\\Program Files\\Tool\r\n\r\nAdditional shortcuts:\r\n    Quick Launch"},
      {"desktop and quick launch", true, {&desktop, nullptr, &quick},
       "Destination folder:\r\n    C:\\Program Files\\Tool\r\n\r\nProgram group:\r\n    Tool"
       "\r\n\r\nAdditional shortcuts:\r\n    Desktop\r\n    Quick Launch"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadySummary(headings, folder, c.withGroup ? &group : nullptr, c.shortcuts), c.expected) << c.name;
}

TEST(SummaryTest, EmptyTextsStillKeepTheLayout) {
  const Str empty;
  const Str* headings[3] = {&empty, &empty, &empty};
  const Str* none[3] = {nullptr, nullptr, nullptr};
  EXPECT_EQ(ReadySummary(headings, empty, &empty, none), "    \r\n\r\n    ");
  // A shortcut whose text is empty still opens the section.
  const Str* blank[3] = {nullptr, &empty, nullptr};
  EXPECT_EQ(ReadySummary(headings, empty, nullptr, blank), "    \r\n\r\n    \r\n");
}

}  // namespace
}  // namespace pvx
