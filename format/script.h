// The SetupScript: the whole configuration of one installation, a plain
// sequence of NUL-terminated texts with no lengths and no markers.
//
//   ScriptHeader            header last index + 1 texts (trailer byte)
//   RegistryVariable list   field 98 x 4 texts
//   -- the command line may overwrite header fields here --
//   RegistryEntry list      field 50 x 7
//   UninstallRegistryEntry  field 96 x 3
//   FontEntry list          field 31 x 2
//   ShortcutEntry list      field 54 x 8
//   file list               field 67 x 3
//   FolderEntry list        field 93 x 2
//   CommandEntry list       (field 40 + field 25) x 6
//   IniEntry list           field 24 x 6
//   UninstallExtra list     field 45 x 2
//   ComRegistration list    field 20 x 2
//   LanguageRecord list     field 26 x 4
//   LanguageStrings         field 26 x field 57 texts
//
// Record r of a list of width w is the texts r*w .. r*w+w-1. A count of 0
// or less reads nothing. Reading past the end of the source yields empty
// texts; this reader stops storing at the end instead, so a count that the
// data cannot satisfy costs neither memory nor time, and the records it
// could not read behave as empty.
#pragma once
#include <cstdint>
#include "format/str.h"
#include <vector>

#include "format/byte_source.h"
#include "format/record_fields.h"

namespace pvx {

enum class ListKind {
  RegistryVariables,
  RegistryEntries,
  UninstallRegistryEntries,
  Fonts,
  Shortcuts,
  Files,
  Folders,
  Commands,
  IniEntries,
  UninstallExtras,
  ComRegistrations,
  Languages,
};
constexpr int kListKindCount = 12;

struct ListShape {
  // Bytes: header field numbers stay below 128, widths below 10.
  int8_t countField;
  int8_t extraCountField;  // added to countField (the command list), or -1
  uint8_t width;
};
const ListShape& ShapeOf(ListKind kind);
// The list's name for reports ("registry entries"); in a file of its own,
// which the runtime does not link.
const char* ListName(ListKind kind);

struct ScriptList {
  unsigned width = 1;
  std::vector<Str> texts;

  size_t Count() const { return (texts.size() + width - 1) / width; }
  const Str& Field(size_t record, unsigned k) const;
  int32_t FieldInt(size_t record, unsigned k) const;
  // List-record flags are true only when their number is 1.
  bool FieldIsOne(size_t record, unsigned k) const { return FieldInt(record, k) == 1; }
};

class SetupScript {
 public:
  SetupScript();

  std::vector<Str> header;
  ScriptList lists[kListKindCount];
  // One resolved text per RegistryVariable record, in record order.
  std::vector<Str> registryValues;
  // Position 0 is empty; positions 1 .. L*S hold the texts in file order.
  std::vector<Str> languageStrings;
  // The blocks that the texts of the lists lie in, one per list read (in
  // the runtime; natively each text is a string of its own).
  std::vector<Str> blocks;

  ScriptList& List(ListKind kind) { return lists[static_cast<int>(kind)]; }
  const ScriptList& List(ListKind kind) const { return lists[static_cast<int>(kind)]; }

  // Fields beyond the header's last index read as empty text.
  const Str& HeaderText(int n) const;
  int32_t HeaderInt(int n) const;
  // True for every text but "0", the empty text included.
  bool HeaderFlag(int n) const;
  void SetHeader(int n, const Str& value);

  // The number of records a list's header fields announce.
  int64_t AnnouncedCount(ListKind kind) const;
};

// Buffered text reading from a byte source.
class TextReader {
 public:
  explicit TextReader(ByteSource& source);
  ~TextReader();
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;
  // Reads up to the next zero byte or the end of the source. Returns false
  // (and an empty text) when the source was already at its end.
  bool ReadText(Str& out);
  bool AtEnd();
  // Raw bytes after the texts (stored records); fewer at the end.
  size_t ReadRaw(void* destination, size_t n);

 private:
  bool Fill();
  ByteSource& source_;
  // On the heap: the stub keeps every stack frame small.
  static constexpr size_t kBufferSize = 16384;
  uint8_t* buffer_;
  size_t length_ = 0;
  size_t position_ = 0;
  bool ended_ = false;
};

// The first piece: the header (lastIndex + 1 texts) and the raw
// RegistryVariable records.
void LoadScriptHead(TextReader& reader, unsigned headerLastIndex, SetupScript& script);
// The second piece, after the command line has been applied.
void LoadScriptLists(TextReader& reader, SetupScript& script);

// Replaces each RegistryVariable by its registry value, or by its default
// text when that is empty. read(root, key, valueName) returns the value.
template <class ReadRegistry>
void ResolveRegistryVariables(SetupScript& script, ReadRegistry read) {
  const ScriptList& vars = script.List(ListKind::RegistryVariables);
  script.registryValues.clear();
  for (size_t r = 0; r < vars.Count(); ++r) {
    Str value = read(vars.FieldInt(r, registry_variable::kRoot), vars.Field(r, registry_variable::kKey),
                     vars.Field(r, registry_variable::kValueName));
    if (value.empty()) value = vars.Field(r, registry_variable::kDefault);
    script.registryValues.push_back(std::move(value));
  }
}

// Writes the texts of a script in read order. Texts must not contain zero
// bytes; the caller keeps the header counts consistent with the lists (or
// deliberately not, to build odd packages).
Str EncodeScript(const SetupScript& script);

}  // namespace pvx
