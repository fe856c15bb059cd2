#include "format/str.h"
#include "format/script.h"

#include <cstring>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/record_fields.h"

namespace pvx {

namespace {

// Each list's width is its record's field count (format/record_fields.h).
const ListShape kShapes[kListKindCount] = {
    {field::kRegistryVariableCount, -1, registry_variable::kFieldCount},
    {field::kRegistryCount, -1, registry_entry::kFieldCount},
    {field::kUninstallRegistryCount, -1, uninstall_registry_entry::kFieldCount},
    {field::kFontCount, -1, font_entry::kFieldCount},
    {field::kShortcutCount, -1, shortcut_entry::kFieldCount},
    {field::kFileCount, -1, file_record::kFieldCount},
    {field::kFolderCount, -1, folder_entry::kFieldCount},
    {field::kInstallCommandCount, field::kUninstallCommandCount, command_entry::kFieldCount},
    {field::kIniCount, -1, ini_entry::kFieldCount},
    {field::kUninstallExtraCount, -1, uninstall_extra::kFieldCount},
    {field::kComCount, -1, com_registration::kFieldCount},
    {field::kLanguageCount, -1, language_record::kFieldCount},
};

const Str& Empty() {
  static const Str empty;
  return empty;
}

// The texts are gathered into one block, kept in `blocks`, and `out` gets
// texts that lie in it: one allocation for a list instead of one for each
// of its texts, which for a package of thousands of files is most of the
// script's memory.
void ReadTexts(TextReader& reader, int64_t count, std::vector<Str>& out,
               std::vector<Str>& blocks) {
  Str block, text;
  int64_t n = 0;
  while (n < count && reader.ReadText(text)) {
    block.append(text.c_str(), text.size() + 1);  // with its NUL
    ++n;
  }
  blocks.push_back(std::move(block));
  char* p = blocks.back().data();
  for (; n > 0; --n) {
    size_t length = std::strlen(p);
    out.push_back(TextInBlock(p, length));
    p += length + 1;
  }
}

}  // namespace

const ListShape& ShapeOf(ListKind kind) { return kShapes[static_cast<int>(kind)]; }

const Str& ScriptList::Field(size_t record, unsigned k) const {
  size_t i = record * width + k;
  return k < width && i < texts.size() ? texts[i] : Empty();
}

int32_t ScriptList::FieldInt(size_t record, unsigned k) const {
  return DecimalInt(Field(record, k));
}

SetupScript::SetupScript() {
  for (int i = 0; i < kListKindCount; ++i) lists[i].width = kShapes[i].width;
  languageStrings.emplace_back();
}

const Str& SetupScript::HeaderText(int n) const {
  return n >= 0 && static_cast<size_t>(n) < header.size() ? header[n] : Empty();
}

int32_t SetupScript::HeaderInt(int n) const { return DecimalInt(HeaderText(n)); }

bool SetupScript::HeaderFlag(int n) const { return HeaderText(n) != "0"; }

void SetupScript::SetHeader(int n, const Str& value) {
  if (n < 0 || n > 255) return;
  if (header.size() <= static_cast<size_t>(n)) header.resize(n + 1);
  header[n] = value;
}

int64_t SetupScript::AnnouncedCount(ListKind kind) const {
  const ListShape& shape = ShapeOf(kind);
  int64_t count = HeaderInt(shape.countField);
  if (shape.extraCountField >= 0) count += HeaderInt(shape.extraCountField);
  return count;
}

TextReader::TextReader(ByteSource& source) : source_(source), buffer_(new uint8_t[kBufferSize]) {}

TextReader::~TextReader() { delete[] buffer_; }

bool TextReader::Fill() {
  if (position_ < length_) return true;
  if (ended_) return false;
  length_ = source_.Read(buffer_, kBufferSize);
  position_ = 0;
  if (length_ == 0) ended_ = true;
  return length_ != 0;
}

bool TextReader::AtEnd() { return !Fill(); }

bool TextReader::ReadText(Str& out) {
  out.clear();
  if (!Fill()) return false;
  while (Fill()) {
    const uint8_t* start = buffer_ + position_;
    const uint8_t* end = buffer_ + length_;
    const uint8_t* zero = start;
    while (zero < end && *zero) ++zero;
    out.append(reinterpret_cast<const char*>(start), zero - start);
    position_ += zero - start;
    if (zero < end) {
      ++position_;  // the terminating zero
      return true;
    }
  }
  return true;  // the end of the source ends the last text
}

size_t TextReader::ReadRaw(void* destination, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < n && Fill()) {
    size_t take = length_ - position_;
    if (take > n - done) take = n - done;
    std::memcpy(out + done, buffer_ + position_, take);
    position_ += take;
    done += take;
  }
  return done;
}

void LoadScriptHead(TextReader& reader, unsigned headerLastIndex, SetupScript& script) {
  // clear and resize rather than assign: the stub then carries one
  // vector-growing routine instead of two.
  script.header.clear();
  script.header.resize(headerLastIndex + 1);
  for (unsigned i = 0; i <= headerLastIndex; ++i)
    if (!reader.ReadText(script.header[i])) break;
  ScriptList& vars = script.List(ListKind::RegistryVariables);
  vars.texts.clear();
  ReadTexts(reader, script.AnnouncedCount(ListKind::RegistryVariables) * vars.width, vars.texts,
            script.blocks);
}

void LoadScriptLists(TextReader& reader, SetupScript& script) {
  for (int i = static_cast<int>(ListKind::RegistryEntries); i < kListKindCount; ++i) {
    ScriptList& list = script.lists[i];
    list.texts.clear();
    int64_t count = script.AnnouncedCount(static_cast<ListKind>(i));
    if (count > 0) ReadTexts(reader, count * list.width, list.texts, script.blocks);
  }
  script.languageStrings.clear();
  script.languageStrings.resize(1);
  int64_t languages = script.HeaderInt(field::kLanguageCount);
  int64_t perLanguage = script.HeaderInt(field::kTextsPerLanguage);
  if (languages > 0 && perLanguage > 0)
    ReadTexts(reader, languages * perLanguage, script.languageStrings, script.blocks);
}

Str EncodeScript(const SetupScript& script) {
  Str out;
  auto put = [&out](const Str& text) {
    out += text;
    out += '\0';
  };
  for (const Str& text : script.header) put(text);
  for (const ScriptList& list : script.lists)
    for (const Str& text : list.texts) put(text);
  for (size_t i = 1; i < script.languageStrings.size(); ++i) put(script.languageStrings[i]);
  return out;
}

}  // namespace pvx
