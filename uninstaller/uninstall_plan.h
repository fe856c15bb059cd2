// What the uninstaller removes: the uninstall record that the setup left,
// read into a plan.
//
// The record's layout: format/uninstall_record.h.
#pragma once
#include <cstdint>
#include <vector>

#include "format/byte_source.h"
#include "format/str.h"
#include "format/uninstall_record.h"

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
