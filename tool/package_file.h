// Reading a setup package from outside (inspect, extract): the trailer,
// the script, the data stream across volumes, and the members of both
// areas in either form. Packages are untrusted: every length and count is
// checked against the bytes that are really there.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/script.h"
#include "format/trailer.h"
#include "tool/cab_reader.h"

namespace pvx::tool {

// Damaged or unreadable input.
class PackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PackageVolume {
  unsigned number = 1;
  std::string path;
  uint64_t fileSize = 0;
  uint64_t streamOffset = 0;  // where its data begins in the stream
  uint64_t dataLength = 0;    // volume 1: file size - 36
};

struct ResourceMember {
  std::string name;  // as stored
  uint64_t size = 0;
  uint64_t offset = 0;  // stored form: file offset of the content in volume 1
  std::string compression;
};

struct PayloadMember {
  std::string name;     // cabinet member name, or the stored record's index in decimal
  int64_t index = -1;   // file-list index the member names, -1 if none
  uint64_t size = 0;
  // Cabinet form.
  uint16_t dosDate = 0, dosTime = 0;
  std::string compression;
  // Stored form.
  uint64_t fileTime = 0;
  uint64_t streamOffset = 0;  // of the content
  uint32_t attributes = 0;
};

struct PayloadPart {
  unsigned number = 0;
  uint64_t streamOffset = 0;
  uint64_t length = 0;
};

class PackageFile {
 public:
  // Reads the trailer and the script. Throws PackageError.
  explicit PackageFile(const std::string& path);
  ~PackageFile();

  const std::string& path() const { return path_; }
  uint64_t fileSize() const { return fileSize_; }
  const PackageTrailer& trailer() const { return trailer_; }
  // Where the package ends and the certificate table of a signed setup.
  const PackageExtent& extent() const { return extent_; }
  const SetupScript& script() const { return script_; }
  uint64_t scriptLength() const { return scriptLength_; }
  // Volumes found so far (more are opened as the payload needs them).
  const std::vector<PackageVolume>& volumes() const { return volumes_; }

  // Resource members; throws PackageError when the area is damaged.
  std::vector<ResourceMember> Resources();
  // Payload parts (cabinet form) and members.
  std::vector<PayloadPart> Parts();
  std::vector<PayloadMember> Payload();

  // Writes resource member `name` / payload member to `dest` files chosen
  // by the callback (empty = skip). Returns the problems met (empty = ok).
  std::string ExtractResources(const std::function<std::string(const std::string& name)>& destinationFor);
  std::string ExtractPayload(const std::function<std::string(const PayloadMember&)>& destinationFor);

  // Reads stream bytes, opening further volumes as needed; fewer at the end.
  size_t ReadStream(uint64_t position, void* out, size_t n);
  // Makes sure the stream reaches `end`; false when a volume is missing.
  bool Reach(uint64_t end);
  // The name the next missing volume would have (for messages).
  std::string MissingVolume() const { return missing_; }

 private:
  std::vector<CabPartSource> CabinetParts();
  bool OpenNextVolume();

  std::string path_;
  uint64_t fileSize_ = 0;
  PackageTrailer trailer_;
  PackageExtent extent_;
  SetupScript script_;
  uint64_t scriptLength_ = 0;
  std::vector<PackageVolume> volumes_;
  std::vector<FILE*> files_;
  std::string missing_;
  bool noMoreVolumes_ = false;
  std::vector<std::string> tempFiles_;
};

}  // namespace pvx::tool
