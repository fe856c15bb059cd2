// LeanString is the runtime's std::string: every operation is checked
// against std::string itself on the same inputs.
#include "format/str.h"

#include <gtest/gtest.h>

#include <vector>

namespace pvx {
namespace {

std::string S(const LeanString& s) { return std::string(s.c_str(), s.size()); }

const std::vector<std::string> kTexts = {
    "", "a", "abc", "C:\\Program Files\\Tool\\", "@$&%04@$&%04", "aaaa", "\\", "x:y/z\\w",
    std::string(40, 'q'),
};

TEST(LeanStringTest, SearchesMatchStdString) {
  const char* needles[] = {"", "a", "aa", "\\", "@$&%", "Tool", "zz", "\\/:"};
  for (const std::string& t : kTexts) {
    LeanString l(t.c_str(), t.size());
    for (const char* n : needles) {
      for (size_t pos : {size_t(0), size_t(1), size_t(3), t.size(), t.size() + 2}) {
        EXPECT_EQ(l.find(n, pos), t.find(n, pos)) << t << " / " << n << " @" << pos;
        EXPECT_EQ(l.find_first_of(n, pos), t.find_first_of(n, pos)) << t << " / " << n;
        EXPECT_EQ(l.find_last_of(n, pos), t.find_last_of(n, pos)) << t << " / " << n;
      }
      EXPECT_EQ(l.find_last_of(n), t.find_last_of(n)) << t << " / " << n;
      if (*n) {
        EXPECT_EQ(l.find(n[0]), t.find(n[0])) << t << " / " << n;
      }
    }
  }
}

TEST(LeanStringTest, EditsMatchStdString) {
  for (const std::string& t : kTexts) {
    for (size_t pos : {size_t(0), size_t(1), size_t(2), t.size()}) {
      if (pos > t.size()) continue;
      for (size_t n : {size_t(0), size_t(1), size_t(5), std::string::npos}) {
        LeanString l(t.c_str(), t.size());
        std::string s = t;
        EXPECT_EQ(S(l.substr(pos, n)), s.substr(pos, n));
        EXPECT_EQ(S(LeanString(l).erase(pos, n)), std::string(s).erase(pos, n));
        EXPECT_EQ(S(LeanString(l).replace(pos, n, "XY")), std::string(s).replace(pos, n, "XY"));
        EXPECT_EQ(S(LeanString(l).insert(pos, "<>")), std::string(s).insert(pos, "<>"));
      }
    }
  }
}

// Texts that lie in a shared block (the setup script's lists): every edit
// gives the same text as std::string, leaves the other texts of the block
// alone, and never frees the block.
TEST(LeanStringTest, TextsInPlaceEditLikeStdStringAndKeepTheirBlock) {
  struct Case {
    const char* name;
    void (*edit)(LeanString&);
    void (*expected)(std::string&);
  };
  const Case cases[] = {
      {"read only", [](LeanString&) {}, [](std::string&) {}},
      {"append (grows)", [](LeanString& s) { s += "-more"; }, [](std::string& s) { s += "-more"; }},
      {"clear", [](LeanString& s) { s.clear(); }, [](std::string& s) { s.clear(); }},
      {"clear then append", [](LeanString& s) { s.clear(); s += "new"; }, [](std::string& s) { s = "new"; }},
      {"pop_back", [](LeanString& s) { s.pop_back(); }, [](std::string& s) { s.pop_back(); }},
      {"shrink", [](LeanString& s) { s.resize(1); }, [](std::string& s) { s.resize(1); }},
      {"reserve less", [](LeanString& s) { s.reserve(1); }, [](std::string&) {}},
      {"copy assigned", [](LeanString& s) { s = LeanString("other text"); },
       [](std::string& s) { s = "other text"; }},
      {"moved over", [](LeanString& s) { LeanString t("moved"); s = static_cast<LeanString&&>(t); },
       [](std::string& s) { s = "moved"; }},
      {"erase", [](LeanString& s) { s.erase(0, 2); }, [](std::string& s) { s.erase(0, 2); }},
      {"insert", [](LeanString& s) { s.insert(1, "<>"); }, [](std::string& s) { s.insert(1, "<>"); }},
  };
  for (const Case& c : cases) {
    // The middle text is longer than a fresh copy's smallest room, so that
    // shrinking it must not copy it into less than it holds.
    char block[] = "first\0second text of the block, forty chars\0third";
    const size_t length = sizeof "second text of the block, forty chars" - 1;
    std::string expected = "second text of the block, forty chars";
    {
      LeanString text = LeanString::InPlace(block + 6, length);
      LeanString copy(text);  // a copy is a text of its own
      c.edit(text);
      c.expected(expected);
      EXPECT_EQ(S(text), expected) << c.name;
      EXPECT_EQ(S(copy), "second text of the block, forty chars") << c.name;
      LeanString moved = static_cast<LeanString&&>(text);  // still in place, or its own
      EXPECT_EQ(S(moved), expected) << c.name;
    }  // destroying them must not free the block
    EXPECT_STREQ(block, "first") << c.name;
    EXPECT_STREQ(block + 7 + length, "third") << c.name;
  }
}

TEST(LeanStringTest, BuildingAndComparing) {
  LeanString a = "abc";
  a += 'd';
  a += "ef";
  a += LeanString("gh");
  EXPECT_EQ(S(a), "abcdefgh");
  a.append(a.c_str() + 2, 3);  // a part of itself, while growing
  EXPECT_EQ(S(a), "abcdefghcde");
  LeanString b = a + "!" + LeanString("?") + '.';
  EXPECT_EQ(S(b), "abcdefghcde!?.");
  EXPECT_TRUE(LeanString("x") == "x");
  EXPECT_TRUE(LeanString("x") != LeanString("y"));
  EXPECT_TRUE(LeanString("ab") < LeanString("abc"));
  EXPECT_FALSE(LeanString("b") < LeanString("abc"));
  LeanString moved = static_cast<LeanString&&>(b);
  EXPECT_TRUE(b.empty());
  EXPECT_STREQ(b.c_str(), "");
  EXPECT_EQ(moved.size(), 14u);
  moved.resize(3);
  EXPECT_EQ(S(moved), "abc");
  moved.resize(5, '-');
  EXPECT_EQ(S(moved), "abc--");
  moved.pop_back();
  EXPECT_EQ(moved.back(), '-');
  moved.clear();
  EXPECT_TRUE(moved.empty());
  LeanString self = "loop";
  self = self.c_str() + 1;  // assigning a part of itself
  EXPECT_EQ(S(self), "oop");
  std::vector<LeanString> list(3, LeanString("v"));
  list.push_back("w");
  EXPECT_EQ(S(list[3]), "w");
  std::string joined;
  for (char c : LeanString("it")) joined += c;
  EXPECT_EQ(joined, "it");
}

}  // namespace
}  // namespace pvx
