// The uninstall record: what the installation leaves for the separate
// uninstaller, written by the runtime (actions/uninstall_ini.*) and read by
// the uninstaller (uninstaller/uninstall_plan.*).
//
// The INI file (CR LF after every line; the reader also takes LF alone),
// its sections in this order:
//   [f]          n=path        files, in installation order (values as written)
//   [e]          n=folder      folders to remove when empty
//   [oN]         0= 1=         records passed on: code, text
//   [u]          n=dll         libraries to unregister
//   [iN]         0= 1= 2=      INI entries: file, section, key
//   [rN]         0= 1= 2=      registry values: root code, key, value name
//   [bN] / [aN]  0= 1= 2= 3=   commands before / after the removal:
//                              file, parameters, show command, wait flag
//   [nN]         0= 1=         fonts: name, file
//   [s]          0= .. 51=     texts and settings (setting:: below)
// [f], [e], [u] and [s] always appear; numbered sections only with records.
// Outside [f] a value longer than one character that begins and ends with
// a double quote carries one extra pair, since the INI reader strips one.
//
// The trailer appended to the installed uninstaller, read backwards from
// the end of its file:
//   [BMP file, S bytes][S, 4 bytes LE]   only when [s] key 31 is a true flag
//   INI path, L bytes (ANSI, no zero)
//   L, 2 bytes LE                        the last two bytes of the file
#pragma once

namespace pvx {

constexpr int kSettingCount = 52;

// The [s] keys by number. Keys 27 to 29 carry header fields the uninstaller
// does not read; 33 to 36, 40 and 41 are always empty.
namespace setting {
enum : int {
  kWelcomeText = 0,
  kRemoveButton = 1,
  kRemovingFromLabel = 2,
  kTitle = 3,
  kSubtitle = 4,
  kCompleteTitle = 5,
  kFinalHeading = 6,
  kSuccessText = 7,
  kFilePrefix = 8,
  kWaitText = 9,
  kFolderPrefix = 10,
  kFinalText = 11,
  kCancelQuestion = 12,
  kUnregisterPrefix = 13,
  kBackButton = 14,
  kCancelButton = 15,
  kFinishButton = 16,
  kBottomText = 17,
  kInstallFolder = 18,
  kGradientStart = 19,
  kBandColor = 20,
  kPictureTransparent = 21,
  kPictureLeft = 22,
  kPictureTop = 23,
  // Keys 24 to 29 are header fields passed on for the uninstaller; these
  // two carry the end-of-removal notes (empty: built-in English).
  kRestartNote = 24,
  kFailureNote = 25,
  kWebAddress = 26,  // offered on the finished page, with the caption of key 30
  kWebCaption = 30,
  kPicturePresent = 31,
  kGradient = 32,
  kFolderLines = 37,
  kFontRecords = 38,
  kFileLines = 39,
  kLibraryLines = 42,
  kRegistrySections = 43,
  kIniSections = 44,
  kBeforeSections = 45,
  kAfterSections = 46,
  kTotalWork = 47,
  kTitleLeft = 48,
  kTitleTop = 49,
  kSubtitleLeft = 50,
  kSubtitleTop = 51,
};
}  // namespace setting

}  // namespace pvx
