// Reading the record lists (registry, INI, shortcuts, commands, fonts, ...), [header] and [raw].
#include "tool/project_loader.h"

#include <string>
#include <vector>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/text_util.h"
#include "tool/text_convert.h"

namespace pvx::tool::project_reading {

void Loader::Lists(const toml::table& root) {
  auto add = [&](ListKind k, std::vector<std::string> r) {
    project_.records[static_cast<int>(k)].push_back(std::move(r));
  };
  auto require = [&](const toml::table& t, const std::string& key, const char* name) {
    auto s = Text(t, key, name);
    if (!s) Fail(&t, key + "." + name, "missing");
    return *s;
  };
  for (auto& [t, key] : Tables(root, "registry_variables")) {
    CheckKeys(*t, key, {"root", "key", "name", "default"});
    add(ListKind::RegistryVariables,
        {DecimalText(static_cast<int64_t>(RootCode(*t, key, "root", true))), Text(*t, key, "key", false).value_or(""),
         Text(*t, key, "name", false).value_or(""), Text(*t, key, "default").value_or("")});
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
    add(ListKind::RegistryEntries, {DecimalText(static_cast<int64_t>(root)), k, Text(*t, key, "name").value_or(""),
                                    data, DecimalText(static_cast<int64_t>(type)),
                                    Flag(Bool(*t, key, "overwrite").value_or(true)),
                                    Flag(Bool(*t, key, "uninstall").value_or(false))});
  }
  for (auto& [t, key] : Tables(root, "fonts")) {
    CheckKeys(*t, key, {"name", "file"});
    add(ListKind::Fonts, {require(*t, key, "name"), require(*t, key, "file")});
  }
  for (auto& [t, key] : Tables(root, "shortcuts")) {
    CheckKeys(*t, key, {"kind", "name", "target", "arguments", "description", "icon", "icon_index", "working_dir"});
    int kind = Choice(*t, key, "kind",
                      {{"group", 0}, {"desktop", 1}, {"start-menu", 2}, {"quick-launch", 3}, {"path", 4}},
                      "shortcut kind", true)
                   .value_or(0);
    std::string name = require(*t, key, "name");
    if (name.size() < 4 || AsciiLower(name.substr(name.size() - 4)) != ".lnk")
      Warn(t->get("name"), key + ".name", "a shortcut name normally ends in \".lnk\"");
    add(ListKind::Shortcuts,
        {DecimalText(static_cast<int64_t>(kind)), name, require(*t, key, "target"), Text(*t, key, "arguments").value_or(""),
         Text(*t, key, "description").value_or(""), Text(*t, key, "icon").value_or(""),
         DecimalText(Int(*t, key, "icon_index", INT32_MIN, INT32_MAX).value_or(0)),
         Text(*t, key, "working_dir").value_or("")});
  }
  for (auto& [t, key] : Tables(root, "folders")) {
    CheckKeys(*t, key, {"path", "uninstall"});
    add(ListKind::Folders, {require(*t, key, "path"), Flag(Bool(*t, key, "uninstall").value_or(true))});
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
    std::vector<std::string> r = {Text(*t, key, "note").value_or(""), require(*t, key, "file"),
                                  Text(*t, key, "parameters").value_or(""), DecimalText(static_cast<int64_t>(show)),
                                  DecimalText(static_cast<int64_t>(*when % 10)),
                                  Flag(Bool(*t, key, "wait").value_or(false))};
    if (*when >= 10) uninstallCommands.push_back(r);
    else add(ListKind::Commands, r);
  }
  auto& cmds = project_.records[static_cast<int>(ListKind::Commands)];
  project_.header[field::kInstallCommandCount] = DecimalText(static_cast<uint64_t>(cmds.size()));
  project_.header[field::kUninstallCommandCount] = DecimalText(static_cast<uint64_t>(uninstallCommands.size()));
  cmds.insert(cmds.end(), uninstallCommands.begin(), uninstallCommands.end());
  for (auto& [t, key] : Tables(root, "ini")) {
    CheckKeys(*t, key, {"file", "section", "key", "value", "mode", "uninstall"});
    int mode = Choice(*t, key, "mode", {{"if-empty", 0}, {"always", 1}}, "write mode").value_or(1);
    add(ListKind::IniEntries, {require(*t, key, "file"), require(*t, key, "section"), require(*t, key, "key"),
                               TextOrNumber(*t, key, "value").value_or(""), DecimalText(static_cast<int64_t>(mode)),
                               Flag(Bool(*t, key, "uninstall").value_or(false))});
  }
  for (auto& [t, key] : Tables(root, "com")) {
    CheckKeys(*t, key, {"library", "unregister"});
    add(ListKind::ComRegistrations, {require(*t, key, "library"), Flag(Bool(*t, key, "unregister").value_or(true))});
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
