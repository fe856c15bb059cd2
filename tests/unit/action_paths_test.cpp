#include "core/action_paths.h"

#include <gtest/gtest.h>

#include <map>

namespace pvx {
namespace {

TEST(ActionPathsTest, FontRegistryData) {
  struct Case {
    const char* file;
    const char* fonts;
    const char* data;
  } cases[] = {
      {"C:\\Windows\\Fonts\\Example.ttf", "C:\\Windows\\Fonts", "Example.ttf"},
      {"c:\\windows\\FONTS\\Example.ttf", "C:\\Windows\\Fonts", "Example.ttf"},
      {"C:\\Windows\\Fonts2\\Example.ttf", "C:\\Windows\\Fonts", "Example.ttf"},  // plain substring test
      {"D:\\Copy of C:\\Windows\\Fonts\\x.fon", "C:\\Windows\\Fonts", "x.fon"},
      {"C:\\App\\Example.ttf", "C:\\Windows\\Fonts", "C:\\App\\Example.ttf"},
      {"C:\\Windows\\Font\\a.ttf", "C:\\Windows\\Fonts", "C:\\Windows\\Font\\a.ttf"},
      {"C:\\App\\Example.ttf", "", "C:\\App\\Example.ttf"},  // no Fonts folder known
      // Only A-Z fold: an accented capital is not the same letter.
      {"C:\\\xC9\\a.ttf", "C:\\\xE9", "C:\\\xC9\\a.ttf"},
  };
  for (const Case& c : cases) EXPECT_EQ(FontRegistryData(c.file, c.fonts), c.data) << c.file;
}

class Folders : public FolderResolver {
 public:
  std::map<int, std::string> known = {{8, "C:\\Menu\\Programs"}, {6, "C:\\Desk"}, {9, "C:\\Menu\\"}};
  std::string ResolveFolder(int number) override {
    auto it = known.find(number);
    return it == known.end() ? std::string() : it->second;
  }
  std::string ShortForm(const std::string&) override { return std::string(); }
};

TEST(ActionPathsTest, ShortcutLinkPath) {
  struct Case {
    int kind;
    bool chosen;
    const char* group;
    const char* name;
    const char* link;
  } cases[] = {
      {0, true, "Demo", "Tool.lnk", "C:\\Menu\\Programs\\Demo\\Tool.lnk"},
      {0, true, "", "Tool.lnk", "C:\\Menu\\Programs\\Tool.lnk"},  // no group: the programs folder
      {0, true, "A\\B", "Tool.lnk", "C:\\Menu\\Programs\\A\\B\\Tool.lnk"},
      {0, false, "Demo", "Tool.lnk", ""},
      {1, true, "Demo", "Tool.lnk", "C:\\Desk\\Tool.lnk"},
      {1, false, "Demo", "Tool.lnk", ""},
      {2, true, "Demo", "Tool.lnk", "C:\\Menu\\Tool.lnk"},  // no doubled backslash
      {3, true, "Demo", "Tool.lnk", ""},                    // no Quick Launch folder here
      {4, false, "Demo", "D:\\Links\\Tool.lnk", "D:\\Links\\Tool.lnk"},
      {4, true, "Demo", "", ""},
      {5, true, "Demo", "Tool.lnk", ""},
      {-1, true, "Demo", "Tool.lnk", ""},
      {1, true, "Demo", "", ""},  // a nameless link would be the folder itself
  };
  for (const Case& c : cases) {
    Folders folders;
    EXPECT_EQ(ShortcutLinkPath(c.kind, c.chosen, c.group, c.name, folders), c.link)
        << c.kind << " " << c.name;
  }
  Folders noPrograms;
  noPrograms.known.erase(8);
  EXPECT_EQ(ShortcutLinkPath(0, true, "Demo", "Tool.lnk", noPrograms), "");
}

TEST(ActionPathsTest, ShortcutWorkingFolder) {
  struct Case {
    const char* field;
    const char* target;
    const char* folder;
  } cases[] = {
      {"", "C:\\App\\Tool.exe", "C:\\App"},
      {"", "C:\\App\\Sub\\", "C:\\App\\Sub"},
      {"D:\\Work\\", "C:\\App\\Tool.exe", "D:\\Work"},
      {"D:\\Work", "C:\\App\\Tool.exe", "D:\\Work"},
      {"", "Tool.exe", ""},
      {"", "C:\\Tool.exe", "C:\\"},  // "C:" would mean drive C's current folder
      {"C:\\", "x", "C:\\"},
      {"", "C:Tool.exe", "C:"},
      {"", "\\\\server\\share\\x.exe", "\\\\server\\share"},
      {"", "C:/App/Tool.exe", "C:/App/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShortcutWorkingFolder(c.field, c.target), c.folder) << c.field << "|" << c.target;
}

TEST(ActionPathsTest, ExpandedRecordTakesOneRecordOfTheList) {
  Folders folders;
  ScriptList list;
  list.width = 3;
  list.texts = {"a", "b", "c", "@$&%06\\x", "@$&%08"};  // the second record is cut short
  ExpandedRecord second(list, 1, folders);
  EXPECT_EQ(second.field[0], "C:\\Desk\\x");
  EXPECT_EQ(second.field[1], "C:\\Menu\\Programs");
  EXPECT_EQ(second.field[2], "");
  EXPECT_EQ(second.field[3], "");  // past the width
  EXPECT_STREQ(second[0], "C:\\Desk\\x");
}

TEST(ActionPathsTest, CommandDirectory) {
  struct Case {
    const char* file;
    const char* folder;
  } cases[] = {
      {"C:\\App\\Tool.exe", "C:\\App\\"},
      {"Tool.exe", ""},
      {"C:Tool.exe", "C:"},
      {"C:\\App/Sub/readme.txt", "C:\\App/Sub/"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandDirectory(c.file), c.folder) << c.file;
}

}  // namespace
}  // namespace pvx
