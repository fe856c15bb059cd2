// Package layout as written here (file offsets of volume 1):
//
//   0                 runtime image (copied unchanged)
//   script offset     SetupScript texts
//   resource offset   resource area
//                       cabinet form: one cabinet without its "MSCF",
//                       members "$inst\N.tmp"
//                       stored form: StoredResourceEntry records
//   payload offset    payload area
//                       cabinet form: parts 0..P back to back, each without
//                       "MSCF", every part but the last exactly field 95
//                       bytes, members named by their file index
//                       stored form: one StoredFileRecord per file
//   end - 36          PackageTrailer
//
// With a volume size the payload continues in volume files 2, 3, ...
// beside the executable (volume_plan.h says where the cuts fall).
#include "tool/builder.h"

#include <zlib.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include "format/decimal.h"
#include "format/file_attributes.h"
#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/stored_records.h"
#include "format/volumes.h"
#include "format/work_files.h"
#include "tool/cab_writer.h"
#include "tool/list_records.h"
#include "tool/output_files.h"
#include "tool/progress.h"
#include "tool/volume_plan.h"

namespace fs = std::filesystem;

namespace pvx::tool {

namespace {

std::string Decimal(uint64_t v) { return DecimalText(v); }

std::string ResourceName(int number) { return work_files::kFolder + std::to_string(number) + work_files::kSuffix; }

std::string ReadWholeFile(const std::string& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot open the ") + what + " " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Collects the cabinet parts in one spill file, back to back.
class SpillSink : public CabSink {
 public:
  SpillSink() : file_(tmpfile()) {
    if (!file_) throw std::runtime_error(std::string("cannot create a temporary file: ") + strerror(errno));
  }
  bool Write(unsigned part, const void* data, size_t n) override {
    if (part >= lengths.size()) lengths.resize(part + 1, 0);
    lengths[part] += n;
    return fwrite(data, 1, n, file_.get()) == n;
  }
  bool EndPart(unsigned) override { return true; }
  FILE* file() { return file_.get(); }
  std::vector<uint64_t> lengths;

 private:
  FilePtr file_;
};

// Writes the package data stream into the volume files, cutting where the
// plan says.
class StreamWriter {
 public:
  StreamWriter(OutputFiles& out, std::vector<size_t> files, std::vector<uint64_t> cuts)
      : out_(out), files_(std::move(files)), cuts_(std::move(cuts)) {}
  void Write(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      uint64_t end = volume_ < cuts_.size() ? cuts_[volume_] : UINT64_MAX;
      if (position_ == end) {
        ++volume_;
        continue;
      }
      size_t take = static_cast<size_t>(std::min<uint64_t>(n, end - position_));
      if (fwrite(p, 1, take, out_.File(files_[volume_])) != take)
        throw std::runtime_error("cannot write " + out_.FinalPath(files_[volume_]) + ": " + strerror(errno));
      p += take;
      n -= take;
      position_ += take;
    }
  }
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  uint64_t position() const { return position_; }

 private:
  OutputFiles& out_;
  std::vector<size_t> files_;
  std::vector<uint64_t> cuts_;
  size_t volume_ = 0;
  uint64_t position_ = 0;
};

uint16_t CabAttributes(uint32_t attributes) { return static_cast<uint16_t>(attributes & kPackageFileAttributes); }

// Copies `length` bytes of `in` into the stream, ticking the bar.
void CopyInto(StreamWriter& w, FILE* in, uint64_t length, const std::string& what, ProgressBar* bar,
              uint64_t& done) {
  std::vector<char> buffer(1 << 20);
  while (length > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(length, buffer.size()));
    size_t got = fread(buffer.data(), 1, want, in);
    if (got != want) throw std::runtime_error(what + " changed or could not be read while packing");
    w.Write(buffer.data(), got);
    length -= got;
    done += got;
    if (bar) bar->Update(done);
  }
}

}  // namespace

ResourcePlan PlanResources(const Project& project) {
  ResourcePlan plan;
  std::map<int, std::string> files(project.pictures.begin(), project.pictures.end());
  const size_t languages = project.languages.size();
  // Numbers the runtime cleans up again: 15 and 16, 20..20+L and 50..50+L.
  using namespace work_files;
  std::vector<int> pool;
  for (size_t n = kLanguageFiles; n <= kLanguageFiles + languages && n <= 255; ++n) pool.push_back(static_cast<int>(n));
  for (size_t n = kMoreLanguageFiles; n <= kMoreLanguageFiles + languages && n <= 255; ++n)
    if (n > kLanguageFiles + languages) pool.push_back(static_cast<int>(n));
  size_t next = 0;
  std::map<std::string, int> stored;  // content -> number
  auto place = [&](const std::string& content, int preferred) {
    auto it = stored.find(content);
    if (it != stored.end()) return it->second;
    int number = preferred;
    if (number < 0 || files.count(number)) {
      if (next >= pool.size())
        throw std::runtime_error("too many different licence and readme texts for the file numbers of " +
                                 std::to_string(languages) + " languages");
      number = pool[next++];
    }
    files[number] = content;
    stored[content] = number;
    return number;
  };
  // A language without its own text shows the first language's that has one.
  const std::string* firstLicence = nullptr;
  const std::string* firstReadme = nullptr;
  for (const LanguageDef& l : project.languages) {
    if (!firstLicence && l.licence) firstLicence = &*l.licence;
    if (!firstReadme && l.readme) firstReadme = &*l.readme;
  }
  bool licenceUsed = false, readmeUsed = false;
  for (const LanguageDef& l : project.languages) {
    int licence = -1, readme = -1;
    const std::string* lt = l.licence ? &*l.licence : firstLicence;
    const std::string* rt = l.readme ? &*l.readme : firstReadme;
    if (lt) {
      if (!l.licence) plan.warnings.push_back("language \"" + l.name + "\" has no licence; it shows the first one");
      licence = place(*lt, licenceUsed ? -1 : kLicence);
      licenceUsed = true;
    }
    if (rt) {
      if (!l.readme) plan.warnings.push_back("language \"" + l.name + "\" has no readme; it shows the first one");
      readme = place(*rt, readmeUsed ? -1 : kReadme);
      readmeUsed = true;
    }
    plan.languageDocuments.emplace_back(licence, readme);
  }
  for (auto& [n, c] : files) plan.files.push_back({n, c});
  return plan;
}

std::string DiskSpaceText(uint64_t bytes) {
  const uint64_t kb = 1024, mb = kb * 1024, gb = mb * 1024;
  char text[40];
  if (bytes < mb)
    std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + kb - 1) / kb));
  else if (bytes < gb)
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / mb);
  else
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / gb);
  return text;
}

int64_t ProgressMaximum(const SetupScript& s, uint64_t fileBytes) {
  auto count = [&](ListKind k) -> uint64_t {
    int64_t n = s.AnnouncedCount(k);
    return n > 0 ? static_cast<uint64_t>(n) : 0;
  };
  uint64_t units = count(ListKind::Folders) + count(ListKind::RegistryEntries) + count(ListKind::Fonts) +
                   count(ListKind::Shortcuts) + count(ListKind::IniEntries);
  if (s.HeaderFlag(field::kComCount)) {
    int64_t com = s.HeaderInt(field::kComCount);
    if (com > 0) units += static_cast<uint64_t>(com);
  }
  if (s.HeaderFlag(field::kWriteUninstallRecord)) units += 1;
  const ScriptList& commands = s.List(ListKind::Commands);
  int64_t install = s.HeaderInt(field::kInstallCommandCount);
  for (int64_t r = 0; r < install && static_cast<size_t>(r) < commands.Count(); ++r) {
    int32_t phase = commands.FieldInt(r, command_entry::kPhase);
    if (phase == 0 || phase == 1) ++units;
  }
  uint64_t total = fileBytes + units * 10240;
  uint64_t q = total / 1024, r = total % 1024;
  if (r > 512 || (r == 512 && (q & 1))) ++q;
  return static_cast<int64_t>(q);
}

SetupScript ComposeScript(const Project& project, const ResourcePlan& resources, const PayloadFacts& payload) {
  SetupScript s;
  s.header = project.header;
  size_t last = project.headerLastIndex ? static_cast<size_t>(*project.headerLastIndex)
                                        : std::max<size_t>(field::kHeaderFieldCount, project.header.size()) - 1;
  s.header.resize(last + 1, "0");
  auto derived = [&](int n, const std::string& value) {
    if (!project.explicitFields.count(n) && static_cast<size_t>(n) <= last) s.header[n] = value;
  };
  uint64_t bytes = 0;
  for (const PayloadFile& f : project.files) bytes += f.size;
  // Lists.
  for (int k = 0; k < kListKindCount; ++k) {
    ListKind kind = static_cast<ListKind>(k);
    ScriptList& list = s.List(kind);
    std::vector<std::vector<std::string>> records = project.records[k];
    if (kind == ListKind::Files && !project.verbatim[k]) {
      records.clear();
      for (const PayloadFile& f : project.files)
        records.push_back(MakeRecord(kind, {{file_record::kDestination, f.destination},
                                            {file_record::kOverwrite, Decimal(static_cast<uint64_t>(f.overwrite))},
                                            {file_record::kUninstall, f.uninstall ? "1" : "0"}}));
    }
    if (kind == ListKind::Languages && !project.verbatim[k]) {
      records.clear();
      for (size_t i = 0; i < project.languages.size(); ++i) {
        const LanguageDef& l = project.languages[i];
        auto [licence, readme] = resources.languageDocuments[i];
        records.push_back(
            MakeRecord(kind, {{language_record::kName, l.name},
                              {language_record::kLanguageId, Decimal(static_cast<uint64_t>(l.langId))},
                              {language_record::kLicenceFile, licence < 0 ? "" : Decimal(static_cast<uint64_t>(licence))},
                              {language_record::kReadmeFile, readme < 0 ? "" : Decimal(static_cast<uint64_t>(readme))}}));
      }
    }
    // The registration's EstimatedSize counts what is packed, signed
    // copies included.
    if (kind == ListKind::RegistryEntries && !project.verbatim[k] && project.estimatedSizeRecord >= 0 &&
        static_cast<size_t>(project.estimatedSizeRecord) < records.size())
      records[project.estimatedSizeRecord][registry_entry::kData] = Decimal(EstimatedSizeKiB(bytes));
    for (auto& r : records)
      for (auto& t : r) list.texts.push_back(t);
    const ListShape& shape = ShapeOf(kind);
    std::string count = Decimal(static_cast<uint64_t>(records.size()));
    if (kind == ListKind::Commands) {
      if (project.verbatim[k]) {
        derived(field::kInstallCommandCount, count);
        derived(field::kUninstallCommandCount, "0");
      }
      continue;
    }
    derived(shape.countField, count);
  }
  derived(field::kDiskSpaceNeeded, Decimal(bytes));
  // Language strings.
  if (project.verbatimLanguageStrings) {
    for (auto& t : *project.verbatimLanguageStrings) s.languageStrings.push_back(t);
  } else {
    for (const LanguageDef& l : project.languages)
      for (size_t i = 0; i < l.strings.size(); ++i)
        s.languageStrings.push_back(i == 2 && l.builtinFolderText ? l.strings[i] + " " + DiskSpaceText(bytes)
                                                                  : l.strings[i]);
  }
  derived(field::kTextsPerLanguage, Decimal(static_cast<uint64_t>(kLanguageStringCount)));
  if (payload.parts > 0) {
    derived(field::kPartLength, Decimal(payload.partLength));
    derived(field::kLastPartNumber, Decimal(static_cast<uint64_t>(payload.parts - 1)));
    derived(field::kLastPartLength, Decimal(payload.lastPartLength));
  } else {
    derived(field::kPartLength, "0");
    derived(field::kLastPartNumber, "0");
    derived(field::kLastPartLength, "0");
  }
  derived(field::kProgressMaximum, DecimalText(ProgressMaximum(s, bytes)));
  return s;
}

namespace {

std::string VolumePath(const fs::path& dir, const std::string& nameTemplate, unsigned n, bool sameNames) {
  std::string name = VolumeFileName(nameTemplate, n);
  if (sameNames) return (dir / ("disk" + std::to_string(n)) / name).string();
  return (dir / name).string();
}

}  // namespace

namespace {

// The first bytes of a file, or fewer.
std::string Head(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(&bytes[0], static_cast<std::streamsize>(n));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// A file ByteSource for FindPackageEnd.
class HeadSource : public ByteSource {
 public:
  explicit HeadSource(const std::string& path) : in_(path, std::ios::binary) {
    in_.seekg(0, std::ios::end);
    size_ = static_cast<uint64_t>(in_.tellg());
  }
  uint64_t Size() override { return size_; }
  bool Seek(uint64_t position) override {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(position));
    return static_cast<bool>(in_);
  }
  size_t Read(void* to, size_t n) override {
    in_.read(static_cast<char*>(to), static_cast<std::streamsize>(n));
    return static_cast<size_t>(in_.gcount());
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

// Whether the file is a PE image ("MZ", and "PE\0\0" where the DOS header
// points), whatever its name.
bool IsPeImage(const std::string& path) {
  std::string head = Head(path, 64);
  if (head.size() < 64 || head[0] != 'M' || head[1] != 'Z') return false;
  uint64_t at = LoadLE(reinterpret_cast<const uint8_t*>(head.data()) + 0x3C, 4);
  HeadSource source(path);
  char signature[4] = {};
  return source.Seek(at) && source.Read(signature, 4) == 4 && std::memcmp(signature, "PE\0\0", 4) == 0;
}

bool IsSignedImage(const std::string& path) {
  HeadSource source(path);
  PackageExtent extent;
  return FindPackageEnd(source, extent) == TrailerStatus::Ok && extent.IsSigned();
}

// A folder for the signed copies of payload files, removed with everything
// in it however the build ends.
struct StagingFolder {
  std::string path;
  StagingFolder() {
    std::string pattern = (fs::temp_directory_path() / "pvx-staging-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) throw std::runtime_error("cannot make a staging folder: " + std::string(strerror(errno)));
    path = pattern;
  }
  ~StagingFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

BuildResult BuildStaged(const Project& project, const BuildOptions& options);

}  // namespace

// With sign_files, every PE image of the payload is signed in a staging
// copy first: the publisher's files are never touched. The companion
// uninstaller is left unsigned: the installation appends its record's
// trailer to it, which would break any signature.
BuildResult BuildPackage(const Project& project, const BuildOptions& options) {
  if (!options.signing.Enabled() || !options.signing.signFiles) return BuildStaged(project, options);
  StagingFolder staging;
  Project staged = project;
  for (size_t i = 0; i < staged.files.size(); ++i) {
    PayloadFile& f = staged.files[i];
    if (f.origin == "uninstall.uninstaller" || !IsPeImage(f.sourcePath)) continue;
    if (IsSignedImage(f.sourcePath) && !options.signing.resignFiles) continue;
    std::string copy = staging.path + "/" + std::to_string(i) + fs::path(f.sourcePath).extension().string();
    try {
      SignFile(options.signing, f.sourcePath, copy, options.signingTime);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error("cannot sign " + f.sourcePath + " (" + f.origin + "): " +
                               std::string(e.what()).substr(std::string("signing: ").size()));
    }
    std::error_code ec;
    f.size = fs::file_size(copy, ec);
    if (ec) throw std::runtime_error("cannot read the signed copy of " + f.sourcePath);
    f.sourcePath = copy;
  }
  return BuildStaged(staged, options);
}

namespace {

BuildResult BuildStaged(const Project& project, const BuildOptions& options) {
  BuildResult result;
  const bool cabinet = project.form == StorageForm::Cabinet;
  const std::string runtime = ReadWholeFile(options.runtime, "runtime");
  if (runtime.empty()) throw std::runtime_error("the runtime " + options.runtime + " is empty");

  // Resources.
  ResourcePlan resources = PlanResources(project);
  for (auto& w : resources.warnings) result.warnings.push_back(w);
  if (resources.files.size() > 255) throw std::runtime_error("more than 255 resource files");
  std::string resourceArea;
  CabWriteOptions cabOptions;
  switch (project.compression) {
    case Compression::None: cabOptions.compression = CabCompression::None; break;
    case Compression::MSZip: cabOptions.compression = CabCompression::MSZip; break;
    case Compression::Lzx: cabOptions.compression = CabCompression::Lzx; break;
  }
  cabOptions.mszipLevel = project.compressionLevel;
  cabOptions.lzxWindowBits = static_cast<unsigned>(project.lzxWindowBits);
  cabOptions.solid = project.solid;
  if (cabinet) {
    std::vector<CabMember> members;
    for (const Resource& r : resources.files) {
      CabMember m;
      m.name = ResourceName(r.number);
      m.content = r.content;
      members.push_back(m);
    }
    std::string cab;
    std::string err = WriteSingleCabinetToMemory(members, cabOptions, cab);
    if (!err.empty()) throw std::runtime_error("resource cabinet: " + err);
    if (cab.compare(0, 4, "MSCF") != 0) throw std::runtime_error("resource cabinet: no signature");
    resourceArea = cab.substr(4);
  } else {
    for (const Resource& r : resources.files) {
      resourceArea += EncodeStoredResourceHead(ResourceName(r.number), r.content.size());
      resourceArea += r.content;
    }
  }

  // Payload. Cabinet parts go to a spill file first: the script, which
  // comes before them, holds their lengths.
  const bool bar = options.showProgress;
  std::unique_ptr<SpillSink> spill;
  PayloadFacts facts;
  uint64_t payloadLength = 0;
  std::vector<StoredRecordSpan> spans;  // stream offsets filled in later
  uint64_t inputBytes = 0;
  for (const PayloadFile& f : project.files) inputBytes += f.size;
  if (cabinet && !project.files.empty()) {
    std::vector<CabMember> members;
    uLong setId = crc32(0L, Z_NULL, 0);
    for (size_t i = 0; i < project.files.size(); ++i) {
      const PayloadFile& f = project.files[i];
      CabMember m;
      m.name = std::to_string(i);
      m.sourcePath = f.sourcePath;
      m.attributes = CabAttributes(f.attributes);
      // DOS times are local times of the target machine.
      DosDateTimeFromUnix(f.mtime + int64_t(project.utcOffsetMinutes) * 60, true, m.dosDate, m.dosTime);
      members.push_back(m);
      setId = crc32(setId, reinterpret_cast<const Bytef*>(f.destination.data()), static_cast<uInt>(f.destination.size()));
    }
    spill = std::make_unique<SpillSink>();
    CabWriteOptions po = cabOptions;
    po.partStoredLength = project.partSize;
    po.partName = [](unsigned k) { return work_files::kPartPrefix + std::to_string(k) + work_files::kSuffix; };
    po.setId = static_cast<uint16_t>(setId);
    po.omitSignature = true;
    ProgressBar compressing(bar, "Compressing", inputBytes);
    po.progress = [&](uint64_t done, uint64_t) { compressing.Update(done); };
    CabWriteSummary summary;
    std::string err = WriteCabinets(members, po, *spill, &summary);
    compressing.Finish();
    if (!err.empty()) throw std::runtime_error("payload cabinet: " + err);
    if (fflush(spill->file()) != 0) throw std::runtime_error("cannot write the temporary payload file");
    const std::vector<uint64_t>& lengths = spill->lengths;
    if (lengths.empty()) throw std::runtime_error("payload cabinet: no part was written");
    facts.parts = static_cast<unsigned>(lengths.size());
    facts.lastPartLength = lengths.back();
    facts.partLength = lengths.size() > 1 ? lengths[0] : lengths[0];
    for (size_t k = 0; k + 1 < lengths.size(); ++k)
      if (lengths[k] != lengths[0])
        throw std::runtime_error("payload cabinet: part " + std::to_string(k) + " is " +
                                 std::to_string(lengths[k]) + " bytes, not " + std::to_string(lengths[0]));
    for (uint64_t l : lengths) payloadLength += l;
  } else if (!cabinet) {
    for (const PayloadFile& f : project.files) payloadLength += kStoredFileHeaderSize + f.size;
  }

  // Script and offsets.
  result.script = ComposeScript(project, resources, facts);
  const std::string script = EncodeScript(result.script);
  PackageTrailer& t = result.trailer;
  t.scriptOffset = static_cast<int64_t>(runtime.size());
  t.resourceOffset = t.scriptOffset + static_cast<int64_t>(script.size());
  t.resourceLength = static_cast<int64_t>(resourceArea.size());
  t.payloadOffset = t.resourceOffset + t.resourceLength;
  t.form = cabinet ? 1 : 0;
  t.resourceCount = static_cast<uint8_t>(resources.files.size());
  t.headerLastIndex = static_cast<uint8_t>(result.script.header.size() - 1);
  if (t.payloadOffset > kMaxPackageOffset)
    throw std::runtime_error("the runtime, script and resources take " + std::to_string(t.payloadOffset) +
                             " bytes; the runtime addresses at most 2 GiB");
  const uint64_t streamLength = static_cast<uint64_t>(t.payloadOffset) + payloadLength;
  if (!cabinet) {
    uint64_t at = static_cast<uint64_t>(t.payloadOffset);
    for (const PayloadFile& f : project.files) {
      spans.push_back({at + kStoredFileHeaderSize, f.size});
      at += kStoredFileHeaderSize + f.size;
    }
  }
  VolumePlan plan = PlanVolumes(streamLength, static_cast<uint64_t>(t.payloadOffset), project.volumeSize, cabinet, spans);
  for (auto& w : plan.warnings) result.warnings.push_back(w);
  const uint64_t firstVolumeData = plan.cuts.empty() ? streamLength : plan.cuts[0];
  if (firstVolumeData + kTrailerSize > static_cast<uint64_t>(kMaxPackageOffset))
    throw std::runtime_error("the setup executable would be " + std::to_string(firstVolumeData + kTrailerSize) +
                             " bytes; the runtime addresses at most 2 GiB of it: set package.volume_size");
  if (cabinet && facts.parts > 1) {
    // Parts that start in volume 1 are found by seeking there.
    for (unsigned k = 0; k < facts.parts; ++k) {
      uint64_t start = static_cast<uint64_t>(t.payloadOffset) + k * facts.partLength;
      if (start >= firstVolumeData) break;
      if (start > static_cast<uint64_t>(kMaxPackageOffset))
        throw std::runtime_error("cabinet part " + std::to_string(k) + " would start beyond 2 GiB");
    }
  }

  // Files.
  fs::path outPath(options.output);
  fs::path dir = outPath.parent_path();
  if (dir.empty()) dir = ".";
  const std::string& nameTemplate = result.script.HeaderText(field::kVolumeNameTemplate);
  const bool sameNames = nameTemplate.find(kVolumeNumberToken) == std::string::npos && plan.cuts.size() > 1;
  if (sameNames)
    result.warnings.push_back("the volume name has no \"@$&%19\": volumes 2 and later are written to "
                              "folders disk2, disk3, ... beside the setup executable");
  OutputFiles out;
  std::vector<size_t> handles;
  std::set<std::string> seen;
  handles.push_back(out.Create(options.output));
  seen.insert(fs::weakly_canonical(options.output).string());
  result.volumes.push_back({options.output, 0, firstVolumeData});
  for (size_t v = 0; v < plan.cuts.size(); ++v) {
    std::string path = VolumePath(dir, nameTemplate, static_cast<unsigned>(v + 2), sameNames);
    if (nameTemplate.empty() || nameTemplate.find_first_of("/\\:") != std::string::npos)
      throw std::runtime_error("the volume name template \"" + nameTemplate + "\" is not a plain file name");
    if (!seen.insert(fs::weakly_canonical(path).string()).second)
      throw std::runtime_error("volume " + std::to_string(v + 2) + " would overwrite " + path);
    handles.push_back(out.Create(path));
    uint64_t end = v + 1 < plan.cuts.size() ? plan.cuts[v + 1] : streamLength;
    result.volumes.push_back({path, plan.cuts[v], end - plan.cuts[v]});
  }
  StreamWriter w(out, handles, plan.cuts);
  w.Write(runtime);
  w.Write(script);
  w.Write(resourceArea);
  ProgressBar writing(bar, "Writing", payloadLength);
  uint64_t done = 0;
  if (cabinet && spill) {
    rewind(spill->file());
    CopyInto(w, spill->file(), payloadLength, "the temporary payload file", &writing, done);
  } else if (!cabinet) {
    for (size_t i = 0; i < project.files.size(); ++i) {
      const PayloadFile& f = project.files[i];
      StoredFileHeader h;
      h.index = static_cast<int32_t>(i);
      h.size = static_cast<int64_t>(f.size);
      h.time = FileTimeFromUnix(f.mtime, f.mtimeNanos / 100 * 100);
      h.attributes = f.attributes ? f.attributes : 0x80;
      uint8_t head[kStoredFileHeaderSize];
      EncodeStoredFileHeader(h, head);
      w.Write(head, sizeof head);
      FilePtr in(fopen(f.sourcePath.c_str(), "rb"));
      if (!in) throw std::runtime_error("cannot open " + f.sourcePath + ": " + strerror(errno));
      CopyInto(w, in.get(), f.size, f.sourcePath, &writing, done);
      if (fgetc(in.get()) != EOF) throw std::runtime_error(f.sourcePath + " changed while packing");
    }
  }
  writing.Finish();
  if (w.position() != streamLength) throw std::runtime_error("internal: the package stream has the wrong length");
  uint8_t trailer[kTrailerSize];
  EncodeTrailer(t, trailer);
  if (fwrite(trailer, 1, kTrailerSize, out.File(handles[0])) != kTrailerSize)
    throw std::runtime_error("cannot write " + options.output);
  // Signed before it is renamed into place: a failed signing leaves no
  // setup behind, signed or not.
  if (options.signing.Enabled()) {
    out.Replace(handles[0], [&](const std::string& unsigned_, const std::string& signed_) {
      try {
        SignFile(options.signing, unsigned_, signed_, options.signingTime);
      } catch (const std::runtime_error& e) {
        throw std::runtime_error("cannot sign " + options.output + ": " +
                                 std::string(e.what()).substr(std::string("signing: ").size()));
      }
    });
  }
  if (options.companion) {
    if (FILE* setup = out.File(handles[0])) fflush(setup);  // unsigned: still open
    const std::string content = options.companion(out.TempPath(handles[0]));
    size_t companion = out.Create(options.companionPath);
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fileno(out.File(companion)), 0644 & ~mask);  // a text, not a program
    if (fwrite(content.data(), 1, content.size(), out.File(companion)) != content.size() ||
        fflush(out.File(companion)) != 0)
      throw std::runtime_error("cannot write " + options.companionPath + ": " + strerror(errno));
  }
  out.Commit();
  result.payloadParts = facts.parts;
  result.payloadLength = payloadLength;
  return result;
}

}  // namespace

}  // namespace pvx::tool
