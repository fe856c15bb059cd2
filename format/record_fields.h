// The fields of the setup script's list records, by meaning: one namespace
// per list, with the record's layout beside it. The tool places each text
// by these names and the runtime reads them back by the same names, so a
// record's layout is written down here and nowhere else.
//
// A record of a list of width w is w consecutive texts (format/script.h);
// kFieldCount of each namespace is that width. Numbers are decimal texts
// read leniently (DecimalInt); a flag field is true only when its number
// is 1. "Expanded" fields may hold FolderMacros, which the step that uses
// them resolves; the others are used as stored.
#pragma once

namespace pvx {

// RegistryVariable: a registry value read at startup, which FolderMacro
// 81 + r then names (r the record's number). Nothing is expanded.
//   0 root-key code   1 key path   2 value name   3 default text (value
//   absent or empty)
namespace registry_variable {
enum : unsigned { kRoot, kKey, kValueName, kDefault, kFieldCount };
}

// RegistryEntry: a value the installation writes.
//   0 root-key code   1 key path (expanded)   2 value name (expanded)
//   3 data (expanded)   4 value type: 0 REG_SZ, 1 REG_BINARY from pairs of
//   hexadecimal digits, 2 REG_DWORD   5 flag: replace an existing value
//   6 flag: remove at uninstall
namespace registry_entry {
enum : unsigned { kRoot, kKey, kValueName, kData, kType, kOverwrite, kUninstall, kFieldCount };
}

// UninstallRegistryEntry: a value the uninstaller removes; the
// installation does not write it.
//   0 root-key code (as stored)   1 key path   2 value name
namespace uninstall_registry_entry {
enum : unsigned { kRoot, kKey, kValueName, kFieldCount };
}

// FontEntry.
//   0 font name (the name of its value under the Fonts key)   1 font file
namespace font_entry {
enum : unsigned { kName, kFile, kFieldCount };
}

// ShortcutEntry.
//   0 kind: 0 program group, 1 desktop, 2 Start menu, 3 Quick Launch,
//     4 the link path itself   1 link name   2 target   3 arguments
//   4 description   5 icon file (empty before expansion: no icon is set)
//   6 icon index   7 working folder (empty: the target's folder)
namespace shortcut_entry {
enum : unsigned { kKind, kLinkName, kTarget, kArguments, kDescription, kIconFile, kIconIndex, kWorkingFolder,
                  kFieldCount };
}
// The kinds of field 0; any other number makes no link.
enum ShortcutKind { kGroupShortcut, kDesktopShortcut, kStartMenuShortcut, kQuickLaunchShortcut, kExplicitShortcut };

// File list record. The record's number in the list is the file's index,
// which names it inside the payload.
//   0 destination path   1 overwrite mode (format/overwrite_modes.h)
//   2 flag: remove at uninstall
namespace file_record {
enum : unsigned { kDestination, kOverwrite, kUninstall, kFieldCount };
}

// FolderEntry: a folder the installation creates.
//   0 folder path   1 flag: remove at uninstall (when empty)
namespace folder_entry {
enum : unsigned { kPath, kUninstall, kFieldCount };
}

// CommandEntry. The first header-field-40 records run during the
// installation; the header-field-25 records after them are the
// uninstaller's.
//   0 a note for the author, not read at run time   1 file to open
//   2 parameters   3 show command (nShow)   4 phase: in the install part
//     0 before the files, 1 after every other step, any other never runs;
//     in the uninstall part 0 before the removal, any other after it
//   5 flag: wait for the process to end
namespace command_entry {
enum : unsigned { kNote, kFile, kParameters, kShow, kPhase, kWait, kFieldCount };
}

// IniEntry.
//   0 file   1 section   2 key   3 value   4 write mode: 0 only where the
//   key has no non-empty value yet, any other always   5 flag: remove at
//   uninstall
namespace ini_entry {
enum : unsigned { kFile, kSection, kKey, kValue, kMode, kUninstall, kFieldCount };
}

// UninstallExtra: passed on to the uninstaller and given no other meaning.
//   0 a code (as stored)   1 a text (expanded)
namespace uninstall_extra {
enum : unsigned { kCode, kText, kFieldCount };
}

// ComRegistration: a library whose DllRegisterServer the installation
// calls.
//   0 library path   1 flag: unregister at uninstall
namespace com_registration {
enum : unsigned { kLibrary, kUnregister, kFieldCount };
}

// LanguageRecord.
//   0 the language's name as shown   1 its Windows language identifier
//   (LANGID) in decimal   2 work-folder file number of its licence text
//   (empty: work_files::kLicence)   3 of its readme text (empty:
//   work_files::kReadme)
namespace language_record {
enum : unsigned { kName, kLanguageId, kLicenceFile, kReadmeFile, kFieldCount };
}

// The widest record, the shortcut's: room enough for any record's fields.
constexpr unsigned kWidestRecord = shortcut_entry::kFieldCount;
static_assert(registry_entry::kFieldCount <= kWidestRecord && command_entry::kFieldCount <= kWidestRecord &&
                  ini_entry::kFieldCount <= kWidestRecord,
              "a record is wider than kWidestRecord");

}  // namespace pvx
