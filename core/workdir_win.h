// The work folder on disk.
#pragma once
#include "format/str.h"

namespace pvx {

// The run's private folder: a new, randomly named folder under the user's
// temporary folder, which every work-folder rule treats as the temporary
// folder ("$inst\" and the numbered files lie inside it). Empty text when
// it could not be made; TempFileName is then empty too and nothing is
// unpacked.
Str TemporaryFolder();
Str TempFileName(int n, bool prefixed = false);
// Creates the private folder (never reusing an existing name, which may
// have been planted) and "$inst\" in it.
void CreateWorkDir();
void CleanupWorkDir(bool withLanguageFiles, int languages);

// Creates a folder and every missing parent; true when it exists afterwards.
bool CreateFolderChain(const Str& folder);

}  // namespace pvx
