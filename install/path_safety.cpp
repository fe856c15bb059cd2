#include "format/str.h"
#include "install/path_safety.h"

#include "format/text_util.h"
#include "format/work_files.h"

namespace pvx {

bool IsWorkDirMemberName(const Str& name) {
  if (AsciiLower(name.substr(0, work_files::kFolderLength)) != work_files::kFolder) return false;
  if (name.find(':') != Str::npos || name.find('/') != Str::npos) return false;
  size_t start = work_files::kFolderLength;
  for (;;) {
    size_t cut = name.find('\\', start);
    Str part = name.substr(start, cut == Str::npos ? Str::npos : cut - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (cut == Str::npos) return true;
    start = cut + 1;
  }
}

bool IsBareFileName(const Str& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == Str::npos;
}

}  // namespace pvx
