#include "format/str.h"
#include "startup/workdir_win.h"

#include <windows.h>

#include "format/text_util.h"
#include "startup/workdir.h"

namespace pvx {

Str TemporaryFolder() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return Str();
  return WithTrailingBackslash(Str(buffer, n));
}

Str TempFileName(int n, bool prefixed) {
  return WorkDirFileName(TemporaryFolder(), n, prefixed);
}

bool CreateFolderChain(const Str& folder) {
  Str path = WithoutTrailingBackslash(folder);
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t cut = path.find_last_of("\\/");
  if (cut != Str::npos && cut > 0) CreateFolderChain(path.substr(0, cut + 1));
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void CreateWorkDir() { CreateFolderChain(FolderPart(TempFileName(0))); }

void CleanupWorkDir(bool withLanguageFiles, int languages) {
  for (int n : CleanupFileNumbers(withLanguageFiles, languages))
    DeleteFileA(TempFileName(n).c_str());
  RemoveDirectoryA(WithoutTrailingBackslash(FolderPart(TempFileName(1))).c_str());
}

}  // namespace pvx
