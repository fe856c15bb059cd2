// Reading [[languages]]: the built-in sets, language files and overrides.
#include "tool/project_loader.h"

#include <string>

#include "tool/default_texts.h"
#include "tool/text_convert.h"

namespace pvx::tool::project_reading {

void Loader::LoadLanguageFile(const toml::node* n, const std::string& key, const std::string& path,
                              std::map<int, std::string>& strings, std::string& name, int& id) {
  std::string bytes = ReadFile(n, key, path);
  const std::string full = Resolve(path);
  auto number = [&](const std::string& s, const std::string& where) {
    if (s.empty() || s.size() > 2 || s.find_first_not_of("0123456789") != std::string::npos)
      Fail(n, key, where + ": \"" + s + "\" is not a string number (1 to 99)");
    int k = std::stoi(s);
    if (k < 1 || k > kLanguageStringCount) Fail(n, key, where + ": string number " + s + " is out of range (1 to 99)");
    return k;
  };
  if (fs::path(path).extension() == ".toml") {
    toml::table doc;
    try {
      doc = toml::parse(bytes, full);
    } catch (const toml::parse_error& e) {
      throw ProjectError(path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
    }
    for (auto&& [k, v] : doc) {
      std::string kk(k.str());
      std::string where = path + ":" + std::to_string(v.source().begin.line);
      if (kk == "name" && v.is_string()) {
        name = **v.as_string();
      } else if (kk == "id" && v.is_integer()) {
        id = static_cast<int>(**v.as_integer());
      } else if (kk == "strings" && v.is_table()) {
        for (auto&& [sk, sv] : *v.as_table()) {
          std::string w = path + ":" + std::to_string(sv.source().begin.line);
          int num = number(std::string(sk.str()), w);
          if (!sv.is_string()) Fail(n, key, w + ": string " + std::to_string(num) + " is not a text");
          strings[num] = **sv.as_string();
        }
      } else {
        Fail(n, key, where + ": unknown key \"" + kk + "\" (expected name, id and [strings])");
      }
    }
    return;
  }
  // Plain file: "N=text" lines; "\n" in a text is a line break, "\\" a backslash.
  std::istringstream in(bytes);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (line.empty() || line[0] == '#') continue;
    std::string where = path + ":" + std::to_string(lineNo);
    size_t eq = line.find('=');
    if (eq == std::string::npos) Fail(n, key, where + ": expected \"N=text\"");
    int num = number(line.substr(0, eq), where);
    std::string text;
    for (size_t i = eq + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == 'n' || line[i + 1] == '\\')) {
        text += line[i + 1] == 'n' ? '\n' : '\\';
        ++i;
      } else {
        text += line[i];
      }
    }
    strings[num] = text;
  }
}

void Loader::Languages(const toml::table& root) {
  auto entries = Tables(root, "languages");
  if (entries.empty()) {
    LanguageDef def;
    const BuiltinLanguage* en = FindBuiltinLanguage("english");
    def.name = en->name;
    def.langId = en->langId;
    LanguageStrings s = BuiltinStrings(*en);
    for (int i = 0; i < kLanguageStringCount; ++i)
      def.strings[i] = Convert(s[i], &root, "languages", project_.codepage, false);
    def.licence = defaultLicence_;
    def.readme = defaultReadme_;
    project_.languages.push_back(def);
    return;
  }
  if (entries.size() > 255)
    Fail(&(*Array(root, "", "languages"))[255], "languages",
         "more than 255 languages (" + std::to_string(entries.size()) + ")");
  for (auto& [t, key] : entries) {
    CheckKeys(*t, key, {"base", "name", "id", "file", "strings", "licence", "license", "readme", "codepage"});
    int codepage = project_.codepage;
    if (auto cp = Int(*t, key, "codepage", 1, 65535)) {
      if (!CodePageSupported(static_cast<int>(*cp))) Fail(t->get("codepage"), key + ".codepage", "code page not supported");
      codepage = static_cast<int>(*cp);
    }
    std::map<int, std::string> strings;
    std::string name;
    int id = 0;
    const BuiltinLanguage* base = nullptr;
    if (auto b = Utf8(*t, key, "base")) {
      base = FindBuiltinLanguage(*b);
      if (!base) Fail(t->get("base"), key + ".base", "unknown built-in language \"" + *b + "\" (expected english, german)");
    } else if (!t->get("file")) {
      base = FindBuiltinLanguage("english");
    }
    if (base) {
      LanguageStrings s = BuiltinStrings(*base);
      for (int i = 0; i < kLanguageStringCount; ++i) strings[i + 1] = s[i];
      name = base->name;
      id = base->langId;
    }
    if (auto f = Utf8(*t, key, "file")) LoadLanguageFile(t->get("file"), key + ".file", *f, strings, name, id);
    if (const toml::table* st = SubTable(*t, key, "strings"))
      for (auto&& [k, v] : *st) {
        std::string kk(k.str());
        std::string where = key + ".strings." + kk;
        if (kk.empty() || kk.size() > 2 || kk.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(kk) < 1 || std::stoi(kk) > kLanguageStringCount)
          Fail(&v, where, "not a string number (1 to 99)");
        if (!v.is_string()) Fail(&v, where, std::string("expected a string, found ") + TypeName(v));
        strings[std::stoi(kk)] = **v.as_string();
      }
    if (auto n = Utf8(*t, key, "name")) name = *n;
    if (auto i = Int(*t, key, "id", 0, 65535)) id = static_cast<int>(*i);
    if (name.empty()) Fail(t, key + ".name", "missing (a language needs a name)");
    std::string missing;
    for (int k = 1; k <= kLanguageStringCount; ++k)
      if (!strings.count(k)) missing += (missing.empty() ? "" : ", ") + std::to_string(k);
    if (!missing.empty()) Fail(t, key, "strings missing: " + missing + " (give a base language or all 99)");
    LanguageDef def;
    def.name = Convert(name, t, key + ".name", codepage, false);
    def.langId = id;
    def.builtinFolderText =
        base && strings[text::kFolderBody] == BuiltinStrings(*base)[text::kFolderBody - 1];
    for (int k = 1; k <= kLanguageStringCount; ++k) {
      const std::string& s = strings[k];
      if (s.find('\0') != std::string::npos) Fail(t, key + ".strings." + std::to_string(k), "the text contains a NUL character");
      def.strings[k - 1] = Convert(s, t, key + ".strings." + std::to_string(k), codepage, false);
    }
    if (t->get("licence") && t->get("license")) Fail(t->get("license"), key + ".license", "give either licence or license, not both");
    def.licence = DocumentFile(*t, key, t->get("licence") ? "licence" : "license", codepage);
    if (!def.licence) def.licence = defaultLicence_;
    def.readme = DocumentFile(*t, key, "readme", codepage);
    if (!def.readme) def.readme = defaultReadme_;
    project_.languages.push_back(std::move(def));
  }
}

}  // namespace pvx::tool::project_reading
