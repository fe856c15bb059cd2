#include "uninstaller/uninstall_plan.h"

#include <gtest/gtest.h>

#include <map>

#include "actions/bitmap_file.h"
#include "actions/uninstall_ini.h"
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

SetupScript Script() {
  SetupScript s;
  s.header.assign(field::kHeaderFieldCount, "0");
  s.header[field::kTextsPerLanguage] = "81";
  s.languageStrings.assign(1, std::string());
  for (int k = 1; k <= 81; ++k) s.languageStrings.push_back("T" + std::to_string(k));
  return s;
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// The runtime writes a record of every kind; the plan holds each item as
// the package named it, whatever the quoting rule did on the way.
TEST(UninstallPlanTest, ReadsWhatTheRuntimeWrites) {
  SetupScript s = Script();
  auto set = [&](int n, const char* v) { s.header[n] = v; };
  set(field::kFolderCount, "3");
  set(field::kUninstallExtraCount, "1");
  set(field::kFontCount, "1");
  set(field::kComCount, "1");
  set(field::kIniCount, "1");
  set(field::kRegistryCount, "2");
  set(field::kUninstallRegistryCount, "1");
  set(field::kInstallCommandCount, "1");
  set(field::kUninstallCommandCount, "3");
  set(field::kHeaderPicture, "1");
  set(field::kHeaderColor, "255");
  s.languageStrings[63] = "\"Quoted welcome\"";
  s.List(ListKind::Folders).texts = {"@$&%04\\data", "1", "@$&%04\\keep", "0", "\"@$&%04\"", "1"};
  s.List(ListKind::UninstallExtras).texts = {"\"7\"", "@$&%04\\x"};
  s.List(ListKind::ComRegistrations).texts = {"@$&%04\\a.dll", "1"};
  s.List(ListKind::IniEntries).texts = {"@$&%04\\a.ini", "S", "\"K\"", "V", "0", "1"};
  s.List(ListKind::RegistryEntries).texts = {"2", "Software\\Tool", "N", "D", "0", "0", "1",
                                             "1", "Software\\Skip", "", "x", "0", "1", "0"};
  s.List(ListKind::UninstallRegistryEntries).texts = {"1", "Software\\Tool", ""};
  s.List(ListKind::Commands).texts = {
      "", "i.exe", "", "1", "0", "0",  // install part
      "", "@$&%04\\u.exe", "/x", "0", "0", "1",
      "", "w.exe", "\"p\"", "1", "1", "0",
      "", "v.exe", "", "2", "0", "",
  };
  s.List(ListKind::Fonts).texts = {"Font A", "@$&%15\\a.ttf"};
  Folders folders;
  const std::vector<std::string> files = {"C:\\App\\a.exe", "C:\\App\\\"odd\"", "C:\\App\\a.exe"};

  UninstallPlan plan;
  ASSERT_TRUE(ParseUninstallIni(BuildUninstallIni(s, files, "C:\\App\\", folders), plan));
  EXPECT_EQ(plan.files, files);
  EXPECT_EQ(plan.folders, (std::vector<std::string>{"C:\\App\\data", "\"C:\\App\""}));
  ASSERT_EQ(plan.passedOn.size(), 1u);
  EXPECT_EQ(plan.passedOn[0].code, "\"7\"");
  EXPECT_EQ(plan.passedOn[0].text, "C:\\App\\x");
  EXPECT_EQ(plan.libraries, std::vector<std::string>{"C:\\App\\a.dll"});
  ASSERT_EQ(plan.iniEntries.size(), 1u);
  EXPECT_EQ(plan.iniEntries[0].file, "C:\\App\\a.ini");
  EXPECT_EQ(plan.iniEntries[0].key, "\"K\"");
  ASSERT_EQ(plan.registryValues.size(), 2u);
  EXPECT_EQ(plan.registryValues[0].root, 2);
  EXPECT_EQ(plan.registryValues[0].value, "N");
  EXPECT_EQ(plan.registryValues[1].root, 1);
  EXPECT_EQ(plan.registryValues[1].value, "");
  ASSERT_EQ(plan.before.size(), 2u);
  EXPECT_EQ(plan.before[0].file, "C:\\App\\u.exe");
  EXPECT_EQ(plan.before[0].parameters, "/x");
  EXPECT_TRUE(plan.before[0].wait);
  EXPECT_EQ(plan.before[1].file, "v.exe");
  EXPECT_EQ(plan.before[1].show, 2);
  EXPECT_FALSE(plan.before[1].wait);
  ASSERT_EQ(plan.after.size(), 1u);
  EXPECT_EQ(plan.after[0].parameters, "\"p\"");
  EXPECT_EQ(plan.after[0].show, 1);
  ASSERT_EQ(plan.fonts.size(), 1u);
  EXPECT_EQ(plan.fonts[0].file, "C:\\Windows\\Fonts\\a.ttf");

  // The [s] keys that carry language texts, key by text number as the
  // record's format fixes them (T<n> is text n of this script).
  const std::pair<int, int> texts[] = {{1, 64},  {2, 65},  {3, 68},  {4, 69},  {5, 70},  {6, 71},
                                       {7, 72},  {8, 73},  {9, 74},  {10, 75}, {11, 76}, {12, 77},
                                       {13, 78}, {14, 24}, {15, 25}, {16, 41}, {30, 81}};
  for (const auto& [key, text] : texts) EXPECT_EQ(plan.Setting(key), "T" + std::to_string(text)) << key;
  EXPECT_EQ(plan.Setting(setting::kWelcomeText), "\"Quoted welcome\"");
  EXPECT_EQ(plan.Setting(setting::kRemoveButton), "T64");
  EXPECT_EQ(plan.Setting(setting::kInstallFolder), "C:\\App\\");
  EXPECT_EQ(plan.SettingInt(setting::kBandColor), 255);
  EXPECT_TRUE(plan.SettingFlag(setting::kPicturePresent));
  EXPECT_EQ(plan.MissingItems(), 0u);
  // Key 47: 3 folder records + 3 files + 2 [e] + 1 extra + 1 font + 1 DLL +
  // 2 [r] + 1 [i] + 2 [b] + 1 [a]; the plan's own units leave out the
  // folder records.
  EXPECT_EQ(plan.SettingInt(setting::kTotalWork), 17);
  EXPECT_EQ(plan.WorkUnits(), 14u);
  EXPECT_EQ(plan.ProgressTotal(), 17u);
}

TEST(UninstallPlanTest, QuotingRuleRoundTrip) {
  const char* values[] = {"\"a\"", "\"\"", "\"", "\"a", "a\"", "", "a\"b\"c", "\"\"\"", "x"};
  for (const char* value : values) {
    SetupScript s = Script();
    s.header[field::kFolderCount] = "1";
    s.header[field::kUninstallExtraCount] = "1";
    s.List(ListKind::Folders).texts = {value, "1"};
    s.List(ListKind::UninstallExtras).texts = {value, value};
    Folders folders;
    UninstallPlan plan;
    ASSERT_TRUE(ParseUninstallIni(BuildUninstallIni(s, {value}, "C:\\", folders), plan)) << value;
    EXPECT_EQ(plan.files, std::vector<std::string>{value});
    if (*value) {
      EXPECT_EQ(plan.folders, std::vector<std::string>{value});
    }
    ASSERT_EQ(plan.passedOn.size(), 1u);
    EXPECT_EQ(plan.passedOn[0].code, value);
    EXPECT_EQ(plan.passedOn[0].text, value);
  }
}

TEST(UninstallPlanTest, ReadingRules) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> files;
    std::vector<std::string> folders;
  } cases[] = {
      {"LF line ends and a last line without one", "[s]\n[f]\n1=a\n2=b", {"a", "b"}, {}},
      {"lines in the order of their numbers", Lines({"[s]", "[f]", "3=c", "1=a", "2=b"}), {"a", "b", "c"}, {}},
      {"the first of two equal keys counts", Lines({"[s]", "[f]", "1=a", "1=z", "2=b"}), {"a", "b"}, {}},
      {"keys that are no line numbers are passed over",
       Lines({"[s]", "[f]", "x=1", "0=zero", "-1=neg", "1=a", "1234567=big"}),
       {"a"},
       {}},
      {"sections without regard to case, blanks around keys",
       Lines({"[S]", "[F]", " 1 =a b ", "[E]", "1=\"\"x\"\""}),
       {"a b "},
       {"\"x\""}},
      {"lines before the first section and without '=' are ignored",
       Lines({"1=stray", "[s]", "[f]", "junk", "1=a"}),
       {"a"},
       {}},
      {"[f] keeps quotes that other sections would lose", Lines({"[s]", "[f]", "1=\"a\"", "[e]", "1=\"a\""}),
       {"\"a\""},
       {"a"}},
  };
  for (const Case& c : cases) {
    UninstallPlan plan;
    ASSERT_TRUE(ParseUninstallIni(c.text, plan)) << c.name;
    EXPECT_EQ(plan.files, c.files) << c.name;
    EXPECT_EQ(plan.folders, c.folders) << c.name;
  }
}

TEST(UninstallPlanTest, NumberedSectionsInNumberOrder) {
  UninstallPlan plan;
  ASSERT_TRUE(ParseUninstallIni(Lines({"[r2]", "0=1", "1=B", "2=b", "[s]", "[r1]", "0=2", "1=A", "2=a", "[r1]",
                                       "0=3", "1=dup", "[rx]", "0=3", "[r]", "0=3", "[n1]", "0=F", "1=f.ttf"}),
                                plan));
  ASSERT_EQ(plan.registryValues.size(), 2u);
  EXPECT_EQ(plan.registryValues[0].key, "A");
  EXPECT_EQ(plan.registryValues[0].root, 2);
  EXPECT_EQ(plan.registryValues[1].key, "B");
  ASSERT_EQ(plan.fonts.size(), 1u);
}

TEST(UninstallPlanTest, ManyLinesInAnyOrder) {
  // A damaged record may have its lines in any order; reading stays fast.
  const int n = 200000;
  std::string text = "[s]\r\n[f]\r\n";
  for (int i = n; i >= 1; --i) text += std::to_string(i) + "=C:\\App\\f" + std::to_string(i) + "\r\n";
  text += "7=duplicate\r\n";
  UninstallPlan plan;
  ASSERT_TRUE(ParseUninstallIni(text, plan));
  ASSERT_EQ(plan.files.size(), static_cast<size_t>(n));
  EXPECT_EQ(plan.files.front(), "C:\\App\\f1");
  EXPECT_EQ(plan.files[6], "C:\\App\\f7");
  EXPECT_EQ(plan.files.back(), "C:\\App\\f200000");
}

TEST(UninstallPlanTest, NoRecordWithoutSettings) {
  for (const char* text : {"", "[f]\r\n1=C:\\a\r\n", "garbage", "[s"}) {
    UninstallPlan plan;
    plan.files.push_back("left over");
    EXPECT_FALSE(ParseUninstallIni(text, plan)) << text;
    EXPECT_TRUE(plan.files.empty());
  }
}

TEST(UninstallPlanTest, CountersTellWhatIsMissing) {
  struct Case {
    const char* name;
    std::string text;
    uint32_t missing;
    uint32_t total;
  } cases[] = {
      {"complete", Lines({"[f]", "1=a", "2=b", "[s]", "39=2", "47=2"}), 0, 2},
      {"file cut after the first line", Lines({"[f]", "1=a", "[s]", "39=2", "47=2"}), 1, 2},
      {"sections cut", Lines({"[r1]", "0=2", "[s]", "43=3", "45=1", "38=2", "47=9"}), 2 + 1 + 2, 9},
      {"more listed than announced is no loss", Lines({"[f]", "1=a", "2=b", "[s]", "39=1", "47=1"}), 0, 2},
      {"negative and empty counts", Lines({"[f]", "1=a", "[s]", "39=-4", "42=", "47=-1"}), 0, 1},
  };
  for (const Case& c : cases) {
    UninstallPlan plan;
    ASSERT_TRUE(ParseUninstallIni(c.text, plan)) << c.name;
    EXPECT_EQ(plan.MissingItems(), c.missing) << c.name;
    EXPECT_EQ(plan.ProgressTotal(), c.total) << c.name;
  }
}

TEST(UninstallPlanTest, SettingsReadByTheHeaderRules) {
  UninstallPlan plan;
  ASSERT_TRUE(ParseUninstallIni(Lines({"[s]", "20=12abc", "21=0", "31=", "32=x", "48=-5"}), plan));
  EXPECT_EQ(plan.SettingInt(setting::kBandColor), 12);
  EXPECT_FALSE(plan.SettingFlag(setting::kPictureTransparent));
  EXPECT_TRUE(plan.SettingFlag(setting::kPicturePresent));  // empty is true
  EXPECT_TRUE(plan.SettingFlag(setting::kGradient));
  EXPECT_EQ(plan.SettingInt(setting::kTitleLeft), -5);
  EXPECT_EQ(plan.Setting(51), "");
}

// --- the trailer ------------------------------------------------------------

std::string SmallBitmap() {
  std::string info;
  for (uint32_t v : {40u, 2u, 2u}) AppendLittleEndian(info, v, 4);
  AppendLittleEndian(info, 1, 2);
  AppendLittleEndian(info, 24, 2);
  info += std::string(24, '\0');
  // Two pixels (blue, green) and two bytes of padding.
  const std::string row("\xff\x00\x00\x00\xff\x00\x00\x00", 8);
  return BitmapFile(info, row + row);
}

struct Read {
  UninstallTrailerStatus status;
  std::string path;
  std::string picture;
};

Read ReadBoth(const std::string& file) {
  MemorySource source(file.data(), file.size());
  Read r;
  uint64_t start = 0;
  r.status = ReadUninstallTrailer(source, r.path, start);
  if (r.status == UninstallTrailerStatus::Ok) {
    EXPECT_EQ(start + r.path.size() + 2, file.size());
    r.picture = ReadTrailerPicture(source, start);
  }
  return r;
}

TEST(UninstallTrailerTest, WhatTheRuntimeAppends) {
  const std::string image = "MZ executable image";
  const std::string path = "C:\\Program Files\\Tool\\Uninstall.ini";
  const std::string bmp = SmallBitmap();
  struct Case {
    const char* name;
    std::string trailer;
    std::string picture;
  } cases[] = {
      {"path only", BuildUninstallerTrailer(path, false, ""), ""},
      {"with picture", BuildUninstallerTrailer(path, true, bmp), bmp},
      {"picture that could not be made (size 0)", BuildUninstallerTrailer(path, true, ""), ""},
  };
  for (const Case& c : cases) {
    Read r = ReadBoth(image + c.trailer);
    EXPECT_EQ(r.status, UninstallTrailerStatus::Ok) << c.name;
    EXPECT_EQ(r.path, path) << c.name;
    EXPECT_EQ(r.picture, c.picture) << c.name;
  }
  // A second installation appends again; the last trailer counts.
  Read again = ReadBoth(image + BuildUninstallerTrailer("C:\\Old\\u.ini", true, bmp) +
                        BuildUninstallerTrailer(path, false, ""));
  EXPECT_EQ(again.path, path);
}

TEST(UninstallTrailerTest, DamagedTrailersAreRefused) {
  const std::string image(64, 'M');
  auto withLength = [](const std::string& before, uint32_t length) {
    std::string out = before;
    AppendLittleEndian(out, length, 2);
    return out;
  };
  struct Case {
    const char* name;
    std::string file;
    UninstallTrailerStatus status;
  } cases[] = {
      {"empty file", "", UninstallTrailerStatus::TooShort},
      {"one byte", "\x05", UninstallTrailerStatus::TooShort},
      {"length zero (no trailer at all)", image + std::string(2, '\0'), UninstallTrailerStatus::BadPathLength},
      {"length longer than the file", withLength("C:\\a.ini", 200), UninstallTrailerStatus::TooShort},
      {"length beyond any path", withLength(image, 0xFFFF), UninstallTrailerStatus::BadPathLength},
      {"relative path", withLength(image + "a.ini", 5), UninstallTrailerStatus::BadPath},
      {"control characters", withLength(image + "C:\\a\x01.ini", 9), UninstallTrailerStatus::BadPath},
      {"a NUL inside", withLength(image + std::string("C:\\a\0b.ini", 10), 10), UninstallTrailerStatus::BadPath},
      {"wildcards", withLength(image + "C:\\*.ini", 8), UninstallTrailerStatus::BadPath},
      {"a folder", withLength(image + "C:\\App\\", 7), UninstallTrailerStatus::BadPath},
      {"just a drive", withLength(image + "C:\\", 3), UninstallTrailerStatus::BadPath},
  };
  for (const Case& c : cases) {
    Read r = ReadBoth(c.file);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.path, "") << c.name;
  }
  Read unc = ReadBoth(withLength(image + "\\\\server\\share\\u.ini", 20));
  EXPECT_EQ(unc.status, UninstallTrailerStatus::Ok);
}

TEST(UninstallTrailerTest, DamagedPicturesAreLeftOut) {
  const std::string path = "C:\\T\\u.ini";
  const std::string bmp = SmallBitmap();
  auto trailer = [&](const std::string& picture, uint32_t size) {
    std::string out = picture;
    AppendLittleEndian(out, size, 4);
    out += path;
    AppendLittleEndian(out, static_cast<uint32_t>(path.size()), 2);
    return out;
  };
  std::string truncated = bmp.substr(0, bmp.size() - 4);
  std::string notBmp = bmp;
  notBmp[0] = 'X';
  std::string hugeWidth = bmp;
  hugeWidth[18] = '\x00', hugeWidth[19] = '\x00', hugeWidth[20] = '\x01';  // 65536 pixels wide
  std::string compressed = bmp;
  compressed[30] = 1;  // RLE8 on 24 bits
  std::string offsetPast = bmp;
  offsetPast[10] = '\xff';
  std::string bigPalette = bmp;
  bigPalette[28] = 8;     // 8 bits per pixel ...
  bigPalette[46] = '\x01', bigPalette[47] = '\x01';  // ... 257 palette entries
  struct Case {
    const char* name;
    std::string file;
  } cases[] = {
      {"size larger than the file", trailer(bmp, 1u << 20)},
      {"size beyond any picture", "MZ" + trailer(bmp, 0xFFFFFFFFu)},
      {"size cuts the picture", trailer(bmp, static_cast<uint32_t>(bmp.size() - 4))},
      {"pixels cut short", trailer(truncated, static_cast<uint32_t>(truncated.size()))},
      {"no BMP signature", trailer(notBmp, static_cast<uint32_t>(notBmp.size()))},
      {"absurd width", trailer(hugeWidth, static_cast<uint32_t>(hugeWidth.size()))},
      {"compressed", trailer(compressed, static_cast<uint32_t>(compressed.size()))},
      {"pixel offset past the end", trailer(offsetPast, static_cast<uint32_t>(offsetPast.size()))},
      {"palette larger than the bits allow", trailer(bigPalette, static_cast<uint32_t>(bigPalette.size()))},
      {"no room for the size", path + std::string(1, static_cast<char>(path.size())) + '\0'},
  };
  for (const Case& c : cases) {
    Read r = ReadBoth(c.file);
    EXPECT_EQ(r.status, UninstallTrailerStatus::Ok) << c.name;
    EXPECT_EQ(r.path, path) << c.name;
    EXPECT_EQ(r.picture, "") << c.name;
  }
  EXPECT_TRUE(CheckBitmapFile(bmp));
}

}  // namespace
}  // namespace pvx
