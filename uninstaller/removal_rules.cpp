#include "uninstaller/removal_rules.h"

#include <algorithm>

#include "format/text_util.h"

namespace pvx {

namespace {

size_t Depth(const Str& key) {
  size_t n = key.empty() ? 0 : 1;
  for (char c : key) n += c == '\\';
  return n;
}

// The folder that holds a path, in the path's own spelling ("C:\a\b" ->
// "C:\a", "C:\a" -> "C:"); empty at the top.
Str Parent(const Str& path) {
  Str p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  size_t cut = p.find_last_of("\\/");
  if (cut == Str::npos) return Str();
  if (cut < 3 && p.size() > 1 && p[1] == ':') return p.substr(0, 2);
  return p.substr(0, cut);
}

bool IsDriveOrShareRoot(const Str& key) {
  if (key.size() <= 2 && key.size() > 0 && key.back() == ':') return true;
  if (key.size() > 2 && key[0] == '\\' && key[1] == '\\') {
    // "\\server" and "\\server\share" are roots.
    size_t slashes = 0;
    for (size_t i = 2; i < key.size(); ++i) slashes += key[i] == '\\';
    return slashes < 2;
  }
  return false;
}

// Registry keys that belong to the system however empty they are. Their
// parents are shared as well (every prefix of these is kept).
const char* const kSharedKeys[] = {
    "software\\microsoft\\windows\\currentversion\\uninstall",
    "software\\microsoft\\windows\\currentversion\\app paths",
    "software\\microsoft\\windows\\currentversion\\run",
    "software\\microsoft\\windows\\currentversion\\runonce",
    "software\\microsoft\\windows\\currentversion\\runservices",
    "software\\microsoft\\windows\\currentversion\\shared dlls",
    "software\\microsoft\\windows\\currentversion\\fonts",
    "software\\microsoft\\windows nt\\currentversion\\fonts",
    "software\\classes\\clsid",
    "software\\classes\\interface",
    "software\\classes\\typelib",
    "software\\classes\\appid",
    "software\\wow6432node",
    "software\\policies",
    "clsid",
    "interface",
    "typelib",
    "appid",
    "system\\currentcontrolset\\services",
    "system\\currentcontrolset\\control",
};

}  // namespace

bool IsAbsolutePath(const Str& path) {
  bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
               path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  bool unc = path.size() > 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
  return drive || unc;
}

Str PathKey(const Str& path) {
  Str key = AsciiLower(path);
  for (char& c : key)
    if (c == '/') c = '\\';
  while (key.size() > 1 && key.back() == '\\' && !(key.size() == 3 && key[1] == ':')) key.pop_back();
  if (key.size() == 3 && key[1] == ':') key.pop_back();
  return key;
}

bool SamePath(const Str& a, const Str& b) { return PathKey(a) == PathKey(b); }

bool IsAtOrBelow(const Str& path, const Str& folder) {
  Str p = PathKey(path), f = PathKey(folder);
  if (f.empty() || p.size() < f.size() || p.substr(0, f.size()) != f) return false;
  return p.size() == f.size() || p[f.size()] == '\\';
}

std::vector<Str> FoldersToRemove(const std::vector<Str>& recordFolders, const std::vector<Str>& removedFiles,
                                 const Str& installFolder, const std::vector<Str>& protectedFolders) {
  std::vector<Str> candidates;
  for (size_t i = recordFolders.size(); i-- > 0;) candidates.push_back(recordFolders[i]);
  const bool haveInstallFolder = IsAbsolutePath(installFolder) && !IsDriveOrShareRoot(PathKey(installFolder));
  for (const Str& file : removedFiles) {
    if (!IsAbsolutePath(file)) continue;
    Str folder = Parent(file);
    candidates.push_back(folder);
    if (!haveInstallFolder || !IsAtOrBelow(folder, installFolder)) continue;
    while (!SamePath(folder, installFolder)) {
      folder = Parent(folder);
      if (folder.empty()) break;
      candidates.push_back(folder);
    }
  }

  // Each folder once (the first mention counts), then children before
  // parents and otherwise in the order of mention; sorting keeps this
  // O(n log n) for records of many thousands of files.
  struct Candidate {
    Str key;
    size_t depth;
    size_t order;
  };
  std::vector<Candidate> keyed;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Str& c = candidates[i];
    if (!IsAbsolutePath(c)) continue;
    Str key = PathKey(c);
    if (!IsDriveOrShareRoot(key)) keyed.push_back({key, Depth(key), i});
  }
  std::sort(keyed.begin(), keyed.end(), [](const Candidate& a, const Candidate& b) {
    int c = a.key.compare(b.key);
    return c != 0 ? c < 0 : a.order < b.order;
  });
  std::vector<Str> shared;
  for (const Str& p : protectedFolders)
    if (!PathKey(p).empty()) shared.push_back(p);
  std::vector<Candidate> unique;
  for (size_t k = 0; k < keyed.size(); ++k) {
    if (k > 0 && keyed[k].key == keyed[k - 1].key) continue;
    bool holdsShared = false;
    for (const Str& p : shared) holdsShared = holdsShared || IsAtOrBelow(p, keyed[k].key);
    if (!holdsShared) unique.push_back(keyed[k]);
  }
  std::sort(unique.begin(), unique.end(), [](const Candidate& a, const Candidate& b) {
    return a.depth != b.depth ? a.depth > b.depth : a.order < b.order;
  });
  std::vector<Str> out;
  for (const Candidate& c : unique) out.push_back(WithoutTrailingBackslash(candidates[c.order]));
  return out;
}

std::vector<Str> EmptyKeysToRemove(const Str& keyPath) {
  std::vector<Str> out;
  Str original = keyPath;
  while (!original.empty() && original.back() == '\\') original.pop_back();
  while (!original.empty() && original[0] == '\\') original = original.substr(1);
  Str key = AsciiLower(original);
  while (Depth(key) > 1) {
    bool shared = false;
    for (const char* s : kSharedKeys) {
      Str k(s);
      shared = shared || (k.size() >= key.size() && k.substr(0, key.size()) == key &&
                          (k.size() == key.size() || k[key.size()] == '\\'));
    }
    if (shared) break;
    out.push_back(original.substr(0, key.size()));
    key = key.substr(0, key.find_last_of("\\"));
  }
  return out;
}

bool PlacedByInstallation(const Str& file, const std::vector<Str>& installedFiles) {
  for (const Str& installed : installedFiles)
    if (SamePath(installed, file)) return true;
  return false;
}

bool IsBlankText(const Str& text) {
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

}  // namespace pvx
