// Writes Microsoft Cabinet files (MSCF 1.3), stored, MSZIP or LZX: one
// cabinet, or a set of cabinets of an exact part length that the system's
// FDI and libmspack both extract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tool/lzx_encoder.h"

namespace pvx {

enum class CabCompression { None, MSZip, Lzx };

// FAT attribute bits as stored in a CFFILE entry.
enum : uint16_t {
  kCabAttrReadOnly = 0x01,
  kCabAttrHidden = 0x02,
  kCabAttrSystem = 0x04,
  kCabAttrArchive = 0x20,
  kCabAttrExecute = 0x40,
  kCabAttrUtf8Name = 0x80,  // set it when the name holds UTF-8 beyond ASCII
};

struct CabMember {
  std::string name;         // stored as given, e.g. "0" or "$inst\\4.tmp"; 1..255 bytes
  std::string sourcePath;   // read from here unless `content` is set
  std::optional<std::string> content;
  uint16_t attributes = kCabAttrArchive;  // stored as given
  uint16_t dosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
  uint16_t dosTime = 0;
};

// Receives the cabinets in order: part 0 completely, EndPart(0), part 1, ...
// Each part starts with the 4-byte "MSCF" signature unless
// CabWriteOptions::omitSignature is set. Returning false aborts the write.
struct CabSink {
  virtual ~CabSink() = default;
  virtual bool Write(unsigned part, const void* data, size_t n) = 0;
  virtual bool EndPart(unsigned part) = 0;
};

// Smallest partStoredLength accepted; each part must in addition have room
// for its headers and at least kCabMinPartPayload bytes of entries and data.
constexpr uint64_t kCabMinPartStoredLength = 1024;
constexpr uint64_t kCabMinPartPayload = 256;

struct CabWriteOptions {
  CabCompression compression = CabCompression::MSZip;
  int mszipLevel = 6;  // zlib level 1..9
  unsigned lzxWindowBits = 21;  // 15..21
  LzxCallTranslation lzxCallTranslation = LzxCallTranslation::Auto;
  unsigned lzxPasses = 1;  // LzxOptions::passes

  // LZX only. Solid: the members share as few folders as lzxSolidFolders
  // allows (fewer for small payloads), each compressed on its own thread.
  // Not solid: one folder per member with data. The count never depends on
  // the machine, so the output does not either.
  bool solid = true;
  unsigned lzxSolidFolders = 2;

  // 0: one cabinet. Otherwise a set in which every cabinet but the last is
  // exactly partStoredLength + 4 bytes long (the last may be shorter). Each
  // part lists the members that begin in it and those continued into it.
  uint64_t partStoredLength = 0;
  std::function<std::string(unsigned index)> partName;  // needed for sets
  uint16_t setId = 0;

  unsigned threads = 0;       // compression threads; 0 = up to 2 as the machine allows
  bool omitSignature = false; // hand each part to the sink without "MSCF"
  std::function<void(uint64_t doneBytes, uint64_t totalBytes)> progress;
};

struct CabWriteSummary {
  unsigned parts = 0;
  std::vector<uint64_t> cabinetLengths;  // per part, including the signature
  uint64_t bytesWritten = 0;             // total handed to the sink
  uint64_t inputBytes = 0;
  uint64_t dataBlocks = 0;               // CFDATA blocks before splitting
};

// Returns an empty string on success, otherwise what went wrong and with
// which file. Output is byte-identical for identical inputs and options,
// whatever the thread count.
std::string WriteCabinets(const std::vector<CabMember>& members, const CabWriteOptions& options,
                          CabSink& sink, CabWriteSummary* summary = nullptr);

// One cabinet into `out`; partStoredLength and partName are ignored.
std::string WriteSingleCabinetToMemory(const std::vector<CabMember>& members,
                                       const CabWriteOptions& options, std::string& out);

// DOS date/time (2-second resolution). utc=false interprets the instant in
// the local time zone. Before 1980 clamps to 1980-01-01 00:00:00, after 2107
// to 2107-12-31 23:59:58.
void DosDateTimeFromUnix(int64_t unixSeconds, bool utc, uint16_t& date, uint16_t& time);

// The CFDATA checksum algorithm (XOR of little-endian 32-bit words, tail
// bytes folded high to low), seeded with `seed`.
uint32_t CabChecksum(const void* data, size_t n, uint32_t seed);

// Writes part k to pathFor(k). The file is created or truncated.
class FileCabSink : public CabSink {
 public:
  explicit FileCabSink(std::function<std::string(unsigned)> pathFor);
  ~FileCabSink() override;
  bool Write(unsigned part, const void* data, size_t n) override;
  bool EndPart(unsigned part) override;
  const std::string& error() const { return error_; }

 private:
  std::function<std::string(unsigned)> pathFor_;
  void* file_ = nullptr;  // FILE*
  unsigned part_ = 0;
  std::string error_;
};

// Collects every part in memory (tests, small cabinets).
class MemoryCabSink : public CabSink {
 public:
  bool Write(unsigned part, const void* data, size_t n) override;
  bool EndPart(unsigned part) override;
  std::vector<std::string> parts;
  unsigned ended = 0;
};

}  // namespace pvx
