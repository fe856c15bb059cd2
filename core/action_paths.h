// The path rules of the font, shortcut and command steps.
#pragma once
#include "core/folder_macros.h"
#include "format/record_fields.h"
#include "format/script.h"
#include "format/str.h"
#include "format/text_util.h"

namespace pvx {

// Every field of one list record with its FolderMacros replaced (fields
// past the list's width stay empty), indexed by the list's field names.
struct ExpandedRecord {
  ExpandedRecord(const ScriptList& list, size_t record, FolderResolver& folders);
  ~ExpandedRecord();  // out of line: one copy of the array's clean-up
  const char* operator[](unsigned k) const { return field[k].c_str(); }
  Str field[kWidestRecord];
};

// The data of a font's registry value: the bare file name when the Fonts
// folder occurs anywhere in the file's path (ASCII letters compared without
// case; a sibling such as "Fonts2" matches too), else the full path. An
// unknown (empty) Fonts folder matches nothing.
Str FontRegistryData(const Str& file, const Str& fontsFolder);

// The shortcut kinds are in format/record_fields.h (ShortcutKind).

// The full path of a shortcut's link, or empty text when none is made: the
// kind's folder is not chosen (`chosen`: the group page's no-shortcuts box
// unticked for kind 0, the kind's box ticked for 1 to 3) or unknown on this
// machine, or the link name is empty. Kind 0 goes into the Start-menu
// programs folder and the group as typed; `linkName` is already expanded.
Str ShortcutLinkPath(int kind, bool chosen, const Str& groupName, const Str& linkName,
                     FolderResolver& folders);

// The link's working folder: the expanded field, or the target's folder
// when that is empty, without a trailing backslash (a drive root keeps
// its own: "C:\").
Str ShortcutWorkingFolder(const Str& workingFolder, const Str& target);

// The folder a command starts in: the file's folder up to and including
// its last "\", "/" or ":", empty for a bare name (the shell's search
// rules apply then).
inline Str CommandDirectory(const Str& file) { return FolderPart(file); }

}  // namespace pvx
