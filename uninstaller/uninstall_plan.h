// What the uninstaller removes: the uninstall record that the setup left,
// read into a plan.
//
// The uninstaller's own executable ends with the trailer the setup
// appended, read backwards from the end of the file:
//   [BMP file, S bytes][S, 4 bytes LE]   only when [s] key 31 is a true flag
//   INI path, L bytes (ANSI, no zero)
//   L, 2 bytes LE                        the last two bytes of the file
//
// The INI file (CR LF lines; LF alone is accepted too):
//   [f]          n=path        files, in installation order (values as written)
//   [e]          n=folder      folders to remove when empty
//   [oN]         0= 1=         records passed on: code, text
//   [u]          n=dll         libraries to unregister
//   [iN]         0= 1= 2=      INI entries: file, section, key
//   [rN]         0= 1= 2=      registry values: root code, key, value name
//   [bN] / [aN]  0= 1= 2= 3=   commands before / after the removal:
//                              file, parameters, show command, wait flag
//   [nN]         0= 1=         fonts: name, file
//   [s]          0= .. 51=     texts and settings
// Outside [f] a value longer than one character that begins and ends with
// a double quote carries one extra pair, which the reader strips.
#pragma once
#include <cstdint>
#include <vector>

#include "format/byte_source.h"
#include "format/str.h"

namespace pvx {

struct UninstallCommand {
  Str file;
  Str parameters;
  int32_t show = 0;
  bool wait = false;
};

struct RegistryRemoval {
  int32_t root = 0;  // the predefined key 0x80000000 + root
  Str key;
  Str value;  // empty: the key's default value
};

struct IniRemoval {
  Str file;
  Str section;
  Str key;
};

struct FontRemoval {
  Str name;
  Str file;
};

struct PassedOn {
  Str code;
  Str text;
};

constexpr int kSettingCount = 52;

// [s] keys the uninstaller reads.
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

struct UninstallPlan {
  std::vector<Str> files;  // installation order; removal runs backwards
  std::vector<Str> folders;
  std::vector<PassedOn> passedOn;
  std::vector<Str> libraries;
  std::vector<IniRemoval> iniEntries;
  std::vector<RegistryRemoval> registryValues;
  std::vector<UninstallCommand> before;
  std::vector<UninstallCommand> after;
  std::vector<FontRemoval> fonts;
  Str settings[kSettingCount];

  const Str& Setting(int key) const { return settings[key]; }
  // The header rules: decimal from the start of the text; every text but
  // "0" is a true flag, the empty one included.
  int32_t SettingInt(int key) const;
  bool SettingFlag(int key) const;

  // Items the settings announce but the record does not hold (a file cut
  // short): they cannot be removed.
  uint32_t MissingItems() const;
  // One unit per item the uninstaller works on.
  uint32_t WorkUnits() const;
  // The progress bar's range: the record's own total (key 47) unless it is
  // smaller than the work actually listed.
  uint32_t ProgressTotal() const;
};

// False when the text is no uninstall record (it has no [s] section).
// Sections and keys are matched without regard to ASCII case; of two equal
// keys or sections the first counts, as with the system's INI reader.
bool ParseUninstallIni(const Str& text, UninstallPlan& plan);

enum class UninstallTrailerStatus {
  Ok,
  TooShort,       // fewer bytes than the length field and the path need
  BadPathLength,  // L is 0 or longer than a path can be
  BadPath,        // the bytes are no absolute Windows path
};

// The INI path at the end of `file`; `pathStart` is where its bytes begin.
UninstallTrailerStatus ReadUninstallTrailer(ByteSource& file, Str& iniPath, uint64_t& pathStart);

// The BMP file stored before the path when the settings announce one.
// Empty when its size is 0, does not fit before the path, or the bytes are
// no BMP file this program draws (see CheckBitmapFile).
Str ReadTrailerPicture(ByteSource& file, uint64_t pathStart);

// A BMP file that GDI can draw without reading past its bytes: "BM", an
// info header of 40 bytes or more, 1, 4, 8, 16, 24 or 32 bits per pixel,
// uncompressed (or bit fields for 16 and 32), at most 4096 pixels each way,
// and palette and pixels inside the file.
bool CheckBitmapFile(const Str& bytes);

}  // namespace pvx
