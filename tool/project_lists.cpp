// Reading the record lists (registry, INI, shortcuts, commands, fonts, ...), [header] and [raw].
#include "tool/project_loader.h"

#include <string>
#include <vector>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/text_util.h"
#include "tool/list_records.h"
#include "tool/text_convert.h"

namespace pvx::tool::project_reading {

void Loader::Lists(const toml::table& root) {
  // The record's texts by field name (format/record_fields.h); they are
  // worked out in the order given, which is also the order their errors
  // are found in.
  auto add = [&](ListKind k, std::initializer_list<std::pair<unsigned, std::string>> fields) {
    project_.records[static_cast<int>(k)].push_back(MakeRecord(k, fields));
  };
  auto require = [&](const toml::table& t, const std::string& key, const char* name) {
    auto s = Text(t, key, name);
    if (!s) Fail(&t, key + "." + name, "missing");
    return *s;
  };
  for (auto& [t, key] : Tables(root, "registry_variables")) {
    CheckKeys(*t, key, {"root", "key", "name", "default"});
    using namespace registry_variable;
    add(ListKind::RegistryVariables,
        {{kRoot, DecimalText(static_cast<int64_t>(RootCode(*t, key, "root", true)))},
         {kKey, Text(*t, key, "key", false).value_or("")},
         {kValueName, Text(*t, key, "name", false).value_or("")},
         {kDefault, Text(*t, key, "default").value_or("")}});
    if (!t->get("key")) Fail(t, key + ".key", "missing");
  }
  for (auto& [t, key] : Tables(root, "registry")) {
    CheckKeys(*t, key, {"root", "key", "name", "type", "data", "overwrite", "uninstall"});
    int root = RootCode(*t, key, "root", true);
    std::string k = require(*t, key, "key");
    int type = Choice(*t, key, "type", {{"string", 0}, {"binary", 1}, {"dword", 2}}, "value type", true).value_or(0);
    std::string data = TextOrNumber(*t, key, "data").value_or("");
    if (type == 1 && (data.size() % 2 || data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos))
      Fail(t->get("data"), key + ".data", "binary data must be pairs of hexadecimal digits");
    if (type == 2 && t->get("data") && !t->get("data")->is_integer())
      Fail(t->get("data"), key + ".data", "a dword value needs an integer");
    using namespace registry_entry;
    add(ListKind::RegistryEntries, {{kRoot, DecimalText(static_cast<int64_t>(root))},
                                    {kKey, k},
                                    {kValueName, Text(*t, key, "name").value_or("")},
                                    {kData, data},
                                    {kType, DecimalText(static_cast<int64_t>(type))},
                                    {kOverwrite, Flag(Bool(*t, key, "overwrite").value_or(true))},
                                    {kUninstall, Flag(Bool(*t, key, "uninstall").value_or(false))}});
  }
  for (auto& [t, key] : Tables(root, "fonts")) {
    CheckKeys(*t, key, {"name", "file"});
    add(ListKind::Fonts, {{font_entry::kName, require(*t, key, "name")}, {font_entry::kFile, require(*t, key, "file")}});
  }
  for (auto& [t, key] : Tables(root, "shortcuts")) {
    CheckKeys(*t, key, {"kind", "name", "target", "arguments", "description", "icon", "icon_index", "working_dir"});
    int kind = Choice(*t, key, "kind",
                      {{"group", kGroupShortcut}, {"desktop", kDesktopShortcut}, {"start-menu", kStartMenuShortcut},
                       {"quick-launch", kQuickLaunchShortcut}, {"path", kExplicitShortcut}},
                      "shortcut kind", true)
                   .value_or(0);
    std::string name = require(*t, key, "name");
    if (name.size() < 4 || AsciiLower(name.substr(name.size() - 4)) != ".lnk")
      Warn(t->get("name"), key + ".name", "a shortcut name normally ends in \".lnk\"");
    using namespace shortcut_entry;
    add(ListKind::Shortcuts, {{kKind, DecimalText(static_cast<int64_t>(kind))},
                              {kLinkName, name},
                              {kTarget, require(*t, key, "target")},
                              {kArguments, Text(*t, key, "arguments").value_or("")},
                              {kDescription, Text(*t, key, "description").value_or("")},
                              {kIconFile, Text(*t, key, "icon").value_or("")},
                              {kIconIndex, DecimalText(Int(*t, key, "icon_index", INT32_MIN, INT32_MAX).value_or(0))},
                              {kWorkingFolder, Text(*t, key, "working_dir").value_or("")}});
  }
  for (auto& [t, key] : Tables(root, "folders")) {
    CheckKeys(*t, key, {"path", "uninstall"});
    add(ListKind::Folders, {{folder_entry::kPath, require(*t, key, "path")},
                            {folder_entry::kUninstall, Flag(Bool(*t, key, "uninstall").value_or(true))}});
  }
  std::vector<std::vector<std::string>> uninstallCommands;
  for (auto& [t, key] : Tables(root, "commands")) {
    CheckKeys(*t, key, {"when", "file", "parameters", "show", "wait", "note"});
    auto when = Choice(*t, key, "when",
                       {{"before", 0}, {"after", 1}, {"uninstall-before", 10}, {"uninstall-after", 11}},
                       "command time");
    if (!when) Fail(t, key + ".when", "missing (before, after, uninstall-before or uninstall-after)");
    int show = Choice(*t, key, "show", {{"hidden", 0}, {"normal", 1}, {"minimized", 2}, {"maximized", 3}},
                      "show command", true)
                   .value_or(1);
    using namespace command_entry;
    Record r = MakeRecord(ListKind::Commands, {{kNote, Text(*t, key, "note").value_or("")},
                                               {kFile, require(*t, key, "file")},
                                               {kParameters, Text(*t, key, "parameters").value_or("")},
                                               {kShow, DecimalText(static_cast<int64_t>(show))},
                                               {kPhase, DecimalText(static_cast<int64_t>(*when % 10))},
                                               {kWait, Flag(Bool(*t, key, "wait").value_or(false))}});
    if (*when >= 10) uninstallCommands.push_back(std::move(r));
    else project_.records[static_cast<int>(ListKind::Commands)].push_back(std::move(r));
  }
  auto& cmds = project_.records[static_cast<int>(ListKind::Commands)];
  project_.header[field::kInstallCommandCount] = DecimalText(static_cast<uint64_t>(cmds.size()));
  project_.header[field::kUninstallCommandCount] = DecimalText(static_cast<uint64_t>(uninstallCommands.size()));
  cmds.insert(cmds.end(), uninstallCommands.begin(), uninstallCommands.end());
  for (auto& [t, key] : Tables(root, "ini")) {
    CheckKeys(*t, key, {"file", "section", "key", "value", "mode", "uninstall"});
    int mode = Choice(*t, key, "mode", {{"if-empty", 0}, {"always", 1}}, "write mode").value_or(1);
    using namespace ini_entry;
    add(ListKind::IniEntries, {{kFile, require(*t, key, "file")},
                               {kSection, require(*t, key, "section")},
                               {kKey, require(*t, key, "key")},
                               {kValue, TextOrNumber(*t, key, "value").value_or("")},
                               {kMode, DecimalText(static_cast<int64_t>(mode))},
                               {kUninstall, Flag(Bool(*t, key, "uninstall").value_or(false))}});
  }
  for (auto& [t, key] : Tables(root, "com")) {
    CheckKeys(*t, key, {"library", "unregister"});
    add(ListKind::ComRegistrations,
        {{com_registration::kLibrary, require(*t, key, "library")},
         {com_registration::kUnregister, Flag(Bool(*t, key, "unregister").value_or(true))}});
  }
}

// --- [header] and [raw] ----------------------------------------------------------------

void Loader::HeaderOverrides(const toml::table& t) {
  for (auto&& [k, v] : t) {
    std::string kk(k.str());
    std::string key = "header." + kk;
    if (kk.empty() || kk.size() > 3 || kk.find_first_not_of("0123456789") != std::string::npos || std::stoi(kk) > 255)
      Fail(&v, key, "not a header field number (0 to 255)");
    int n = std::stoi(kk);
    std::string value;
    if (v.is_string()) {
      std::string s = **v.as_string();
      if (s.find('\0') != std::string::npos) Fail(&v, key, "the text contains a NUL character");
      value = Convert(s, &v, key, project_.codepage, false);
    } else if (v.is_integer()) {
      value = DecimalText(static_cast<int64_t>(**v.as_integer()));
    } else if (v.is_boolean()) {
      value = Flag(**v.as_boolean());
    } else {
      Fail(&v, key, std::string("expected a string, integer or boolean, found ") + TypeName(v));
    }
    if (project_.header.size() <= static_cast<size_t>(n)) project_.header.resize(n + 1);
    project_.header[n] = value;
    project_.explicitFields.insert(n);
  }
}

void Loader::Raw(const toml::table& t) {
  for (auto&& [k, v] : t) {
    std::string kk(k.str());
    std::string key = "raw." + kk;
    if (kk == "header_last_index") {
      if (!v.is_integer()) Fail(&v, key, std::string("expected an integer, found ") + TypeName(v));
      int64_t n = **v.as_integer();
      if (n < 0 || n > 255) Fail(&v, key, "out of range (0 to 255)");
      project_.headerLastIndex = static_cast<int>(n);
      continue;
    }
    auto text = [&](const toml::node& e, const std::string& where) {
      if (e.is_integer()) return DecimalText(static_cast<int64_t>(**e.as_integer()));
      if (!e.is_string()) Fail(&e, where, std::string("expected a string, found ") + TypeName(e));
      std::string s = **e.as_string();
      if (s.find('\0') != std::string::npos) Fail(&e, where, "the text contains a NUL character");
      return Convert(s, &e, where, project_.codepage, false);
    };
    if (kk == "language_strings") {
      if (!v.is_array()) Fail(&v, key, std::string("expected an array of texts, found ") + TypeName(v));
      std::vector<std::string> texts;
      for (size_t i = 0; i < v.as_array()->size(); ++i)
        texts.push_back(text((*v.as_array())[i], key + "[" + std::to_string(i) + "]"));
      project_.verbatimLanguageStrings = std::move(texts);
      continue;
    }
    int kind = -1;
    for (int i = 0; i < kListKindCount; ++i)
      if (kk == kRawListNames[i]) kind = i;
    if (kind < 0) Fail(&v, key, "unknown key");
    if (!v.is_array()) Fail(&v, key, std::string("expected an array of records, found ") + TypeName(v));
    const unsigned width = ShapeOf(static_cast<ListKind>(kind)).width;
    std::vector<std::vector<std::string>> records;
    for (size_t i = 0; i < v.as_array()->size(); ++i) {
      const toml::node& r = (*v.as_array())[i];
      std::string where = key + "[" + std::to_string(i) + "]";
      if (!r.is_array()) Fail(&r, where, std::string("expected an array of texts, found ") + TypeName(r));
      if (r.as_array()->size() != width)
        Fail(&r, where, "a record of this list has " + std::to_string(width) + " texts, not " +
                            std::to_string(r.as_array()->size()));
      std::vector<std::string> rec;
      for (size_t j = 0; j < width; ++j) rec.push_back(text((*r.as_array())[j], where + "[" + std::to_string(j) + "]"));
      records.push_back(std::move(rec));
    }
    project_.records[kind] = std::move(records);
    project_.verbatim[kind] = true;
  }
}

}  // namespace pvx::tool::project_reading
