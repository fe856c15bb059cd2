// Reading [[files]]: sources, wildcards and folders walked in a fixed order.
#include "tool/project_loader.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "format/overwrite_modes.h"
#include "tool/text_convert.h"

namespace pvx::tool::project_reading {

// --- [[files]] ------------------------------------------------------------------------

namespace {

bool HasWildcard(const std::string& s) { return s.find_first_of("*?[") != std::string::npos; }

// Files below `dir`, as paths relative to it, sorted bytewise.
void Walk(const fs::path& dir, const std::string& rel, std::vector<std::string>& out) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir / rel, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string r = rel.empty() ? name : rel + "/" + name;
    std::error_code e2;
    if (fs::is_directory(dir / r, e2)) Walk(dir, r, out);
    else if (fs::is_regular_file(dir / r, e2)) out.push_back(r);
  }
}

// Matches pattern components (with "**" for any number of folders) below dir.
void Glob(const fs::path& dir, const std::vector<std::string>& parts, size_t i, const std::string& rel,
          std::vector<std::string>& out) {
  std::error_code ec;
  if (i == parts.size()) {
    if (fs::is_directory(dir / rel, ec)) {
      std::vector<std::string> inner;
      Walk(dir / rel, "", inner);
      for (auto& f : inner) out.push_back(rel.empty() ? f : rel + "/" + f);
    } else if (fs::is_regular_file(dir / rel, ec)) {
      out.push_back(rel);
    }
    return;
  }
  const std::string& part = parts[i];
  std::vector<std::string> names;
  for (fs::directory_iterator it(rel.empty() ? dir : dir / rel, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  if (part == "**") {
    Glob(dir, parts, i + 1, rel, out);
    for (const std::string& name : names) {
      std::string r = rel.empty() ? name : rel + "/" + name;
      if (fs::is_directory(dir / r, ec)) Glob(dir, parts, i, r, out);
    }
    return;
  }
  for (const std::string& name : names) {
    if (fnmatch(part.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
    std::string r = rel.empty() ? name : rel + "/" + name;
    bool last = i + 1 == parts.size();
    if (last || fs::is_directory(dir / r, ec)) Glob(dir, parts, i + 1, r, out);
  }
}

}  // namespace

bool Loader::StatSource(PayloadFile& f) const {
  struct stat st;
  if (stat(f.sourcePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  f.size = static_cast<uint64_t>(st.st_size);
  f.mtime = st.st_mtim.tv_sec;
  f.mtimeNanos = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  // SOURCE_DATE_EPOCH: no file is newer than the build's stated time.
  if (options_.sourceDateEpoch && f.mtime >= *options_.sourceDateEpoch &&
      !(f.mtime == *options_.sourceDateEpoch && f.mtimeNanos == 0)) {
    f.mtime = *options_.sourceDateEpoch;
    f.mtimeNanos = 0;
  }
  return true;
}

void Loader::Files(const toml::table& root) {
  const std::vector<std::pair<const char*, int>> modes = {
      {"ask", kOverwriteAsk}, {"ask-if-newer", kOverwriteAskIfNewer}, {"always", kOverwriteAlways},
      {"if-newer", kOverwriteIfNewer}, {"never", kOverwriteNever}};
  for (auto& [t, key] : Tables(root, "files")) {
    CheckKeys(*t, key, {"source", "destination", "name", "overwrite", "uninstall", "attributes", "exclude"});
    std::vector<std::pair<std::string, const toml::node*>> sources;
    const toml::node* sn = t->get("source");
    if (!sn) Fail(t, key + ".source", "missing");
    if (sn->is_string()) {
      sources.emplace_back(**sn->as_string(), sn);
    } else if (sn->is_array()) {
      for (auto& e : *sn->as_array()) {
        if (!e.is_string()) Fail(&e, key + ".source", std::string("expected strings, found ") + TypeName(e));
        sources.emplace_back(**e.as_string(), &e);
      }
    } else {
      Fail(sn, key + ".source", std::string("expected a string or an array of strings, found ") + TypeName(*sn));
    }
    auto dest = Text(*t, key, "destination");
    if (!dest) Fail(t, key + ".destination", "missing");
    std::string folder = *dest;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    auto rename = Text(*t, key, "name");
    PayloadFile proto;
    proto.overwrite = Choice(*t, key, "overwrite", modes, "mode").value_or(2);
    proto.uninstall = Bool(*t, key, "uninstall").value_or(true);
    if (const toml::array* a = Array(*t, key, "attributes")) {
      proto.attributes = 0;
      const std::pair<const char*, uint32_t> bits[] = {
          {"readonly", 0x01}, {"hidden", 0x02}, {"system", 0x04}, {"archive", 0x20}};
      for (auto& e : *a) {
        if (!e.is_string()) Fail(&e, key + ".attributes", std::string("expected strings, found ") + TypeName(e));
        std::string s = **e.as_string();
        uint32_t bit = 0;
        for (auto& [name, b] : bits)
          if (s == name) bit = b;
        if (!bit) Fail(&e, key + ".attributes", "unknown attribute \"" + s + "\" (expected readonly, hidden, system, archive)");
        proto.attributes |= bit;
      }
    }
    std::vector<std::string> excludes;
    if (const toml::array* a = Array(*t, key, "exclude"))
      for (auto& e : *a) {
        if (!e.is_string()) Fail(&e, key + ".exclude", std::string("expected strings, found ") + TypeName(e));
        excludes.push_back(**e.as_string());
      }
    size_t before = project_.files.size();
    for (auto& [pattern, node] : sources) {
      if (pattern.empty()) Fail(node, key + ".source", "the source is empty");
      // The literal folders before the first wildcard are the base that
      // relative destinations are taken from.
      std::vector<std::string> parts;
      std::string cur;
      std::stringstream ss(pattern);
      while (std::getline(ss, cur, '/'))
        if (!cur.empty() && cur != ".") parts.push_back(cur);
      bool absolute = !pattern.empty() && pattern[0] == '/';
      size_t firstWild = 0;
      while (firstWild < parts.size() && !HasWildcard(parts[firstWild])) ++firstWild;
      fs::path base = absolute ? fs::path("/") : fs::path(project_.baseDir);
      std::vector<std::string> found;  // relative to `baseRel`
      fs::path baseRel = base;
      std::error_code ec;
      if (firstWild == parts.size()) {
        fs::path p = base;
        for (auto& c : parts) p /= c;
        if (fs::is_directory(p, ec)) {
          baseRel = p;
          Walk(p, "", found);
          if (found.empty()) Fail(node, key + ".source", "the folder \"" + pattern + "\" holds no files");
        } else if (fs::is_regular_file(p, ec)) {
          baseRel = p.parent_path();
          found.push_back(p.filename().string());
        } else {
          Fail(node, key + ".source", "source file not found: " + pattern);
        }
      } else {
        for (size_t i = 0; i < firstWild; ++i) baseRel /= parts[i];
        std::vector<std::string> rest(parts.begin() + firstWild, parts.end());
        Glob(baseRel, rest, 0, "", found);
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
      }
      std::vector<std::string> kept;
      for (auto& f : found) {
        bool skip = false;
        for (auto& x : excludes)
          if (fnmatch(x.c_str(), f.c_str(), 0) == 0 || fnmatch(x.c_str(), fs::path(f).filename().c_str(), 0) == 0)
            skip = true;
        if (!skip) kept.push_back(f);
      }
      if (kept.empty()) Fail(node, key + ".source", "\"" + pattern + "\" matches no file");
      for (auto& rel : kept) {
        PayloadFile f = proto;
        f.sourcePath = (baseRel / rel).string();
        f.origin = key;
        std::string relWin = rel;
        std::replace(relWin.begin(), relWin.end(), '/', '\\');
        std::string relAnsi = Convert(relWin, node, key + ".source", project_.codepage, false);
        f.destination = folder.empty() ? relAnsi : folder + "\\" + relAnsi;
        if (!StatSource(f)) Fail(node, key + ".source", "cannot read " + f.sourcePath);
        project_.files.push_back(std::move(f));
      }
    }
    if (rename) {
      if (project_.files.size() - before != 1)
        Fail(t->get("name"), key + ".name", "a new name needs a source of exactly one file");
      PayloadFile& f = project_.files.back();
      f.destination = folder.empty() ? *rename : folder + "\\" + *rename;
    }
  }
}

// --- the other lists --------------------------------------------------------------------

}  // namespace pvx::tool::project_reading
