// Giving a file that was just written its times and attributes, through
// the handle that wrote it, as it is closed.
#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

// Attributes for CloseWrittenFile that leave the file's own as they are.
constexpr DWORD kKeepAttributes = 0xFFFFFFFF;

// A file created new already carries the archive bit and nothing else:
// giving it just that again would only cost time.
inline DWORD AttributesToSet(DWORD attributes, bool fresh) {
  return fresh && attributes == FILE_ATTRIBUTE_ARCHIVE ? kKeepAttributes : attributes;
}

// Closes a file that was written, giving it its times (a null time stays
// as it is) and attributes (kKeepAttributes: none): through the open
// handle in one call where the system has SetFileInformationByHandle, else
// with SetFileTime before and SetFileAttributesA after closing.
void CloseWrittenFile(HANDLE file, const Str& path, const FILETIME* created,
                      const FILETIME* accessed, const FILETIME* written, DWORD attributes);

}  // namespace pvx
