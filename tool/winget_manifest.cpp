#include "tool/winget_manifest.h"

#include <openssl/evp.h>
#include <yaml-cpp/yaml.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tool/text_convert.h"

namespace pvx::tool {

namespace {

bool ForbiddenInIdentifier(unsigned char c) {
  return c <= 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos;
}

// The setup's exit codes (README, "Exit codes") as winget's responses; 0
// is winget's own success code and no other code means success.
struct ReturnCode {
  int code;
  const char* response;
};
const ReturnCode kReturnCodes[] = {
    {1, "contactSupport"},      // package damaged or unreadable, or out of memory
    {2, "cancelledByUser"},     // cancelled before the installation began
    {3, "systemNotSupported"},  // a prerequisite check failed (Windows version, rights, .NET)
    {4, "fileInUse"},           // files could not be written (in use, no rights, disk full)
    {5, "cancelledByUser"},     // cancelled or aborted during the installation
};

}  // namespace

std::string WingetIdProblem(const std::string& id) {
  const std::string form = "is not a winget identifier: ";
  if (id.size() > 128) return form + "longer than 128 characters";
  int parts = 0;
  size_t start = 0;
  for (;;) {
    size_t dot = id.find('.', start);
    std::string part = id.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty()) return form + "an empty part (expected \"Publisher.Package\")";
    if (part.size() > 32) return form + "the part \"" + part + "\" is longer than 32 characters";
    for (unsigned char c : part)
      if (ForbiddenInIdentifier(c)) return form + "blanks and \\ / : * ? \" < > | are not allowed";
    ++parts;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts < 2) return form + "expected \"Publisher.Package\" (at least two parts joined by a dot)";
  if (parts > 8) return form + "more than 8 parts";
  return "";
}

std::string WingetIdentifier(const ProductInfo& product) {
  if (!product.wingetId.empty()) return product.wingetId;
  return WingetIdProblem(product.id).empty() ? product.id : std::string();
}

std::string WingetProblem(const ProductInfo& product, const std::string& installerUrl) {
  if (WingetIdentifier(product).empty())
    return "product.winget_id: missing (winget names a package \"Publisher.Package\"; product.id \"" + product.id +
           "\" is not of that form)";
  if (product.version.empty()) return "product.version: missing (winget's PackageVersion)";
  if (product.version.size() > 128) return "product.version: longer than 128 characters (winget's limit)";
  for (unsigned char c : product.version)
    if (c < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
      return "product.version: winget's PackageVersion cannot hold \\ / : * ? \" < > | or control characters";
  if (installerUrl.empty())
    return "--winget needs --winget-url, the address the setup will be downloaded from";
  auto lower = installerUrl.substr(0, 8);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  bool web = (lower.compare(0, 7, "http://") == 0 && installerUrl.size() > 7) ||
             (lower == "https://" && installerUrl.size() > 8);
  if (!web) return "--winget-url \"" + installerUrl + "\": expected an http:// or https:// address";
  if (installerUrl.size() > 2048) return "--winget-url: longer than 2048 characters (winget's limit)";
  return "";
}

std::string WingetManifestFileName(const ProductInfo& product) { return WingetIdentifier(product) + ".installer.yaml"; }

std::string WingetInstallerManifest(const ProductInfo& product, int codepage, const std::string& installerUrl,
                                    const std::string& sha256) {
  auto u = [&](const std::string& text) { return CodePageToUtf8(text, codepage); };
  YAML::Emitter y;
  // Texts are quoted: a version such as 1.10 must not be read as a number.
  auto text = [&](const char* key, const std::string& value) {
    if (!value.empty()) y << YAML::Key << key << YAML::Value << YAML::DoubleQuoted << u(value);
  };
  auto word = [&](const char* key, const char* value) { y << YAML::Key << key << YAML::Value << value; };
  y << YAML::BeginMap;
  text("PackageIdentifier", WingetIdentifier(product));
  text("PackageVersion", product.version);
  word("InstallerType", "exe");
  word("Scope", "machine");
  y << YAML::Key << "InstallModes" << YAML::Value << YAML::Flow << YAML::BeginSeq << "interactive" << "silent"
    << "silentWithProgress" << YAML::EndSeq;
  y << YAML::Key << "InstallerSwitches" << YAML::Value << YAML::BeginMap;
  word("Silent", "/S");
  word("SilentWithProgress", "/S");
  // The setup takes a quoted value as one argument, blanks and all.
  text("InstallLocation", "/P=\"<INSTALLPATH>\"");
  text("Log", "/LOG=\"<LOGPATH>\"");
  y << YAML::EndMap;
  y << YAML::Key << "ExpectedReturnCodes" << YAML::Value << YAML::BeginSeq;
  for (const ReturnCode& r : kReturnCodes) {
    y << YAML::BeginMap;
    y << YAML::Key << "InstallerReturnCode" << YAML::Value << r.code;
    word("ReturnResponse", r.response);
    y << YAML::EndMap;
  }
  y << YAML::EndSeq;
  // A new version installs over the last one, into its folder.
  word("UpgradeBehavior", "install");
  // The setup asks for administrator rights itself (its manifest).
  word("ElevationRequirement", "elevatesSelf");
  text("ProductCode", product.id);
  y << YAML::Key << "AppsAndFeaturesEntries" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  text("DisplayName", product.name);
  text("Publisher", product.publisher);
  text("DisplayVersion", product.version);
  text("ProductCode", product.id);
  word("InstallerType", "exe");
  y << YAML::EndMap << YAML::EndSeq;
  y << YAML::Key << "Installers" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  word("Architecture", "x86");
  text("InstallerUrl", installerUrl);
  text("InstallerSha256", sha256);
  y << YAML::EndMap << YAML::EndSeq;
  word("ManifestType", "installer");
  word("ManifestVersion", kWingetManifestVersion);
  y << YAML::EndMap;
  if (!y.good()) throw std::runtime_error(std::string("winget manifest: ") + y.GetLastError());
  return std::string("# Written by parvolex; the version and locale manifests go beside it.\n"
                     "# yaml-language-server: $schema=https://aka.ms/winget-manifest.installer.") +
         kWingetManifestVersion + ".schema.json\n\n" + y.c_str() + "\n";
}

std::string FileSha256(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) throw std::runtime_error("cannot open " + path + " for its SHA-256");
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("cannot start a SHA-256 digest");
  std::vector<unsigned char> buffer(1 << 16);
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0)
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) throw std::runtime_error("SHA-256 digest failed");
  if (std::ferror(in.get())) throw std::runtime_error("cannot read " + path + " for its SHA-256");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 digest failed");
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

}  // namespace pvx::tool
