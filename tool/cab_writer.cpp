// Cabinet layout as written here (all integers little-endian):
//
//   CFHEADER   "MSCF" u32 0, u32 cbCabinet, u32 0, u32 coffFiles, u32 0,
//              u8 3, u8 1, u16 cFolders, u16 cFiles, u16 flags,
//              u16 setID, u16 iCabinet
//              [flags & 4: u16 cbCFHeader, u8 cbCFFolder (0), u8 cbCFData (0),
//                          cbCFHeader zero bytes]
//              [flags & 1: szCabinetPrev, szDiskPrev ("")]
//              [flags & 2: szCabinetNext, szDiskNext ("")]
//   CFFOLDER[] u32 coffCabStart, u16 cCFData, u16 typeCompress (0 none, 1 MSZIP,
//              3 | window bits << 8 LZX)
//   CFFILE[]   u32 cbFile, u32 uoffFolderStart, u16 iFolder, u16 date, u16 time,
//              u16 attribs, szName
//   CFDATA[]   u32 csum, u16 cbData, u16 cbUncomp, cbData bytes
//
// A single cabinet is one folder. In a set, each cabinet holds at most two
// folders: first the rest of the folder the previous cabinet broke off, then
// a new folder for the members that begin here. A folder that runs into the
// next cabinet ends there with the member holding the last byte of the
// block that crossed the boundary, so a continued folder never holds a
// member that begins in it: libmspack drops such members, and the system's
// FDI decodes each cabinet's own members from the start of their folder in
// that cabinet.
//
// Each cabinet lists its members the usual way: first those continued from
// the previous cabinet (iFolder 0xFFFD, or 0xFFFF when they go on into the
// next), then the members that begin in it in order, those with data in the
// next cabinet marked 0xFFFE. Every member with data in the block that
// crosses a boundary counts as continued: FDI, finishing a member that needs
// that block, looks for it among the next cabinet's continued members. And
// libmspack wants those members listed as continued in every further
// cabinet their folder reaches, even after their own data has ended.
// uoffFolderStart counts from the start of the member's folder, in the
// cabinet where that folder begins.
//
// Sets: every cabinet but the last must be exactly partStoredLength + 4
// bytes, because the package keeps the parts back to back without their
// signatures and finds part k by multiplication. So every cabinet but the
// last ends inside a data block: a piece with cbUncomp 0 (possibly empty),
// continued by the first piece of the next cabinet. FDI crosses into the
// next cabinet only at such a piece; at a whole block it reads on in the
// same file and fails. Bytes a part cannot fill go into the header reserve,
// which every part of a set carries.
//
// MSZIP: "CK" + a raw deflate stream closed by a final block. A block's
// deflate history is the previous block of its folder, so each block is
// compressed on its own with that block as preset dictionary, which lets
// blocks be compressed in parallel. Both decoders keep that history in a
// 32 KiB window restarted at every block, so after a block shorter than
// 32 KiB the history would be misaligned: such a successor gets no
// dictionary, nor does the first block of a folder.
//
// LZX: a folder is one LZX stream (see lzx_encoder.cpp), and each CFDATA
// block holds exactly one 32 KiB frame of it (the last may be shorter).
// Without a set, or with one folder per member with data (not solid),
// folders are compressed whole before the layout, each on one thread into a
// temporary file of frames; a single solid cabinet has up to
// lzxSolidFolders folders cut at the member boundaries nearest to equal
// shares, none smaller than 8 MiB. The folder count depends only on the
// members and the options, so the output is the same whatever the thread
// count.
//
// A solid set cannot be planned that way: a folder that crosses a part
// boundary must end with the member holding the crossing frame's last byte,
// and where that is is known only once the compressed frames reach the
// boundary. So the members start as one folder compressed on demand, a
// batch of frames ahead of the layout. When a folder crosses a boundary
// with members after that one, its stream is ended at that member's end
// (LzxEncoder::EndAt: the frames from the encoder's last restart point on
// are encoded again, the earlier ones stay), the members after it become
// the next folder, a fresh stream, and the part is laid out again from its
// start. The new frames may cross earlier, ending the folder earlier still;
// ends only move back, so this settles. Only one thread compresses, and
// the output depends only on the members and the options.
//
// Where a folder ends depends on where the compressed data reaches the end
// of a part, so blocks are compressed a batch at a time just ahead of the
// layout; blocks compressed past a folder's end are compressed again for
// the next folder. The data goes into a spill file first, because each
// header must know which members and how many blocks its part holds; the
// parts are then streamed from it, so memory stays flat whatever the
// payload size.

#include "tool/cab_writer.h"

#include "tool/lzx_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace pvx {
namespace {

constexpr uint32_t kBlockMax = 32768;
constexpr uint64_t kFolderMax = 65535ull * kBlockMax;  // 0x7FFF8000
constexpr uint32_t kMaxPieces = 65535;
constexpr unsigned kMaxParts = 65536;
constexpr size_t kHeaderFixed = 36;
constexpr size_t kReserveField = 4;
constexpr size_t kFolderEntry = 8;
constexpr size_t kFileEntryFixed = 16;
constexpr size_t kDataHeader = 8;
constexpr uint32_t kReserveMax = 60000;
constexpr uint16_t kFlagPrev = 0x0001, kFlagNext = 0x0002, kFlagReserve = 0x0004;
constexpr uint16_t kFolderFromPrev = 0xFFFD, kFolderToNext = 0xFFFE, kFolderBoth = 0xFFFF;
constexpr uint32_t kBatchBlocks = 64;
// Per-block budget of CFFILE bytes in sets: the members of the block that
// crosses a boundary are listed in both cabinets, so no block may drag in
// more entries than a part can carry alongside its headers.
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
  uint64_t offset = 0;  // in the members' bytes back to back
  uint32_t size = 0;
  uint32_t entryBytes = 0;
};

struct Block {
  uint64_t start = 0;  // in the members' bytes back to back
  uint32_t uncomp = 0;
  std::vector<uint8_t> comp;
  uint64_t end() const { return start + uncomp; }
};

struct Entry {
  uint32_t member;
  uint16_t folder;  // index in the part, or a continuation code
  uint32_t uoff;
};

struct PartFolder {
  uint64_t dataOffset = 0;  // of its first CFDATA, from the part's first CFDATA
  uint32_t pieces = 0;
};

struct PartLayout {
  std::vector<PartFolder> folders;
  std::vector<Entry> entries;
  uint64_t spillStart = 0, dataBytes = 0;  // CFDATA records in the spill file
  uint32_t slack = 0;                      // header reserve bytes
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
      : InputReader(members, files, 0, members.size()) {}
  // Only members [first, end).
  InputReader(const std::vector<CabMember>& members, const std::vector<FileInfo>& files, size_t first,
              size_t end)
      : members_(members), files_(files), index_(first), end_(end) {}

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

  // Members from `end` on will not be read.
  void StopAt(size_t end) { end_ = end; }

  // Closes the last member read and opens the empty ones after it, so that
  // an unreadable source is reported even when it holds no bytes.
  bool Finish(std::string& error) {
    for (;;) {
      if (open_ && !CloseCurrent(error)) return false;
      if (index_ >= end_) return true;
      if (!OpenNext(error)) return false;
      pos_ = files_[index_].size;
    }
  }

 private:
  bool OpenNext(std::string& error) {
    if (index_ >= end_) {
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
  size_t index_ = 0, end_ = 0;
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
      : members_(members), opt_(options), sink_(sink), reader_(members, files_) {}

  std::string Run(CabWriteSummary* summary) {
    std::string err;
    if (!(err = Plan()).empty()) return err;
    if (!(err = Layout()).empty()) return err;
    if (!(err = Stream()).empty()) return err;
    if (summary) {
      summary->parts = unsigned(parts_.size());
      summary->cabinetLengths.clear();
      for (const PartLayout& p : parts_) summary->cabinetLengths.push_back(p.length);
      summary->bytesWritten = bytesWritten_;
      summary->inputBytes = total_;
      summary->dataBlocks = blocksPlaced_;
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
    if (opt_.compression == CabCompression::Lzx) {
      if (opt_.lzxWindowBits < kLzxMinWindowBits || opt_.lzxWindowBits > kLzxMaxWindowBits)
        return "LZX window " + std::to_string(opt_.lzxWindowBits) + " is not within 15..21";
    }
    if (IsSet()) {
      if (!opt_.partName) return "a cabinet set needs a part name function";
      if (opt_.partStoredLength < kCabMinPartStoredLength)
        return "part length " + std::to_string(opt_.partStoredLength) +
               " is too small (minimum " + std::to_string(kCabMinPartStoredLength) + ")";
      if (opt_.partStoredLength + 4 > 0xFFFFFFFFull)
        return "part length " + std::to_string(opt_.partStoredLength) +
               " exceeds the 4 GiB limit of one cabinet";
    }
    if (members_.size() > 0xFFFF)
      return std::string("more than 65535 members do not fit into one cabinet") +
             (IsSet() ? " set" : "");
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
    entryPrefix_.assign(files_.size() + 1, 0);
    for (size_t k = 0; k < files_.size(); ++k)
      entryPrefix_[k + 1] = entryPrefix_[k] + files_[k].entryBytes;
    budget_ = ~0ull;
    if (IsSet()) {
      uint64_t usable = opt_.partStoredLength + 4 - (kHeaderFixed + kReserveField + 2 * kFolderEntry + 2 * 257);
      budget_ = std::min<uint64_t>(usable / 4, kEntryBudgetCap);
    }
    return {};
  }

  uint64_t EntryBytes(uint32_t first, uint32_t end) const {
    return first < end ? entryPrefix_[end] - entryPrefix_[first] : 0;
  }

  // First member with data at or after `pos`, or empty and placed there or later.
  uint32_t FirstTouching(uint64_t pos) const {
    auto it = std::partition_point(files_.begin(), files_.end(), [&](const FileInfo& f) {
      return f.size ? f.offset + f.size <= pos : f.offset < pos;
    });
    return uint32_t(it - files_.begin());
  }

  // Members that begin before `pos` (an empty member at `pos` begins after).
  uint32_t ListEnd(uint64_t pos) const {
    auto it = std::partition_point(files_.begin(), files_.end(),
                                   [&](const FileInfo& f) { return f.offset < pos; });
    return uint32_t(it - files_.begin());
  }

  // End of the block that starts at `start` in a folder whose data ends at
  // `limit`: 32 KiB, or less once the entries of the members it touches
  // pass the budget. LZX frames are whole, but where one crosses a part
  // boundary, a set's solid folder ends at that budget (see Layout).
  uint64_t ChunkEnd(uint64_t start, uint64_t limit) const {
    uint64_t end = std::min<uint64_t>(start + kBlockMax, limit);
    if (opt_.compression == CabCompression::Lzx && !lazyLzx_) return end;
    return BudgetEnd(start, end);
  }

  // `end`, or the first member start after `start` at which the entries of
  // the members touching [start, end) pass the budget.
  uint64_t BudgetEnd(uint64_t start, uint64_t end) const {
    uint64_t entries = 0;
    for (uint32_t i = FirstTouching(start); i < files_.size() && files_[i].offset < end; ++i) {
      if (entries > 0 && files_[i].offset > start && entries + files_[i].entryBytes > budget_)
        return files_[i].offset;
      entries += files_[i].entryBytes;
    }
    return end;
  }

  // ---- Blocks of the folder being laid out, compressed a batch ahead.

  void StartFolder(uint64_t start) {
    folderStart_ = start;
    folderLimit_ = total_;
    folderClosed_ = false;
    if (opt_.compression == CabCompression::Lzx) {
      // The folder compressed ahead that begins here, or (empty members at
      // the end) none.
      while (lzxCurrent_ < lzxFolders_.size() && lzxFolders_[lzxCurrent_].end <= start &&
             lzxFolders_[lzxCurrent_].end < total_)
        ++lzxCurrent_;
      if (lzxCurrent_ < lzxFolders_.size()) {
        folderLimit_ = lzxFolders_[lzxCurrent_].end;
        folderClosed_ = folderLimit_ < total_;
      }
    }
    queue_.clear();
    frontDone_ = 0;
    queueEnd_ = start;
    queueEndUncomp_ = 0;
  }

  // The folder now ends at `limit`: blocks compressed beyond it go.
  void SetLimit(uint64_t limit) {
    folderLimit_ = limit;
    folderClosed_ = true;
    while (queue_.size() > 1 && queue_.back().end() > limit) queue_.pop_back();
    queueEnd_ = queue_.back().end();
    queueEndUncomp_ = queue_.back().uncomp;
  }

  // The block to place next, or nullptr when the folder has no more.
  // `room`: bytes left in the part, to guess how far compressing ahead pays.
  std::string Front(const Block*& block, uint64_t room) {
    block = nullptr;
    if (queue_.empty()) {
      if (queueEnd_ >= folderLimit_) return {};
      uint64_t count = kBatchBlocks;
      if (IsSet()) {
        // The blocks that should still fit, and beyond them those of the
        // member that will likely cross the boundary, which stay in the
        // folder; blocks after that member would be compressed in vain.
        count = room / avgRecord_;
        uint64_t boundary = queueEnd_ + count * kBlockMax;
        uint32_t i = FirstTouching(boundary);
        if (i < files_.size() && files_[i].offset + files_[i].size > boundary)
          count += (files_[i].offset + files_[i].size - boundary) / kBlockMax;
        count = std::max<uint64_t>(count, 1);
      }
      std::string err = CompressBatch(uint32_t(std::min<uint64_t>(count, kBatchBlocks)));
      if (!err.empty()) return err;
    }
    block = &queue_.front();
    return {};
  }

  void PopFront() {
    queue_.pop_front();
    frontDone_ = 0;
  }

  const uint8_t* Data(uint64_t pos) const { return buf_.data() + (pos - bufBase_); }

  std::string CompressBatch(uint32_t count) {
    if (opt_.compression == CabCompression::Lzx) return ReadLzxBatch(count);
    std::vector<Block> batch;
    for (uint64_t s = queueEnd_; batch.size() < count && s < folderLimit_;) {
      Block b;
      b.start = s;
      b.uncomp = uint32_t(ChunkEnd(s, folderLimit_) - s);
      s = b.end();
      batch.push_back(std::move(b));
    }
    // Keep one block of history before the batch; read what it needs.
    uint64_t keep = queueEnd_ > kBlockMax ? queueEnd_ - kBlockMax : 0;
    if (keep > bufBase_) {
      buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(std::min<uint64_t>(keep - bufBase_, buf_.size())));
      bufBase_ = keep;
    }
    uint64_t need = batch.back().end();
    uint64_t have = bufBase_ + buf_.size();
    if (need > have) {
      size_t old = buf_.size();
      buf_.resize(old + size_t(need - have));
      std::string err;
      if (!reader_.Read(buf_.data() + old, size_t(need - have), err)) return err;
    }

    if (opt_.compression == CabCompression::MSZip) {
      std::atomic<size_t> next{0};
      std::atomic<bool> failed{false};
      auto work = [&](unsigned t) {
        for (size_t i; (i = next.fetch_add(1)) < batch.size();) {
          Block& b = batch[i];
          // History only after a full block of the same folder: see the note at the top.
          uint32_t prevLen = i == 0 ? queueEndUncomp_ : batch[i - 1].uncomp;
          const uint8_t* dict = prevLen == kBlockMax ? Data(b.start - kBlockMax) : nullptr;
          if (!deflaters_[t]->Compress(dict, dict ? kBlockMax : 0, Data(b.start), b.uncomp, b.comp))
            failed = true;
        }
      };
      std::vector<std::thread> pool;
      for (unsigned t = 1; t < threads_ && t < batch.size(); ++t) pool.emplace_back(work, t);
      work(0);
      for (std::thread& th : pool) th.join();
      if (failed) return "MSZIP compression failed";
    } else {
      for (Block& b : batch) b.comp.assign(Data(b.start), Data(b.start) + b.uncomp);
    }
    for (Block& b : batch) {
      if (b.comp.size() > kBlockMax + 6144) return "MSZIP block larger than a cabinet allows";
      avgRecord_ = (avgRecord_ * 7 + kDataHeader + b.comp.size()) / 8;
    }
    queueEnd_ = batch.back().end();
    queueEndUncomp_ = batch.back().uncomp;
    for (Block& b : batch) queue_.push_back(std::move(b));
    if (opt_.progress && queueEnd_ > progressDone_ && queueEnd_ < total_) {
      progressDone_ = queueEnd_;
      opt_.progress(progressDone_, total_);
    }
    return {};
  }

  // ---- LZX: each folder is one stream of frames in a temporary file. A
  // single cabinet's folders are compressed whole before the layout, in
  // parallel. A set's solid folders are compressed on demand as the layout
  // reaches them, and ended earlier where a part boundary requires it.

  struct LzxFolder {
    uint64_t start = 0, end = 0;
    size_t firstMember = 0, endMember = 0;
    FilePtr file;
    std::vector<uint32_t> compLen, uncompLen;
    std::vector<uint64_t> frameOffset;  // in `file`
    uint64_t fileEnd = 0;
    size_t next = 0;  // frame the layout reads next
    std::string error;
    // Compressed on demand: the stream and its input so far.
    std::unique_ptr<LzxEncoder> encoder;
    std::unique_ptr<InputReader> reader;
    uint64_t fed = 0;
    bool finished = false;
  };

  LzxOptions FolderLzxOptions(const LzxFolder& f) const {
    LzxOptions lo;
    lo.windowBits = opt_.lzxWindowBits;
    lo.e8 = opt_.lzxCallTranslation;
    lo.passes = opt_.lzxPasses;
    lo.expectedSize = f.end - f.start;
    if (lazyLzx_) {
      // A set's folders are pieces of one solid stream: they take the call
      // translation decided on its first 4 MiB (see ProduceLzx), and short
      // batches, since the input after a folder's end is compressed in vain.
      if (lo.e8 == LzxCallTranslation::Auto)
        lo.e8 = lazyE8_ > 0 ? LzxCallTranslation::On : LzxCallTranslation::Off;
      lo.batchFrames = kLzxSetBatchFrames;
    }
    return lo;
  }

  // Appends one frame to the folder's file; false if it cannot be written.
  static bool StoreFrame(LzxFolder& f, const uint8_t* p, size_t n, uint32_t uncomp) {
    f.frameOffset.push_back(f.fileEnd);
    f.compLen.push_back(uint32_t(n));
    f.uncompLen.push_back(uncomp);
    f.fileEnd += n;
    return fseeko(f.file.get(), off_t(f.frameOffset.back()), SEEK_SET) == 0 &&
           fwrite(p, 1, n, f.file.get()) == n;
  }

  // Folder boundaries: at members, near equal shares of the bytes. A set's
  // solid members start as one folder, which the layout ends at each part
  // boundary it crosses.
  void PlanLzxFolders() {
    std::vector<size_t> starts;  // first member of each folder
    const size_t nf = files_.size();
    if (!opt_.solid) {
      for (size_t i = 0; i < nf; ++i)
        if (files_[i].size) starts.push_back(i);
    } else if (!lazyLzx_) {
      // Small payloads stay in one folder: each split costs ratio.
      const uint64_t kMinShare = uint64_t(8) << 20;
      uint64_t folders = std::max<uint64_t>(1, std::min<uint64_t>(opt_.lzxSolidFolders, total_ / kMinShare));
      starts.push_back(0);
      for (uint64_t k = 1; k < folders; ++k) {
        uint64_t target = total_ * k / folders;
        size_t i = ListEnd(target);  // first member beginning at or after target
        if (i > 0 && i < nf && target - files_[i - 1].offset < files_[i].offset - target) --i;
        if (i > starts.back() && i < nf && files_[i].offset > files_[starts.back()].offset)
          starts.push_back(i);
      }
    }
    if (starts.empty()) starts.push_back(0);
    starts[0] = 0;
    for (size_t k = 0; k < starts.size(); ++k) {
      LzxFolder f;
      f.firstMember = starts[k];
      f.endMember = k + 1 < starts.size() ? starts[k + 1] : nf;
      f.start = files_[f.firstMember].offset;
      f.end = k + 1 < starts.size() ? files_[starts[k + 1]].offset : total_;
      lzxFolders_.push_back(std::move(f));
    }
  }

  void CompressLzxFolder(LzxFolder& f, std::mutex& progressLock, uint64_t& progressBytes) {
    f.file.reset(tmpfile());
    if (!f.file) {
      f.error = std::string("cannot create a temporary file: ") + strerror(errno);
      return;
    }
    bool writeFailed = false;
    LzxEncoder enc(FolderLzxOptions(f), [&](const uint8_t* p, size_t n, uint32_t uncomp) {
      if (!StoreFrame(f, p, n, uncomp)) writeFailed = true;
    });
    InputReader reader(members_, files_, f.firstMember, f.endMember);
    std::vector<uint8_t> chunk(kLzxChunk);
    for (uint64_t left = f.end - f.start; left > 0;) {
      size_t n = size_t(std::min<uint64_t>(left, chunk.size()));
      if (!reader.Read(chunk.data(), n, f.error)) return;
      enc.Write(chunk.data(), n);
      left -= n;
      if (opt_.progress) {
        std::lock_guard<std::mutex> lock(progressLock);
        progressBytes += n;
        if (progressBytes < total_) opt_.progress(progressBytes, total_);
      }
    }
    enc.Finish();
    if (!reader.Finish(f.error)) return;
    if (writeFailed || fflush(f.file.get()) != 0)
      f.error = std::string("cannot write the temporary file: ") + strerror(errno);
  }

  std::string CompressLzxFolders() {
    PlanLzxFolders();
    if (lazyLzx_) return {};
    std::atomic<size_t> next{0};
    std::mutex progressLock;
    uint64_t progressBytes = 0;
    auto work = [&]() {
      for (size_t i; (i = next.fetch_add(1)) < lzxFolders_.size();)
        CompressLzxFolder(lzxFolders_[i], progressLock, progressBytes);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads_ && t < lzxFolders_.size(); ++t) pool.emplace_back(work);
    work();
    for (std::thread& th : pool) th.join();
    for (const LzxFolder& f : lzxFolders_)
      if (!f.error.empty()) return f.error;
    return {};
  }

  // On demand: one more piece of input into the folder's stream, or, with
  // all of it written, the stream's end.
  std::string ProduceLzx(LzxFolder& f) {
    if (!f.encoder && lazyE8_ == 0) {
      // Decided on the start of the payload's stream before the first
      // folder's encoder starts, so that no encoder waits for 4 MiB.
      lazyE8_ = -1;
      if (opt_.lzxCallTranslation == LzxCallTranslation::Auto) {
        std::string err;
        std::vector<uint8_t> head(size_t(std::min<uint64_t>(f.end - f.start, uint64_t(4) << 20)));
        InputReader reader(members_, files_, f.firstMember, f.endMember);
        if (!reader.Read(head.data(), head.size(), err)) return err;
        if (LzxAutoCallTranslation(head.data(), head.size())) lazyE8_ = 1;
      }
    }
    if (!f.encoder) {
      f.file.reset(tmpfile());
      if (!f.file) return std::string("cannot create a temporary file: ") + strerror(errno);
      LzxOptions lo = FolderLzxOptions(f);
      lo.rewindable = true;
      // By index: a folder's place in lzxFolders_ stays, its address may not.
      const size_t index = size_t(&f - lzxFolders_.data());
      f.encoder = std::make_unique<LzxEncoder>(lo, [this, index](const uint8_t* p, size_t n, uint32_t uncomp) {
        if (!StoreFrame(lzxFolders_[index], p, n, uncomp)) lzxWriteFailed_ = true;
      });
      f.reader = std::make_unique<InputReader>(members_, files_, f.firstMember, f.endMember);
    }
    std::string err;
    const uint64_t length = f.end - f.start;
    if (f.fed < length) {
      // A batch at a time, so that the encoder goes no further ahead.
      const size_t chunk = size_t(kLzxSetBatchFrames) * kLzxFrameSize;
      size_t n = size_t(std::min<uint64_t>(length - f.fed, chunk));
      lzxChunk_.resize(chunk);
      if (!f.reader->Read(lzxChunk_.data(), n, err)) return err;
      f.encoder->Write(lzxChunk_.data(), n);
      f.fed += n;
      if (opt_.progress && f.start + f.fed > progressDone_ && f.start + f.fed < total_) {
        progressDone_ = f.start + f.fed;
        opt_.progress(progressDone_, total_);
      }
    } else {
      f.encoder->Finish();
      if (f.reader && !f.reader->Finish(err)) return err;
      f.reader.reset();
      f.finished = true;
    }
    if (lzxWriteFailed_) return std::string("cannot write the temporary file: ") + strerror(errno);
    return {};
  }

  // The folder being laid out ends at `end`, before its planned end, with
  // the members before `endMember`: its stream is ended there (frames from
  // the last restart point on are encoded again), and the members after go
  // to the folder that follows.
  std::string EndLzxFolderAt(uint64_t end, uint32_t endMember) {
    LzxFolder& f = lzxFolders_[lzxCurrent_];
    if (!f.encoder || end <= f.start || end >= f.end)
      return "internal error: an LZX folder cannot end there";
    const size_t kept = f.encoder->EndAt(end - f.start);
    if (kept == SIZE_MAX || kept > f.compLen.size()) return "internal error: LZX stream cannot be ended there";
    f.fileEnd = kept < f.frameOffset.size() ? f.frameOffset[kept] : f.fileEnd;
    f.compLen.resize(kept);
    f.uncompLen.resize(kept);
    f.frameOffset.resize(kept);
    f.finished = false;
    if (f.fed > end - f.start) {
      // Its reader went past `end`, having read and checked every member
      // before; the encoder keeps the input up to `end`.
      f.fed = end - f.start;
      f.reader.reset();
    } else if (f.reader) {
      f.reader->StopAt(endMember);
    }
    const size_t i = lzxCurrent_;
    const bool mergeIntoNext = i + 1 < lzxFolders_.size() && !lzxFolders_[i + 1].encoder &&
                               lzxFolders_[i + 1].compLen.empty() && lzxFolders_[i + 1].start == f.end;
    if (mergeIntoNext) {
      lzxFolders_[i + 1].start = end;
      lzxFolders_[i + 1].firstMember = endMember;
    } else {
      LzxFolder rest;
      rest.start = end;
      rest.end = f.end;
      rest.firstMember = endMember;
      rest.endMember = f.endMember;
      lzxFolders_.insert(lzxFolders_.begin() + std::ptrdiff_t(i + 1), std::move(rest));
    }
    LzxFolder& g = lzxFolders_[i];
    g.end = end;
    g.endMember = endMember;
    return {};
  }

  std::string ReadLzxBatch(uint32_t count) {
    LzxFolder& f = lzxFolders_[lzxCurrent_];
    // Frames before the one read next are placed; the stream will not end before it.
    if (f.encoder) f.encoder->Release(queueEnd_ - f.start);
    size_t got = 0;
    for (; got < count && queueEnd_ < folderLimit_; ++got) {
      // Compressed on demand: no further than the first frame not there yet.
      if (f.next >= f.compLen.size() && got > 0) break;
      while (f.next >= f.compLen.size()) {
        if (!lazyLzx_ || f.finished) return "internal error: no LZX frames left for the folder";
        std::string err = ProduceLzx(f);
        if (!err.empty()) return err;
      }
      Block b;
      b.start = queueEnd_;
      b.uncomp = f.uncompLen[f.next];
      b.comp.resize(f.compLen[f.next]);
      if (fseeko(f.file.get(), off_t(f.frameOffset[f.next]), SEEK_SET) != 0 ||
          fread(b.comp.data(), 1, b.comp.size(), f.file.get()) != b.comp.size())
        return std::string("cannot read the temporary file: ") + strerror(errno);
      ++f.next;
      queueEnd_ = b.end();
      queueEndUncomp_ = b.uncomp;
      queue_.push_back(std::move(b));
    }
    if (got == 0) return "internal error: no LZX frames left for the folder";
    if (!lazyLzx_ && f.next == f.compLen.size()) f.file.reset();
    return {};
  }

  // ---- Layout: decides every part and spills its CFDATA records.

  // What laying out one part changes, kept at the part's start so that the
  // part can be laid out again once an LZX folder in it ends earlier.
  struct PartStart {
    uint64_t folderStart = 0, folderLimit = 0;
    bool folderClosed = false;
    std::deque<Block> queue;
    uint32_t frontDone = 0;
    uint64_t queueEnd = 0;
    uint32_t queueEndUncomp = 0;
    uint32_t nextToList = 0;
    size_t lzxCurrent = 0, lzxNext = 0;
    uint64_t spillPos = 0, blocksPlaced = 0;
    bool cont = false, lastHadData = true;
    uint32_t contFirst = 0, contEnd = 0;
  };

  PartStart SavePart() {
    // Folders before the current one are placed for good.
    for (size_t i = 0; i < lzxCurrent_ && i < lzxFolders_.size(); ++i) {
      LzxFolder& f = lzxFolders_[i];
      f.encoder.reset();
      f.reader.reset();
      f.file.reset();
    }
    PartStart s;
    s.folderStart = folderStart_;
    s.folderLimit = folderLimit_;
    s.folderClosed = folderClosed_;
    s.queue = queue_;
    s.frontDone = frontDone_;
    s.queueEnd = queueEnd_;
    s.queueEndUncomp = queueEndUncomp_;
    s.nextToList = nextToList_;
    s.lzxCurrent = lzxCurrent_;
    s.lzxNext = lzxCurrent_ < lzxFolders_.size() ? lzxFolders_[lzxCurrent_].next : 0;
    s.spillPos = spillPos_;
    s.blocksPlaced = blocksPlaced_;
    return s;
  }

  std::string RestorePart(const PartStart& s) {
    folderStart_ = s.folderStart;
    folderLimit_ = s.folderLimit;
    folderClosed_ = s.folderClosed;
    queue_ = s.queue;
    frontDone_ = s.frontDone;
    queueEnd_ = s.queueEnd;
    queueEndUncomp_ = s.queueEndUncomp;
    nextToList_ = s.nextToList;
    lzxCurrent_ = s.lzxCurrent;
    for (size_t i = lzxCurrent_; i < lzxFolders_.size(); ++i)
      lzxFolders_[i].next = i == lzxCurrent_ ? s.lzxNext : 0;
    if (lzxCurrent_ < lzxFolders_.size()) {
      // The folder the part starts in may be the one that now ends earlier.
      folderLimit_ = lzxFolders_[lzxCurrent_].end;
      folderClosed_ = folderLimit_ < total_;
    }
    spillPos_ = s.spillPos;
    blocksPlaced_ = s.blocksPlaced;
    if (fseeko(spill_.get(), off_t(spillPos_), SEEK_SET) != 0)
      return std::string("cannot write the temporary file: ") + strerror(errno);
    return {};
  }

  std::string PartNameChecked(unsigned k, std::string& name) {
    name = opt_.partName(k);
    if (name.empty() || name.size() > 255 || name.find('\0') != std::string::npos)
      return "part name " + Quote(name) + " for part " + std::to_string(k) +
             " must be 1 to 255 bytes without NUL";
    return {};
  }

  std::string TooSmall(unsigned k, const std::string& why) const {
    return "part length " + std::to_string(opt_.partStoredLength) + " is too small for part " +
           std::to_string(k) + ": " + why + "; use a larger part length";
  }

  // Bytes that the start of the block after `b` needs: its CFDATA header,
  // the entries of the members it brings, and a CFFOLDER when it starts a
  // new folder.
  uint64_t NextStartCost(const Block& b) const {
    uint64_t s = b.end();
    bool sameFolder = s < folderLimit_;
    uint64_t limit = sameFolder ? folderLimit_ : total_;
    // LZX folders compressed ahead: the next one's first frame ends with it.
    if (!sameFolder && opt_.compression == CabCompression::Lzx && !lazyLzx_ &&
        lzxCurrent_ + 1 < lzxFolders_.size())
      limit = lzxFolders_[lzxCurrent_ + 1].end;
    uint64_t e = ChunkEnd(s, limit);
    return kDataHeader + (sameFolder ? 0 : kFolderEntry) + EntryBytes(ListEnd(s), ListEnd(e));
  }

  std::string Layout() {
    spill_.reset(tmpfile());
    if (!spill_) return std::string("cannot create a temporary file: ") + strerror(errno);
    threads_ = opt_.threads;
    if (threads_ == 0) threads_ = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    threads_ = std::min(threads_, 16u);
    if (opt_.compression == CabCompression::MSZip)
      for (unsigned t = 0; t < threads_; ++t)
        deflaters_.push_back(std::make_unique<Deflater>(opt_.mszipLevel));
    lazyLzx_ = opt_.compression == CabCompression::Lzx && IsSet() && opt_.solid;
    if (opt_.compression == CabCompression::Lzx && total_ > 0) {
      std::string err = CompressLzxFolders();
      if (!err.empty()) return err;
    }

    const bool set = IsSet();
    const uint64_t L = set ? opt_.partStoredLength + 4 : ~0ull;
    const uint32_t nf = uint32_t(files_.size());
    StartFolder(0);
    bool cont = false;
    uint32_t contFirst = 0, contEnd = 0;
    bool lastHadData = true;
    unsigned relayouts = 0;
    for (unsigned k = 0;; ++k) {
      if (k >= kMaxParts) return "the set would need more than 65536 parts; use a larger part length";
      PartStart saved;
      if (lazyLzx_) {
        saved = SavePart();
        saved.cont = cont;
        saved.contFirst = contFirst;
        saved.contEnd = contEnd;
        saved.lastHadData = lastHadData;
      }
      bool relayout = false;
      PartLayout p;
      p.prev = k > 0;
      p.spillStart = spillPos_;
      std::string err, nextNameError;
      if (p.prev && !(err = PartNameChecked(k - 1, p.prevName)).empty()) return err;
      if (set) nextNameError = PartNameChecked(k + 1, p.nextName);
      const uint64_t nextBytes = set ? p.nextName.size() + 2 : 0;
      uint64_t used = kHeaderFixed + (set ? kReserveField : 0) + (p.prev ? p.prevName.size() + 2 : 0) + nextBytes;
      int folder = -1;  // index in p.folders of the folder being laid out
      uint64_t data = 0;

      auto openFolder = [&]() {
        p.folders.push_back({p.dataBytes, 0});
        folder = int(p.folders.size() - 1);
        used += kFolderEntry;
      };
      auto list = [&](uint32_t first, uint32_t end) {
        for (uint32_t i = first; i < end; ++i)
          p.entries.push_back({i, uint16_t(folder), uint32_t(files_[i].offset - folderStart_)});
        used += EntryBytes(first, end);
        nextToList_ = std::max(nextToList_, end);
      };
      // Appends `len` bytes of the front block from frontDone_ on.
      auto place = [&](const Block& b, uint32_t len, uint32_t listEnd) -> std::string {
        if (folder < 0) openFolder();
        list(nextToList_, listEnd);
        if (frontDone_ == 0) ++blocksPlaced_;
        bool whole = frontDone_ + len == b.comp.size();
        uint8_t hdr[8];
        hdr[4] = uint8_t(len);
        hdr[5] = uint8_t(len >> 8);
        uint32_t uncomp = whole ? b.uncomp : 0;
        hdr[6] = uint8_t(uncomp);
        hdr[7] = uint8_t(uncomp >> 8);
        const uint8_t* bytes = b.comp.data() + frontDone_;
        uint32_t csum = CabChecksum(hdr + 4, 4, CabChecksum(bytes, len, 0));
        hdr[0] = uint8_t(csum);
        hdr[1] = uint8_t(csum >> 8);
        hdr[2] = uint8_t(csum >> 16);
        hdr[3] = uint8_t(csum >> 24);
        if (fwrite(hdr, 1, 8, spill_.get()) != 8 || fwrite(bytes, 1, len, spill_.get()) != len)
          return std::string("cannot write the temporary file: ") + strerror(errno);
        spillPos_ += kDataHeader + len;
        p.dataBytes += kDataHeader + len;
        used += kDataHeader + len;
        data += len;
        if (++p.folders[size_t(folder)].pieces > kMaxPieces)
          return "part " + std::to_string(k) + " would hold more than 65535 data blocks of one folder";
        return {};
      };

      bool continued = cont;  // the folder being laid out came from the previous part
      if (cont) {
        openFolder();
        for (uint32_t i = contFirst; i < contEnd; ++i)
          p.entries.push_back({i, kFolderFromPrev, uint32_t(files_[i].offset - folderStart_)});
        used += EntryBytes(contFirst, contEnd);
      }
      if (set && used + kCabMinPartPayload > L)
        return TooSmall(k, "it needs " + std::to_string(used) + " bytes of headers and continued entries plus at least " +
                               std::to_string(kCabMinPartPayload) + " bytes for entries and data");

      bool last = false;
      for (;;) {
        const Block* b = nullptr;
        if (!(err = Front(b, L > used ? L - used : 0)).empty()) return err;
        if (!b) {
          if (folderClosed_) {
            // The continued folder is done; the next members begin a new one.
            if (nextToList_ >= nf) return "internal error: no member after a continued folder";
            StartFolder(files_[nextToList_].offset);
            folder = -1;
            continued = false;
            continue;
          }
          // No data at all: one folder without blocks.
          openFolder();
          list(nextToList_, nf);
          if (set && used - nextBytes > L)
            return "the member entries alone do not fit into one part; use a larger part length";
          last = true;
          break;
        }
        const uint32_t rem = uint32_t(b->comp.size() - frontDone_);
        const uint32_t listEnd = frontDone_ == 0 ? ListEnd(b->end()) : nextToList_;
        const uint64_t newEntries = EntryBytes(nextToList_, listEnd);
        const uint64_t folderCost = folder < 0 ? kFolderEntry : 0;
        const uint64_t cost = kDataHeader + rem + newEntries + folderCost;
        if (b->end() == total_) {
          // The last block: the part is the last if the block and every
          // remaining (empty) member fit; those follow the continued folder
          // in a folder of their own.
          const bool ownFolder = listEnd < nf && folderClosed_;
          const uint64_t trailing = EntryBytes(listEnd, nf) + (ownFolder ? kFolderEntry : 0);
          if (!set || used - nextBytes + cost + trailing <= L) {
            if (!(err = place(*b, rem, listEnd)).empty()) return err;
            PopFront();
            if (listEnd < nf) {
              if (ownFolder) {
                StartFolder(total_);
                openFolder();
              }
              list(listEnd, nf);
            }
            last = true;
            break;
          }
        } else if (!set || used + cost + NextStartCost(*b) <= L) {
          if (!(err = place(*b, rem, listEnd)).empty()) return err;
          PopFront();
          continue;
        }

        // This block crosses into the next part.
        if (lazyLzx_ && !continued && frontDone_ == 0) {
          // Every member with data in the crossing frame is listed in both
          // parts: past the budget, the folder ends at a member inside the
          // frame, which becomes its last frame, a shorter one.
          const uint64_t e = BudgetEnd(b->start, b->end());
          if (e < b->end()) {
            if (!(err = EndLzxFolderAt(e, ListEnd(e))).empty()) return err;
            relayout = true;
            break;
          }
        }
        if (used + kDataHeader + newEntries + folderCost > L)
          return TooSmall(k, "the member entries of its data blocks do not fit");
        const uint64_t avail = L - used - kDataHeader - newEntries - folderCost;
        const uint32_t piece = uint32_t(std::min<uint64_t>(avail, rem - 1));
        const uint64_t slack = avail - piece;
        if (slack > kReserveMax)
          return "part length " + std::to_string(opt_.partStoredLength) +
                 " cannot be filled exactly at part " + std::to_string(k) +
                 " (too many empty members at the end); try another length";
        if (!(err = place(*b, piece, listEnd)).empty()) return err;
        frontDone_ += piece;
        // Every member with data in it goes on in the next part, and the
        // folder ends with the member holding its last byte; a continued
        // folder keeps its continued members (see the note at the top).
        const uint32_t c0 = continued ? contFirst : FirstTouching(b->start), c1 = ListEnd(b->end());
        const FileInfo& m = files_[c1 - 1];
        if (opt_.compression == CabCompression::Lzx && m.offset + m.size < folderLimit_) {
          // An LZX stream cannot be cut after the fact: the folder's stream
          // is ended there and the part laid out again.
          if (!lazyLzx_) return "internal error: an LZX folder goes on after the member crossing a part";
          if (!(err = EndLzxFolderAt(m.offset + m.size, c1)).empty()) return err;
          relayout = true;
          break;
        }
        for (Entry& e : p.entries)
          if (e.member >= c0 && e.member < c1)
            e.folder = e.folder == kFolderFromPrev ? kFolderBoth : kFolderToNext;
        SetLimit(m.offset + m.size);
        cont = true;
        contFirst = c0;
        contEnd = c1;
        p.slack = uint32_t(slack);
        break;
      }

      if (relayout) {
        // Ends move only earlier, so this comes to an end; the bound is a
        // guard against a fault here, not a limit a payload can reach.
        if (++relayouts > 4 * kMaxParts) return "internal error: the LZX layout does not settle";
        if (!(err = RestorePart(saved)).empty()) return err;
        cont = saved.cont;
        contFirst = saved.contFirst;
        contEnd = saved.contEnd;
        lastHadData = saved.lastHadData;
        --k;
        continue;
      }
      p.next = !last;
      if (p.next && !nextNameError.empty()) return nextNameError;
      if (last) {
        p.nextName.clear();
        used -= nextBytes;
      }
      p.length = used + p.slack;
      if (!last && p.length != L) return "internal error: part length mismatch";
      if (!set && p.length > 0xFFFFFFFFull)
        return "the cabinet would be larger than 4 GiB; write a set instead";
      if (!last && data == 0 && !lastHadData)
        return TooSmall(k, "it has no room for data besides its headers and entries");
      lastHadData = data > 0;
      parts_.push_back(std::move(p));
      if (last) break;
    }
    std::string err;
    if (opt_.compression != CabCompression::Lzx && !reader_.Finish(err)) return err;
    if (opt_.compression == CabCompression::Lzx && total_ == 0 && !reader_.Finish(err)) return err;
    if (fflush(spill_.get()) != 0)
      return std::string("cannot write the temporary file: ") + strerror(errno);
    if (opt_.progress) opt_.progress(total_, total_);
    return {};
  }

  std::string Stream() {
    PartWriter w(sink_, opt_.omitSignature);
    std::vector<uint8_t> chunk(1 << 16);
    const bool set = IsSet();
    for (unsigned k = 0; k < parts_.size(); ++k) {
      const PartLayout& p = parts_[k];
      w.Begin(k);
      std::string h;
      h.append("MSCF", 4);
      Put32(h, 0);
      Put32(h, uint32_t(p.length));
      Put32(h, 0);
      const size_t coffFilesAt = h.size();
      Put32(h, 0);  // coffFiles, below
      Put32(h, 0);
      h.push_back(3);
      h.push_back(1);
      Put16(h, uint32_t(p.folders.size()));
      Put16(h, uint32_t(p.entries.size()));
      Put16(h, (p.prev ? kFlagPrev : 0) | (p.next ? kFlagNext : 0) | (set ? kFlagReserve : 0));
      Put16(h, opt_.setId);
      Put16(h, k);
      if (set) {
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
      const uint64_t coffFiles = h.size() + kFolderEntry * p.folders.size();
      uint64_t entryBytes = 0;
      for (const Entry& e : p.entries) entryBytes += files_[e.member].entryBytes;
      const uint64_t coffData = coffFiles + entryBytes;
      for (int i = 0; i < 4; ++i) h[coffFilesAt + i] = char((coffFiles >> (8 * i)) & 0xFF);
      for (const PartFolder& f : p.folders) {
        Put32(h, uint32_t(coffData + f.dataOffset));
        Put16(h, f.pieces);
        Put16(h, TypeCompress());
      }
      if (h.size() != coffFiles) return "internal error: header size mismatch";
      for (const Entry& e : p.entries) {
        const FileInfo& f = files_[e.member];
        const CabMember& m = members_[e.member];
        Put32(h, f.size);
        Put32(h, e.uoff);
        Put16(h, e.folder);
        Put16(h, m.dosDate);
        Put16(h, m.dosTime);
        Put16(h, m.attributes);
        h.append(m.name).push_back('\0');
      }
      if (h.size() != coffData) return "internal error: entry size mismatch";
      if (!w.Put(h)) return SinkError(k);
      if (fseeko(spill_.get(), off_t(p.spillStart), SEEK_SET) != 0)
        return std::string("cannot read the temporary file: ") + strerror(errno);
      for (uint64_t left = p.dataBytes; left > 0;) {
        size_t n = size_t(std::min<uint64_t>(left, chunk.size()));
        if (fread(chunk.data(), 1, n, spill_.get()) != n)
          return std::string("cannot read the temporary file: ") + strerror(errno);
        if (!w.Put(chunk.data(), n)) return SinkError(k);
        left -= n;
      }
      if (w.written() != p.length) return "internal error: part length mismatch";
      if (!w.End()) return SinkError(k);
    }
    bytesWritten_ = w.total();
    return {};
  }

  uint16_t TypeCompress() const {
    switch (opt_.compression) {
      case CabCompression::None: return 0;
      case CabCompression::MSZip: return 1;
      case CabCompression::Lzx: return uint16_t(3 | (opt_.lzxWindowBits << 8));
    }
    return 0;
  }

  std::string SinkError(unsigned k) {
    std::string name = IsSet() ? " (" + opt_.partName(k) + ")" : "";
    return "cannot write cabinet part " + std::to_string(k) + name;
  }

  const std::vector<CabMember>& members_;
  const CabWriteOptions& opt_;
  CabSink& sink_;
  std::vector<FileInfo> files_;
  std::vector<uint64_t> entryPrefix_;
  uint64_t budget_ = 0;
  InputReader reader_;
  uint64_t total_ = 0;

  // Folder being laid out and its blocks.
  uint64_t folderStart_ = 0, folderLimit_ = 0;
  bool folderClosed_ = false;  // ends early, with a member continued across parts
  std::deque<Block> queue_;    // front: the block being placed
  uint32_t frontDone_ = 0;     // its compressed bytes placed in earlier parts
  uint64_t queueEnd_ = 0;      // where the next block to compress starts
  uint32_t queueEndUncomp_ = 0;
  uint32_t nextToList_ = 0;    // first member no part has listed yet
  std::vector<uint8_t> buf_;   // input bytes from bufBase_ on
  uint64_t bufBase_ = 0;
  unsigned threads_ = 1;
  std::vector<std::unique_ptr<Deflater>> deflaters_;
  std::vector<LzxFolder> lzxFolders_;
  size_t lzxCurrent_ = 0;
  bool lazyLzx_ = false;  // a set's solid folders, compressed as the layout reaches them
  static constexpr size_t kLzxChunk = size_t(1) << 20;
  static constexpr unsigned kLzxSetBatchFrames = 8;
  int lazyE8_ = 0;  // the set's call translation: 0 undecided, 1 on, -1 off
  std::vector<uint8_t> lzxChunk_;
  bool lzxWriteFailed_ = false;
  uint64_t avgRecord_ = kBlockMax / 2;
  uint64_t progressDone_ = 0;

  std::vector<PartLayout> parts_;
  FilePtr spill_;
  uint64_t spillPos_ = 0;
  uint64_t blocksPlaced_ = 0;
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
