#include "tool/project.h"
#include "tool/project_loader.h"


#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <toml++/toml.h>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/text_util.h"
#include "format/trailer.h"
#include "format/work_files.h"
#include "tool/folder_names.h"
#include "tool/list_records.h"
#include "tool/pictures.h"
#include "tool/rtf.h"
#include "tool/text_convert.h"
#include "tool/winget_manifest.h"

namespace fs = std::filesystem;

namespace pvx::tool {

namespace project_reading {

const char* const kRawListNames[kListKindCount] = {
    "registry_variables", "registry_entries", "uninstall_registry_entries", "fonts",
    "shortcuts",          "files",            "folders",                    "commands",
    "ini_entries",        "uninstall_extras", "com_registrations",          "languages",
};


void Loader::SetColor(int field, const toml::table& t, const std::string& prefix, const char* key) {
  const toml::node* n = t.get(key);
  if (!n) return;
  const std::string k = Join(prefix, key);
  if (n->is_integer()) {
    int64_t v = **n->as_integer();
    if (v < 0 || v > 0xFFFFFFFFLL) Fail(n, k, "colour out of range");
    project_.header[field] = DecimalText(static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v))));
    return;
  }
  if (!n->is_string()) Fail(n, k, std::string("expected a colour (\"#RRGGBB\", \"system:N\" or a number), found ") + TypeName(*n));
  std::string s = **n->as_string();
  if (s.size() == 7 && s[0] == '#' && s.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
    uint32_t rgb = static_cast<uint32_t>(std::stoul(s.substr(1), nullptr, 16));
    uint32_t colorref = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    project_.header[field] = DecimalText(static_cast<uint64_t>(colorref));
    return;
  }
  if (s.compare(0, 7, "system:") == 0 && s.size() > 7 && s.size() <= 9 &&
      s.find_first_not_of("0123456789", 7) == std::string::npos) {
    uint32_t v = 0x80000000u | static_cast<uint32_t>(std::stoul(s.substr(7)));
    project_.header[field] = DecimalText(static_cast<int64_t>(static_cast<int32_t>(v)));
    return;
  }
  Fail(n, k, "bad colour \"" + s + "\" (expected \"#RRGGBB\", \"system:N\" or a number)");
}

uint64_t Loader::Size(const toml::table& t, const std::string& prefix, const char* key) {
  const toml::node* n = t.get(key);
  if (!n) return 0;
  const std::string k = Join(prefix, key);
  if (n->is_integer()) {
    int64_t v = **n->as_integer();
    if (v < 0) Fail(n, k, "a size cannot be negative");
    return static_cast<uint64_t>(v);
  }
  if (!n->is_string()) Fail(n, k, std::string("expected a size (bytes, or text such as \"700M\"), found ") + TypeName(*n));
  std::string s = **n->as_string();
  size_t digits = s.find_first_not_of("0123456789");
  if (digits == 0 || s.empty()) Fail(n, k, "bad size \"" + s + "\"");
  std::string unit = AsciiUpper(s.substr(digits == std::string::npos ? s.size() : digits));
  uint64_t mul = 1;
  if (unit.empty() || unit == "B") mul = 1;
  else if (unit == "K" || unit == "KB" || unit == "KIB") mul = 1024;
  else if (unit == "M" || unit == "MB" || unit == "MIB") mul = 1024 * 1024;
  else if (unit == "G" || unit == "GB" || unit == "GIB") mul = 1024ull * 1024 * 1024;
  else Fail(n, k, "bad size unit in \"" + s + "\" (expected K, M or G)");
  std::string number = s.substr(0, digits);
  // stoull throws beyond 2^64; 19 digits always fit.
  if (number.size() > 19) Fail(n, k, "size too large");
  uint64_t v = std::stoull(number);
  if (v > (UINT64_MAX / mul)) Fail(n, k, "size too large");
  return v * mul;
}

std::string Loader::ReadFile(const toml::node* n, const std::string& key, const std::string& path) {
  std::string full = Resolve(path);
  std::error_code ec;
  if (!fs::is_regular_file(full, ec)) Fail(n, key, "file not found: " + path);
  std::ifstream in(full, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  if (!in && !in.eof()) Fail(n, key, "cannot read " + path);
  return ss.str();
}

// --- [signing] ---------------------------------------------------------------

void Loader::Signing(const toml::table& t) {
  const std::string p = "signing";
  // A project file is committed and shared: it names where a secret is,
  // never the secret.
  for (const char* secret : {"password", "pass", "pin"})
    if (t.get(secret))
      Fail(t.get(secret), Join(p, secret),
           "secrets are never read from the project: use password_env or password_file");
  CheckKeys(t, p, {"enabled", "pkcs12", "password_env", "password_file", "pkcs11_module", "pkcs11_engine", "key",
                   "certificate", "pkcs11_certificate", "description", "url", "timestamp", "sign_files",
                   "resign_files"});
  if (Bool(t, p, "enabled").value_or(true) == false) return;
  SigningOptions& o = project_.signing;
  if (auto v = Utf8(t, p, "pkcs12")) o.pkcs12 = Resolve(*v);
  if (auto v = Utf8(t, p, "password_env")) o.passwordEnv = *v;
  if (auto v = Utf8(t, p, "password_file")) o.passwordFile = Resolve(*v);
  if (auto v = Utf8(t, p, "pkcs11_module")) o.pkcs11Module = *v;
  if (auto v = Utf8(t, p, "pkcs11_engine")) o.pkcs11Engine = *v;
  if (auto v = Utf8(t, p, "key")) o.key = *v;
  if (auto v = Utf8(t, p, "certificate")) o.certificate = Resolve(*v);
  if (auto v = Utf8(t, p, "pkcs11_certificate")) o.pkcs11Cert = *v;
  if (auto v = Utf8(t, p, "description")) o.description = *v;
  if (auto v = Utf8(t, p, "url")) o.url = *v;
  o.signFiles = Bool(t, p, "sign_files").value_or(false);
  o.resignFiles = Bool(t, p, "resign_files").value_or(false);
  if (const toml::node* n = t.get("timestamp")) {
    if (n->is_string()) {
      o.timestampServers.push_back(**n->as_string());
    } else if (const toml::array* a = n->as_array()) {
      for (const toml::node& e : *a) {
        if (!e.is_string()) Fail(&e, "signing.timestamp", "expected the address of a timestamp server");
        o.timestampServers.push_back(**e.as_string());
      }
    } else {
      Fail(n, "signing.timestamp", "expected an address or an array of addresses");
    }
  }
  if (!o.Enabled()) Fail(&t, p, "names no key: set pkcs12, or pkcs11_module and key (or enabled = false)");
  try {
    CheckSigning(o);
  } catch (const std::runtime_error& e) {
    Fail(&t, p, std::string(e.what()).substr(std::string("signing: ").size()));
  }
}

// --- [package] ---------------------------------------------------------------

void Loader::Package(const toml::table& t) {
  const std::string p = "package";
  CheckKeys(t, p, {"form", "compression", "compression_level", "lzx_window", "solid", "part_size", "volume_size",
                   "volume_name", "utc_offset", "codepage", "output"});
  if (auto v = Int(t, p, "codepage", 1, 65535)) {
    if (!CodePageSupported(static_cast<int>(*v))) Fail(t.get("codepage"), "package.codepage", "code page " + std::to_string(*v) + " is not supported");
    project_.codepage = static_cast<int>(*v);
  }
  if (auto f = Choice(t, p, "form", {{"cabinet", 0}, {"stored", 1}}, "storage form"))
    project_.form = *f == 0 ? StorageForm::Cabinet : StorageForm::Stored;
  if (auto c = Choice(t, p, "compression", {{"mszip", 0}, {"none", 1}, {"lzx", 2}}, "compression"))
    project_.compression = *c == 0 ? Compression::MSZip : *c == 1 ? Compression::None : Compression::Lzx;
  const bool lzx = project_.compression == Compression::Lzx;
  if (auto l = Int(t, p, "compression_level", 1, 9)) {
    if (lzx) Fail(t.get("compression_level"), "package.compression_level", "applies to MSZIP; LZX is tuned by lzx_window");
    project_.compressionLevel = static_cast<int>(*l);
  }
  if (auto w = Int(t, p, "lzx_window", 15, 21)) {
    if (!lzx) Fail(t.get("lzx_window"), "package.lzx_window", "applies only to compression = \"lzx\"");
    project_.lzxWindowBits = static_cast<int>(*w);
  }
  if (auto b = Bool(t, p, "solid")) {
    if (!lzx) Fail(t.get("solid"), "package.solid", "applies only to compression = \"lzx\" (MSZIP folders are always solid)");
    project_.solid = *b;
  }
  project_.partSize = Size(t, p, "part_size");
  if (project_.partSize != 0 && project_.partSize < 1024)
    Fail(t.get("part_size"), "package.part_size", "a cabinet part must hold at least 1024 bytes");
  if (project_.partSize > static_cast<uint64_t>(kMaxPackageOffset))
    Fail(t.get("part_size"), "package.part_size", "a cabinet part must stay below 2 GiB");
  project_.volumeSize = Size(t, p, "volume_size");
  if (auto s = Text(t, p, "volume_name", false)) {
    if (s->empty()) Fail(t.get("volume_name"), "package.volume_name", "the volume name is empty");
    if (s->find_first_of("/\\:") != std::string::npos || *s == "." || *s == "..")
      Fail(t.get("volume_name"), "package.volume_name", "must be a plain file name (no folders)");
    project_.header[field::kVolumeNameTemplate] = *s;
  }
  if (const toml::node* n = t.get("utc_offset")) {
    if (n->is_integer()) {
      int64_t v = **n->as_integer();
      if (v < -16 * 60 || v > 16 * 60) Fail(n, "package.utc_offset", "offset out of range (minutes, -960 to 960)");
      project_.utcOffsetMinutes = static_cast<int>(v);
    } else if (n->is_string()) {
      std::string s = **n->as_string();
      int sign = 0, hh = 0, mm = 0;
      if (s.size() == 6 && (s[0] == '+' || s[0] == '-') && s[3] == ':' && isdigit((unsigned char)s[1]) &&
          isdigit((unsigned char)s[2]) && isdigit((unsigned char)s[4]) && isdigit((unsigned char)s[5])) {
        sign = s[0] == '-' ? -1 : 1;
        hh = std::stoi(s.substr(1, 2));
        mm = std::stoi(s.substr(4, 2));
      }
      if (!sign || hh > 16 || mm > 59) Fail(n, "package.utc_offset", "bad offset \"" + s + "\" (expected \"+HH:MM\" or minutes)");
      project_.utcOffsetMinutes = sign * (hh * 60 + mm);
    } else {
      Fail(n, "package.utc_offset", std::string("expected \"+HH:MM\" or minutes, found ") + TypeName(*n));
    }
  }
  if (auto o = Utf8(t, p, "output")) project_.defaultOutput = *o;
}

// --- [product] -----------------------------------------------------------------

void Loader::Product(const toml::table& t) {
  const std::string p = "product";
  CheckKeys(t, p, {"id", "name", "version", "publisher", "url", "support_url", "icon", "contact", "comments",
                   "winget_id"});
  productNode_ = &t;
  ProductInfo info;
  // Texts of the registration go into registry data, which the runtime
  // expands: a FolderMacro in them would be replaced on the target.
  auto plain = [&](const char* key) {
    auto s = Text(t, p, key, false);
    if (!s) return std::string();
    if (s->find("@$&%") != std::string::npos)
      Fail(t.get(key), Join(p, key), "contains \"@$&%\", which the runtime would expand");
    return *s;
  };
  auto id = Utf8(t, p, "id");
  if (!id) Fail(&t, "product.id", "missing (the registration's key name, the same in every version, e.g. \"ExampleTool\")");
  info.id = plain("id");
  std::string problem = ProductIdProblem(info.id);
  if (!problem.empty()) Fail(t.get("id"), "product.id", "\"" + *id + "\" cannot name a registry key: " + problem);
  info.name = plain("name");
  if (t.get("name") && info.name.empty()) Fail(t.get("name"), "product.name", "the name is empty");
  info.version = plain("version");
  info.publisher = plain("publisher");
  info.url = plain("url");
  info.supportUrl = plain("support_url");
  info.contact = plain("contact");
  info.comments = plain("comments");
  if (auto w = Utf8(t, p, "winget_id")) {
    problem = WingetIdProblem(*w);
    if (!problem.empty()) Fail(t.get("winget_id"), "product.winget_id", problem);
    info.wingetId = *w;
  }
  if (auto icon = Utf8(t, p, "icon")) {
    productIconNode_ = t.get("icon");
    productIconUtf8_ = *icon;
    if (icon->empty()) Fail(productIconNode_, "product.icon", "the icon is empty");
    info.icon = *Text(t, p, "icon");
  }
  project_.product = std::move(info);
}

// The registration in the system's list of installed programs, and the
// upgrade folder: a registry variable that reads the last installation's
// InstallLocation, falling back to the default folder, becomes the default
// folder. /P= still overrides it (the runtime applies the command line to
// field 58 itself).
void Loader::ProductRegistration() {
  if (!project_.product) return;
  ProductInfo& product = *project_.product;
  auto& h = project_.header;
  if (!product.icon.empty()) {
    const PayloadFile* found = nullptr;
    for (const PayloadFile& f : project_.files)
      if (AsciiLower(f.destination) == AsciiLower(product.icon)) found = &f;
    if (!found) {
      // Or the icon's source file, as [[files]] names it.
      std::error_code ec;
      fs::path want = fs::weakly_canonical(Resolve(productIconUtf8_), ec);
      for (const PayloadFile& f : project_.files)
        if (!found && !ec && fs::weakly_canonical(f.sourcePath, ec) == want) found = &f;
    }
    if (!found)
      Fail(productIconNode_, "product.icon",
           "\"" + productIconUtf8_ + "\" is not a file of the payload (give its destination, such as "
           "\"{app}\\tool.exe\", or its source)");
    product.icon = found->destination;
  }
  if (h[field::kWriteUninstallRecord] != "1") {
    Warn(productNode_, "product",
         "the package writes no uninstall record ([uninstall]), so it registers nothing in the list of "
         "installed programs: nothing could remove the registration again");
    return;
  }
  std::string uninstaller = h[field::kUninstallerPath];
  bool shipped = false;
  for (const PayloadFile& f : project_.files) shipped = shipped || AsciiLower(f.destination) == AsciiLower(uninstaller);
  if (!shipped) {
    Warn(productNode_, "product",
         "the payload holds no uninstaller at uninstall.program, so the registration has no UninstallString "
         "(set uninstall.uninstaller = true to ship Parvolex's)");
    uninstaller.clear();
  }
  const std::string key = RegistrationKey(product.id);
  auto& records = project_.records[static_cast<int>(ListKind::RegistryEntries)];
  // A [[registry]] entry of the same value is the project's own choice.
  auto given = [&](const std::string& name) {
    for (const auto& r : records)
      if (DecimalInt(r[registry_entry::kRoot]) == 2 && AsciiLower(r[registry_entry::kKey]) == AsciiLower(key) &&
          AsciiLower(r[registry_entry::kValueName]) == AsciiLower(name))
        return true;
    return false;
  };
  std::set<std::string> written;
  for (const RegistrationValue& v : RegistrationValues(product, uninstaller, 0)) {
    written.insert(v.name);
    if (given(v.name)) continue;
    if (v.name == kEstimatedSizeValue) project_.estimatedSizeRecord = static_cast<int>(records.size());
    using namespace registry_entry;
    records.push_back(MakeRecord(ListKind::RegistryEntries,
                                 {{kRoot, "2"}, {kKey, key}, {kValueName, v.name}, {kData, v.data},
                                  {kType, DecimalText(static_cast<int64_t>(v.type))}, {kOverwrite, "1"},
                                  {kUninstall, "1"}}));
  }
  // What an earlier version may have written and this one does not: the
  // uninstallation removes it too, and with it the key.
  auto& leftovers = project_.records[static_cast<int>(ListKind::UninstallRegistryEntries)];
  for (const std::string& name : RegistrationValueNames())
    if (!written.count(name) && !given(name))
      leftovers.push_back(MakeRecord(ListKind::UninstallRegistryEntries, {{uninstall_registry_entry::kRoot, "2"},
                                                                          {uninstall_registry_entry::kKey, key},
                                                                          {uninstall_registry_entry::kValueName, name}}));
  auto& variables = project_.records[static_cast<int>(ListKind::RegistryVariables)];
  if (variables.size() >= 19)
    Fail(productNode_, "product",
         "the upgrade folder needs a registry variable, and [[registry_variables]] takes all of {reg1} to {reg19}");
  variables.push_back(MakeRecord(ListKind::RegistryVariables,
                                 {{registry_variable::kRoot, "2"}, {registry_variable::kKey, key},
                                  {registry_variable::kValueName, "InstallLocation"},
                                  {registry_variable::kDefault, h[field::kDefaultFolder]}}));
  h[field::kDefaultFolder] = FolderMacro(81 + static_cast<int>(variables.size()) - 1);
}

// --- [setup] -----------------------------------------------------------------

void Loader::Setup(const toml::table& t) {
  const std::string p = "setup";
  CheckKeys(t, p, {"title", "bottom_text", "default_folder", "folder_locked", "browse_append_folder",
                   "program_group", "group_locked", "silent", "startup_message", "licence", "license",
                   "readme"});
  auto title = Text(t, p, "title");
  std::optional<ProductInfo>& product = project_.product;
  if (!title && product) {
    if (product->name.empty()) Fail(productNode_, "product.name", "missing (a product needs a name, or give setup.title)");
    title = ProductTitle(*product);
  }
  if (!title) Fail(&t, "setup.title", "missing (every package needs a title)");
  if (title->empty()) Fail(t.get("title"), "setup.title", "the title is empty");
  auto& h = project_.header;
  h[field::kSetupTitle] = *title;
  h[field::kBackdropTitle] = *title;
  // A product's folder and group carry its name without the version, so
  // that every version installs to the same place.
  std::string base = *title;
  if (product && !product->name.empty()) {
    base = product->name;
    std::string problem = FolderNameProblem(base);
    if (!problem.empty() && !(t.get("default_folder") && t.get("program_group")))
      Fail(productNode_, "product.name",
           "cannot be the default folder and program group: " + problem +
               " (set setup.default_folder and setup.program_group)");
  } else if (product) {
    product->name = *title;
  }
  h[field::kDefaultFolder] = FolderMacro(1) + "\\" + base;
  h[field::kDefaultGroup] = base;
  SetText(field::kBottomText, t, p, "bottom_text");
  SetText(field::kDefaultFolder, t, p, "default_folder");
  SetFlag(field::kFolderLocked, t, p, "folder_locked");
  h[field::kBrowseAppendFolder] = FileNamePart(h[field::kDefaultFolder]);
  SetText(field::kBrowseAppendFolder, t, p, "browse_append_folder");
  if (t.get("program_group")) {
    SetText(field::kDefaultGroup, t, p, "program_group");
    programGroupGiven_ = true;
  }
  SetFlag(field::kGroupLocked, t, p, "group_locked");
  SetFlag(field::kSilent, t, p, "silent");
  if (auto m = Text(t, p, "startup_message")) h[field::kStartupMessage] = m->empty() ? "0" : *m;
  if (t.get("licence") && t.get("license"))
    Fail(t.get("license"), "setup.license", "give either licence or license, not both");
  defaultLicence_ = DocumentFile(t, p, t.get("licence") ? "licence" : "license", project_.codepage);
  defaultReadme_ = DocumentFile(t, p, "readme", project_.codepage);
}

std::optional<std::string> Loader::DocumentFile(const toml::table& t, const std::string& prefix,
                                                const char* key, int codepage) {
  auto path = Utf8(t, prefix, key);
  if (!path) return std::nullopt;
  const toml::node* n = t.get(key);
  std::string bytes = ReadFile(n, Join(prefix, key), *path);
  if (LooksLikeRtf(bytes)) return bytes;
  if (bytes.find('\0') != std::string::npos)
    Fail(n, Join(prefix, key), *path + " is neither RTF nor plain text (it holds NUL bytes)");
  // Plain text is UTF-8 (a BOM is dropped).
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::string ansi, problem;
  if (!Utf8ToCodePage(bytes, codepage, ansi, problem)) Fail(n, Join(prefix, key), *path + ": " + problem);
  return PlainTextToRtf(ansi, codepage);
}

// --- [pages], [finish], [wizard] --------------------------------------------------

void Loader::Pages(const toml::table& t) {
  const std::string p = "pages";
  CheckKeys(t, p, {"welcome", "license", "licence", "information", "folder", "group", "shortcuts", "ready",
                   "finish"});
  SetFlag(field::kWelcomePage, t, p, "welcome");
  SetFlag(field::kLicensePage, t, p, "license");
  SetFlag(field::kLicensePage, t, p, "licence");
  SetFlag(field::kInformationPage, t, p, "information");
  SetFlag(field::kFolderPage, t, p, "folder");
  SetFlag(field::kGroupPage, t, p, "group");
  SetFlag(field::kShortcutsPage, t, p, "shortcuts");
  SetFlag(field::kReadyPage, t, p, "ready");
  SetFlag(field::kFinishPage, t, p, "finish");
}

void Loader::Finish(const toml::table& t) {
  const std::string p = "finish";
  CheckKeys(t, p, {"run", "run_checked", "readme", "readme_checked", "web", "web_checked", "restart"});
  auto& h = project_.header;
  if (auto s = Text(t, p, "run")) {
    h[field::kRunProgram] = *s;
    h[field::kFinishOffersRun] = Flag(!s->empty());
  }
  SetFlag(field::kRunChecked, t, p, "run_checked");
  if (auto s = Text(t, p, "readme")) {
    h[field::kReadmeFile] = *s;
    h[field::kFinishOffersReadme] = Flag(!s->empty());
  }
  SetFlag(field::kReadmeChecked, t, p, "readme_checked");
  if (auto s = Text(t, p, "web")) {
    h[field::kWebAddress] = *s;
    h[field::kFinishOffersWeb] = Flag(!s->empty());
  }
  SetFlag(field::kWebChecked, t, p, "web_checked");
  SetFlag(field::kFinishOffersRestart, t, p, "restart");
}

void Loader::Wizard(const toml::table& t) {
  const std::string p = "wizard";
  CheckKeys(t, p, {"header_color", "header_gradient", "header_gradient_start", "title_left", "title_top",
                   "subtitle_left", "subtitle_top", "header_picture", "header_picture_transparent",
                   "header_picture_left", "header_picture_top", "side_picture", "side_picture_transparent",
                   "side_picture_left", "side_picture_top", "folder_picture", "shortcuts_picture"});
  SetColor(field::kHeaderColor, t, p, "header_color");
  SetFlag(field::kHeaderGradient, t, p, "header_gradient");
  SetColor(field::kHeaderGradientStart, t, p, "header_gradient_start");
  const int64_t lo = -10000, hi = 10000;
  SetInt(field::kTitleLeft, t, p, "title_left", lo, hi);
  SetInt(field::kTitleTop, t, p, "title_top", lo, hi);
  SetInt(field::kSubtitleLeft, t, p, "subtitle_left", lo, hi);
  SetInt(field::kSubtitleTop, t, p, "subtitle_top", lo, hi);
  SetFlag(field::kHeaderPictureTransparent, t, p, "header_picture_transparent");
  SetInt(field::kHeaderPictureLeft, t, p, "header_picture_left", lo, hi);
  SetInt(field::kHeaderPictureTop, t, p, "header_picture_top", lo, hi);
  SetFlag(field::kSidePictureTransparent, t, p, "side_picture_transparent");
  SetInt(field::kSidePictureLeft, t, p, "side_picture_left", lo, hi);
  SetInt(field::kSidePictureTop, t, p, "side_picture_top", lo, hi);
}

// A picture key: "default" (drawn by the tool), "none", or a BMP file.
void Loader::Pictures(const toml::table* wizard, const toml::table* backdrop) {
  struct Slot {
    const toml::table* t;
    const char* prefix;
    const char* key;
    int number;
    std::string (*draw)();
  };
  const Slot slots[] = {
      {wizard, "wizard", "header_picture", work_files::kHeaderPicture, DefaultHeaderPicture},
      {wizard, "wizard", "side_picture", work_files::kSidePicture, DefaultSidePicture},
      {wizard, "wizard", "folder_picture", work_files::kFolderPicture, DefaultFolderPicture},
      {wizard, "wizard", "shortcuts_picture", work_files::kShortcutsPicture, DefaultShortcutsPicture},
      {backdrop, "backdrop", "picture", work_files::kBackdropPicture, nullptr},
  };
  auto& h = project_.header;
  for (const Slot& s : slots) {
    std::optional<std::string> value;
    if (s.t) value = Utf8(*s.t, s.prefix, s.key);
    const toml::node* n = s.t ? s.t->get(s.key) : nullptr;
    const std::string key = Join(s.prefix, s.key);
    std::string bytes;
    if (!value || *value == "default") {
      if (!s.draw) continue;
      bytes = s.draw();
    } else if (*value == "none") {
      if (s.number == work_files::kHeaderPicture) h[field::kHeaderPicture] = "0";
      if (s.number == work_files::kSidePicture) h[field::kSidePicture] = "0";
      continue;
    } else {
      bytes = ReadFile(n, key, *value);
      BmpInfo info;
      if (!ReadBmpInfo(bytes, info)) Fail(n, key, *value + " is not a BMP file");
    }
    project_.pictures[s.number] = bytes;
  }
}

// --- [backdrop] ----------------------------------------------------------------

void Loader::Font(const toml::table& t, const std::string& prefix, int height, int name, int color,
                  int charset, int style) {
  CheckKeys(t, prefix, {"name", "height", "color", "charset", "bold", "italic", "underline", "strikeout"});
  SetText(name, t, prefix, "name");
  SetInt(height, t, prefix, "height", -1000, 1000);
  SetColor(color, t, prefix, "color");
  SetInt(charset, t, prefix, "charset", 0, 255);
  int bits = DecimalInt(project_.header[style]);
  const std::pair<const char*, int> styles[] = {{"bold", 1}, {"italic", 2}, {"underline", 4}, {"strikeout", 8}};
  for (auto& [key, bit] : styles)
    if (auto b = Bool(t, prefix, key)) bits = *b ? (bits | bit) : (bits & ~bit);
  project_.header[style] = DecimalText(static_cast<int64_t>(bits));
}

void Loader::Backdrop(const toml::table& t) {
  const std::string p = "backdrop";
  CheckKeys(t, p, {"enabled", "style", "start_color", "end_color", "direction", "picture", "picture_mode",
                   "title", "footer", "title_font", "footer_font"});
  auto& h = project_.header;
  h[field::kShowBackdrop] = "1";
  SetFlag(field::kShowBackdrop, t, p, "enabled");
  if (auto s = Choice(t, p, "style", {{"gradient", 1}, {"picture", 0}}, "backdrop style"))
    h[field::kBackdropGradient] = Flag(*s == 1);
  SetColor(field::kBackdropColorStart, t, p, "start_color");
  SetColor(field::kBackdropColorEnd, t, p, "end_color");
  if (auto d = Choice(t, p, "direction", {{"vertical", 0}, {"horizontal", 1}}, "direction"))
    h[field::kBackdropHorizontal] = Flag(*d == 1);
  if (auto m = Choice(t, p, "picture_mode", {{"tiled", 0}, {"stretched", 1}, {"centred", 2}, {"centered", 2}},
                      "picture mode"))
    h[field::kBackdropPictureMode] = DecimalText(static_cast<int64_t>(*m));
  SetText(field::kBackdropTitle, t, p, "title");
  SetText(field::kBackdropFooter, t, p, "footer");
  if (auto* f = SubTable(t, p, "title_font"))
    Font(*f, "backdrop.title_font", field::kBackdropTitleHeight, field::kBackdropTitleFont,
         field::kBackdropTitleColor, field::kBackdropTitleCharset, field::kBackdropTitleStyle);
  if (auto* f = SubTable(t, p, "footer_font"))
    Font(*f, "backdrop.footer_font", field::kBackdropFooterHeight, field::kBackdropFooterFont,
         field::kBackdropFooterColor, field::kBackdropFooterCharset, field::kBackdropFooterStyle);
  if (h[field::kShowBackdrop] == "1" && h[field::kBackdropGradient] == "0" && !t.get("picture"))
    Fail(&t, "backdrop.picture", "missing (the picture style needs a BMP file)");
}

// --- [requirements] ----------------------------------------------------------------

void Loader::Requirements(const toml::table& t) {
  const std::string p = "requirements";
  CheckKeys(t, p, {"unsupported_windows", "supported_systems_text", "admin", "dotnet", "dotnet_any_later",
                   "dotnet_download", "close_running", "close_running_match"});
  auto& h = project_.header;
  if (const toml::array* a = Array(t, p, "unsupported_windows")) {
    const std::vector<std::pair<const char*, int>> classes = {
        {"win32s", 0}, {"win95", 1}, {"win98", 2}, {"winme", 3}, {"nt4", 4},
        {"win2000", 5}, {"xp", 6}, {"server2003", 7}, {"vista", 8}};
    int mask = 0;
    for (size_t i = 0; i < a->size(); ++i) {
      std::string key = "requirements.unsupported_windows[" + std::to_string(i) + "]";
      const toml::node& n = (*a)[i];
      if (!n.is_string()) Fail(&n, key, std::string("expected a string, found ") + TypeName(n));
      std::string s = **n.as_string();
      int bit = -1;
      for (auto& [name, c] : classes)
        if (s == name) bit = c;
      if (bit < 0)
        Fail(&n, key, "unknown Windows version class \"" + s +
                          "\" (expected win32s, win95, win98, winme, nt4, win2000, xp, server2003, vista)");
      mask |= 1 << bit;
    }
    h[field::kUnsupportedSystems] = DecimalText(static_cast<int64_t>(mask));
  }
  SetText(field::kSupportedSystemsText, t, p, "supported_systems_text");
  SetFlag(field::kNeedsAdministrator, t, p, "admin");
  if (auto v = Text(t, p, "dotnet", false)) {
    if (v->empty() || v->find_first_not_of("0123456789.") != std::string::npos)
      Fail(t.get("dotnet"), "requirements.dotnet", "expected a version such as \"2.0\"");
    h[field::kDotNetVersion] = *v;
  }
  SetFlag(field::kDotNetAnyLater, t, p, "dotnet_any_later");
  if (auto u = Text(t, p, "dotnet_download")) h[field::kDotNetDownloadUrl] = u->empty() ? "0" : *u;
  if (auto c = Text(t, p, "close_running", false)) {
    h[field::kCloseRunningCopy] = Flag(!c->empty());
    h[field::kRunningCopyName] = *c;
  }
  if (auto m = Choice(t, p, "close_running_match", {{"title", 0}, {"title-part", 1}, {"program", 2}},
                      "match mode"))
    h[field::kRunningCopyMatch] = DecimalText(static_cast<int64_t>(*m));
}

// --- [uninstall] ------------------------------------------------------------------

int Loader::RootCode(const toml::table& t, const std::string& prefix, const char* key, bool required) {
  auto r = Choice(t, prefix, key,
                  {{"HKCR", 0}, {"HKCU", 1}, {"HKLM", 2}, {"HKU", 3}, {"HKCC", 5},
                   {"HKEY_CLASSES_ROOT", 0}, {"HKEY_CURRENT_USER", 1}, {"HKEY_LOCAL_MACHINE", 2},
                   {"HKEY_USERS", 3}, {"HKEY_CURRENT_CONFIG", 5}},
                  "root key", true);
  if (!r) {
    if (required) Fail(&t, Join(prefix, key), "missing");
    return 2;
  }
  if (*r < 0) Fail(t.get(key), Join(prefix, key), "a root-key code cannot be negative");
  return *r;
}

void Loader::Uninstall(const toml::table& t) {
  const std::string p = "uninstall";
  CheckKeys(t, p, {"enabled", "program", "ini", "registry", "extras", "uninstaller", "restart_note", "failure_note",
                   "web"});
  auto& h = project_.header;
  h[field::kWriteUninstallRecord] = "1";
  SetFlag(field::kWriteUninstallRecord, t, p, "enabled");
  SetText(field::kUninstallerPath, t, p, "program");
  SetText(field::kUninstallIniPath, t, p, "ini");
  // Settings the record passes on to the uninstaller ([s] keys 24 to 26).
  SetText(field::kUninstallSetting75, t, p, "restart_note");
  SetText(field::kUninstallSetting64, t, p, "failure_note");
  SetText(field::kUninstallSetting97, t, p, "web");
  if (const toml::node* n = t.get("uninstaller")) {
    uninstallerNode_ = n;
    if (n->is_boolean()) {
      if (**n->as_boolean()) uninstallerSource_ = options_.uninstaller;
    } else if (n->is_string()) {
      uninstallerSource_ = Resolve(**n->as_string());
    } else {
      Fail(n, p + ".uninstaller", std::string("expected a boolean or a path, found ") + TypeName(*n));
    }
  }
  auto& unreg = project_.records[static_cast<int>(ListKind::UninstallRegistryEntries)];
  if (const toml::array* a = Array(t, p, "registry"))
    for (size_t i = 0; i < a->size(); ++i) {
      std::string key = "uninstall.registry[" + std::to_string(i) + "]";
      const toml::node& n = (*a)[i];
      if (!n.is_table()) Fail(&n, key, std::string("expected a table, found ") + TypeName(n));
      const toml::table& e = *n.as_table();
      CheckKeys(e, key, {"root", "key", "name"});
      auto k = Text(e, key, "key");
      if (!k) Fail(&e, key + ".key", "missing");
      unreg.push_back(MakeRecord(ListKind::UninstallRegistryEntries,
                                 {{uninstall_registry_entry::kRoot, DecimalText(static_cast<int64_t>(RootCode(e, key, "root", true)))},
                                  {uninstall_registry_entry::kKey, *k},
                                  {uninstall_registry_entry::kValueName, Text(e, key, "name").value_or("")}}));
    }
  auto& extras = project_.records[static_cast<int>(ListKind::UninstallExtras)];
  if (const toml::array* a = Array(t, p, "extras"))
    for (size_t i = 0; i < a->size(); ++i) {
      std::string key = "uninstall.extras[" + std::to_string(i) + "]";
      const toml::node& n = (*a)[i];
      if (!n.is_table()) Fail(&n, key, std::string("expected a table, found ") + TypeName(n));
      const toml::table& e = *n.as_table();
      CheckKeys(e, key, {"code", "text"});
      extras.push_back(MakeRecord(ListKind::UninstallExtras, {{uninstall_extra::kCode, TextOrNumber(e, key, "code").value_or("0")},
                                                               {uninstall_extra::kText, Text(e, key, "text").value_or("")}}));
    }
}

// The uninstaller goes into the payload at the uninstaller path, like any
// file that is removed again at uninstall.
void Loader::AddUninstaller() {
  if (uninstallerSource_.empty()) return;
  const std::string key = "uninstall.uninstaller";
  if (project_.header[field::kWriteUninstallRecord] == "0")
    Fail(uninstallerNode_, key, "the uninstaller needs the uninstall record (enabled = true)");
  const std::string destination = project_.header[field::kUninstallerPath];
  if (destination.empty() || destination.back() == '\\')
    Fail(uninstallerNode_, key, "uninstall.program must name the uninstaller's file");
  for (const PayloadFile& f : project_.files)
    if (AsciiLower(f.destination) == AsciiLower(destination))
      Fail(uninstallerNode_, key, f.origin + " also installs " + destination);
  PayloadFile f;
  f.sourcePath = uninstallerSource_;
  f.destination = destination;
  f.origin = key;
  if (!StatSource(f)) Fail(uninstallerNode_, key, "uninstaller not found: " + f.sourcePath);
  project_.files.push_back(std::move(f));
}

// --- [[languages]] -------------------------------------------------------------------

// Header flags that follow from what the project holds, unless it set them.
void Loader::Derive(const toml::table& root) {
  auto& h = project_.header;
  const toml::table* pages = root["pages"].as_table();
  auto pageGiven = [&](const char* k) { return pages && pages->get(k); };
  bool anyLicence = false, anyReadme = false;
  for (auto& l : project_.languages) {
    anyLicence |= l.licence.has_value();
    anyReadme |= l.readme.has_value();
  }
  if (!pageGiven("license") && !pageGiven("licence")) h[field::kLicensePage] = Flag(anyLicence);
  if (!pageGiven("information")) h[field::kInformationPage] = Flag(anyReadme);
  if (h[field::kLicensePage] == "1" && !anyLicence)
    Fail(pages ? pages->get("license") ? pages->get("license") : pages->get("licence") : &root, "pages.license",
         "the licence page needs a licence text (setup.licence or languages[].licence)");
  if (h[field::kInformationPage] == "1" && !anyReadme)
    Fail(pages && pages->get("information") ? pages->get("information") : &root, "pages.information",
         "the information page needs a readme text (setup.readme or languages[].readme)");
  int kinds[kExplicitShortcut + 1] = {};
  for (auto& r : project_.records[static_cast<int>(ListKind::Shortcuts)]) {
    int k = DecimalInt(r[shortcut_entry::kKind]);
    if (k >= 0 && k <= kExplicitShortcut) kinds[k]++;
  }
  h[field::kOfferDesktop] = Flag(kinds[kDesktopShortcut] > 0);
  h[field::kOfferStartMenu] = Flag(kinds[kStartMenuShortcut] > 0);
  h[field::kOfferQuickLaunch] = Flag(kinds[kQuickLaunchShortcut] > 0);
  h[field::kOfferShortcuts] =
      Flag(kinds[kDesktopShortcut] + kinds[kStartMenuShortcut] + kinds[kQuickLaunchShortcut] > 0);
  h[field::kMakeProgramGroup] = Flag(kinds[kGroupShortcut] > 0 || programGroupGiven_);
  if (!pageGiven("group")) h[field::kGroupPage] = h[field::kMakeProgramGroup];
  if (!pageGiven("shortcuts")) h[field::kShortcutsPage] = h[field::kOfferShortcuts];
  if (pages && pages->get("group") && h[field::kGroupPage] == "1" && h[field::kMakeProgramGroup] == "0")
    Warn(pages->get("group"), "pages.group", "the program-group page shows only with a program group or group shortcuts");
  if (project_.pictures.count(work_files::kHeaderPicture) == 0) h[field::kHeaderPicture] = "0";
  if (project_.pictures.count(work_files::kSidePicture) == 0) h[field::kSidePicture] = "0";
  if (h[field::kOfferShortcuts] == "0") project_.pictures.erase(work_files::kShortcutsPicture);
  if (h[field::kFolderPage] == "0") project_.pictures.erase(work_files::kFolderPicture);
  if (h[field::kShowBackdrop] == "0" || h[field::kBackdropGradient] == "1")
    project_.pictures.erase(work_files::kBackdropPicture);
}

Project Loader::Run(const toml::table& root) {
  CheckKeys(root, "", {"package", "signing", "product", "setup", "pages", "finish", "wizard", "backdrop", "requirements", "uninstall",
                       "languages", "files", "folders", "registry", "ini", "shortcuts", "fonts", "com",
                       "commands", "registry_variables", "header", "raw"});
  if (auto* t = SubTable(root, "", "package")) Package(*t);
  if (auto* t = SubTable(root, "", "signing")) Signing(*t);
  if (auto* t = SubTable(root, "", "product")) Product(*t);
  const toml::table* setup = SubTable(root, "", "setup");
  if (!setup && !project_.product)
    Fail(&root, "setup", "missing (every project needs [setup] with a title, or a [product])");
  static const toml::table kNoSetup;
  Setup(setup ? *setup : kNoSetup);
  if (auto* t = SubTable(root, "", "pages")) Pages(*t);
  if (auto* t = SubTable(root, "", "finish")) Finish(*t);
  const toml::table* wizard = SubTable(root, "", "wizard");
  if (wizard) Wizard(*wizard);
  const toml::table* backdrop = SubTable(root, "", "backdrop");
  if (backdrop) Backdrop(*backdrop);
  Pictures(wizard, backdrop);
  if (auto* t = SubTable(root, "", "requirements")) Requirements(*t);
  if (auto* t = SubTable(root, "", "uninstall")) Uninstall(*t);
  Languages(root);
  Files(root);
  AddUninstaller();
  Lists(root);
  ProductRegistration();
  Derive(root);
  if (auto* t = SubTable(root, "", "header")) HeaderOverrides(*t);
  if (auto* t = SubTable(root, "", "raw")) Raw(*t);
  if (project_.headerLastIndex) {
    for (int n : project_.explicitFields)
      if (n > *project_.headerLastIndex)
        Fail(root.get("raw"), "raw.header_last_index",
             "header field " + std::to_string(n) + " is set but the header ends at " +
                 std::to_string(*project_.headerLastIndex));
  }
  // A package that is not split into volumes names no continuation, so that
  // the runtime can tell a payload cut short from a volume to ask for.
  if (!project_.volumeSize && !project_.explicitFields.count(field::kVolumeNameTemplate))
    project_.header[field::kVolumeNameTemplate].clear();
  if (project_.volumeSize && project_.header[field::kVolumeNameTemplate].find("@$&%19") == std::string::npos)
    project_.warnings.push_back(file_ + ": package.volume_name: the name has no \"@$&%19\", so every volume "
                                        "gets the same name; they can only work from different folders");
  return std::move(project_);
}

}  // namespace project_reading

using project_reading::kRawListNames;
using project_reading::Loader;

const char* RawListName(ListKind kind) { return kRawListNames[static_cast<int>(kind)]; }

std::vector<std::string> DefaultHeader() {
  std::vector<std::string> h(field::kHeaderFieldCount, "0");
  auto set = [&](int n, const char* v) { h[n] = v; };
  set(field::kSignature, "Parvolex v. 5.02");
  set(field::kBackdropGradient, "1");
  set(field::kBackdropColorStart, "8388608");  // navy
  set(field::kBackdropColorEnd, "0");
  set(field::kBackdropTitle, "");
  set(field::kBackdropFooter, "");
  set(field::kBackdropTitleHeight, "-37");
  set(field::kBackdropTitleFont, "Arial");
  set(field::kBackdropTitleColor, "16777215");
  set(field::kBackdropTitleCharset, "1");
  set(field::kBackdropTitleStyle, "3");
  set(field::kBackdropFooterColor, "16777215");
  set(field::kBackdropFooterCharset, "1");
  set(field::kBackdropFooterHeight, "-13");
  set(field::kBackdropFooterFont, "Arial");
  set(field::kVolumeNameTemplate, "setup-@$&%19.bin");
  set(field::kBottomText, "Parvolex");
  set(field::kWebAddress, "");
  set(field::kRunProgram, "");
  set(field::kRunChecked, "1");
  set(field::kReadmeFile, "");
  set(field::kHeaderPicture, "1");
  set(field::kBrowseAppendFolder, "");
  set(field::kTextsPerLanguage, "99");
  set(field::kDefaultFolder, "");
  set(field::kHeaderGradientStart, "16777215");
  set(field::kSupportedSystemsText, "");
  set(field::kSidePicture, "1");
  set(field::kUninstallSetting64, "");
  set(field::kSetupTitle, "");
  set(field::kUninstallSetting68, "");
  set(field::kTitleLeft, "16");
  set(field::kHeaderColor, "16777215");
  set(field::kHeaderPictureTransparent, "1");
  set(field::kTitleTop, "10");
  set(field::kSubtitleLeft, "24");
  set(field::kUninstallSetting74, "");
  set(field::kUninstallSetting75, "");
  set(field::kSubtitleTop, "28");
  set(field::kHeaderPictureTop, "4");
  set(field::kHeaderPictureLeft, "437");
  set(field::kDotNetAnyLater, "1");
  set(field::kUninstallerPath, "@$&%04\\Uninstall.exe");
  set(field::kUninstallIniPath, "@$&%04\\Uninstall.ini");
  set(field::kUninstallSetting97, "");
  set(field::kRunningCopyName, "");
  set(field::kDefaultGroup, "");
  set(field::kUninstallSetting108, "");
  set(field::kWelcomePage, "1");
  set(field::kFolderPage, "1");
  set(field::kReadyPage, "1");
  set(field::kFinishPage, "1");
  return h;
}

Project LoadProjectText(const std::string& text, const std::string& name, const std::string& baseDir,
                        const LoadOptions& options) {
  toml::table root;
  try {
    root = toml::parse(text, name);
  } catch (const toml::parse_error& e) {
    throw ProjectError(name + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
  }
  Loader loader(name, baseDir, options);
  return loader.Run(root);
}

Project LoadProject(const std::string& path, const LoadOptions& options) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ProjectError(path + ": cannot open the project file");
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string base = fs::path(path).parent_path().string();
  if (base.empty()) base = ".";
  return LoadProjectText(ss.str(), path, base, options);
}

}  // namespace pvx::tool
