// The winget installer manifest of a setup (manifest schema 1.6.0): what
// the Windows Package Manager needs to download, check and run the setup
// unattended, and to find the installed product again in the list of
// installed programs.
#pragma once
#include <string>

#include "tool/product.h"

namespace pvx::tool {

constexpr char kWingetManifestVersion[] = "1.6.0";

// Why `id` is not a winget PackageIdentifier ("Publisher.Package": two to
// eight parts of 1 to 32 characters joined by dots, without blanks or the
// characters \ / : * ? " < > |), or empty.
std::string WingetIdProblem(const std::string& id);

// The identifier a product is published under: winget_id, else the id when
// it has the identifier's form; empty when neither.
std::string WingetIdentifier(const ProductInfo& product);

// Why the product cannot be published with this installer address, or
// empty: checks everything before anything is built.
std::string WingetProblem(const ProductInfo& product, const std::string& installerUrl);

// The manifest's text (UTF-8 YAML). The product's texts are in `codepage`;
// `sha256` is the setup file's digest in hexadecimal.
std::string WingetInstallerManifest(const ProductInfo& product, int codepage, const std::string& installerUrl,
                                    const std::string& sha256);

// Its file name in the manifest folder: "<PackageIdentifier>.installer.yaml".
std::string WingetManifestFileName(const ProductInfo& product);

// SHA-256 of a file, upper-case hexadecimal. Throws std::runtime_error.
std::string FileSha256(const std::string& path);

}  // namespace pvx::tool
