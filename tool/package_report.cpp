// parvolex inspect: everything a package will do, read without running it.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <ctime>
#include <string>
#include <vector>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/stored_records.h"
#include "format/text_util.h"
#include "tool/builder.h"
#include "tool/commands.h"
#include "tool/header_names.h"
#include "tool/json.h"
#include "tool/list_records.h"
#include "tool/package_file.h"
#include "tool/product.h"
#include "tool/signing.h"
#include "tool/text_convert.h"

namespace pvx::tool {

namespace {

// Column names of every list, in ListKind order, each in field order.
const std::vector<std::vector<const char*>>& Columns() {
  using C = const char*;
  static const std::vector<std::vector<const char*>> columns = {
      ByField<C>(ListKind::RegistryVariables,
                 {{registry_variable::kRoot, "root"}, {registry_variable::kKey, "key"},
                  {registry_variable::kValueName, "value_name"}, {registry_variable::kDefault, "default"}}),
      ByField<C>(ListKind::RegistryEntries,
                 {{registry_entry::kRoot, "root"}, {registry_entry::kKey, "key"},
                  {registry_entry::kValueName, "value_name"}, {registry_entry::kData, "data"},
                  {registry_entry::kType, "type"}, {registry_entry::kOverwrite, "overwrite"},
                  {registry_entry::kUninstall, "uninstall"}}),
      ByField<C>(ListKind::UninstallRegistryEntries,
                 {{uninstall_registry_entry::kRoot, "root"}, {uninstall_registry_entry::kKey, "key"},
                  {uninstall_registry_entry::kValueName, "value_name"}}),
      ByField<C>(ListKind::Fonts, {{font_entry::kName, "name"}, {font_entry::kFile, "file"}}),
      ByField<C>(ListKind::Shortcuts,
                 {{shortcut_entry::kKind, "kind"}, {shortcut_entry::kLinkName, "name"},
                  {shortcut_entry::kTarget, "target"}, {shortcut_entry::kArguments, "arguments"},
                  {shortcut_entry::kDescription, "description"}, {shortcut_entry::kIconFile, "icon"},
                  {shortcut_entry::kIconIndex, "icon_index"}, {shortcut_entry::kWorkingFolder, "working_dir"}}),
      ByField<C>(ListKind::Files, {{file_record::kDestination, "destination"}, {file_record::kOverwrite, "overwrite"},
                                   {file_record::kUninstall, "uninstall"}}),
      ByField<C>(ListKind::Folders, {{folder_entry::kPath, "path"}, {folder_entry::kUninstall, "uninstall"}}),
      ByField<C>(ListKind::Commands,
                 {{command_entry::kNote, "note"}, {command_entry::kFile, "file"},
                  {command_entry::kParameters, "parameters"}, {command_entry::kShow, "show"},
                  {command_entry::kPhase, "phase"}, {command_entry::kWait, "wait"}}),
      ByField<C>(ListKind::IniEntries,
                 {{ini_entry::kFile, "file"}, {ini_entry::kSection, "section"}, {ini_entry::kKey, "key"},
                  {ini_entry::kValue, "value"}, {ini_entry::kMode, "mode"}, {ini_entry::kUninstall, "uninstall"}}),
      ByField<C>(ListKind::UninstallExtras, {{uninstall_extra::kCode, "code"}, {uninstall_extra::kText, "text"}}),
      ByField<C>(ListKind::ComRegistrations,
                 {{com_registration::kLibrary, "library"}, {com_registration::kUnregister, "unregister"}}),
      ByField<C>(ListKind::Languages,
                 {{language_record::kName, "name"}, {language_record::kLanguageId, "id"},
                  {language_record::kLicenceFile, "licence_file"}, {language_record::kReadmeFile, "readme_file"}}),
  };
  return columns;
}

const char* const kListKeys[kListKindCount] = {
    "registry_variables", "registry_entries", "uninstall_registry_entries", "fonts",
    "shortcuts",          "files",            "folders",                    "commands",
    "ini_entries",        "uninstall_extras", "com_registrations",          "languages",
};

constexpr int kCodePage = 1252;

std::string U(const std::string& ansi) { return CodePageToUtf8(ansi, kCodePage); }

std::string DosTimeText(uint16_t date, uint16_t time) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return buf;
}

std::string UnixTimeText(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  struct tm tm;
  if (!gmtime_r(&tt, &tm)) return "?";
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return buf;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : U(s)) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return out + "\"";
}

// A value the package writes under the system's uninstall key: the
// product's registration in the list of installed programs.
struct RegistrationEntry {
  std::string root;  // "HKLM", "HKCU"
  std::string key;
  std::string name, type, data;
  bool removed = false;  // listed for removal at uninstall
};

const char* RootName(int code) {
  switch (code) {
    case 0: return "HKCR";
    case 1: return "HKCU";
    case 2: return "HKLM";
    case 3: return "HKU";
    case 5: return "HKCC";
    default: return "?";
  }
}

std::vector<RegistrationEntry> Registrations(const SetupScript& s) {
  std::vector<RegistrationEntry> out;
  const std::string prefix = AsciiLower(std::string(kUninstallKey)) + "\\";
  const ScriptList& list = s.List(ListKind::RegistryEntries);
  for (size_t r = 0; r < list.Count(); ++r) {
    using namespace registry_entry;
    int root = list.FieldInt(r, kRoot);
    std::string key = list.Field(r, kKey);
    if ((root != 1 && root != 2) || AsciiLower(key).compare(0, prefix.size(), prefix) != 0) continue;
    int type = list.FieldInt(r, kType);
    out.push_back({RootName(root), key, list.Field(r, kValueName),
                   type == 0 ? "string" : type == 1 ? "binary" : type == 2 ? "dword" : "none", list.Field(r, kData),
                   list.FieldIsOne(r, kUninstall)});
  }
  return out;
}

struct Inspection {
  std::vector<RegistrationEntry> registration;
  std::vector<ResourceMember> resources;
  std::string resourceError;
  std::vector<PayloadPart> parts;
  std::vector<PayloadMember> payload;
  std::string payloadError;
  std::vector<std::string> audit;
  uint64_t payloadBytes = 0;
  bool isSigned = false;
  SignatureReport signature;
};

Inspection Examine(PackageFile& p, const std::string& caFile = std::string()) {
  Inspection in;
  in.isSigned = p.extent().IsSigned();
  if (in.isSigned) {
    in.signature = ReadSignature(p.path(), caFile);
    if (!in.signature.ran)
      in.audit.push_back("the signature was not checked: osslsigncode cannot be run (install the osslsigncode package)");
    else if (!in.signature.digestMatches)
      in.audit.push_back("the signature's digest does not match the file: its bytes changed after signing");
  }
  const SetupScript& s = p.script();
  try {
    in.resources = p.Resources();
  } catch (const PackageError& e) {
    in.resourceError = e.what();
  }
  try {
    in.parts = p.Parts();
    in.payload = p.Payload();
  } catch (const PackageError& e) {
    in.payloadError = e.what();
  }
  for (int k = 0; k < kListKindCount; ++k) {
    ListKind kind = static_cast<ListKind>(k);
    int64_t announced = s.AnnouncedCount(kind);
    size_t read = s.List(kind).Count();
    if (announced > 0 && static_cast<uint64_t>(announced) > read)
      in.audit.push_back(std::string(kListKeys[k]) + ": the header announces " + std::to_string(announced) +
                         " records, the script holds " + std::to_string(read));
  }
  int64_t files = s.HeaderInt(field::kFileCount);
  std::vector<int> seen(files > 0 && files < (1 << 24) ? static_cast<size_t>(files) : 0, 0);
  for (const PayloadMember& m : in.payload) {
    in.payloadBytes += m.size;
    if (m.index < 0 || m.index >= files)
      in.audit.push_back("payload member \"" + U(m.name) + "\" names no file-list record (the runtime skips it)");
    else if (static_cast<size_t>(m.index) < seen.size() && seen[m.index]++)
      in.audit.push_back("payload member \"" + U(m.name) + "\" appears more than once");
  }
  for (size_t i = 0; i < seen.size() && in.payloadError.empty(); ++i)
    if (!seen[i]) in.audit.push_back("file-list record " + std::to_string(i) + " has no payload member");
  if (in.payloadError.empty()) {
    int64_t expected = ProgressMaximum(s, in.payloadBytes);
    if (expected != s.HeaderInt(field::kProgressMaximum))
      in.audit.push_back("field 48 (progress maximum) is " + s.HeaderText(field::kProgressMaximum) +
                         "; the package's work adds up to " + std::to_string(expected));
    if (DecimalInt64(s.HeaderText(field::kDiskSpaceNeeded)) != static_cast<int64_t>(in.payloadBytes))
      in.audit.push_back("field 23 (disk space) is " + s.HeaderText(field::kDiskSpaceNeeded) +
                         "; the payload holds " + std::to_string(in.payloadBytes) + " bytes");
  }
  if (s.header.size() < 119) in.audit.push_back("the header has fewer than 119 fields; the runtime reads up to field 118");
  in.registration = Registrations(s);
  bool uninstallString = false;
  for (const RegistrationEntry& e : in.registration) {
    uninstallString = uninstallString || AsciiLower(e.name) == "uninstallstring";
    if (!e.removed)
      in.audit.push_back("registration value " + e.root + "\\" + U(e.key) + " \"" + U(e.name) +
                         "\" is not removed at uninstall");
  }
  if (s.HeaderFlag(field::kWriteUninstallRecord) && !uninstallString)
    in.audit.push_back("the package writes an uninstall record but does not register the product in the list of "
                       "installed programs (no UninstallString under HKLM\\" + std::string(kUninstallKey) +
                       "\\<id>): give the project a [product] table");
  return in;
}

void WriteJson(PackageFile& p, const Inspection& in) {
  const PackageTrailer& t = p.trailer();
  const SetupScript& s = p.script();
  Json j;
  j.BeginObject();
  j.Key("file").String(p.path());
  j.Key("file_size").UInt(p.fileSize());
  j.Key("trailer").BeginObject();
  j.Key("script_offset").Int(t.scriptOffset);
  j.Key("resource_length").Int(t.resourceLength);
  j.Key("resource_offset").Int(t.resourceOffset);
  j.Key("payload_offset").Int(t.payloadOffset);
  j.Key("form").Int(t.form);
  j.Key("form_name").String(t.IsCabinetForm() ? "cabinet" : "stored");
  j.Key("resource_count").Int(t.resourceCount);
  j.Key("header_last_index").Int(t.headerLastIndex);
  j.Key("magic").Int(t.magic);
  j.EndObject();
  j.Key("signature").BeginObject();
  j.Key("signed").Bool(in.isSigned);
  if (in.isSigned) {
    j.Key("table_offset").UInt(p.extent().tableOffset);
    j.Key("table_size").UInt(p.extent().tableSize);
    j.Key("checked").Bool(in.signature.ran);
    j.Key("digest_matches").Bool(in.signature.digestMatches);
    j.Key("verified").Bool(in.signature.verified);
    j.Key("subject").String(in.signature.subject);
    j.Key("digest_algorithm").String(in.signature.digestAlgorithm);
    j.Key("signing_time").String(in.signature.signingTime);
    j.Key("timestamp").String(in.signature.timestamp);
  }
  j.EndObject();
  j.Key("script_length").UInt(p.scriptLength());
  j.Key("volumes").BeginArray();
  for (const PackageVolume& v : p.volumes()) {
    j.BeginObject();
    j.Key("number").UInt(v.number);
    j.Key("path").String(v.path);
    j.Key("file_size").UInt(v.fileSize);
    j.Key("stream_offset").UInt(v.streamOffset);
    j.Key("data_length").UInt(v.dataLength);
    j.EndObject();
  }
  j.EndArray();
  j.Key("header").BeginArray();
  for (size_t n = 0; n < s.header.size(); ++n) {
    const HeaderFieldInfo& info = HeaderField(static_cast<int>(n));
    j.BeginObject();
    j.Key("field").UInt(n);
    j.Key("name").String(info.name);
    j.Key("value").String(U(s.header[n]));
    j.Key("meaning").String(info.meaning);
    j.EndObject();
  }
  j.EndArray();
  j.Key("lists").BeginObject();
  for (int k = 0; k < kListKindCount; ++k) {
    const ScriptList& list = s.List(static_cast<ListKind>(k));
    j.Key(kListKeys[k]).BeginObject();
    j.Key("announced").Int(s.AnnouncedCount(static_cast<ListKind>(k)));
    j.Key("records").BeginArray();
    for (size_t r = 0; r < list.Count(); ++r) {
      j.BeginObject();
      const auto& cols = Columns()[k];
      for (unsigned c = 0; c < list.width; ++c) j.Key(cols[c]).String(U(list.Field(r, c)));
      if (static_cast<ListKind>(k) == ListKind::Commands)
        j.Key("part").String(static_cast<int64_t>(r) < s.HeaderInt(field::kInstallCommandCount) ? "install" : "uninstall");
      j.EndObject();
    }
    j.EndArray();
    j.EndObject();
  }
  j.EndObject();
  j.Key("language_strings").BeginArray();
  const int64_t per = s.HeaderInt(field::kTextsPerLanguage);
  const size_t languages = s.List(ListKind::Languages).Count();
  for (size_t l = 0; l < languages && per > 0; ++l) {
    j.BeginArray();
    for (int64_t k = 1; k <= per; ++k) {
      size_t pos = l * static_cast<size_t>(per) + static_cast<size_t>(k);
      j.String(pos < s.languageStrings.size() ? U(s.languageStrings[pos]) : std::string());
    }
    j.EndArray();
  }
  j.EndArray();
  j.Key("resources").BeginObject();
  j.Key("error");
  if (in.resourceError.empty()) j.Null(); else j.String(in.resourceError);
  j.Key("members").BeginArray();
  for (const ResourceMember& m : in.resources) {
    j.BeginObject();
    j.Key("name").String(U(m.name));
    j.Key("size").UInt(m.size);
    j.Key("compression").String(m.compression);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  j.Key("payload").BeginObject();
  j.Key("error");
  if (in.payloadError.empty()) j.Null(); else j.String(in.payloadError);
  j.Key("bytes").UInt(in.payloadBytes);
  j.Key("parts").BeginArray();
  for (const PayloadPart& part : in.parts) {
    j.BeginObject();
    j.Key("number").UInt(part.number);
    j.Key("stream_offset").UInt(part.streamOffset);
    j.Key("length").UInt(part.length);
    j.EndObject();
  }
  j.EndArray();
  j.Key("members").BeginArray();
  const ScriptList& files = s.List(ListKind::Files);
  for (const PayloadMember& m : in.payload) {
    j.BeginObject();
    j.Key("name").String(U(m.name));
    j.Key("index").Int(m.index);
    j.Key("destination").String(m.index >= 0 && static_cast<size_t>(m.index) < files.Count()
                                    ? U(files.Field(static_cast<size_t>(m.index), file_record::kDestination))
                                    : std::string());
    j.Key("size").UInt(m.size);
    j.Key("attributes").UInt(m.attributes);
    j.Key("compression").String(m.compression);
    if (p.trailer().IsCabinetForm()) {
      j.Key("dos_date").UInt(m.dosDate);
      j.Key("dos_time").UInt(m.dosTime);
      j.Key("time").String(DosTimeText(m.dosDate, m.dosTime));
    } else {
      j.Key("filetime").UInt(m.fileTime);
      j.Key("time").String(UnixTimeText(UnixFromFileTime(m.fileTime)));
      j.Key("stream_offset").UInt(m.streamOffset);
    }
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  j.Key("registration").BeginArray();
  for (const RegistrationEntry& e : in.registration) {
    j.BeginObject();
    j.Key("root").String(e.root);
    j.Key("key").String(U(e.key));
    j.Key("value_name").String(U(e.name));
    j.Key("type").String(e.type);
    j.Key("data").String(U(e.data));
    j.Key("uninstall").Bool(e.removed);
    j.EndObject();
  }
  j.EndArray();
  j.Key("audit").BeginArray();
  for (auto& a : in.audit) j.String(a);
  j.EndArray();
  j.EndObject();
  std::printf("%s\n", j.str().c_str());
}

void WriteText(PackageFile& p, const Inspection& in) {
  const PackageTrailer& t = p.trailer();
  const SetupScript& s = p.script();
  std::printf("Package %s (%llu bytes)\n\n", p.path().c_str(), static_cast<unsigned long long>(p.fileSize()));
  std::printf("Trailer\n  script offset    %lld\n  resource length  %lld\n  resource offset  %lld\n"
              "  payload offset   %lld\n  form             %u (%s)\n  resource count   %u\n"
              "  header last index %u (%u fields)\n  magic            0x%02X\n\n",
              (long long)t.scriptOffset, (long long)t.resourceLength, (long long)t.resourceOffset,
              (long long)t.payloadOffset, t.form, t.IsCabinetForm() ? "cabinet" : "stored", t.resourceCount,
              t.headerLastIndex, t.headerLastIndex + 1u, t.magic);
  std::printf("Signature\n");
  if (!in.isSigned) {
    std::printf("  not signed\n\n");
  } else {
    const SignatureReport& g = in.signature;
    std::printf("  certificate table at %u, %u bytes\n", p.extent().tableOffset, p.extent().tableSize);
    if (!g.ran) std::printf("  not checked (osslsigncode cannot be run)\n\n");
    else
      std::printf("  signer           %s\n  digest           %s, %s\n  signing time     %s\n"
                  "  timestamp        %s\n  chain            %s\n\n",
                  g.subject.c_str(), g.digestAlgorithm.c_str(), g.digestMatches ? "matches" : "DOES NOT MATCH",
                  g.signingTime.empty() ? "-" : g.signingTime.c_str(),
                  g.timestamp.empty() ? "none" : g.timestamp.c_str(),
                  g.verified ? "verified" : "not verified (untrusted root or bad signature)");
  }
  std::printf("Volumes\n");
  for (const PackageVolume& v : p.volumes())
    std::printf("  %u  %s  %llu bytes, stream %llu..%llu\n", v.number, v.path.c_str(),
                (unsigned long long)v.fileSize, (unsigned long long)v.streamOffset,
                (unsigned long long)(v.streamOffset + v.dataLength));
  std::printf("\nHeader\n");
  for (size_t n = 0; n < s.header.size(); ++n) {
    const HeaderFieldInfo& info = HeaderField(static_cast<int>(n));
    std::printf("  %3zu %-28s %-30s %s\n", n, info.name, Quote(s.header[n]).c_str(), info.meaning);
  }
  for (int k = 0; k < kListKindCount; ++k) {
    const ScriptList& list = s.List(static_cast<ListKind>(k));
    std::printf("\n%s: %zu record(s)", ListName(static_cast<ListKind>(k)), list.Count());
    if (static_cast<uint64_t>(std::max<int64_t>(0, s.AnnouncedCount(static_cast<ListKind>(k)))) != list.Count())
      std::printf(" (header announces %lld)", (long long)s.AnnouncedCount(static_cast<ListKind>(k)));
    std::printf("\n");
    for (size_t r = 0; r < list.Count(); ++r) {
      std::printf("  [%zu]", r);
      for (unsigned c = 0; c < list.width; ++c) std::printf(" %s=%s", Columns()[k][c], Quote(list.Field(r, c)).c_str());
      std::printf("\n");
    }
  }
  const int64_t per = s.HeaderInt(field::kTextsPerLanguage);
  for (size_t l = 0; l < s.List(ListKind::Languages).Count() && per > 0; ++l) {
    std::printf("\nLanguage strings of %s\n", Quote(s.List(ListKind::Languages).Field(l, language_record::kName)).c_str());
    for (int64_t k = 1; k <= per; ++k) {
      size_t pos = l * static_cast<size_t>(per) + static_cast<size_t>(k);
      std::printf("  %3lld %s\n", (long long)k, Quote(pos < s.languageStrings.size() ? s.languageStrings[pos] : "").c_str());
    }
  }
  std::printf("\nResources (%s form)\n", t.IsCabinetForm() ? "cabinet" : "stored");
  if (!in.resourceError.empty()) std::printf("  DAMAGED: %s\n", in.resourceError.c_str());
  for (const ResourceMember& m : in.resources)
    std::printf("  %-16s %10llu bytes  %s\n", U(m.name).c_str(), (unsigned long long)m.size, m.compression.c_str());
  std::printf("\nPayload: %zu member(s), %llu bytes\n", in.payload.size(), (unsigned long long)in.payloadBytes);
  if (!in.payloadError.empty()) std::printf("  DAMAGED: %s\n", in.payloadError.c_str());
  for (const PayloadPart& part : in.parts)
    std::printf("  part %u at stream %llu, %llu bytes\n", part.number, (unsigned long long)part.streamOffset,
                (unsigned long long)part.length);
  const ScriptList& files = s.List(ListKind::Files);
  for (const PayloadMember& m : in.payload) {
    std::string dest = m.index >= 0 && static_cast<size_t>(m.index) < files.Count()
                           ? Quote(files.Field(static_cast<size_t>(m.index), file_record::kDestination))
                           : "(no file-list record)";
    std::string time = t.IsCabinetForm() ? DosTimeText(m.dosDate, m.dosTime) + " local"
                                         : UnixTimeText(UnixFromFileTime(m.fileTime));
    std::printf("  %-6s %10llu bytes  %s  attr 0x%02X  %-6s -> %s\n", U(m.name).c_str(), (unsigned long long)m.size,
                time.c_str(), m.attributes, m.compression.c_str(), dest.c_str());
  }
  std::printf("\nRegistration in the list of installed programs\n");
  if (in.registration.empty()) std::printf("  none\n");
  std::string lastKey;
  for (const RegistrationEntry& e : in.registration) {
    std::string key = e.root + "\\" + U(e.key);
    if (key != lastKey) std::printf("  %s\n", key.c_str());
    lastKey = key;
    std::printf("    %-22s %-6s %s%s\n", U(e.name).c_str(), e.type.c_str(), Quote(e.data).c_str(),
                e.removed ? "" : "  (kept at uninstall)");
  }
  std::printf("\nAudit\n");
  if (in.audit.empty()) std::printf("  no findings\n");
  for (auto& a : in.audit) std::printf("  %s\n", a.c_str());
}

}  // namespace

int RunInspect(const std::string& setup, bool json) {
  try {
    PackageFile p(setup);
    Inspection in = Examine(p);
    if (json) WriteJson(p, in);
    else WriteText(p, in);
    bool tampered = in.isSigned && in.signature.ran && !in.signature.digestMatches;
    return in.resourceError.empty() && in.payloadError.empty() && !tampered ? 0 : 1;
  } catch (const PackageError& e) {
    std::fprintf(stderr, "parvolex inspect: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "parvolex inspect: %s\n", e.what());
  }
  return 1;
}

// Everything a release check wants: a verified signature, a readable
// trailer and script, every resource and payload member readable with its
// checksum, every volume present. Each failure is named on stderr.
int RunVerify(const std::string& setup, const std::string& caFile) {
  std::vector<std::string> failures;
  try {
    PackageFile p(setup);
    Inspection in = Examine(p, caFile);
    if (!in.isSigned) failures.push_back("not signed");
    else if (!in.signature.ran) failures.push_back("signature not checked: osslsigncode cannot be run");
    else if (!in.signature.digestMatches) failures.push_back("signature: the digest does not match the file");
    else if (!in.signature.verified)
      failures.push_back("signature: does not verify against " +
                         (caFile.empty() ? std::string("the system's certificates") : caFile));
    if (!in.resourceError.empty()) failures.push_back("resources: " + in.resourceError);
    if (!in.payloadError.empty()) failures.push_back("payload: " + in.payloadError);
    // Reading every member through to its end checks its checksum (cabinet
    // form) or bounds (stored form) and needs every volume.
    char folder[] = "/tmp/pvx-verify-XXXXXX";
    if (!mkdtemp(folder)) throw std::runtime_error("cannot make a temporary folder");
    std::string where = folder;
    int n = 0;
    auto next = [&]() { return where + "/" + std::to_string(n++); };
    std::string r = p.ExtractResources([&](const std::string&) { return next(); });
    if (!r.empty()) failures.push_back("resources: " + r);
    r = p.ExtractPayload([&](const PayloadMember&) { return next(); });
    if (!r.empty()) failures.push_back("payload: " + r);
    std::error_code ec;
    std::filesystem::remove_all(where, ec);
  } catch (const std::exception& e) {
    failures.push_back(e.what());
  }
  for (const std::string& f : failures) std::fprintf(stderr, "parvolex verify: %s: %s\n", setup.c_str(), f.c_str());
  if (failures.empty()) std::printf("%s: signed, verified, package complete\n", setup.c_str());
  return failures.empty() ? 0 : 1;
}

}  // namespace pvx::tool
