// The uninstall record: what the separate uninstaller reads.
//
// UninstallIni, CR LF after every line, sections in this order:
//   [f]          n=path        every path of the uninstall file list
//   [e]          n=folder      FolderEntry records flagged for removal
//   [oN]         0= 1=         every UninstallExtra (code as stored, text expanded)
//   [u]          n=dll         ComRegistrations flagged for unregistering
//   [iN]         0= 1= 2=      IniEntries flagged: file, section, key
//   [rN]         0= 1= 2=      flagged RegistryEntries, then every
//                              UninstallRegistryEntry: root as stored, key, value
//   [bN] / [aN]  0= 1= 2= 3=   uninstall-part commands, phase 0 / other:
//                              file, parameters, show command, wait flag
//   [nN]         0= 1=         every FontEntry: name, file
//   [s]          0= .. 51=     the uninstaller's texts and settings
// [f], [e], [u] and [s] always appear; numbered sections only with records.
// A value (not in [f]) longer than one character that begins and ends with
// a double quote gets one more at each end, since the INI reader strips a
// pair.
//
// UninstallerTrailer, appended to the uninstaller executable:
//   [BMP file, S bytes][S, 4 bytes LE]   only when header field 49 is a true flag
//   INI path, L bytes (ANSI, no zero)    always
//   L, 2 bytes LE                        always
#pragma once
#include <vector>

#include "actions/folder_macros.h"
#include "format/script.h"
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
