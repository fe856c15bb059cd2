// The project model: what `parvolex build` reads from a project file
// (TOML) before it writes a package. Every text here is already in the
// package's code page, with FolderMacros in place of the readable names.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/script.h"
#include "tool/default_texts.h"
#include "tool/product.h"
#include "tool/signing.h"

namespace pvx::tool {

// A bad project: the message names file, line, key and reason.
class ProjectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class StorageForm { Cabinet, Stored };
enum class Compression { None, MSZip, Lzx };

struct PayloadFile {
  std::string sourcePath;   // file on disk
  std::string destination;  // package path, FolderMacros allowed
  int overwrite = 2;        // 0 ask, 1 ask if newer, 2 always, 3 if newer, 4 never
  bool uninstall = true;
  uint32_t attributes = 0x20;  // Win32 attribute bits
  int64_t mtime = 0;           // Unix seconds, after SOURCE_DATE_EPOCH
  uint32_t mtimeNanos = 0;
  uint64_t size = 0;
  std::string origin;  // "files[2]" for messages
};

struct LanguageDef {
  std::string name;  // code page text
  int langId = 0;
  LanguageStrings strings;  // code page texts, CR LF line breaks
  // String 3 is the built-in one, which ends where the disk space the
  // installation needs goes: the builder appends the figure.
  bool builtinFolderText = false;
  std::optional<std::string> licence;  // RTF bytes
  std::optional<std::string> readme;   // RTF bytes
};

struct Project {
  std::string projectFile;  // as given, for messages
  std::string baseDir;      // sources are relative to it

  // Header fields as the project sets them; the builder fills in the
  // derived ones unless `explicitFields` holds them.
  std::vector<std::string> header;
  std::set<int> explicitFields;
  std::optional<int> headerLastIndex;  // [raw] header_last_index

  // Records by list, each record a vector of `width` texts. The file list
  // is built from `files` unless given verbatim.
  std::vector<std::vector<std::string>> records[kListKindCount];
  bool verbatim[kListKindCount] = {};
  std::optional<std::vector<std::string>> verbatimLanguageStrings;

  std::vector<PayloadFile> files;
  std::vector<LanguageDef> languages;
  std::map<int, std::string> pictures;  // resource file number -> BMP bytes

  StorageForm form = StorageForm::Cabinet;
  Compression compression = Compression::MSZip;
  int compressionLevel = 6;
  int lzxWindowBits = 21;   // LZX window 2^15..2^21
  bool solid = true;        // LZX: members share folders
  uint64_t partSize = 0;    // stored length of each cabinet part; 0 = one part
  uint64_t volumeSize = 0;  // 0 = one volume
  int utcOffsetMinutes = 0;
  int codepage = 1252;
  std::string defaultOutput;  // relative to baseDir, may be empty
  SigningOptions signing;     // [signing]; paths resolved against baseDir

  // [product], with the name filled in from the title when not given.
  std::optional<ProductInfo> product;
  // The registry entry (RegistryEntries record) of the registration's
  // EstimatedSize, whose data the builder sets from the payload; -1 = none.
  int estimatedSizeRecord = -1;

  std::vector<std::string> warnings;
};

struct LoadOptions {
  // SOURCE_DATE_EPOCH: file times later than it are replaced by it.
  std::optional<int64_t> sourceDateEpoch;
  // The uninstaller that `[uninstall] uninstaller = true` ships.
  std::string uninstaller;
};

// Reads and checks a project file. Throws ProjectError.
Project LoadProject(const std::string& path, const LoadOptions& options = {});
// The same from text (tests); `name` stands for the file in messages and
// `baseDir` resolves the sources.
Project LoadProjectText(const std::string& text, const std::string& name, const std::string& baseDir,
                        const LoadOptions& options = {});

// The default value of every header field (121 texts).
std::vector<std::string> DefaultHeader();

// Names of the lists under [raw], in ListKind order.
const char* RawListName(ListKind kind);

}  // namespace pvx::tool
