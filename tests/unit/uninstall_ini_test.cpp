#include "actions/uninstall_ini.h"

#include <gtest/gtest.h>

#include <map>

#include "actions/bitmap_file.h"
#include "format/decimal.h"
#include "format/header_fields.h"

namespace pvx {
namespace {

class Folders : public FolderResolver {
 public:
  std::string ResolveFolder(int number) override {
    static const std::map<int, std::string> known = {{4, "C:\\App"}, {15, "C:\\Windows\\Fonts"}};
    auto it = known.find(number);
    return it == known.end() ? std::string() : it->second;
  }
  std::string ShortForm(const std::string&) override { return std::string(); }
};

// Header field n is "h<n>"; the language has 81 texts "T<k>".
SetupScript Script() {
  SetupScript s;
  s.header.clear();
  for (int n = 0; n < field::kHeaderFieldCount; ++n) s.header.push_back("h" + std::to_string(n));
  s.header[field::kTextsPerLanguage] = "81";
  s.languageStrings.assign(1, std::string());
  for (int k = 1; k <= 81; ++k) s.languageStrings.push_back("T" + std::to_string(k));
  return s;
}

void SetCounts(SetupScript& s, std::initializer_list<std::pair<int, const char*>> counts) {
  for (auto& [n, v] : counts) s.header[n] = v;
}

// The [s] lines 0..51 with the given counts (keys 37, 39, 42..47) and the
// header's stored counts (38, 40, 41).
std::vector<std::string> Settings(const std::string& bottom, const std::string& installFolder,
                                  const std::string& h31, const std::string& h93, const std::string& h45,
                                  int e, int f, int u, int r, int i, int b, int a, int total) {
  return {
      "0=T63", "1=T64", "2=T65", "3=T68", "4=T69", "5=T70", "6=T71", "7=T72", "8=T73", "9=T74",
      "10=T75", "11=T76", "12=T77", "13=T78", "14=T24", "15=T25", "16=T41", "17=" + bottom,
      "18=" + installFolder, "19=h60", "20=h70", "21=h71", "22=h81", "23=h80", "24=h75", "25=h64",
      "26=h97", "27=h108", "28=h68", "29=h74", "30=T81", "31=h49", "32=h66", "33=", "34=", "35=", "36=",
      "37=" + std::to_string(e), "38=" + h31, "39=" + std::to_string(f), "40=" + h93, "41=" + h45,
      "42=" + std::to_string(u), "43=" + std::to_string(r), "44=" + std::to_string(i),
      "45=" + std::to_string(b), "46=" + std::to_string(a), "47=" + std::to_string(total), "48=h69",
      "49=h72", "50=h73", "51=h78",
  };
}

std::string Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  std::string out;
  for (const std::string& l : head) out += l + "\r\n";
  return out;
}

TEST(UninstallIniTest, EveryKindOfRecord) {
  SetupScript s = Script();
  SetCounts(s, {{field::kFolderCount, "4"}, {field::kUninstallExtraCount, "2"}, {field::kFontCount, "1"},
                {field::kComCount, "2"}, {field::kIniCount, "3"}, {field::kRegistryCount, "3"},
                {field::kUninstallRegistryCount, "1"}, {field::kInstallCommandCount, "1"},
                {field::kUninstallCommandCount, "3"}});
  s.header[field::kBottomText] = "@$&%04 setup";
  s.languageStrings[63] = "\"Welcome\"";
  s.List(ListKind::Folders).texts = {"@$&%04\\data", "1", "@$&%04\\keep", "0",
                                     "\"@$&%04\"",   "1", "\"",           "1"};
  s.List(ListKind::UninstallExtras).texts = {"7", "@$&%04\\x", "\"c\"", "y"};
  s.List(ListKind::ComRegistrations).texts = {"@$&%04\\a.dll", "1", "@$&%04\\b.dll", "0"};
  s.List(ListKind::IniEntries).texts = {"@$&%04\\a.ini", "S",  "K",  "V",  "0", "1",
                                        "b.ini",         "S2", "K2", "V2", "1", "0",
                                        "c.ini",         "@$&%04", "K3", "", "0", "1"};
  s.List(ListKind::RegistryEntries).texts = {"2", "Software\\@$&%04", "N",  "D", "0", "0", "1",
                                             "1", "K2",               "",   "x", "0", "1", "0",
                                             "1", "Key3",             "V3", "",  "0", "0", "01"};
  s.List(ListKind::UninstallRegistryEntries).texts = {"0", "@$&%04", "v"};
  s.List(ListKind::Commands).texts = {
      "", "i.exe",         "",      "1", "0", "0",  // install part: not listed
      "", "@$&%04\\u.exe", "/x",    "0", "0", "1",
      "", "w.exe",         "",      "1", "1", "0",
      "", "v.exe",         "\"p\"", "2", "",  "",
  };
  s.List(ListKind::Fonts).texts = {"Font A", "@$&%15\\a.ttf"};
  std::vector<std::string> files = {"C:\\App\\a.exe", "\"q\""};

  Folders folders;
  std::string expected = Join(
      {
          "[f]", "1=C:\\App\\a.exe", "2=\"q\"",
          "[e]", "1=C:\\App\\data", "2=\"\"C:\\App\"\"", "3=\"",
          "[o1]", "0=7", "1=C:\\App\\x",
          "[o2]", "0=\"\"c\"\"", "1=y",
          "[u]", "1=C:\\App\\a.dll",
          "[i1]", "0=C:\\App\\a.ini", "1=S", "2=K",
          "[i2]", "0=c.ini", "1=C:\\App", "2=K3",
          "[r1]", "0=2", "1=Software\\C:\\App", "2=N",
          "[r2]", "0=1", "1=Key3", "2=V3",
          "[r3]", "0=0", "1=C:\\App", "2=v",
          "[b1]", "0=C:\\App\\u.exe", "1=/x", "2=0", "3=1",
          "[a1]", "0=w.exe", "1=", "2=1", "3=0",
          "[b2]", "0=v.exe", "1=\"\"p\"\"", "2=2", "3=",
          "[n1]", "0=Font A", "1=C:\\Windows\\Fonts\\a.ttf",
          "[s]",
      },
      Settings("C:\\App setup", "C:\\App\\", "1", "4", "2", 3, 2, 1, 3, 2, 2, 1,
               /* 4 + 2 + 3 + 2 + 1 + 1 + 3 + 2 + 2 + 1 */ 21));
  expected.replace(expected.find("0=T63"), 5, "0=\"\"Welcome\"\"");
  EXPECT_EQ(BuildUninstallIni(s, files, "C:\\App\\", folders), expected);
}

TEST(UninstallIniTest, NoRecordsAtAll) {
  SetupScript s = Script();
  SetCounts(s, {{field::kFolderCount, "0"}, {field::kUninstallExtraCount, "0"}, {field::kFontCount, "0"},
                {field::kComCount, "0"}, {field::kIniCount, "0"}, {field::kRegistryCount, "0"},
                {field::kUninstallRegistryCount, "0"}, {field::kInstallCommandCount, "0"},
                {field::kUninstallCommandCount, "0"}});
  s.header[field::kBottomText] = "";
  Folders folders;
  EXPECT_EQ(BuildUninstallIni(s, {}, "D:\\X\\", folders),
            Join({"[f]", "[e]", "[u]", "[s]"},
                 Settings("", "D:\\X\\", "0", "0", "0", 0, 0, 0, 0, 0, 0, 0, 0)));
}

TEST(UninstallIniTest, TotalAddsTheStoredCountsByTheDecimalRule) {
  // Keys 38, 40 and 41 are the header texts as stored; key 47 reads them
  // as numbers ("2x" is 2, "" is 0).
  SetupScript s = Script();
  SetCounts(s, {{field::kFolderCount, "2x"}, {field::kUninstallExtraCount, ""}, {field::kFontCount, "-1"},
                {field::kComCount, "0"}, {field::kIniCount, "0"}, {field::kRegistryCount, "0"},
                {field::kUninstallRegistryCount, "0"}, {field::kInstallCommandCount, "0"},
                {field::kUninstallCommandCount, "0"}});
  Folders folders;
  std::string ini = BuildUninstallIni(s, {"a", "b", "c"}, "C:\\", folders);
  EXPECT_NE(ini.find("\r\n38=-1\r\n39=3\r\n40=2x\r\n41=\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\r\n47=4\r\n"), std::string::npos) << ini;
}

TEST(UninstallIniTest, CommandsOnlyFromTheUninstallPartThatExists) {
  struct Case {
    const char* installCount;
    const char* uninstallCount;
    size_t records;
    const char* sections;  // the command sections in order
  } cases[] = {
      {"2", "2", 4, "[a1][b1]"},
      {"0", "2", 2, "[b1][b2]"},
      {"2", "0", 4, ""},
      {"3", "5", 4, "[b1]"},  // the script ended early: no invented records
      {"9", "1", 4, ""},
  };
  for (const Case& c : cases) {
    SetupScript s = Script();
    s.header[field::kInstallCommandCount] = c.installCount;
    s.header[field::kUninstallCommandCount] = c.uninstallCount;
    std::vector<std::string> texts;
    const char* phases[] = {"0", "0", "1", "0"};
    for (size_t r = 0; r < c.records; ++r)
      texts.insert(texts.end(), {"", "f" + std::to_string(r), "", "1", phases[r], "0"});
    s.List(ListKind::Commands).texts = texts;
    Folders folders;
    std::string ini = BuildUninstallIni(s, {}, "C:\\", folders);
    std::string sections;
    for (size_t at = ini.find("\r\n["); at != std::string::npos; at = ini.find("\r\n[", at + 1)) {
      std::string name = ini.substr(at + 2, ini.find(']', at) - at - 1);
      if (name[1] == 'a' || name[1] == 'b') sections += name;
    }
    EXPECT_EQ(sections, c.sections) << c.installCount << "+" << c.uninstallCount;
  }
}

TEST(UninstallIniTest, QuotingRule) {
  struct Case {
    const char* value;
    const char* written;
  } cases[] = {
      {"\"a\"", "\"\"a\"\""}, {"\"\"", "\"\"\"\""}, {"\"", "\""},     {"\"a", "\"a"},
      {"a\"", "a\""},         {"", ""},             {"a\"b\"c", "a\"b\"c"}, {"\"\"\"", "\"\"\"\"\""},
  };
  for (const Case& c : cases) {
    SetupScript s = Script();
    s.header[field::kFolderCount] = "1";
    s.List(ListKind::Folders).texts = {c.value, "1"};
    Folders folders;
    std::string ini = BuildUninstallIni(s, {c.value}, "C:\\", folders);
    EXPECT_NE(ini.find(std::string("[e]\r\n1=") + c.written + "\r\n[u]"), std::string::npos) << c.value;
    EXPECT_NE(ini.find(std::string("[f]\r\n1=") + c.value + "\r\n[e]"), std::string::npos) << c.value;
  }
}

TEST(UninstallerTrailerTest, PathAndLength) {
  std::string path = "C:\\Program Files\\App\\Uninstall.ini";
  std::string expected = path + std::string("\x22\x00", 2);  // 34 bytes
  EXPECT_EQ(BuildUninstallerTrailer(path, false, "BMxyz"), expected);
  std::string empty = BuildUninstallerTrailer("", false, "");
  EXPECT_EQ(empty, std::string("\0\0", 2));
}

TEST(UninstallerTrailerTest, ImageFirstWithItsSize) {
  std::string bmp = "BM" + std::string(298, 'p');  // 300 bytes: 0x12C
  std::string path(0x123, 'x');
  std::string trailer = BuildUninstallerTrailer(path, true, bmp);
  EXPECT_EQ(trailer, bmp + std::string("\x2C\x01\x00\x00", 4) + path + std::string("\x23\x01", 2));
  // A picture that could not be serialised still leaves the size word.
  EXPECT_EQ(BuildUninstallerTrailer("a", true, ""), std::string("\0\0\0\0a\x01\x00", 7));
}

TEST(BitmapFileTest, FileHeaderLocatesThePixels) {
  std::string info(40 + 16 * 4, 'i');  // info header and a 16-colour palette
  std::string pixels(100, 'p');
  std::string file = BitmapFile(info, pixels);
  ASSERT_EQ(file.size(), 14u + 104 + 100);
  EXPECT_EQ(file.substr(0, 14), std::string("BM\xDA\x00\x00\x00\0\0\0\0\x76\x00\x00\x00", 14));
  EXPECT_EQ(file.substr(14), info + pixels);
}

}  // namespace
}  // namespace pvx
