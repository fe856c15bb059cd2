// Cabinet layout as written here (all integers little-endian):
//
//   CFHEADER   "MSCF" u32 0, u32 cbCabinet, u32 0, u32 coffFiles, u32 0,
//              u8 3, u8 1, u16 cFolders (1), u16 cFiles, u16 flags,
//              u16 setID, u16 iCabinet
//              [flags & 4: u16 cbCFHeader, u8 cbCFFolder (0), u8 cbCFData (0),
//                          cbCFHeader zero bytes]
//              [flags & 1: szCabinetPrev, szDiskPrev ("")]
//              [flags & 2: szCabinetNext, szDiskNext ("")]
//   CFFOLDER   u32 coffCabStart, u16 cCFData, u16 typeCompress (0 none, 1 MSZIP)
//   CFFILE[]   u32 cbFile, u32 uoffFolderStart, u16 iFolder, u16 date, u16 time,
//              u16 attribs, szName
//   CFDATA[]   u32 csum, u16 cbData, u16 cbUncomp, cbData bytes
//
// iFolder is 0, or 0xFFFD / 0xFFFE / 0xFFFF for a member whose data starts in
// an earlier cabinet / reaches into a later one / both. A CFDATA piece with
// cbUncomp 0 is continued by the first piece of the next cabinet.
//
// Member entries in sets: libmspack (and so cabextract) keeps only the first
// cabinet's entries for a folder continued across cabinets, and accepts each
// following cabinet only if its entries continued from the previous one begin
// with those the first cabinet continues. So part 0 lists every member (those
// wholly in later parts with iFolder 0) and puts the members straddling its
// end last, as the only ones continued; every later part lists those
// straddlers first, continued from the previous part, then the members that
// have data in it, flagged as usual.
//
// Sets: every cabinet but the last must be exactly partStoredLength + 4
// bytes, because the package keeps the parts back to back without their
// signatures and finds part k by multiplication. Every non-last cabinet
// therefore ends inside a data block (readers merge a split folder assuming
// its first and last blocks are the two halves of one), and any bytes the
// split cannot absorb go into the header reserve, which non-last parts always
// carry.
//
// MSZIP: "CK" + a raw deflate stream closed by a final block. A block's
// deflate history is the previous block, so each block is compressed on its
// own with that block as preset dictionary, which lets blocks be compressed
// in parallel. Decoders keep that history in a 32 KiB window restarted at
// every block, so after a block shorter than 32 KiB the history would be
// misaligned: such a successor gets no dictionary.
//
// Everything is compressed into a spill file first, because each header must
// know which members and how many blocks its part holds; the parts are then
// streamed from it, so memory stays flat whatever the payload size.

#include "tool/cab_writer.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace pvx {
namespace {

constexpr uint32_t kBlockMax = 32768;
constexpr uint64_t kFolderMax = 65535ull * kBlockMax;  // 0x7FFF8000
constexpr uint32_t kMaxBlocks = 65535;
constexpr size_t kHeaderFixed = 36;
constexpr size_t kFolderEntry = 8;
constexpr size_t kFileEntryFixed = 16;
constexpr size_t kDataHeader = 8;
constexpr uint32_t kReserveMax = 60000;
constexpr uint16_t kFlagPrev = 0x0001, kFlagNext = 0x0002, kFlagReserve = 0x0004;
constexpr uint16_t kFolderFromPrev = 0xFFFD, kFolderToNext = 0xFFFE, kFolderBoth = 0xFFFF;
constexpr uint32_t kBatchBlocks = 64;
// Per-block budget of CFFILE bytes in sets, so that no block drags in more
// member entries than a part can carry alongside its data.
constexpr uint32_t kEntryBudgetCap = 16384;

void Put16(std::string& s, uint32_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

struct FileInfo {
  uint64_t offset = 0;
  uint32_t size = 0;
  uint32_t entryBytes = 0;
  uint32_t firstBlock = 0, lastBlock = 0;
};

struct BlockInfo {
  uint64_t start = 0;  // uncompressed offset in the folder
  uint32_t uncomp = 0;
  uint32_t comp = 0;
  uint64_t spill = 0;  // offset of the compressed bytes in the spill file
};

// Members [first, end); directoryOnly marks members listed in part 0 that
// lie wholly in later parts.
struct EntryRange {
  uint32_t first, end;
  bool directoryOnly;
};

struct PartLayout {
  uint32_t firstBlock = 0, endBlock = 0;  // blocks [firstBlock, endBlock) have a piece here
  uint32_t firstOffset = 0;               // compressed bytes of firstBlock already in earlier parts
  bool splitLast = false;
  uint32_t lastPiece = 0;                 // bytes of the last block here when split
  std::vector<EntryRange> ranges;         // CFFILE entries, in listing order
  uint32_t slack = 0;                     // header reserve bytes
  bool prev = false, next = false;
  std::string prevName, nextName;
  uint64_t length = 0;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Describe(const CabMember& m) {
  if (m.content) return "member " + Quote(m.name);
  return Quote(m.sourcePath) + " (member " + Quote(m.name) + ")";
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Reads the members' bytes back to back, checking that each source still has
// the size it had when the layout was planned.
class InputReader {
 public:
  InputReader(const std::vector<CabMember>& members, const std::vector<FileInfo>& files)
      : members_(members), files_(files) {}

  bool Read(uint8_t* dst, size_t n, std::string& error) {
    while (n > 0) {
      if (!open_ && !OpenNext(error)) return false;
      uint64_t left = files_[index_].size - pos_;
      if (left == 0) {
        if (!CloseCurrent(error)) return false;
        continue;
      }
      const CabMember& m = members_[index_];
      size_t take = size_t(std::min<uint64_t>(n, left));
      if (m.content) {
        memcpy(dst, m.content->data() + pos_, take);
      } else if (fread(dst, 1, take, file_.get()) != take) {
        error = ferror(file_.get()) ? "cannot read " + Describe(m) + ": " + strerror(errno)
                                    : Describe(m) + " became shorter while being packed";
        return false;
      }
      dst += take;
      n -= take;
      pos_ += take;
    }
    return true;
  }

  // Closes the last member read and opens the empty ones after it, so that
  // an unreadable source is reported even when it holds no bytes.
  bool Finish(std::string& error) {
    for (;;) {
      if (open_ && !CloseCurrent(error)) return false;
      if (index_ >= members_.size()) return true;
      if (!OpenNext(error)) return false;
      pos_ = files_[index_].size;
    }
  }

 private:
  bool OpenNext(std::string& error) {
    if (index_ >= members_.size()) {
      error = "internal error: read past the last member";
      return false;
    }
    const CabMember& m = members_[index_];
    pos_ = 0;
    if (!m.content) {
      file_.reset(fopen(m.sourcePath.c_str(), "rb"));
      if (!file_) {
        error = "cannot open " + Describe(m) + ": " + strerror(errno);
        return false;
      }
    }
    open_ = true;
    return true;
  }

  bool CloseCurrent(std::string& error) {
    open_ = false;
    size_t i = index_++;
    if (!file_) return true;
    int c = fgetc(file_.get());
    file_.reset();
    if (c != EOF) {
      error = Describe(members_[i]) + " grew while being packed";
      return false;
    }
    return true;
  }

  const std::vector<CabMember>& members_;
  const std::vector<FileInfo>& files_;
  size_t index_ = 0;
  uint64_t pos_ = 0;
  bool open_ = false;
  FilePtr file_;
};

class Deflater {
 public:
  explicit Deflater(int level) {
    memset(&z_, 0, sizeof z_);
    ok_ = deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (ok_) deflateEnd(&z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // out receives "CK" + the deflate stream.
  bool Compress(const uint8_t* dict, size_t dictLen, const uint8_t* in, size_t n,
                std::vector<uint8_t>& out) {
    if (!ok_ || deflateReset(&z_) != Z_OK) return false;
    if (dictLen && deflateSetDictionary(&z_, dict, uInt(dictLen)) != Z_OK) return false;
    out.resize(2 + deflateBound(&z_, uLong(n)) + 16);
    out[0] = 'C';
    out[1] = 'K';
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = uInt(n);
    z_.next_out = out.data() + 2;
    z_.avail_out = uInt(out.size() - 2);
    if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return false;
    out.resize(out.size() - z_.avail_out);
    return true;
  }

 private:
  z_stream z_;
  bool ok_ = false;
};

// Buffers the bytes of the current part and hands them to the sink.
class PartWriter {
 public:
  PartWriter(CabSink& sink, bool omitSignature) : sink_(sink), omitSignature_(omitSignature) {
    buf_.reserve(kChunk);
  }

  void Begin(unsigned part) {
    part_ = part;
    written_ = 0;
  }

  bool Put(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (omitSignature_ && written_ < 4) {
      size_t skip = std::min<size_t>(n, size_t(4 - written_));
      p += skip;
      n -= skip;
      written_ += skip;
    }
    written_ += n;
    if (buf_.size() + n > kChunk && !Flush()) return false;
    if (n >= kChunk) {
      if (!sink_.Write(part_, p, n)) return false;
      total_ += n;
      return true;
    }
    buf_.append(reinterpret_cast<const char*>(p), n);
    return true;
  }
  bool Put(const std::string& s) { return Put(s.data(), s.size()); }

  bool End() { return Flush() && sink_.EndPart(part_); }
  uint64_t written() const { return written_; }
  uint64_t total() const { return total_; }

 private:
  static constexpr size_t kChunk = 1 << 16;
  bool Flush() {
    if (buf_.empty()) return true;
    if (!sink_.Write(part_, buf_.data(), buf_.size())) return false;
    total_ += buf_.size();
    buf_.clear();
    return true;
  }

  CabSink& sink_;
  bool omitSignature_;
  std::string buf_;
  unsigned part_ = 0;
  uint64_t written_ = 0;  // bytes of the part, signature included
  uint64_t total_ = 0;    // bytes handed to the sink over all parts
};

class Writer {
 public:
  Writer(const std::vector<CabMember>& members, const CabWriteOptions& options, CabSink& sink)
      : members_(members), opt_(options), sink_(sink) {}

  std::string Run(CabWriteSummary* summary) {
    std::string err;
    if (!(err = Plan()).empty()) return err;
    if (!(err = Compress()).empty()) return err;
    if (!(err = Layout()).empty()) return err;
    if (!(err = Stream()).empty()) return err;
    if (summary) {
      summary->parts = unsigned(parts_.size());
      summary->cabinetLengths.clear();
      for (const PartLayout& p : parts_) summary->cabinetLengths.push_back(p.length);
      summary->bytesWritten = bytesWritten_;
      summary->inputBytes = total_;
      summary->dataBlocks = blocks_.size();
    }
    return {};
  }

 private:
  bool IsSet() const { return opt_.partStoredLength != 0; }

  std::string Plan() {
    if (members_.empty()) return "no members to put into the cabinet";
    if (opt_.compression == CabCompression::MSZip &&
        (opt_.mszipLevel < 1 || opt_.mszipLevel > 9))
      return "MSZIP level " + std::to_string(opt_.mszipLevel) + " is not within 1..9";
    if (IsSet()) {
      if (!opt_.partName) return "a cabinet set needs a part name function";
      if (opt_.partStoredLength < kCabMinPartStoredLength)
        return "part length " + std::to_string(opt_.partStoredLength) +
               " is too small (minimum " + std::to_string(kCabMinPartStoredLength) + ")";
      if (opt_.partStoredLength + 4 > 0xFFFFFFFFull)
        return "part length " + std::to_string(opt_.partStoredLength) +
               " exceeds the 4 GiB limit of one cabinet";
    }
    files_.resize(members_.size());
    uint64_t offset = 0;
    for (size_t i = 0; i < members_.size(); ++i) {
      const CabMember& m = members_[i];
      if (m.name.empty() || m.name.size() > 255 || m.name.find('\0') != std::string::npos)
        return "member name " + Quote(m.name) + " must be 1 to 255 bytes without NUL";
      uint64_t size;
      if (m.content) {
        size = m.content->size();
      } else {
        struct stat st;
        if (stat(m.sourcePath.c_str(), &st) != 0)
          return "cannot read " + Describe(m) + ": " + strerror(errno);
        if (!S_ISREG(st.st_mode)) return Describe(m) + " is not a regular file";
        size = uint64_t(st.st_size);
      }
      if (size > 0xFFFFFFFFull) return Describe(m) + " is larger than 4 GiB - 1";
      files_[i].offset = offset;
      files_[i].size = uint32_t(size);
      files_[i].entryBytes = uint32_t(kFileEntryFixed + m.name.size() + 1);
      offset += size;
      if (offset > kFolderMax)
        return "the members add up to more than " + std::to_string(kFolderMax) +
               " bytes, the limit of one cabinet folder (at " + Describe(m) + ")";
    }
    total_ = offset;
    PlanBlocks();
    if (blocks_.size() > kMaxBlocks)
      return "the members need " + std::to_string(blocks_.size()) +
             " data blocks, more than the 65535 one cabinet folder can hold";
    AssignBlocks();
    return {};
  }

  // Blocks are 32 KiB of the concatenated members; in sets a block also ends
  // early once the CFFILE entries of the members it touches pass a budget.
  void PlanBlocks() {
    uint64_t budget = ~0ull;
    if (IsSet()) {
      uint64_t usable = opt_.partStoredLength + 4 - (kHeaderFixed + 4 + kFolderEntry + 2 * 257);
      budget = std::min<uint64_t>(usable / 4, kEntryBudgetCap);
    }
    uint64_t start = 0;
    uint32_t len = 0;
    uint64_t entries = 0;
    auto endBlock = [&]() {
      BlockInfo b;
      b.start = start;
      b.uncomp = len;
      blocks_.push_back(b);
      start += len;
      len = 0;
      entries = 0;
    };
    for (size_t i = 0; i < files_.size(); ++i) {
      uint64_t remaining = files_[i].size;
      bool touched = false;
      do {
        if (!touched) {
          if (len > 0 && entries + files_[i].entryBytes > budget) endBlock();
          entries += files_[i].entryBytes;
          touched = true;
        }
        uint32_t take = uint32_t(std::min<uint64_t>(remaining, kBlockMax - len));
        len += take;
        remaining -= take;
        if (len == kBlockMax) {
          endBlock();
          touched = false;
        }
      } while (remaining > 0);
    }
    if (len > 0) endBlock();
  }

  uint32_t BlockOf(uint64_t pos) const {
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), pos,
                               [](uint64_t p, const BlockInfo& b) { return p < b.start; });
    return it == blocks_.begin() ? 0 : uint32_t(it - blocks_.begin() - 1);
  }

  void AssignBlocks() {
    for (FileInfo& f : files_) {
      if (blocks_.empty()) break;
      f.firstBlock = BlockOf(f.offset);
      f.lastBlock = f.size ? BlockOf(f.offset + f.size - 1) : f.firstBlock;
    }
    // Members touching block b are the contiguous range [firstFileOf_[b], lastFileOf_[b]].
    firstFileOf_.assign(blocks_.size(), 0);
    lastFileOf_.assign(blocks_.size(), 0);
    size_t i = 0;
    for (uint32_t b = 0; b < blocks_.size(); ++b) {
      while (i < files_.size() && files_[i].lastBlock < b) ++i;
      firstFileOf_[b] = uint32_t(i);
    }
    size_t j = 0;
    for (uint32_t b = 0; b < blocks_.size(); ++b) {
      while (j + 1 < files_.size() && files_[j + 1].firstBlock <= b) ++j;
      lastFileOf_[b] = uint32_t(j);
    }
    entryPrefix_.assign(files_.size() + 1, 0);
    for (size_t k = 0; k < files_.size(); ++k)
      entryPrefix_[k + 1] = entryPrefix_[k] + files_[k].entryBytes;
  }

  std::string Compress() {
    spill_.reset(tmpfile());
    if (!spill_) return std::string("cannot create a temporary file: ") + strerror(errno);
    InputReader reader(members_, files_);
    const bool zip = opt_.compression == CabCompression::MSZip;
    unsigned threads = opt_.threads;
    if (threads == 0) threads = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    threads = std::min(threads, 16u);

    // window = up to one block of history, then the batch.
    std::vector<uint8_t> window(size_t(kBlockMax) * (kBatchBlocks + 1));
    std::vector<std::vector<uint8_t>> out(kBatchBlocks);
    std::vector<std::unique_ptr<Deflater>> deflaters;
    if (zip)
      for (unsigned t = 0; t < threads; ++t)
        deflaters.push_back(std::make_unique<Deflater>(opt_.mszipLevel));
    uint64_t spillPos = 0;

    for (size_t first = 0; first < blocks_.size(); first += kBatchBlocks) {
      size_t end = std::min(blocks_.size(), first + kBatchBlocks);
      uint64_t batchBytes = blocks_[end - 1].start + blocks_[end - 1].uncomp - blocks_[first].start;
      uint8_t* data = window.data() + kBlockMax;
      std::string err;
      if (!reader.Read(data, size_t(batchBytes), err)) return err;

      auto input = [&](size_t b) { return data + (blocks_[b].start - blocks_[first].start); };
      if (zip) {
        std::atomic<size_t> nextBlock{first};
        std::atomic<bool> failed{false};
        auto work = [&](unsigned t) {
          for (size_t b; (b = nextBlock.fetch_add(1)) < end;) {
            const uint8_t* in = input(b);
            // History only after a full block: see the note at the top.
            const uint8_t* dict = nullptr;
            size_t dictLen = 0;
            if (b > 0 && blocks_[b - 1].uncomp == kBlockMax) {
              dictLen = kBlockMax;
              dict = b == first ? window.data() : input(b - 1);
            }
            if (!deflaters[t]->Compress(dict, dictLen, in, blocks_[b].uncomp, out[b - first]))
              failed = true;
          }
        };
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads && t < end - first; ++t) pool.emplace_back(work, t);
        work(0);
        for (std::thread& th : pool) th.join();
        if (failed) return "MSZIP compression failed";
      }
      for (size_t b = first; b < end; ++b) {
        const uint8_t* bytes = zip ? out[b - first].data() : input(b);
        size_t n = zip ? out[b - first].size() : blocks_[b].uncomp;
        if (n > kBlockMax + 6144) return "MSZIP block larger than a cabinet allows";
        if (fwrite(bytes, 1, n, spill_.get()) != n)
          return std::string("cannot write the temporary file: ") + strerror(errno);
        blocks_[b].comp = uint32_t(n);
        blocks_[b].spill = spillPos;
        spillPos += n;
      }
      // Keep the batch's last block as history for the next batch.
      const BlockInfo& last = blocks_[end - 1];
      memmove(window.data() + kBlockMax - last.uncomp, input(end - 1), last.uncomp);
      if (opt_.progress) opt_.progress(last.start + last.uncomp, total_);
    }
    std::string err;
    if (!reader.Finish(err)) return err;
    if (fflush(spill_.get()) != 0)
      return std::string("cannot write the temporary file: ") + strerror(errno);
    if (opt_.progress && blocks_.empty()) opt_.progress(0, 0);
    return {};
  }

  // Fixed header bytes of a part: CFHEADER with its optional fields and the
  // one CFFOLDER.
  static uint64_t FixedBytes(const PartLayout& p) {
    uint64_t n = kHeaderFixed + kFolderEntry;
    if (p.next) n += 4 + p.slack;  // non-last parts of a set carry the reserve
    if (p.prev) n += p.prevName.size() + 2;
    if (p.next) n += p.nextName.size() + 2;
    return n;
  }

  uint64_t EntryBytes(uint32_t firstFile, uint32_t endFile) const {
    return firstFile < endFile ? entryPrefix_[endFile] - entryPrefix_[firstFile] : 0;
  }
  uint64_t EntryBytes(const PartLayout& p) const {
    uint64_t n = 0;
    for (const EntryRange& r : p.ranges) n += EntryBytes(r.first, r.end);
    return n;
  }
  static uint32_t EntryCount(const PartLayout& p) {
    uint32_t n = 0;
    for (const EntryRange& r : p.ranges) n += r.first < r.end ? r.end - r.first : 0;
    return n;
  }

  std::string PartNameChecked(unsigned k, std::string& name) {
    name = opt_.partName(k);
    if (name.empty() || name.size() > 255 || name.find('\0') != std::string::npos)
      return "part name " + Quote(name) + " for part " + std::to_string(k) +
             " must be 1 to 255 bytes without NUL";
    return {};
  }

  std::string Layout() {
    const uint32_t n = uint32_t(blocks_.size());
    const uint32_t nf = uint32_t(files_.size());
    if (!IsSet()) {
      PartLayout p;
      p.endBlock = n;
      p.ranges.push_back({0, nf, false});
      uint64_t data = 0;
      for (const BlockInfo& b : blocks_) data += kDataHeader + b.comp;
      p.length = FixedBytes(p) + EntryBytes(p) + data;
      if (nf > 0xFFFF) return "more than 65535 members do not fit into one cabinet";
      if (p.length > 0xFFFFFFFFull)
        return "the cabinet would be larger than 4 GiB; write a set instead";
      parts_.push_back(std::move(p));
      return {};
    }

    const uint64_t L = opt_.partStoredLength + 4;
    if (nf > 0xFFFF) return "more than 65535 members do not fit into one cabinet set";
    // Compressed bytes from block b to the end, CFDATA headers included.
    std::vector<uint64_t> tail(n + 1, 0);
    for (uint32_t b = n; b-- > 0;) tail[b] = tail[b + 1] + kDataHeader + blocks_[b].comp;

    uint32_t b0 = 0, o0 = 0;
    EntryRange straddlers{0, 0, false};  // members spanning the end of part 0
    for (unsigned k = 0;; ++k) {
      if (k > 0xFFFF) return "the set would need more than 65536 parts; use a larger part length";
      PartLayout p;
      p.firstBlock = b0;
      p.firstOffset = o0;
      p.prev = k > 0;
      std::string err;
      if (p.prev && !(err = PartNameChecked(k - 1, p.prevName)).empty()) return err;
      const uint32_t own = n ? firstFileOf_[b0] : 0;
      // Part 0 lists every member; later parts repeat part 0's straddlers
      // first, see the note at the top.
      EntryRange repeated{straddlers.first, std::min(straddlers.end, own), false};
      if (k > 0 && repeated.first < repeated.end) p.ranges.push_back(repeated);

      // The rest fits: this is the last part.
      uint64_t restData = n ? tail[b0] - o0 : 0;
      p.ranges.push_back({k == 0 ? 0 : own, nf, false});
      uint64_t restLen = FixedBytes(p) + EntryBytes(p) + restData;
      if (restLen <= L) {
        p.endBlock = n;
        p.length = restLen;
        parts_.push_back(std::move(p));
        return {};
      }
      if (n == 0) return "the member entries alone do not fit into one part; use a larger part length";
      p.ranges.pop_back();

      p.next = true;
      if (!(err = PartNameChecked(k + 1, p.nextName)).empty()) return err;
      const uint64_t fixed = FixedBytes(p) + EntryBytes(p) + (k == 0 ? EntryBytes(0, nf) : 0);
      if (fixed + kCabMinPartPayload > L)
        return "part length " + std::to_string(opt_.partStoredLength) + " is too small: part " +
               std::to_string(k) + " needs " + std::to_string(fixed) +
               " bytes of headers" + (k == 0 ? " (it lists all members)" : "") +
               " plus at least " + std::to_string(kCabMinPartPayload) + " bytes for entries and data";

      // Find the furthest block e that can end this part split, with at
      // least one byte here and one in the next part.
      auto remainder = [&](uint32_t b) { return blocks_[b].comp - (b == b0 ? o0 : 0); };
      uint64_t dataBefore = 0;
      int64_t bestE = -1;
      uint64_t bestCap = 0;
      for (uint32_t e = b0; e < n; ++e) {
        uint64_t entries = k == 0 ? 0 : EntryBytes(own, lastFileOf_[e] + 1);
        uint64_t used = fixed + entries + dataBefore + kDataHeader;
        if (used + 1 > L) break;
        if (remainder(e) >= 2) {
          bestE = e;
          bestCap = L - used;
        }
        dataBefore += kDataHeader + remainder(e);
      }
      if (bestE < 0)
        return "part length " + std::to_string(opt_.partStoredLength) + " is too small for part " +
               std::to_string(k) + ": the member entries of its data blocks do not fit";
      const uint32_t e = uint32_t(bestE);
      uint64_t rem = remainder(e);
      uint64_t piece = std::min<uint64_t>(bestCap, rem - 1);
      // A one-byte continuation cannot be split again; leave two if we can.
      if (rem - piece == 1 && piece >= 2) --piece;
      uint64_t slack = bestCap - piece;
      if (slack > kReserveMax)
        return "part length " + std::to_string(opt_.partStoredLength) +
               " cannot be filled exactly at part " + std::to_string(k) + "; try another length";
      p.endBlock = e + 1;
      p.splitLast = true;
      p.lastPiece = uint32_t(piece);
      p.slack = uint32_t(slack);
      const uint32_t sFirst = firstFileOf_[e], sEnd = lastFileOf_[e] + 1;
      if (k == 0) {
        // Directory order: members before the split, members after it, then
        // the straddlers as the only ones continued to the next part.
        straddlers = {sFirst, sEnd, false};
        p.ranges.push_back({0, sFirst, false});
        p.ranges.push_back({sEnd, nf, true});
        p.ranges.push_back(straddlers);
      } else {
        p.ranges.push_back({own, sEnd, false});
      }
      p.length = L;
      if (p.endBlock - p.firstBlock > 0xFFFF)
        return "part " + std::to_string(k) + " would hold more than 65535 data blocks";
      // Next part starts with the rest of block e.
      o0 = uint32_t((e == b0 ? o0 : 0) + piece);
      b0 = e;
      parts_.push_back(std::move(p));
    }
  }

  uint16_t FolderIndexFor(const PartLayout& p, const FileInfo& f) const {
    if (blocks_.empty()) return 0;
    bool fromPrev = p.prev && (f.firstBlock < p.firstBlock ||
                               (f.firstBlock == p.firstBlock && p.firstOffset > 0));
    bool toNext = p.next && (f.lastBlock >= p.endBlock - 1);
    if (fromPrev && toNext) return kFolderBoth;
    if (fromPrev) return kFolderFromPrev;
    if (toNext) return kFolderToNext;
    return 0;
  }

  std::string Stream() {
    PartWriter w(sink_, opt_.omitSignature);
    std::vector<uint8_t> piece(kBlockMax + 6144);
    for (unsigned k = 0; k < parts_.size(); ++k) {
      const PartLayout& p = parts_[k];
      w.Begin(k);
      const uint64_t coffFiles = FixedBytes(p);
      const uint64_t coffCabStart = coffFiles + EntryBytes(p);
      std::string h;
      h.append("MSCF", 4);
      Put32(h, 0);
      Put32(h, uint32_t(p.length));
      Put32(h, 0);
      Put32(h, uint32_t(coffFiles));
      Put32(h, 0);
      h.push_back(3);
      h.push_back(1);
      Put16(h, 1);
      Put16(h, EntryCount(p));
      Put16(h, (p.prev ? kFlagPrev : 0) | (p.next ? kFlagNext | kFlagReserve : 0));
      Put16(h, opt_.setId);
      Put16(h, k);
      if (p.next) {
        Put16(h, p.slack);
        h.push_back(0);
        h.push_back(0);
        h.append(p.slack, '\0');
      }
      if (p.prev) {
        h.append(p.prevName).push_back('\0');
        h.push_back('\0');
      }
      if (p.next) {
        h.append(p.nextName).push_back('\0');
        h.push_back('\0');
      }
      Put32(h, uint32_t(coffCabStart));
      Put16(h, p.endBlock - p.firstBlock);
      Put16(h, opt_.compression == CabCompression::MSZip ? 1 : 0);
      if (h.size() != coffFiles) return "internal error: header size mismatch";
      if (!w.Put(h)) return SinkError(k);

      for (const EntryRange& r : p.ranges)
      for (uint32_t i = r.first; i < r.end; ++i) {
        const FileInfo& f = files_[i];
        const CabMember& m = members_[i];
        h.clear();
        Put32(h, f.size);
        Put32(h, uint32_t(f.offset));
        Put16(h, r.directoryOnly ? 0 : FolderIndexFor(p, f));
        Put16(h, m.dosDate);
        Put16(h, m.dosTime);
        Put16(h, m.attributes);
        h.append(m.name).push_back('\0');
        if (!w.Put(h)) return SinkError(k);
      }
      if (w.written() != coffCabStart) return "internal error: entry size mismatch";

      for (uint32_t b = p.firstBlock; b < p.endBlock; ++b) {
        const BlockInfo& blk = blocks_[b];
        uint32_t from = b == p.firstBlock ? p.firstOffset : 0;
        uint32_t len = (b + 1 == p.endBlock && p.splitLast) ? p.lastPiece : blk.comp - from;
        uint32_t uncomp = from + len == blk.comp ? blk.uncomp : 0;
        if (fseeko(spill_.get(), off_t(blk.spill + from), SEEK_SET) != 0 ||
            fread(piece.data(), 1, len, spill_.get()) != len)
          return std::string("cannot read the temporary file: ") + strerror(errno);
        uint8_t hdr[8];
        hdr[4] = uint8_t(len);
        hdr[5] = uint8_t(len >> 8);
        hdr[6] = uint8_t(uncomp);
        hdr[7] = uint8_t(uncomp >> 8);
        uint32_t csum = CabChecksum(hdr + 4, 4, CabChecksum(piece.data(), len, 0));
        hdr[0] = uint8_t(csum);
        hdr[1] = uint8_t(csum >> 8);
        hdr[2] = uint8_t(csum >> 16);
        hdr[3] = uint8_t(csum >> 24);
        if (!w.Put(hdr, 8) || !w.Put(piece.data(), len)) return SinkError(k);
      }
      if (w.written() != p.length) return "internal error: part length mismatch";
      if (!w.End()) return SinkError(k);
    }
    bytesWritten_ = w.total();
    return {};
  }

  std::string SinkError(unsigned k) {
    std::string name = IsSet() ? " (" + opt_.partName(k) + ")" : "";
    return "cannot write cabinet part " + std::to_string(k) + name;
  }

  const std::vector<CabMember>& members_;
  const CabWriteOptions& opt_;
  CabSink& sink_;
  std::vector<FileInfo> files_;
  std::vector<BlockInfo> blocks_;
  std::vector<uint32_t> firstFileOf_, lastFileOf_;
  std::vector<uint64_t> entryPrefix_;
  std::vector<PartLayout> parts_;
  FilePtr spill_;
  uint64_t total_ = 0;
  uint64_t bytesWritten_ = 0;
};

}  // namespace

uint32_t CabChecksum(const void* data, size_t n, uint32_t seed) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint64_t wide = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    memcpy(&v, p + i, 8);  // little-endian host
    wide ^= v;
  }
  uint32_t c = seed ^ uint32_t(wide) ^ uint32_t(wide >> 32);
  for (; i + 4 <= n; i += 4)
    c ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 |
         uint32_t(p[i + 3]) << 24;
  uint32_t t = 0;
  switch (n - i) {
    case 3: t |= uint32_t(p[i++]) << 16; [[fallthrough]];
    case 2: t |= uint32_t(p[i++]) << 8; [[fallthrough]];
    case 1: t |= uint32_t(p[i++]);
  }
  return c ^ t;
}

void DosDateTimeFromUnix(int64_t unixSeconds, bool utc, uint16_t& date, uint16_t& time) {
  const uint16_t kMinDate = (0 << 9) | (1 << 5) | 1;
  const uint16_t kMaxDate = (127 << 9) | (12 << 5) | 31, kMaxTime = (23 << 11) | (59 << 5) | 29;
  struct tm tm {};
  time_t t = time_t(unixSeconds);
  bool ok = int64_t(t) == unixSeconds && (utc ? gmtime_r(&t, &tm) : localtime_r(&t, &tm));
  int year = tm.tm_year + 1900;
  if (!ok) year = unixSeconds < 0 ? 0 : 9999;
  if (year < 1980) {
    date = kMinDate;
    time = 0;
  } else if (year > 2107) {
    date = kMaxDate;
    time = kMaxTime;
  } else {
    date = uint16_t(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    time = uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (std::min(tm.tm_sec, 59) / 2));
  }
}

std::string WriteCabinets(const std::vector<CabMember>& members, const CabWriteOptions& options,
                          CabSink& sink, CabWriteSummary* summary) {
  return Writer(members, options, sink).Run(summary);
}

std::string WriteSingleCabinetToMemory(const std::vector<CabMember>& members,
                                       const CabWriteOptions& options, std::string& out) {
  CabWriteOptions single = options;
  single.partStoredLength = 0;
  single.partName = nullptr;
  single.omitSignature = false;
  MemoryCabSink sink;
  std::string err = WriteCabinets(members, single, sink);
  out = err.empty() && !sink.parts.empty() ? std::move(sink.parts[0]) : std::string();
  return err;
}

FileCabSink::FileCabSink(std::function<std::string(unsigned)> pathFor)
    : pathFor_(std::move(pathFor)) {}

FileCabSink::~FileCabSink() {
  if (file_) fclose(static_cast<FILE*>(file_));
}

bool FileCabSink::Write(unsigned part, const void* data, size_t n) {
  if (!file_ || part != part_) {
    if (file_) fclose(static_cast<FILE*>(file_));
    part_ = part;
    std::string path = pathFor_(part);
    file_ = fopen(path.c_str(), "wb");
    if (!file_) {
      error_ = "cannot create '" + path + "': " + strerror(errno);
      return false;
    }
  }
  if (fwrite(data, 1, n, static_cast<FILE*>(file_)) != n) {
    error_ = "cannot write '" + pathFor_(part) + "': " + strerror(errno);
    return false;
  }
  return true;
}

bool FileCabSink::EndPart(unsigned part) {
  if (!file_ || part != part_) {
    if (!Write(part, "", 0)) return false;
  }
  FILE* f = static_cast<FILE*>(file_);
  file_ = nullptr;
  if (fclose(f) != 0) {
    error_ = "cannot write '" + pathFor_(part) + "': " + strerror(errno);
    return false;
  }
  return true;
}

bool MemoryCabSink::Write(unsigned part, const void* data, size_t n) {
  if (parts.size() <= part) parts.resize(part + 1);
  parts[part].append(static_cast<const char*>(data), n);
  return true;
}

bool MemoryCabSink::EndPart(unsigned part) {
  if (parts.size() <= part) parts.resize(part + 1);
  ended = part + 1;
  return true;
}

}  // namespace pvx
