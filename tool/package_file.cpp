#include "tool/package_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "format/decimal.h"
#include "format/header_fields.h"
#include "format/stored_records.h"
#include "format/volumes.h"

namespace fs = std::filesystem;

namespace pvx::tool {

namespace {

// ByteSource over an open file.
class FileSource : public ByteSource {
 public:
  FileSource(FILE* f, uint64_t size) : f_(f), size_(size) {}
  uint64_t Size() override { return size_; }
  bool Seek(uint64_t position) override {
    position_ = position;
    return fseeko(f_, static_cast<off_t>(position), SEEK_SET) == 0;
  }
  size_t Read(void* destination, size_t n) override {
    if (position_ >= size_) return 0;
    size_t got = fread(destination, 1, n, f_);
    position_ += got;
    return got;
  }

 private:
  FILE* f_;
  uint64_t size_;
  uint64_t position_ = 0;
};

uint64_t SizeOf(FILE* f) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

// The smallest cabinet header: CFHEADER without options.
constexpr uint64_t kMinCabinet = 36;

}  // namespace

PackageFile::PackageFile(const std::string& path) : path_(path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw PackageError("cannot open " + path + ": " + strerror(errno));
  files_.push_back(f);
  // A constructor that throws gets no destructor: the file is closed here.
  struct CloseOnThrow {
    FILE* file;
    ~CloseOnThrow() {
      if (file) fclose(file);
    }
  } guard{f};
  fileSize_ = SizeOf(f);
  FileSource source(f, fileSize_);
  TrailerStatus status = ReadPackageTrailer(source, trailer_, extent_);
  if (status != TrailerStatus::Ok)
    throw PackageError(path + ": not a setup package (" + TrailerStatusText(status) + ")");
  PackageVolume v;
  v.path = path;
  v.fileSize = fileSize_;
  // A signed setup's package ends before its certificate table.
  v.dataLength = extent_.end - kTrailerSize;
  volumes_.push_back(v);
  if (static_cast<uint64_t>(trailer_.scriptOffset) > v.dataLength)
    throw PackageError(path + ": the script offset " + std::to_string(trailer_.scriptOffset) +
                       " lies beyond the package data (" + std::to_string(v.dataLength) + " bytes)");
  // The script is read from the file the way the runtime reads it.
  source.Seek(static_cast<uint64_t>(trailer_.scriptOffset));
  TextReader reader(source);
  LoadScriptHead(reader, trailer_.headerLastIndex, script_);
  LoadScriptLists(reader, script_);
  uint64_t length = 0;
  for (auto& t : script_.header) length += t.size() + 1;
  for (auto& l : script_.lists)
    for (auto& t : l.texts) length += t.size() + 1;
  for (size_t i = 1; i < script_.languageStrings.size(); ++i) length += script_.languageStrings[i].size() + 1;
  scriptLength_ = length;
  guard.file = nullptr;
}

PackageFile::~PackageFile() {
  for (FILE* f : files_)
    if (f) fclose(f);
  for (auto& t : tempFiles_) unlink(t.c_str());
}

bool PackageFile::OpenNextVolume() {
  if (noMoreVolumes_) return false;
  const unsigned n = volumes_.back().number + 1;
  const std::string nameTemplate = script_.HeaderText(field::kVolumeNameTemplate);
  fs::path dir = fs::path(volumes_.back().path).parent_path();
  std::string name = VolumeFileName(nameTemplate, n);
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    missing_ = "volume " + std::to_string(n) + " (the volume name \"" + name + "\" is not a file name)";
    noMoreVolumes_ = true;
    return false;
  }
  // Beside the previous volume (the runtime's rule), else in diskN beside
  // the setup executable, where the tool puts volumes of equal names.
  fs::path first = fs::path(volumes_.front().path).parent_path();
  std::vector<fs::path> candidates = {dir / name, first / ("disk" + std::to_string(n)) / name};
  for (const fs::path& c : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(c, ec)) continue;
    // A template without the token names every volume alike: never take
    // a file that already is a volume.
    bool repeat = false;
    for (auto& v : volumes_)
      if (fs::equivalent(v.path, c, ec)) repeat = true;
    if (repeat) continue;
    FILE* f = fopen(c.c_str(), "rb");
    if (!f) continue;
    PackageVolume v;
    v.number = n;
    v.path = c.string();
    v.fileSize = SizeOf(f);
    v.dataLength = v.fileSize;
    v.streamOffset = volumes_.back().streamOffset + volumes_.back().dataLength;
    files_.push_back(f);
    volumes_.push_back(v);
    return true;
  }
  missing_ = "volume " + std::to_string(n) + " (" + (dir / name).string() + ")";
  noMoreVolumes_ = true;
  return false;
}

bool PackageFile::Reach(uint64_t end) {
  while (volumes_.back().streamOffset + volumes_.back().dataLength < end)
    if (!OpenNextVolume()) return false;
  return true;
}

size_t PackageFile::ReadStream(uint64_t position, void* out, size_t n) {
  size_t done = 0;
  char* p = static_cast<char*>(out);
  while (done < n) {
    uint64_t at = position + done;
    if (!Reach(at + 1)) break;
    size_t v = 0;
    while (v + 1 < volumes_.size() && volumes_[v + 1].streamOffset <= at) ++v;
    const PackageVolume& vol = volumes_[v];
    uint64_t inFile = at - vol.streamOffset;
    uint64_t left = vol.dataLength - inFile;
    size_t take = static_cast<size_t>(std::min<uint64_t>(left, n - done));
    if (take == 0) break;
    if (fseeko(files_[v], static_cast<off_t>(inFile), SEEK_SET) != 0) break;
    size_t got = fread(p + done, 1, take, files_[v]);
    done += got;
    if (got != take) break;
  }
  return done;
}

std::vector<ResourceMember> PackageFile::Resources() {
  std::vector<ResourceMember> out;
  const uint64_t start = static_cast<uint64_t>(trailer_.resourceOffset);
  const uint64_t dataEnd = volumes_[0].dataLength;
  if (start > dataEnd) throw PackageError("the resource offset lies beyond the package data");
  if (trailer_.IsCabinetForm()) {
    if (static_cast<uint64_t>(trailer_.resourceLength) > dataEnd - start)
      throw PackageError("the resource cabinet (" + std::to_string(trailer_.resourceLength) +
                         " bytes) runs past the package data");
    CabPartSource part{path_, start, static_cast<uint64_t>(trailer_.resourceLength), true};
    std::vector<CabMemberInfo> members;
    std::string err = ListCabinetSet({part}, members);
    if (!err.empty()) throw PackageError("resource cabinet: " + err);
    for (auto& m : members) out.push_back({m.name, m.size, 0, m.compression});
    return out;
  }
  // Stored form: name, length text, content; never beyond volume 1.
  FILE* f = files_[0];
  uint64_t at = start;
  auto readText = [&](std::string& text, const char* what) {
    text.clear();
    if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0) throw PackageError("cannot read the resource area");
    while (true) {
      if (at >= dataEnd) throw PackageError(std::string("the resource area ends inside a ") + what);
      int c = fgetc(f);
      if (c == EOF) throw PackageError(std::string("the resource area ends inside a ") + what);
      ++at;
      if (c == 0) return;
      if (text.size() >= 4096) throw PackageError(std::string("a resource ") + what + " is too long");
      text += static_cast<char>(c);
    }
  };
  for (unsigned i = 0; i < trailer_.resourceCount; ++i) {
    ResourceMember m;
    std::string lengthText;
    readText(m.name, "name");
    readText(lengthText, "length");
    m.size = StoredResourceLength(lengthText);
    m.offset = at;
    if (m.size > dataEnd - at)
      throw PackageError("resource \"" + m.name + "\" claims " + std::to_string(m.size) + " bytes; only " +
                         std::to_string(dataEnd - at) + " follow");
    at += m.size;
    m.compression = "stored";
    out.push_back(m);
  }
  return out;
}

std::vector<PayloadPart> PackageFile::Parts() {
  std::vector<PayloadPart> parts;
  if (!trailer_.IsCabinetForm()) return parts;
  const int64_t last = script_.HeaderInt(field::kLastPartNumber);
  const int64_t stride = script_.HeaderInt(field::kPartLength);
  const int64_t lastLength = script_.HeaderInt(field::kLastPartLength);
  if (last == 0 && lastLength == 0) return parts;  // no payload
  if (last < 0 || lastLength <= 0 || (last > 0 && stride <= 0))
    throw PackageError("the payload part fields are damaged (117 = " + std::to_string(last) + ", 95 = " +
                       std::to_string(stride) + ", 118 = " + std::to_string(lastLength) + ")");
  if (last > 0 && static_cast<uint64_t>(stride) < kMinCabinet)
    throw PackageError("payload parts of " + std::to_string(stride) + " bytes cannot hold a cabinet");
  const uint64_t begin = static_cast<uint64_t>(trailer_.payloadOffset);
  const uint64_t end = begin + static_cast<uint64_t>(last) * static_cast<uint64_t>(stride) +
                       static_cast<uint64_t>(lastLength);
  if (!Reach(end))
    throw PackageError("the payload needs " + std::to_string(end - begin) + " bytes but the package data ends early; " +
                       "missing " + missing_);
  for (int64_t k = 0; k <= last; ++k)
    parts.push_back({static_cast<unsigned>(k), begin + static_cast<uint64_t>(k * stride),
                     static_cast<uint64_t>(k == last ? lastLength : stride)});
  return parts;
}

std::vector<CabPartSource> PackageFile::CabinetParts() {
  std::vector<CabPartSource> out;
  for (const PayloadPart& p : Parts()) {
    size_t v = 0;
    while (v + 1 < volumes_.size() && volumes_[v + 1].streamOffset <= p.streamOffset) ++v;
    const PackageVolume& vol = volumes_[v];
    if (p.streamOffset + p.length <= vol.streamOffset + vol.dataLength) {
      out.push_back({vol.path, p.streamOffset - vol.streamOffset, p.length, true});
      continue;
    }
    // A part that crosses into the next volume is joined in a temporary file.
    char name[] = "/tmp/parvolex-part-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw PackageError(std::string("cannot create a temporary file: ") + strerror(errno));
    tempFiles_.push_back(name);
    FILE* t = fdopen(fd, "wb");
    std::vector<char> buffer(1 << 20);
    uint64_t left = p.length, at = p.streamOffset;
    while (left > 0) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
      size_t got = ReadStream(at, buffer.data(), want);
      if (got != want || fwrite(buffer.data(), 1, got, t) != got) {
        fclose(t);
        throw PackageError("cannot read payload part " + std::to_string(p.number));
      }
      left -= got;
      at += got;
    }
    if (fclose(t) != 0) throw PackageError("cannot write a temporary file");
    out.push_back({name, 0, p.length, true});
  }
  return out;
}

namespace {

int64_t IndexOfName(const std::string& name) {
  if (name.empty() || name.size() > 10 || name.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(name);
}

}  // namespace

std::vector<PayloadMember> PackageFile::Payload() {
  std::vector<PayloadMember> out;
  if (trailer_.IsCabinetForm()) {
    std::vector<CabPartSource> parts = CabinetParts();
    if (parts.empty()) return out;
    std::vector<CabMemberInfo> members;
    std::string err = ListCabinetSet(parts, members);
    if (!err.empty()) throw PackageError("payload cabinet: " + err);
    for (auto& m : members) {
      PayloadMember p;
      p.name = m.name;
      p.index = IndexOfName(m.name);
      p.size = m.size;
      p.dosDate = m.dosDate;
      p.dosTime = m.dosTime;
      p.attributes = m.attributes;
      p.compression = m.compression;
      out.push_back(p);
    }
    return out;
  }
  const int64_t count = script_.HeaderInt(field::kFileCount);
  uint64_t at = static_cast<uint64_t>(trailer_.payloadOffset);
  for (int64_t i = 0; i < count; ++i) {
    uint8_t head[kStoredFileHeaderSize];
    if (ReadStream(at, head, sizeof head) != sizeof head)
      throw PackageError("the payload ends after " + std::to_string(i) + " of " + std::to_string(count) +
                         " stored records" + (missing_.empty() ? std::string() : "; missing " + missing_));
    // The runtime reads a record header from one volume only.
    for (size_t v = 1; v < volumes_.size(); ++v)
      if (volumes_[v].streamOffset > at && volumes_[v].streamOffset < at + kStoredFileHeaderSize)
        throw PackageError("stored record " + std::to_string(i) + " has its header split between volumes " +
                           std::to_string(v) + " and " + std::to_string(v + 1));
    StoredFileHeader h = DecodeStoredFileHeader(head);
    at += kStoredFileHeaderSize;
    if (h.size < 0) throw PackageError("stored record " + std::to_string(i) + " has a negative size");
    if (!Reach(at + static_cast<uint64_t>(h.size)))
      throw PackageError("stored record " + std::to_string(i) + " claims " + std::to_string(h.size) +
                         " bytes but the package data ends early" +
                         (missing_.empty() ? std::string() : "; missing " + missing_));
    for (size_t v = 1; v < volumes_.size(); ++v)
      if (volumes_[v].streamOffset == at + static_cast<uint64_t>(h.size) && i + 1 < count)
        throw PackageError("volume " + std::to_string(v) + " ends between stored records " + std::to_string(i) +
                           " and " + std::to_string(i + 1) + "; the runtime cannot go on from there");
    PayloadMember m;
    m.name = DecimalText(static_cast<int64_t>(h.index));
    m.index = h.index;
    m.size = static_cast<uint64_t>(h.size);
    m.fileTime = h.time;
    m.attributes = h.attributes;
    m.streamOffset = at;
    m.compression = "stored";
    out.push_back(m);
    at += static_cast<uint64_t>(h.size);
  }
  return out;
}

std::string PackageFile::ExtractResources(const std::function<std::string(const std::string&)>& destinationFor) {
  if (trailer_.IsCabinetForm()) {
    Resources();  // validates the range
    CabPartSource part{path_, static_cast<uint64_t>(trailer_.resourceOffset),
                       static_cast<uint64_t>(trailer_.resourceLength), true};
    return ExtractCabinetSet({part}, [&](const CabMemberInfo& m) { return destinationFor(m.name); });
  }
  std::string problems;
  for (const ResourceMember& m : Resources()) {
    std::string dest = destinationFor(m.name);
    if (dest.empty()) continue;
    FILE* out = fopen(dest.c_str(), "wb");
    if (!out) {
      problems += "cannot create " + dest + ": " + strerror(errno) + "\n";
      continue;
    }
    std::vector<char> buffer(1 << 16);
    uint64_t left = m.size, at = m.offset;
    bool ok = true;
    while (left > 0 && ok) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
      ok = fseeko(files_[0], static_cast<off_t>(at), SEEK_SET) == 0 && fread(buffer.data(), 1, want, files_[0]) == want &&
           fwrite(buffer.data(), 1, want, out) == want;
      left -= want;
      at += want;
    }
    if (fclose(out) != 0 || !ok) problems += "cannot write " + dest + "\n";
  }
  return problems;
}

std::string PackageFile::ExtractPayload(const std::function<std::string(const PayloadMember&)>& destinationFor) {
  if (trailer_.IsCabinetForm()) {
    std::vector<CabPartSource> parts = CabinetParts();
    if (parts.empty()) return "";
    return ExtractCabinetSet(parts, [&](const CabMemberInfo& m) {
      PayloadMember p;
      p.name = m.name;
      p.index = IndexOfName(m.name);
      p.size = m.size;
      p.dosDate = m.dosDate;
      p.dosTime = m.dosTime;
      p.attributes = m.attributes;
      p.compression = m.compression;
      return destinationFor(p);
    });
  }
  std::string problems;
  for (const PayloadMember& m : Payload()) {
    std::string dest = destinationFor(m);
    if (dest.empty()) continue;
    FILE* out = fopen(dest.c_str(), "wb");
    if (!out) {
      problems += "cannot create " + dest + ": " + strerror(errno) + "\n";
      continue;
    }
    std::vector<char> buffer(1 << 20);
    uint64_t left = m.size, at = m.streamOffset;
    bool ok = true;
    while (left > 0 && ok) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
      ok = ReadStream(at, buffer.data(), want) == want && fwrite(buffer.data(), 1, want, out) == want;
      left -= want;
      at += want;
    }
    if (fclose(out) != 0 || !ok) problems += "cannot write " + dest + "\n";
  }
  return problems;
}

}  // namespace pvx::tool
