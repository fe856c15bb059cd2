#include <windows.h>

#include "actions/actions_win.h"
#include "actions/bitmap_file_win.h"
#include "actions/uninstall_ini.h"
#include "format/header_fields.h"
#include "format/text_util.h"
#include "core/install_log_win.h"
#include "core/run_win.h"
#include "core/workdir_win.h"

namespace pvx {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Appends to an existing file (OPEN_EXISTING) or replaces it (CREATE_ALWAYS),
// and logs the outcome.
void WriteAtEnd(const char* what, const Str& path, DWORD disposition, const Str& bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written;
  bool ok = file.Get() != INVALID_HANDLE_VALUE &&
            SetFilePointer(file.Get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  LogResult(ok ? 0 : LastError(), "%s %s", what, path.c_str());
}

}  // namespace

// Texts go into vectors by moving throughout the stub, so that it holds one
// instance of the vector's growing code.
void AddUninstallPath(Run& run, const Str& path) { run.uninstallFiles.push_back(Str(path)); }

void WriteUninstallRecord(Run& run) {
  const Str uninstaller = run.ExpandField(field::kUninstallerPath);
  const Str iniPath = run.ExpandField(field::kUninstallIniPath);
  CreateFolderChain(FolderPart(uninstaller));
  CreateFolderChain(FolderPart(iniPath));

  const bool withImage = run.script.HeaderFlag(field::kHeaderPicture);
  WriteAtEnd("Uninstaller", uninstaller, OPEN_EXISTING,
             BuildUninstallerTrailer(iniPath, withImage, withImage ? BitmapFileBytes(run.pictures.header) : Str()));

  Str ini = BuildUninstallIni(run.script, run.uninstallFiles, run.folders.installFolder, run.folderResolver);
  run.uninstallFiles.clear();
  WriteAtEnd("Uninstall record", iniPath, CREATE_ALWAYS, ini);
}

}  // namespace pvx
