// The product a package installs, as `[product]` names it, and what the
// tool derives from it: the setup title, and the registration that Windows'
// list of installed programs (and package managers such as winget) read
// from HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<id>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pvx::tool {

// Every text in the package's code page; empty means "not given".
struct ProductInfo {
  std::string id;  // the registration's key name; stable across versions
  std::string name;
  std::string version;
  std::string publisher;
  std::string url;         // URLInfoAbout
  std::string supportUrl;  // HelpLink
  std::string icon;        // DisplayIcon: destination of a payload file (FolderMacros)
  std::string contact;
  std::string comments;
  std::string wingetId;  // PackageIdentifier of the winget manifest
};

// The system's uninstall key under HKLM (root code 2), without a trailing
// backslash, and the registration key of one product below it.
extern const char kUninstallKey[];
std::string RegistrationKey(const std::string& id);

// Why `id` cannot be the registration's key name, or empty when it can: a
// single key name (no backslash), at most 255 characters, no control
// characters, no blanks at either end, not "." or "..", and no FolderMacro
// prefix (the runtime expands key paths).
std::string ProductIdProblem(const std::string& id);

// Why `name` cannot be a folder or program-group name on Windows, or empty.
std::string FolderNameProblem(const std::string& name);

// "<name> <version>", or the name alone.
std::string ProductTitle(const ProductInfo& product);

// Installed size for EstimatedSize: KiB, rounded up, at most 0xFFFFFFFF.
uint32_t EstimatedSizeKiB(uint64_t bytes);

struct RegistrationValue {
  std::string name;
  int type = 0;  // 0 REG_SZ, 2 REG_DWORD (RegistryEntry type codes)
  std::string data;
};

// The values of the registration, in the order they are written; only
// those with a source. `uninstaller` is the installed uninstaller's path
// (header field 91, FolderMacros in place), empty when the package ships
// none; `payloadBytes` sizes EstimatedSize.
std::vector<RegistrationValue> RegistrationValues(const ProductInfo& product, const std::string& uninstaller,
                                                  uint64_t payloadBytes);

// Every value name RegistrationValues can write. An upgrade may write
// fewer than the version before it did; the rest are listed for removal
// all the same, so that the uninstallation leaves nothing of either.
const std::vector<std::string>& RegistrationValueNames();

// The value name EstimatedSize, whose data the builder fills in from the
// payload it packs.
extern const char kEstimatedSizeValue[];

}  // namespace pvx::tool
