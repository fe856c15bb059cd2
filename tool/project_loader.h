// The project reader's own parts, shared by the files that each read a part
// of a project: project.cpp (the single tables, defaults and the order of
// reading), project_languages.cpp ([[languages]]), project_files.cpp
// ([[files]] and their globbing) and project_lists.cpp (the record lists,
// [header] and [raw]). Nothing outside the reader includes it.
#pragma once
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include <toml++/toml.h>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/text_util.h"
#include "tool/folder_names.h"
#include "tool/project.h"
#include "tool/text_convert.h"

namespace pvx::tool::project_reading {

namespace fs = std::filesystem;

// The TOML table names of the record lists, by ListKind.
extern const char* const kRawListNames[kListKindCount];

// Where a value came from, for messages: a node and the dotted key path.
struct Here {
  const toml::node* node;
  std::string key;
};

class Loader {
 public:
  Loader(std::string fileName, std::string baseDir, const LoadOptions& options)
      : file_(std::move(fileName)), options_(options) {
    project_.projectFile = file_;
    project_.baseDir = std::move(baseDir);
    project_.header = DefaultHeader();
  }

  Project Run(const toml::table& root);

 private:
  // --- messages -----------------------------------------------------------
  [[noreturn]] void Fail(const toml::node* node, const std::string& key, const std::string& reason) const {
    std::string where = file_;
    if (node && node->source().begin.line > 0) where += ":" + std::to_string(node->source().begin.line);
    throw ProjectError(where + ": " + (key.empty() ? "" : key + ": ") + reason);
  }
  void Warn(const toml::node* node, const std::string& key, const std::string& text) {
    std::string where = file_;
    if (node && node->source().begin.line > 0) where += ":" + std::to_string(node->source().begin.line);
    project_.warnings.push_back(where + ": " + key + ": " + text);
  }

  static std::string Join(const std::string& prefix, const std::string& key) {
    return prefix.empty() ? key : prefix + "." + key;
  }
  static const char* TypeName(const toml::node& n) {
    switch (n.type()) {
      case toml::node_type::string: return "a string";
      case toml::node_type::integer: return "an integer";
      case toml::node_type::floating_point: return "a number";
      case toml::node_type::boolean: return "a boolean";
      case toml::node_type::array: return "an array";
      case toml::node_type::table: return "a table";
      default: return "a date or time";
    }
  }

  // --- typed access -------------------------------------------------------
  void CheckKeys(const toml::table& t, const std::string& prefix, std::initializer_list<const char*> allowed) {
    for (auto&& [k, v] : t) {
      bool ok = false;
      for (const char* a : allowed)
        if (k.str() == a) ok = true;
      if (!ok) Fail(&v, Join(prefix, std::string(k.str())), "unknown key");
    }
  }
  const toml::table* SubTable(const toml::table& t, const std::string& prefix, const char* key) {
    const toml::node* n = t.get(key);
    if (!n) return nullptr;
    if (!n->is_table()) Fail(n, Join(prefix, key), std::string("expected a table, found ") + TypeName(*n));
    return n->as_table();
  }
  const toml::array* Array(const toml::table& t, const std::string& prefix, const char* key) {
    const toml::node* n = t.get(key);
    if (!n) return nullptr;
    if (!n->is_array()) Fail(n, Join(prefix, key), std::string("expected an array, found ") + TypeName(*n));
    return n->as_array();
  }
  // An array of tables ([[files]]); each element checked.
  std::vector<std::pair<const toml::table*, std::string>> Tables(const toml::table& t, const char* key) {
    std::vector<std::pair<const toml::table*, std::string>> out;
    const toml::array* a = Array(t, "", key);
    if (!a) return out;
    for (size_t i = 0; i < a->size(); ++i) {
      const toml::node& n = (*a)[i];
      std::string path = std::string(key) + "[" + std::to_string(i) + "]";
      if (!n.is_table()) Fail(&n, path, std::string("expected a table, found ") + TypeName(n));
      out.emplace_back(n.as_table(), path);
    }
    return out;
  }
  std::optional<std::string> Utf8(const toml::table& t, const std::string& prefix, const char* key) {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    if (!n->is_string()) Fail(n, Join(prefix, key), std::string("expected a string, found ") + TypeName(*n));
    std::string s = **n->as_string();
    if (s.find('\0') != std::string::npos) Fail(n, Join(prefix, key), "the text contains a NUL character");
    return s;
  }
  std::optional<bool> Bool(const toml::table& t, const std::string& prefix, const char* key) {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    if (!n->is_boolean()) Fail(n, Join(prefix, key), std::string("expected a boolean, found ") + TypeName(*n));
    return **n->as_boolean();
  }
  std::optional<int64_t> Int(const toml::table& t, const std::string& prefix, const char* key, int64_t lo,
                             int64_t hi) {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    if (!n->is_integer()) Fail(n, Join(prefix, key), std::string("expected an integer, found ") + TypeName(*n));
    int64_t v = **n->as_integer();
    if (v < lo || v > hi)
      Fail(n, Join(prefix, key), "value " + std::to_string(v) + " is out of range (" + std::to_string(lo) +
                                     " to " + std::to_string(hi) + ")");
    return v;
  }
  // One of a fixed set of names, or (when allowNumber) an integer.
  std::optional<int> Choice(const toml::table& t, const std::string& prefix, const char* key,
                            const std::vector<std::pair<const char*, int>>& names, const char* what,
                            bool allowNumber = false) {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    std::string expected;
    for (size_t i = 0; i < names.size(); ++i) expected += (i ? ", " : "") + std::string(names[i].first);
    if (allowNumber && n->is_integer()) {
      int64_t v = **n->as_integer();
      if (v < INT32_MIN || v > INT32_MAX) Fail(n, Join(prefix, key), "value out of range");
      return static_cast<int>(v);
    }
    if (!n->is_string())
      Fail(n, Join(prefix, key), std::string("expected a string, found ") + TypeName(*n) + " (expected " +
                                     expected + (allowNumber ? " or a number" : "") + ")");
    std::string s = **n->as_string();
    for (auto& [name, value] : names)
      if (s == name) return value;
    Fail(n, Join(prefix, key), std::string("unknown ") + what + " \"" + s + "\" (expected " + expected +
                                   (allowNumber ? " or a number" : "") + ")");
  }

  // A project text: readable folder names expanded, CR LF line breaks, code page.
  std::string Convert(const std::string& utf8, const toml::node* n, const std::string& key, int codepage,
                      bool expandNames = true) {
    std::string text = expandNames ? ExpandFolderNames(utf8) : utf8;
    text = NormalizeLineBreaks(text);
    std::string out, problem;
    if (!Utf8ToCodePage(text, codepage, out, problem)) Fail(n, key, problem);
    return out;
  }
  std::optional<std::string> Text(const toml::table& t, const std::string& prefix, const char* key,
                                  bool expandNames = true) {
    auto s = Utf8(t, prefix, key);
    if (!s) return std::nullopt;
    return Convert(*s, t.get(key), Join(prefix, key), project_.codepage, expandNames);
  }
  // A text, or an integer written as decimal text.
  std::optional<std::string> TextOrNumber(const toml::table& t, const std::string& prefix, const char* key) {
    const toml::node* n = t.get(key);
    if (n && n->is_integer()) return DecimalText(static_cast<int64_t>(**n->as_integer()));
    if (n && n->is_boolean()) return std::string(**n->as_boolean() ? "1" : "0");
    return Text(t, prefix, key);
  }
  std::string Flag(bool b) { return b ? "1" : "0"; }
  void SetFlag(int field, const toml::table& t, const std::string& prefix, const char* key) {
    if (auto b = Bool(t, prefix, key)) project_.header[field] = Flag(*b);
  }
  void SetText(int field, const toml::table& t, const std::string& prefix, const char* key) {
    if (auto s = Text(t, prefix, key)) project_.header[field] = *s;
  }
  void SetInt(int field, const toml::table& t, const std::string& prefix, const char* key, int64_t lo,
              int64_t hi) {
    if (auto v = Int(t, prefix, key, lo, hi)) project_.header[field] = DecimalText(*v);
  }
  void SetColor(int field, const toml::table& t, const std::string& prefix, const char* key);
  uint64_t Size(const toml::table& t, const std::string& prefix, const char* key);
  std::string ReadFile(const toml::node* n, const std::string& key, const std::string& path);
  std::string Resolve(const std::string& path) const {
    fs::path p(path);
    return p.is_absolute() ? p.string() : (fs::path(project_.baseDir) / p).string();
  }

  // --- sections -----------------------------------------------------------
  void Package(const toml::table& t);
  void Product(const toml::table& t);
  void Setup(const toml::table& t);
  void Pages(const toml::table& t);
  void Finish(const toml::table& t);
  void Wizard(const toml::table& t);
  void Backdrop(const toml::table& t);
  void Font(const toml::table& t, const std::string& prefix, int height, int name, int color, int charset,
            int style);
  void Requirements(const toml::table& t);
  void Uninstall(const toml::table& t);
  void Signing(const toml::table& t);
  void AddUninstaller();
  void ProductRegistration();
  void Languages(const toml::table& root);
  void LoadLanguageFile(const toml::node* n, const std::string& key, const std::string& path,
                        std::map<int, std::string>& strings, std::string& name, int& id);
  std::optional<std::string> DocumentFile(const toml::table& t, const std::string& prefix, const char* key,
                                          int codepage);
  void Files(const toml::table& root);
  void Lists(const toml::table& root);
  void Pictures(const toml::table* wizard, const toml::table* backdrop);
  void HeaderOverrides(const toml::table& t);
  void Raw(const toml::table& t);
  void Derive(const toml::table& root);

  int RootCode(const toml::table& t, const std::string& prefix, const char* key, bool required);
  // Fills a payload file's size and time from its source (a regular file);
  // false when it cannot be read.
  bool StatSource(PayloadFile& f) const;
  // [uninstall] uninstaller: the program file to ship, and where it was named.
  std::string uninstallerSource_;
  const toml::node* uninstallerNode_ = nullptr;

  std::string file_;
  LoadOptions options_;
  Project project_;
  std::optional<std::string> defaultLicence_, defaultReadme_;
  std::optional<std::string> picturePaths_[9];
  bool pictureOff_[9] = {};
  bool programGroupGiven_ = false;
  // [product]: where it was written, and its icon as the project gives it.
  const toml::node* productNode_ = nullptr;
  const toml::node* productIconNode_ = nullptr;
  std::string productIconUtf8_;
};

}  // namespace pvx::tool::project_reading
