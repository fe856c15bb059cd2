// Readable names for FolderMacros in project texts: "{app}\Tool.exe" is
// written to the package as "@$&%04\Tool.exe". Raw "@$&%NN" passes through.
#pragma once
#include <string>
#include <vector>

namespace pvx::tool {

struct FolderName {
  const char* name;  // without braces
  int number;
  const char* meaning;
};

const std::vector<FolderName>& FolderNames();

// Replaces every {name} of the table (case-insensitive), {name:short} by
// the short-path form (number + 40) of folders 1..40, and {regN} (N 1..19; variable 20 is
// number 100, which the two-digit token cannot reach)
// by RegistryVariable N. Any other braces are left alone, so registry keys
// such as "CLSID\{...}" survive.
std::string ExpandFolderNames(const std::string& text);

// The FolderMacro token "@$&%NN" for a number 0..99.
std::string FolderMacro(int number);

}  // namespace pvx::tool
