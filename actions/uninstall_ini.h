// The uninstall record: what the separate uninstaller reads.
//
// Its layout is in format/uninstall_record.h. What feeds each section:
// [f] the uninstall file list; [e] folder records flagged for removal; [o]
// every uninstall extra (code as stored, text expanded); [u] COM
// registrations flagged for unregistering; [i] and [r] the INI entries and
// registry entries flagged, then every uninstall registry entry; [b] and
// [a] the uninstall-part commands of phase 0 and of the other phases; [n]
// every font; [s] language texts, header fields and counts.
#pragma once
#include <vector>

#include "core/folder_macros.h"
#include "format/script.h"
#include "format/uninstall_record.h"
#include "format/str.h"

namespace pvx {

// The UninstallIni's bytes. `files` is the uninstall file list,
// `installFolder` the installation folder with its trailing backslash;
// texts are expanded through `folders`. The language texts are those of
// the script's chosen language.
Str BuildUninstallIni(const SetupScript& script, const std::vector<Str>& files,
                      const Str& installFolder, FolderResolver& folders);

// The trailer's bytes. With `withImage` the BMP file and its size come
// first, even when the picture could not be serialised (size 0), so that
// the uninstaller, which trusts its settings, still finds the path.
Str BuildUninstallerTrailer(const Str& iniPath, bool withImage, const Str& bmpFile);

}  // namespace pvx
