// The work folder on disk.
#pragma once
#include "format/str.h"

namespace pvx {

// The user's temporary folder, asked for anew on every call, with a
// trailing backslash.
Str TemporaryFolder();
Str TempFileName(int n, bool prefixed = false);
// Creates "$inst\" and every missing parent; an existing one is used.
void CreateWorkDir();
void CleanupWorkDir(bool withLanguageFiles, int languages);

// Creates a folder and every missing parent; true when it exists afterwards.
bool CreateFolderChain(const Str& folder);

}  // namespace pvx
