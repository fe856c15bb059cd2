#include "core/folder_macros.h"

#include <gtest/gtest.h>

#include <map>

namespace pvx {
namespace {

class FakeResolver : public FolderResolver {
 public:
  std::map<int, std::string> folders = {
      {1, "C:\\Program Files"}, {4, "C:\\Program Files\\Tool"}, {5, "C:\\Temp"},
      {17, "C:"},               {81, "@$&%04"},                 {82, "@$&%82"},
      {83, "x@$&%83@$&%83"},    {84, "@$&%85"},                 {85, "@$&%84"},
  };
  int calls = 0;
  std::string ResolveFolder(int number) override {
    ++calls;
    auto it = folders.find(number);
    return it == folders.end() ? std::string() : it->second;
  }
  std::string ShortForm(const std::string& path) override { return "SHORT(" + path + ")"; }
};

TEST(FolderMacrosTest, Expansion) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"no macro here", "no macro here"},
      {"@$&%01\\Example\\Tool.exe", "C:\\Program Files\\Example\\Tool.exe"},
      {"@$&%04\\Uninstall.exe", "C:\\Program Files\\Tool\\Uninstall.exe"},
      {"@$&%17\\Data", "C:\\Data"},
      {"@$&%44", "SHORT(C:\\Program Files\\Tool)"},
      {"@$&%59", ""},        // short form of a folder with no rule
      {"@$&%19", ""},
      {"@$&%00", ""},
      {"@$&%36", ""},
      {"a@$&%xyb", "ab"},    // the two characters belong to the token
      {"@$&%7\\x", "x"},     // number 7 (no folder here); the backslash is consumed
      {"end@$&%", "end"},
      {"end@$&%4", "endC:\\Program Files\\Tool"},
      {"@$&%05@$&%99@$&%05", "C:\\TempC:\\Temp"},
      {"@$&%81\\bin", "C:\\Program Files\\Tool\\bin"},  // a variable holding a macro
      {"@$&%-1", ""},        // -1 is 255 in 8 bits
      {"@$&%01@$&%01", "C:\\Program FilesC:\\Program Files"},
  };
  for (const Case& c : cases) {
    FakeResolver r;
    EXPECT_EQ(ExpandFolderMacros(c.text, r), c.expected) << c.text;
  }
}

TEST(FolderMacrosTest, SelfReferencesEndAfterTheBound) {
  struct Case {
    const char* text;
  } cases[] = {{"@$&%82"}, {"<@$&%83>"}, {"@$&%84"}};
  for (const Case& c : cases) {
    FakeResolver r;
    std::string out = ExpandFolderMacros(c.text, r);
    EXPECT_EQ(out.find("@$&%"), std::string::npos) << c.text;
    EXPECT_LE(r.calls, static_cast<int>(std::string(c.text).size() + kExtraReplacements));
  }
  FakeResolver r;
  std::string grown = ExpandFolderMacros("<@$&%83>", r);
  EXPECT_EQ(grown.front(), '<');
  EXPECT_EQ(grown.back(), '>');
}

TEST(FolderMacrosTest, MacroNumbers) {
  EXPECT_EQ(MacroNumber("07"), 7);
  EXPECT_EQ(MacroNumber("7\\"), 7);
  EXPECT_EQ(MacroNumber("xy"), 0);
  EXPECT_EQ(MacroNumber("-1"), 255);
  EXPECT_EQ(MacroNumber("99"), 99);
}

TEST(FolderMacrosTest, EscapeAmpersands) {
  EXPECT_EQ(EscapeAmpersands("A&B"), "A&&B");
  EXPECT_EQ(EscapeAmpersands("R&&D"), "R&&&&D");
  EXPECT_EQ(EscapeAmpersands(""), "");
  EXPECT_EQ(EscapeAmpersands("&"), "&&");
}

}  // namespace
}  // namespace pvx
