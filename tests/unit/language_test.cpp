#include "core/language.h"

#include <gtest/gtest.h>

#include "format/header_fields.h"

namespace pvx {
namespace {

ScriptList Records(std::initializer_list<std::pair<const char*, const char*>> names) {
  ScriptList list;
  list.width = 4;
  for (auto& n : names) list.texts.insert(list.texts.end(), {n.first, n.second, "", ""});
  return list;
}

TEST(LanguageTest, RequestMatching) {
  struct Case {
    ScriptList records;
    const char* request;
    int expected;
  } cases[] = {
      {Records({{"English (United States)", "1033"}}), "eng", 0},
      {Records({{"English (United States)", "1033"}}), "ENGLISH", 0},
      {Records({{"English", "1033"}, {"English (UK)", "2057"}}), "english", 1},
      {Records({{"English", "1033"}, {"Deutsch", "1031"}}), "xx", -1},
      {Records({{"English", "1033"}, {"Deutsch", "1031"}}), "", 1},  // empty matches all
      {Records({}), "eng", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchRequestedLanguage(c.records, c.request), c.expected) << c.request;
}

TEST(LanguageTest, Preselection) {
  ScriptList enDe = Records({{"English", "1033"}, {"German", "1031"}});
  ScriptList noEnglish = Records({{"Francais", "1036"}, {"German", "1031"}});
  ScriptList twoGerman = Records({{"German", "1031"}, {"English", "1033"}, {"Deutsch", "1031"}});
  ScriptList englishLower = Records({{"english", "9"}, {"English", "1033x"}});
  EXPECT_EQ(PreselectedLanguage(enDe, 1031), 1);
  EXPECT_EQ(PreselectedLanguage(enDe, 1036), 0);
  EXPECT_EQ(PreselectedLanguage(noEnglish, 1049), 0);
  EXPECT_EQ(PreselectedLanguage(twoGerman, 1031), 2);  // the last match
  EXPECT_EQ(PreselectedLanguage(englishLower, 1), 1);   // exact, case-sensitive name
  EXPECT_EQ(PreselectedLanguage(englishLower, 1033), 1);  // "1033x" reads as 1033
}

SetupScript ThreeLanguages() {
  SetupScript s;
  s.header.assign(121, "0");
  s.header[field::kTextsPerLanguage] = "99";
  s.header[field::kLanguageCount] = "3";
  s.List(ListKind::Languages).texts = {"A", "1", "", "", "B", "2", "20", "50", "C", "3", "21", ""};
  for (int i = 1; i <= 3 * 99; ++i) s.languageStrings.push_back("text" + std::to_string(i));
  return s;
}

TEST(LanguageTest, ApplyingTheThirdLanguage) {
  SetupScript s = ThreeLanguages();
  LanguageState state;
  ApplyLanguage(s, 2, state);
  EXPECT_EQ(LanguageText(s, 1), "text199");
  EXPECT_EQ(LanguageText(s, 99), "text297");
  EXPECT_EQ(LanguageText(s, 0), "");
  EXPECT_EQ(LanguageText(s, 100), "");
  EXPECT_EQ(state.licenseFileNo, 21);
  EXPECT_EQ(state.readmeFileNo, 16);
}

TEST(LanguageTest, FileNumbers) {
  SetupScript s = ThreeLanguages();
  LanguageState state;
  ApplyLanguage(s, 0, state);
  EXPECT_EQ(LanguageText(s, 1), "text1");
  EXPECT_EQ(state.licenseFileNo, 15);
  EXPECT_EQ(state.readmeFileNo, 16);
  s = ThreeLanguages();
  ApplyLanguage(s, 1, state);
  EXPECT_EQ(state.licenseFileNo, 20);
  EXPECT_EQ(state.readmeFileNo, 50);
}

TEST(LanguageTest, MissingTextsReadEmpty) {
  SetupScript s = ThreeLanguages();
  s.languageStrings.resize(150);  // the third language is cut short
  LanguageState state;
  ApplyLanguage(s, 2, state);
  EXPECT_EQ(LanguageText(s, 1), "");
}

}  // namespace
}  // namespace pvx
