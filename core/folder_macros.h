// FolderMacros: "@$&%" and the two characters after it name a folder by
// number (format/folder_numbers.h lists them); every path of a package
// passes through ExpandFolderMacros when it is used.
#pragma once
#include "format/str.h"

namespace pvx {

constexpr char kMacroPrefix[] = "@$&%";

class FolderResolver {
 public:
  virtual ~FolderResolver() = default;
  // The folder for a number 0..255 without its trailing backslash, or
  // empty text.
  virtual Str ResolveFolder(int number) = 0;
  // The 8.3 form of a path, or empty text when there is none.
  virtual Str ShortForm(const Str& path) = 0;
};

// The number a token's two characters stand for: the decimal rule over
// them, reduced to its low 8 bits.
int MacroNumber(const Str& digits);

// Replaces every FolderMacro; the scan restarts at the beginning after each
// replacement so that a folder text holding a macro (a RegistryVariable
// whose value is "@$&%04") is expanded too. A value that brings back its
// own token would expand without end, so the number of replacements is
// bounded (see kExtraReplacements); tokens still present then become empty
// text.
Str ExpandFolderMacros(const Str& text, FolderResolver& resolver);

// Replacements allowed beyond one per byte of the original text: enough
// for every chain of the 20 RegistryVariables a package can name.
constexpr size_t kExtraReplacements = 256;

// Doubles every "&" so that a label shows it instead of a mnemonic.
Str EscapeAmpersands(const Str& text);

}  // namespace pvx
