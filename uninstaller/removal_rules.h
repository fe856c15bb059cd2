// Which folders and registry keys the uninstaller may take away besides
// the items the record names. Only empty ones are ever removed; these
// rules keep even empty shared places (system folders, the system's own
// registry lists) where they are.
#pragma once
#include <vector>

#include "format/str.h"

namespace pvx {

// "X:\..." or "\\server\...".
bool IsAbsolutePath(const Str& path);

// Paths compared the way Windows names them: ASCII letters without case,
// "/" as "\", without a trailing backslash.
Str PathKey(const Str& path);
bool SamePath(const Str& a, const Str& b);
// True when `path` is `folder` or lies below it.
bool IsAtOrBelow(const Str& path, const Str& folder);

// The folders to try to remove once every file is gone, children before
// parents: the record's folders (last first), then the folder of every
// removed file and, for files inside the installation folder, each parent
// up to and including that folder. Never a drive root, never a folder that
// is or holds one of `protectedFolders`, never a relative path; each
// folder once.
std::vector<Str> FoldersToRemove(const std::vector<Str>& recordFolders, const std::vector<Str>& removedFiles,
                                 const Str& installFolder, const std::vector<Str>& protectedFolders);

// A registry key left empty by the removal of a value is deleted, then
// each parent that became empty, but never a top-level key and never a
// key that is or holds one of the system's shared lists (the uninstall
// list, Run, App Paths, the font table, CLSID, ...). The keys to try,
// deepest first.
std::vector<Str> EmptyKeysToRemove(const Str& keyPath);

// A font is unregistered only when this installation placed its file (the
// file is among those the record lists): a font that was there before, and
// that other software registered and still uses, keeps its registration.
bool PlacedByInstallation(const Str& file, const std::vector<Str>& installedFiles);

// The INI text holds nothing but blanks and line breaks.
bool IsBlankText(const Str& text);

}  // namespace pvx
