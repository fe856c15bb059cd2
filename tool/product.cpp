#include "tool/product.h"

#include "format/decimal.h"

namespace pvx::tool {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEstimatedSizeValue[] = "EstimatedSize";

std::string RegistrationKey(const std::string& id) { return std::string(kUninstallKey) + "\\" + id; }

std::string ProductIdProblem(const std::string& id) {
  if (id.empty()) return "the id is empty";
  // Windows limits a key name to 255 characters.
  if (id.size() > 255) return "longer than 255 characters (a registry key name)";
  if (id.find('\\') != std::string::npos) return "contains a backslash (it must be one registry key name)";
  for (unsigned char c : id)
    if (c < 0x20 || c == 0x7F) return "contains a control character";
  if (id.front() == ' ' || id.back() == ' ') return "begins or ends with a blank";
  if (id == "." || id == "..") return "\"" + id + "\" is not a key name";
  // The runtime expands FolderMacros in key paths, which would change the key.
  if (id.find("@$&%") != std::string::npos) return "contains \"@$&%\", which the runtime expands";
  return "";
}

std::string FolderNameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  for (unsigned char c : name) {
    if (c < 0x20) return "contains a control character";
    if (std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
      return std::string("contains \"") + static_cast<char>(c) + "\", which a folder name cannot hold";
  }
  if (name.back() == '.' || name.back() == ' ') return "ends with a dot or a blank, which Windows drops";
  return "";
}

std::string ProductTitle(const ProductInfo& product) {
  return product.version.empty() ? product.name : product.name + " " + product.version;
}

uint32_t EstimatedSizeKiB(uint64_t bytes) {
  uint64_t kib = bytes / 1024 + (bytes % 1024 ? 1 : 0);
  return kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kib);
}

const std::vector<std::string>& RegistrationValueNames() {
  static const std::vector<std::string> names = [] {
    ProductInfo every;
    every.id = every.name = every.version = every.publisher = every.url = every.supportUrl = every.icon =
        every.contact = every.comments = "x";
    std::vector<std::string> out;
    for (const RegistrationValue& v : RegistrationValues(every, "x", 0)) out.push_back(v.name);
    return out;
  }();
  return names;
}

std::vector<RegistrationValue> RegistrationValues(const ProductInfo& product, const std::string& uninstaller,
                                                  uint64_t payloadBytes) {
  std::vector<RegistrationValue> out;
  auto text = [&](const char* name, const std::string& data) {
    if (!data.empty()) out.push_back({name, 0, data});
  };
  auto dword = [&](const char* name, uint64_t v) { out.push_back({name, 2, DecimalText(v)}); };
  text("DisplayName", product.name);
  text("DisplayVersion", product.version);
  text("Publisher", product.publisher);
  text("URLInfoAbout", product.url);
  text("HelpLink", product.supportUrl);
  text("Contact", product.contact);
  text("Comments", product.comments);
  // Folder 4 expands without a trailing backslash.
  text("InstallLocation", "@$&%04");
  text("DisplayIcon", product.icon);
  if (!uninstaller.empty()) {
    // Quoted: the folder usually holds blanks ("Program Files").
    text("UninstallString", "\"" + uninstaller + "\"");
    text("QuietUninstallString", "\"" + uninstaller + "\" /S");
  }
  dword(kEstimatedSizeValue, EstimatedSizeKiB(payloadBytes));
  // The uninstaller cannot modify or repair an installation; without these
  // the list of programs offers buttons that would only uninstall.
  dword("NoModify", 1);
  dword("NoRepair", 1);
  return out;
}

}  // namespace pvx::tool
