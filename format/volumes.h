// Continuation volumes of the package data stream.
//
// Volume 1 is the setup executable: its package data ends where the
// 36-byte trailer begins. Volume n >= 2 is a file beside the previous one,
// named by the VolumeNameTemplate (header field 21) with the first
// "@$&%19" replaced by n in decimal; its data runs to the end of the file.
// The name is never passed through FolderMacro expansion, and a template
// without the token names every volume alike.
#pragma once
#include "format/str.h"

namespace pvx {

constexpr const char kVolumeNumberToken[] = "@$&%19";

Str VolumeFileName(const Str& nameTemplate, unsigned volume);

}  // namespace pvx
