#include "format/str.h"
#include "core/workdir_win.h"

#include <windows.h>

#include "format/text_util.h"
#include "format/work_files.h"
#include "core/workdir.h"
#include "core/system_dll_win.h"

namespace pvx {

namespace {

// This run's own folder under the user's temporary folder, with a trailing
// backslash; empty until it is made, and for good when it cannot be.
// (A pointer: the stub runs no constructors of globals.)
Str* g_private;

}  // namespace

Str TemporaryFolder() { return g_private ? *g_private : Str(); }

// Without the private folder there is no work folder at all: no path may
// fall back to a shared or a relative place.
Str TempFileName(int n, bool prefixed) {
  return g_private ? WorkDirFileName(*g_private, n, prefixed) : Str();
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

void CreateWorkDir() {
  char base[MAX_PATH + 2];
  DWORD n = GetTempPathA(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) return;
  if (base[n - 1] != '\\') lstrcpyA(base + n, "\\");
  if (!CreateFolderChain(base)) return;
  typedef BOOLEAN(WINAPI * Random)(PVOID, ULONG);
  auto random = LookUp<Random>(GetModuleHandleA("advapi32.dll"), "SystemFunction036");
  DWORD_PTR args[3] = {reinterpret_cast<DWORD_PTR>(base)};
  // A name that exists already may have been planted: never reuse one.
  for (int attempt = 0; attempt < 16; ++attempt) {
    args[1] = GetTickCount();
    args[2] = GetCurrentProcessId() + attempt;
    if (random) random(&args[1], 2 * sizeof(DWORD_PTR));
    char folder[MAX_PATH + 40];
    wvsprintfA(folder, "%spvx-%08lx%08lx\\", reinterpret_cast<va_list>(args));
    if (CreateDirectoryA(folder, nullptr)) {
      g_private = new Str(folder);
      CreateFolderChain(FolderPart(TempFileName(0)));
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

void CleanupWorkDir(bool withLanguageFiles, int languages) {
  for (int n : CleanupFileNumbers(withLanguageFiles, languages))
    DeleteFileA(TempFileName(n).c_str());
  // Payload cabinet parts ("temp_N.tmp") that an aborted or failed
  // extraction left; the folder is this run's own, so they are ours.
  if (g_private) {
    Str folder = FolderPart(TempFileName(0));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + work_files::kPartPattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do DeleteFileA((folder + found.cFileName).c_str());
      while (FindNextFileA(search, &found));
      FindClose(search);
    }
  }
  RemoveDirectoryA(WithoutTrailingBackslash(FolderPart(TempFileName(1))).c_str());
  if (g_private) RemoveDirectoryA(g_private->c_str());
}

}  // namespace pvx
