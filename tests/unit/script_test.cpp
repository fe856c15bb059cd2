#include "format/script.h"

#include <gtest/gtest.h>

#include "format/header_fields.h"

namespace pvx {
namespace {

std::string Texts(std::initializer_list<std::string> texts) {
  std::string out;
  for (const std::string& t : texts) out += t + std::string(1, '\0');
  return out;
}

SetupScript Load(const std::string& bytes, unsigned lastIndex) {
  MemorySource source(bytes.data(), bytes.size());
  TextReader reader(source);
  SetupScript script;
  LoadScriptHead(reader, lastIndex, script);
  LoadScriptLists(reader, script);
  return script;
}

TEST(ScriptTest, HeaderAccessors) {
  SetupScript s;
  s.header = {"0", "", "00", "1", "no", "16744576", "-11", "+5", "5-", "12abc", " 7"};
  struct Case {
    int n;
    bool flag;
    int32_t value;
  } cases[] = {
      {0, false, 0}, {1, true, 0},          {2, true, 0},  {3, true, 1},  {4, true, 0},
      {5, true, 16744576}, {6, true, -11},  {7, true, 5},  {8, true, 5},  {9, true, 12},
      {10, true, 0},
      {11, true, 0},   // beyond the last index: empty text
      {-1, true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(s.HeaderFlag(c.n), c.flag) << c.n;
    EXPECT_EQ(s.HeaderInt(c.n), c.value) << c.n;
  }
  EXPECT_EQ(s.HeaderText(11), "");
}

TEST(ScriptTest, HeaderLastIndexZeroGivesOneText) {
  SetupScript s = Load(Texts({"only", "next"}), 0);
  ASSERT_EQ(s.header.size(), 1u);
  EXPECT_EQ(s.header[0], "only");
}

// A minimal header of 121 fields with the given counts.
std::vector<std::string> Header(std::initializer_list<std::pair<int, const char*>> set) {
  std::vector<std::string> h(121, "0");
  for (auto& p : set) h[p.first] = p.second;
  return h;
}

std::string Encode(const std::vector<std::string>& header, std::initializer_list<std::string> rest) {
  std::string out;
  for (const std::string& t : header) out += t + std::string(1, '\0');
  return out + Texts(rest);
}

TEST(ScriptTest, ReadOrderAndCounts) {
  // 5 registry entries, 1 shortcut, 7 files, 1 language of 99 texts: the
  // lists then hold 35 + 8 + 21 + 4 + 99 texts after the header.
  auto h = Header({{field::kRegistryCount, "5"}, {field::kShortcutCount, "1"},
                   {field::kFileCount, "7"}, {field::kLanguageCount, "1"},
                   {field::kTextsPerLanguage, "99"}});
  std::string bytes;
  for (auto& t : h) bytes += t + std::string(1, '\0');
  int k = 0;
  for (int i = 0; i < 35 + 8 + 21 + 4 + 99; ++i) bytes += "t" + std::to_string(k++) + std::string(1, '\0');
  bytes += "RESOURCE";
  SetupScript s = Load(bytes, 120);
  EXPECT_EQ(s.List(ListKind::RegistryEntries).Count(), 5u);
  EXPECT_EQ(s.List(ListKind::RegistryEntries).Field(4, 6), "t34");
  EXPECT_EQ(s.List(ListKind::Shortcuts).Field(0, 0), "t35");
  EXPECT_EQ(s.List(ListKind::Files).Field(6, 2), "t63");
  EXPECT_EQ(s.List(ListKind::Languages).Field(0, 3), "t67");
  ASSERT_EQ(s.languageStrings.size(), 100u);
  EXPECT_EQ(s.languageStrings[0], "");
  EXPECT_EQ(s.languageStrings[1], "t68");
  EXPECT_EQ(s.languageStrings[99], "t166");
}

TEST(ScriptTest, CommandListCountsBothParts) {
  auto h = Header({{field::kInstallCommandCount, "2"}, {field::kUninstallCommandCount, "1"},
                   {field::kIniCount, "1"}});
  std::string bytes = Encode(h, {});
  for (int i = 0; i < 18; ++i) bytes += "c" + std::to_string(i) + std::string(1, '\0');
  bytes += Texts({"ini0", "ini1", "ini2", "ini3", "ini4", "ini5"});
  SetupScript s = Load(bytes, 120);
  EXPECT_EQ(s.List(ListKind::Commands).Count(), 3u);
  EXPECT_EQ(s.List(ListKind::IniEntries).Field(0, 0), "ini0");
}

TEST(ScriptTest, NonNumericAndNegativeCountsReadNothing) {
  auto h = Header({{field::kRegistryCount, "abc"}, {field::kFontCount, "-3"},
                   {field::kShortcutCount, "1"}});
  SetupScript s = Load(Encode(h, {"a", "b", "c", "d", "e", "f", "g", "h"}), 120);
  EXPECT_EQ(s.List(ListKind::RegistryEntries).Count(), 0u);
  EXPECT_EQ(s.List(ListKind::Fonts).Count(), 0u);
  EXPECT_EQ(s.List(ListKind::Shortcuts).Field(0, 0), "a");
}

TEST(ScriptTest, CountLargerThanDataStopsAtTheEnd) {
  // A huge count must neither allocate nor loop for it: reading stops at
  // the end and what could not be read behaves as empty.
  auto h = Header({{field::kFileCount, "2000000000"}, {field::kLanguageCount, "255"},
                   {field::kTextsPerLanguage, "2147483647"}});
  SetupScript s = Load(Encode(h, {"a", "1", "0", "b"}), 120);
  EXPECT_EQ(s.List(ListKind::Files).Count(), 2u);
  EXPECT_EQ(s.List(ListKind::Files).Field(1, 0), "b");
  EXPECT_EQ(s.List(ListKind::Files).Field(1, 1), "");
  EXPECT_EQ(s.List(ListKind::Files).Field(5000, 0), "");
  EXPECT_EQ(s.languageStrings.size(), 1u);
}

TEST(ScriptTest, ScriptCutShortGivesEmptyFields) {
  std::string bytes = Texts({"Parvolex v. 5.02", "1"}) + "par";  // ends inside field 2
  SetupScript s = Load(bytes, 120);
  ASSERT_EQ(s.header.size(), 121u);
  EXPECT_EQ(s.HeaderText(1), "1");
  EXPECT_EQ(s.HeaderText(2), "par");
  EXPECT_EQ(s.HeaderText(3), "");
  EXPECT_TRUE(s.HeaderFlag(3));
  EXPECT_EQ(s.HeaderInt(67), 0);
}

TEST(ScriptTest, TwoPiecesLetTheCallerChangeFieldsBetween) {
  auto h = Header({{field::kRegistryVariableCount, "1"}, {field::kDefaultFolder, "C:\\A"}});
  std::string bytes = Encode(h, {"2", "SOFTWARE\\X", "Dir", "fallback"});
  MemorySource source(bytes.data(), bytes.size());
  TextReader reader(source);
  SetupScript s;
  LoadScriptHead(reader, 120, s);
  ResolveRegistryVariables(s, [](int32_t root, const std::string& key, const std::string& value) {
    EXPECT_EQ(root, 2);
    EXPECT_EQ(key, "SOFTWARE\\X");
    EXPECT_EQ(value, "Dir");
    return std::string();
  });
  ASSERT_EQ(s.registryValues.size(), 1u);
  EXPECT_EQ(s.registryValues[0], "fallback");
  s.SetHeader(field::kDefaultFolder, "D:\\B");
  LoadScriptLists(reader, s);
  EXPECT_EQ(s.HeaderText(field::kDefaultFolder), "D:\\B");
}

TEST(ScriptTest, EncodeThenLoadRoundTrips) {
  SetupScript s;
  s.header = Header({{field::kFolderCount, "2"}, {field::kLanguageCount, "2"},
                     {field::kTextsPerLanguage, "3"}, {field::kRegistryVariableCount, "1"}});
  s.List(ListKind::RegistryVariables).texts = {"1", "k", "v", "d"};
  s.List(ListKind::Folders).texts = {"@$&%04\\a", "1", "@$&%04\\b", "0"};
  s.List(ListKind::Languages).texts = {"English", "1033", "", "", "Deutsch", "1031", "20", "21"};
  s.languageStrings = {"", "one", "two", "three", "eins", "zwei", "drei"};
  std::string bytes = EncodeScript(s);
  SetupScript back = Load(bytes, 120);
  EXPECT_EQ(back.header, s.header);
  for (int i = 0; i < kListKindCount; ++i) EXPECT_EQ(back.lists[i].texts, s.lists[i].texts) << i;
  EXPECT_EQ(back.languageStrings, s.languageStrings);
}

TEST(ScriptTest, ListFlagsAreTrueOnlyForOne) {
  ScriptList list;
  list.width = 1;
  list.texts = {"1", "01", "2", "", "1x", "+1"};
  bool expected[] = {true, true, false, false, true, true};
  for (size_t i = 0; i < list.texts.size(); ++i) EXPECT_EQ(list.FieldIsOne(i, 0), expected[i]) << i;
}

}  // namespace
}  // namespace pvx
