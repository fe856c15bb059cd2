#include "actions/uninstall_ini.h"

#include <cstdint>

#include "actions/bitmap_file.h"
#include "format/decimal.h"
#include "format/header_fields.h"
#include "startup/language.h"

namespace pvx {

namespace {

void Section(Str& out, const char* name, int number = 0) {
  out += '[';
  out += name;
  if (number) out += DecimalText(number);
  out += "]\r\n";
}

void Line(Str& out, int key, const Str& value, bool quoted = true) {
  out += DecimalText(key);
  out += '=';
  bool wrap = quoted && value.size() > 1 && value[0] == '"' && value[value.size() - 1] == '"';
  if (wrap) out += '"';
  out += value;
  if (wrap) out += '"';
  out += "\r\n";
}

// Where each [s] key comes from: 1..127 a language text, 128 + n header
// field n as stored, 0 a value worked out below (or empty).
constexpr uint8_t H(int n) { return static_cast<uint8_t>(128 + n); }
const uint8_t kSettings[52] = {
    63,     64,     65,     68,     69,     70,     71,     72,     73,     74,     // 0-9
    75,     76,     77,     78,     24,     25,     41,     0,      0,      H(60),  // 10-19
    H(70),  H(71),  H(81),  H(80),  H(75),  H(64),  H(97),  H(108), H(68),  H(74),  // 20-29
    81,     H(49),  H(66),  0,      0,      0,      0,      0,      H(31),  0,      // 30-39
    H(93),  H(45),  0,      0,      0,      0,      0,      0,      H(69),  H(72),  // 40-49
    H(73),  H(78),
};

}  // namespace

Str BuildUninstallIni(const SetupScript& script, const std::vector<Str>& files,
                      const Str& installFolder, FolderResolver& folders) {
  auto expand = [&folders](const Str& text) { return ExpandFolderMacros(text, folders); };
  Str out;

  Section(out, "f");
  int fLines = 0;
  for (const Str& path : files) Line(out, ++fLines, path, false);

  Section(out, "e");
  int eLines = 0;
  const ScriptList& folderList = script.List(ListKind::Folders);
  for (size_t r = 0; r < folderList.Count(); ++r)
    if (folderList.FieldIsOne(r, 1)) Line(out, ++eLines, expand(folderList.Field(r, 0)));

  const ScriptList& extras = script.List(ListKind::UninstallExtras);
  for (size_t r = 0; r < extras.Count(); ++r) {
    Section(out, "o", static_cast<int>(r + 1));
    Line(out, 0, extras.Field(r, 0));
    Line(out, 1, expand(extras.Field(r, 1)));
  }

  Section(out, "u");
  int uLines = 0;
  const ScriptList& servers = script.List(ListKind::ComRegistrations);
  for (size_t r = 0; r < servers.Count(); ++r)
    if (servers.FieldIsOne(r, 1)) Line(out, ++uLines, expand(servers.Field(r, 0)));

  // Numbered sections whose fields are all expanded.
  auto record = [&](const char* name, int number, const ScriptList& list, size_t r,
                    const unsigned* fields, int count) {
    Section(out, name, number);
    for (int k = 0; k < count; ++k) Line(out, k, expand(list.Field(r, fields[k])));
  };

  int iSections = 0;
  static const unsigned kIniFields[] = {0, 1, 2};
  const ScriptList& ini = script.List(ListKind::IniEntries);
  for (size_t r = 0; r < ini.Count(); ++r)
    if (ini.FieldIsOne(r, 5)) record("i", ++iSections, ini, r, kIniFields, 3);

  int rSections = 0;
  auto registry = [&](const ScriptList& list, size_t r) {
    Section(out, "r", ++rSections);
    Line(out, 0, list.Field(r, 0));
    Line(out, 1, expand(list.Field(r, 1)));
    Line(out, 2, expand(list.Field(r, 2)));
  };
  const ScriptList& values = script.List(ListKind::RegistryEntries);
  for (size_t r = 0; r < values.Count(); ++r)
    if (values.FieldIsOne(r, 6)) registry(values, r);
  const ScriptList& removals = script.List(ListKind::UninstallRegistryEntries);
  for (size_t r = 0; r < removals.Count(); ++r) registry(removals, r);

  // The uninstall part follows the install part in the command list.
  int bSections = 0, aSections = 0;
  static const unsigned kCommandFields[] = {1, 2, 3, 5};
  const ScriptList& commands = script.List(ListKind::Commands);
  int64_t first = script.HeaderInt(field::kInstallCommandCount);
  int64_t last = first + script.HeaderInt(field::kUninstallCommandCount);
  if (first < 0) first = 0;
  if (last > static_cast<int64_t>(commands.Count())) last = static_cast<int64_t>(commands.Count());
  for (int64_t r = first; r < last; ++r) {
    if (commands.FieldInt(static_cast<size_t>(r), 4) == 0)
      record("b", ++bSections, commands, static_cast<size_t>(r), kCommandFields, 4);
    else
      record("a", ++aSections, commands, static_cast<size_t>(r), kCommandFields, 4);
  }

  static const unsigned kFontFields[] = {0, 1};
  const ScriptList& fonts = script.List(ListKind::Fonts);
  for (size_t r = 0; r < fonts.Count(); ++r) record("n", static_cast<int>(r + 1), fonts, r, kFontFields, 2);

  const int64_t total = int64_t{script.HeaderInt(field::kFolderCount)} + fLines + eLines +
                        script.HeaderInt(field::kUninstallExtraCount) + script.HeaderInt(field::kFontCount) +
                        uLines + rSections + iSections + bSections + aSections;
  const int64_t counted[] = {eLines, 0, fLines, 0, 0, uLines, rSections, iSections, bSections, aSections, total};

  Section(out, "s");
  for (int key = 0; key < 52; ++key) {
    const uint8_t source = kSettings[key];
    Str value;
    if (source >= 128)
      value = script.HeaderText(source - 128);
    else if (source)
      value = LanguageText(script, source);
    else if (key == 17)
      value = expand(script.HeaderText(field::kBottomText));
    else if (key == 18)
      value = installFolder;
    else if (key >= 37 && key <= 47)
      value = DecimalText(counted[key - 37]);
    Line(out, key, value);
  }
  return out;
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
