#include "uninstaller/uninstall_plan.h"

#include <algorithm>
#include <utility>

#include "format/decimal.h"
#include "format/text_util.h"

namespace pvx {

namespace {

// One INI section as read: its name and its key/value lines.
struct Section {
  Str name;  // lower case
  std::vector<Str> keys;
  std::vector<Str> values;

  // The first value of `key`, or null.
  const Str* Find(const Str& key) const {
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &values[i];
    return nullptr;
  }
  Str Get(int key) const {
    const Str* v = Find(DecimalText(key));
    return v ? *v : Str();
  }
};

Str Trimmed(const Str& text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
  return text.substr(a, b - a);
}

std::vector<Section> ReadSections(const Str& text) {
  std::vector<Section> sections;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find('\n', i);
    if (end == Str::npos) end = text.size();
    Str line = text.substr(i, end - i);
    i = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Str bare = Trimmed(line);
    if (bare.empty()) continue;
    if (bare[0] == '[') {
      size_t close = bare.find(']');
      if (close == Str::npos) continue;
      Section s;
      s.name = AsciiLower(Trimmed(bare.substr(1, close - 1)));
      sections.push_back(s);
      continue;
    }
    size_t eq = line.find('=');
    if (eq == Str::npos || sections.empty()) continue;
    sections.back().keys.push_back(AsciiLower(Trimmed(line.substr(0, eq))));
    sections.back().values.push_back(line.substr(eq + 1));
  }
  return sections;
}

// Items in the order of their numbers; of equal numbers the first in the
// file alone. std::sort on (number, position) needs no buffer (the buffer
// of std::stable_sort would bring the exception runtime into the
// executable) and stays O(n log n) whatever order a damaged file has.
template <class T>
std::vector<T> ByNumber(std::vector<std::pair<uint32_t, T>>& items) {
  std::vector<std::pair<uint32_t, size_t>> order;
  for (size_t i = 0; i < items.size(); ++i) order.emplace_back(items[i].first, i);
  std::sort(order.begin(), order.end());
  std::vector<T> out;
  for (size_t k = 0; k < order.size(); ++k)
    if (k == 0 || order[k].first != order[k - 1].first) out.push_back(items[order[k].second].second);
  return out;
}

// The writer's quoting rule undone.
Str Unquoted(const Str& value) {
  if (value.size() > 1 && value[0] == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// A positive decimal number of at most six digits, or 0.
uint32_t SmallNumber(const Str& text) {
  if (text.empty() || text.size() > 6) return 0;
  uint32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return n;
}

const Section* FindSection(const std::vector<Section>& sections, const char* name) {
  for (const Section& s : sections)
    if (s.name == name) return &s;
  return nullptr;
}

// The "n=value" lines of a list section in the order of n.
std::vector<Str> NumberedLines(const Section* s, bool quoted) {
  std::vector<std::pair<uint32_t, Str>> lines;
  if (s)
    for (size_t i = 0; i < s->keys.size(); ++i)
      if (uint32_t n = SmallNumber(s->keys[i])) lines.emplace_back(n, quoted ? Unquoted(s->values[i]) : s->values[i]);
  return ByNumber(lines);
}

// The sections "[<letter>N]" in the order of N.
std::vector<const Section*> NumberedSections(const std::vector<Section>& sections, char letter) {
  std::vector<std::pair<uint32_t, const Section*>> found;
  for (const Section& s : sections)
    if (s.name.size() >= 2 && s.name[0] == letter)
      if (uint32_t n = SmallNumber(s.name.substr(1))) found.emplace_back(n, &s);
  return ByNumber(found);
}

Str Field(const Section* s, int key) { return Unquoted(s->Get(key)); }

void ReadCommands(const std::vector<Section>& sections, char letter, std::vector<UninstallCommand>& out) {
  for (const Section* s : NumberedSections(sections, letter)) {
    UninstallCommand c;
    c.file = Field(s, 0);
    c.parameters = Field(s, 1);
    c.show = DecimalInt(Field(s, 2));
    c.wait = DecimalInt(Field(s, 3)) == 1;
    out.push_back(c);
  }
}

uint32_t Count(size_t n) { return n > 0xFFFFFFu ? 0xFFFFFFu : static_cast<uint32_t>(n); }

}  // namespace

int32_t UninstallPlan::SettingInt(int key) const { return DecimalInt(settings[key]); }

bool UninstallPlan::SettingFlag(int key) const { return settings[key] != "0"; }

uint32_t UninstallPlan::MissingItems() const {
  const struct {
    int key;
    size_t listed;
  } counts[] = {
      {setting::kFileLines, files.size()},           {setting::kFolderLines, folders.size()},
      {setting::kLibraryLines, libraries.size()},    {setting::kRegistrySections, registryValues.size()},
      {setting::kIniSections, iniEntries.size()},    {setting::kBeforeSections, before.size()},
      {setting::kAfterSections, after.size()},       {setting::kFontRecords, fonts.size()},
  };
  uint32_t missing = 0;
  for (auto& c : counts) {
    int32_t announced = SettingInt(c.key);
    if (announced > 0 && static_cast<uint32_t>(announced) > c.listed)
      missing += static_cast<uint32_t>(announced) - Count(c.listed);
  }
  return missing;
}

uint32_t UninstallPlan::WorkUnits() const {
  return Count(files.size() + folders.size() + passedOn.size() + libraries.size() + iniEntries.size() +
               registryValues.size() + before.size() + after.size() + fonts.size());
}

uint32_t UninstallPlan::ProgressTotal() const {
  int32_t total = SettingInt(setting::kTotalWork);
  uint32_t units = WorkUnits();
  return total > 0 && static_cast<uint32_t>(total) > units ? static_cast<uint32_t>(total) : units;
}

bool ParseUninstallIni(const Str& text, UninstallPlan& plan) {
  plan = UninstallPlan();
  std::vector<Section> sections = ReadSections(text);
  const Section* s = FindSection(sections, "s");
  if (!s) return false;
  for (int k = 0; k < kSettingCount; ++k) plan.settings[k] = Field(s, k);

  plan.files = NumberedLines(FindSection(sections, "f"), false);
  plan.folders = NumberedLines(FindSection(sections, "e"), true);
  plan.libraries = NumberedLines(FindSection(sections, "u"), true);
  for (const Section* o : NumberedSections(sections, 'o')) plan.passedOn.push_back({Field(o, 0), Field(o, 1)});
  for (const Section* i : NumberedSections(sections, 'i'))
    plan.iniEntries.push_back({Field(i, 0), Field(i, 1), Field(i, 2)});
  for (const Section* r : NumberedSections(sections, 'r'))
    plan.registryValues.push_back({DecimalInt(Field(r, 0)), Field(r, 1), Field(r, 2)});
  ReadCommands(sections, 'b', plan.before);
  ReadCommands(sections, 'a', plan.after);
  for (const Section* n : NumberedSections(sections, 'n')) plan.fonts.push_back({Field(n, 0), Field(n, 1)});
  return true;
}

// --- the trailer ------------------------------------------------------------

namespace {

// Windows paths are at most MAX_PATH (260) characters with the zero.
constexpr uint32_t kMaxPath = 259;
// A header picture of 4096 x 4096 at 32 bits is 64 MiB; nothing sensible
// is larger.
constexpr uint32_t kMaxPicture = 64u << 20;

bool IsAbsoluteWindowsPath(const Str& path) {
  for (char c : path) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '?' || c == '*') return false;
  }
  bool drive = path.size() > 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
               path[1] == ':' && path[2] == '\\';
  bool unc = path.size() > 4 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
  return (drive || unc) && path.back() != '\\';
}

bool ReadAt(ByteSource& file, uint64_t position, void* out, size_t n) {
  return file.Seek(position) && file.Read(out, n) == n;
}

}  // namespace

UninstallTrailerStatus ReadUninstallTrailer(ByteSource& file, Str& iniPath, uint64_t& pathStart) {
  iniPath = Str();
  pathStart = 0;
  const uint64_t size = file.Size();
  uint8_t length[2];
  if (size < 2 || !ReadAt(file, size - 2, length, 2)) return UninstallTrailerStatus::TooShort;
  const uint32_t n = static_cast<uint32_t>(LoadLE(length, 2));
  if (n == 0 || n > kMaxPath) return UninstallTrailerStatus::BadPathLength;
  if (size - 2 < n) return UninstallTrailerStatus::TooShort;
  Str path(n, '\0');
  if (!ReadAt(file, size - 2 - n, path.data(), n)) return UninstallTrailerStatus::TooShort;
  if (!IsAbsoluteWindowsPath(path)) return UninstallTrailerStatus::BadPath;
  iniPath = path;
  pathStart = size - 2 - n;
  return UninstallTrailerStatus::Ok;
}

Str ReadTrailerPicture(ByteSource& file, uint64_t pathStart) {
  uint8_t length[4];
  if (pathStart < 4 || !ReadAt(file, pathStart - 4, length, 4)) return Str();
  const uint64_t n = LoadLE(length, 4);
  if (n == 0 || n > kMaxPicture || n > pathStart - 4) return Str();
  Str bytes(static_cast<size_t>(n), '\0');
  if (!ReadAt(file, pathStart - 4 - n, bytes.data(), static_cast<size_t>(n)) || !CheckBitmapFile(bytes)) return Str();
  return bytes;
}

bool CheckBitmapFile(const Str& bytes) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint64_t size = bytes.size();
  if (size < 14 + 40 || p[0] != 'B' || p[1] != 'M') return false;
  const uint64_t pixels = LoadLE(p + 10, 4);
  const uint64_t header = LoadLE(p + 14, 4);
  const int32_t width = static_cast<int32_t>(LoadLE(p + 18, 4));
  const int32_t height = static_cast<int32_t>(LoadLE(p + 22, 4));
  const uint32_t planes = static_cast<uint32_t>(LoadLE(p + 26, 2));
  const uint32_t bits = static_cast<uint32_t>(LoadLE(p + 28, 2));
  const uint32_t compression = static_cast<uint32_t>(LoadLE(p + 30, 4));
  const uint64_t used = LoadLE(p + 46, 4);
  if (header < 40 || header > size - 14 || planes != 1) return false;
  if (width <= 0 || width > 4096 || height == 0 || height < -4096 || height > 4096) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const bool fields = compression == 3 && (bits == 16 || bits == 32);
  if (compression != 0 && !fields) return false;
  uint64_t colors = 0;
  if (bits <= 8) {
    colors = used ? used : (1u << bits);
    if (colors > (1u << bits)) return false;
  }
  // Three masks follow a plain 40-byte header.
  const uint64_t masks = fields && header == 40 ? 12 : 0;
  if (14 + header + masks + colors * 4 > pixels) return false;
  const uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  return pixels <= size && stride * rows <= size - pixels;
}

}  // namespace pvx
