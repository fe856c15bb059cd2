#include "actions/uninstall_ini.h"

#include <cstdint>

#include "actions/bitmap_file.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/language_texts.h"
#include "format/record_fields.h"
#include "core/language.h"

namespace pvx {

namespace {

class IniText {
 public:
  Str out;

  void Header(char name, int number) {
    out += '[';
    out += name;
    if (number) out += DecimalText(number);
    out += "]\r\n";
  }

  void Line(int key, const Str& value, bool quoted = true) {
    out += DecimalText(key);
    out += '=';
    bool wrap = quoted && value.size() > 1 && value[0] == '"' && value[value.size() - 1] == '"';
    if (wrap) out += '"';
    out += value;
    if (wrap) out += '"';
    out += "\r\n";
  }
};

// The sections after [f], in file order. A rule without fields ([e], [u])
// gives one "n=" line per selected record under a single header; the
// others give a numbered section per record, the letter's counter going
// on across rules ([r]). Commands are "b" in phase 0 and "a" otherwise.
struct Rule {
  ListKind list;
  char name;
  int8_t flag;    // the field that must be 1, or -1 for every record
  bool rawFirst;  // key 0 is written as stored
  uint8_t count;
  uint8_t fields[4];
};
const Rule kRules[] = {
    {ListKind::Folders, 'e', folder_entry::kUninstall, false, 0, {folder_entry::kPath}},
    {ListKind::UninstallExtras, 'o', -1, true, 2, {uninstall_extra::kCode, uninstall_extra::kText}},
    {ListKind::ComRegistrations, 'u', com_registration::kUnregister, false, 0, {com_registration::kLibrary}},
    {ListKind::IniEntries, 'i', ini_entry::kUninstall, false, 3,
     {ini_entry::kFile, ini_entry::kSection, ini_entry::kKey}},
    {ListKind::RegistryEntries, 'r', registry_entry::kUninstall, true, 3,
     {registry_entry::kRoot, registry_entry::kKey, registry_entry::kValueName}},
    {ListKind::UninstallRegistryEntries, 'r', -1, true, 3,
     {uninstall_registry_entry::kRoot, uninstall_registry_entry::kKey, uninstall_registry_entry::kValueName}},
    {ListKind::Commands, 'b', -1, false, 4,
     {command_entry::kFile, command_entry::kParameters, command_entry::kShow, command_entry::kWait}},
    {ListKind::Fonts, 'n', -1, false, 2, {font_entry::kName, font_entry::kFile}},
};
// The one-line sections take the first field of their records, which the
// loop below reads directly.
static_assert(folder_entry::kPath == 0 && com_registration::kLibrary == 0, "[e] and [u] take field 0");

// Where each [s] key comes from: 1..127 a language text, 128 + n header
// field n as stored, 0 a value worked out below (or empty).
constexpr uint8_t H(int n) { return static_cast<uint8_t>(128 + n); }
static_assert(field::kUninstallSetting108 < 128, "the settings' header fields (108 the highest) stay below 128");
const uint8_t kSettings[kSettingCount] = {
    // 0-13: the uninstaller's own texts.
    text::kRemoveWelcomeBody, text::kRemoveButton, text::kRemovingFrom, text::kRemoveTitle,
    text::kRemoveSubtitle, text::kRemovedTitle, text::kRemovedHeading, text::kRemovedBody,
    text::kRemovingFileStatus, text::kRemovingBody, text::kRemovingFolderStatus,
    text::kRemovedFinishHint, text::kRemoveCancelQuestion, text::kUnregisteringStatus,
    // 14-16: buttons it shares with the wizard.
    text::kBackButton, text::kCancelButton, text::kFinishButton,
    // 17, 18: the bottom text (expanded) and the installation folder.
    0, 0,
    // 19-23: the header band and its picture.
    H(field::kHeaderGradientStart), H(field::kHeaderColor), H(field::kHeaderPictureTransparent),
    H(field::kHeaderPictureLeft), H(field::kHeaderPictureTop),
    // 24-29: settings passed on (24 and 25 the end-of-removal notes, 26 the
    // web address).
    H(field::kUninstallSetting75), H(field::kUninstallSetting64), H(field::kUninstallSetting97),
    H(field::kUninstallSetting108), H(field::kUninstallSetting68), H(field::kUninstallSetting74),
    // 30-39.
    text::kRemoveWebSite, H(field::kHeaderPicture), H(field::kHeaderGradient), 0, 0, 0, 0, 0,
    H(field::kFontCount), 0,
    // 40-51.
    H(field::kFolderCount), H(field::kUninstallExtraCount), 0, 0, 0, 0, 0, 0, H(field::kTitleLeft),
    H(field::kTitleTop), H(field::kSubtitleLeft), H(field::kSubtitleTop),
};
// Keys kFolderLines (37) to kAfterSections (46) that are counts of lines or
// sections, by letter.
const char kCounted[] = "e f  uriba";

}  // namespace

Str BuildUninstallIni(const SetupScript& script, const std::vector<Str>& files,
                      const Str& installFolder, FolderResolver& folders) {
  IniText text;
  int counter[26] = {};

  text.Header('f', 0);
  for (const Str& path : files) text.Line(++counter['f' - 'a'], path, false);

  for (const Rule& rule : kRules) {
    const ScriptList& list = script.List(rule.list);
    size_t first = 0, last = list.Count();
    if (rule.list == ListKind::Commands) {
      // The uninstall part follows the install part.
      const int32_t installPart = script.HeaderInt(field::kInstallCommandCount);
      const int64_t end = int64_t{installPart} + script.HeaderInt(field::kUninstallCommandCount);
      if (end < static_cast<int64_t>(last)) last = end < 0 ? 0 : static_cast<size_t>(end);
      if (installPart > 0) first = static_cast<size_t>(installPart);
    }
    if (!rule.count) text.Header(rule.name, 0);
    for (size_t r = first; r < last; ++r) {
      if (rule.flag >= 0 && !list.FieldIsOne(r, static_cast<unsigned>(rule.flag))) continue;
      char name = rule.name;
      if (rule.list == ListKind::Commands && list.FieldInt(r, command_entry::kPhase) != 0) name = 'a';
      const int n = ++counter[name - 'a'];
      if (!rule.count) {
        text.Line(n, ExpandFolderMacros(list.Field(r, 0), folders));
        continue;
      }
      text.Header(name, n);
      for (int k = 0; k < rule.count; ++k) {
        const Str& stored = list.Field(r, rule.fields[k]);
        text.Line(k, k == 0 && rule.rawFirst ? stored : ExpandFolderMacros(stored, folders));
      }
    }
  }

  int64_t total = int64_t{script.HeaderInt(field::kFolderCount)} + script.HeaderInt(field::kUninstallExtraCount) +
                  script.HeaderInt(field::kFontCount);
  for (const char* c = kCounted; *c; ++c)
    if (*c != ' ') total += counter[*c - 'a'];

  text.Header('s', 0);
  for (int key = 0; key < kSettingCount; ++key) {
    const uint8_t source = kSettings[key];
    Str value;
    if (source >= 128)
      value = script.HeaderText(source - 128);
    else if (source)
      value = LanguageText(script, source);
    else if (key == setting::kBottomText)
      value = ExpandFolderMacros(script.HeaderText(field::kBottomText), folders);
    else if (key == setting::kInstallFolder)
      value = installFolder;
    else if (key == setting::kTotalWork)
      value = DecimalText(total);
    else if (key >= setting::kFolderLines && key <= setting::kAfterSections &&
             kCounted[key - setting::kFolderLines] != ' ')
      value = DecimalText(counter[kCounted[key - setting::kFolderLines] - 'a']);
    text.Line(key, value);
  }
  return text.out;
}

Str BuildUninstallerTrailer(const Str& iniPath, bool withImage, const Str& bmpFile) {
  Str out;
  if (withImage) {
    out += bmpFile;
    AppendLittleEndian(out, static_cast<uint32_t>(bmpFile.size()), 4);
  }
  out += iniPath;
  AppendLittleEndian(out, static_cast<uint32_t>(iniPath.size()), 2);
  return out;
}

}  // namespace pvx
