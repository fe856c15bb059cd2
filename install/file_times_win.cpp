#include "install/file_times_win.h"

#include "core/system_dll_win.h"

namespace pvx {

void CloseWrittenFile(HANDLE file, const Str& path, const FILETIME* created,
                      const FILETIME* accessed, const FILETIME* written, DWORD attributes) {
  typedef BOOL(WINAPI * SetInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  static SetInformation setInformation =
      LookUp<SetInformation>(GetModuleHandleA(kKernel32), "SetFileInformationByHandle");
  // Zero times are left alone; zero attributes would be too, so "none"
  // is said as FILE_ATTRIBUTE_NORMAL.
  FILE_BASIC_INFO info = {};
  const FILETIME* times[3] = {created, accessed, written};
  LARGE_INTEGER* fields[3] = {&info.CreationTime, &info.LastAccessTime, &info.LastWriteTime};
  for (int i = 0; i < 3; ++i)
    if (times[i]) {
      fields[i]->LowPart = times[i]->dwLowDateTime;
      fields[i]->HighPart = static_cast<LONG>(times[i]->dwHighDateTime);
    }
  bool keep = attributes == kKeepAttributes;
  info.FileAttributes = keep ? 0 : attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (setInformation && setInformation(file, FileBasicInfo, &info, sizeof info)) {
    CloseHandle(file);
    return;
  }
  SetFileTime(file, created, accessed, written);
  CloseHandle(file);
  if (!keep) SetFileAttributesA(path.c_str(), attributes);
}

}  // namespace pvx
