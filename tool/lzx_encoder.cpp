// LZX stream as written here (one stream per cabinet folder):
//
//   bits are packed into 16-bit little-endian words, most significant bit
//   first; Huffman codes and extra bits are written most significant bit
//   first.
//
//   stream    header, then blocks; the uncompressed data is cut into frames
//             of 32768 bytes (the last may be shorter), and after each frame
//             the bits are padded with zeros to a 16-bit boundary, so each
//             frame's compressed bytes are exactly one CFDATA block
//   header    1 bit: x86 call translation; if set, 32 bits: translation size
//   block     3 bits type (1 verbatim, 2 aligned offset, 3 uncompressed),
//             24 bits uncompressed size, then by type:
//     verbatim  main tree, length tree, tokens
//     aligned   8 x 3 bits aligned-offset tree lengths, main tree, length
//               tree, tokens
//     uncomp.   zero bits up to the next 16-bit boundary (1..16), R0 R1 R2 as
//               u32 each, the raw bytes, one pad byte if the size is odd
//   main tree 256 + 8 x position slots lengths, sent as two runs (the 256
//             literals, then the match headers), each behind its own pretree
//   length    249 lengths behind a pretree
//   pretree   20 x 4 bits of lengths, then pretree codes for the lengths:
//             0..16  new = (previous - code + 17) mod 17
//             17     4 + 4 bits zeros;  18  20 + 5 bits zeros
//             19     4 + 1 bit elements of one value, then a code 0..16
//             "previous" is the same tree's length in the previous block of
//             the stream (0 before the first)
//   token     literal: main code < 256
//             match: main code 256 + slot * 8 + min(length - 2, 7); if 7,
//             a length code (length - 9); then the slot's extra bits: in an
//             aligned block, slots with 3 or more extra bits send the low 3
//             through the aligned tree and the rest verbatim
//   offsets   slot 0..2 repeat R0, R1, R2 (R1 and R2 swap with R0 when
//             used); otherwise formatted offset = offset + 2, and R2 = R1,
//             R1 = R0, R0 = offset; R0 = R1 = R2 = 1 at the start
//
// What this encoder chooses:
//
// * Blocks cover whole frames and never leave a batch of frames (32 unless
//   asked otherwise), so an
//   uncompressed block always starts on a frame and its raw bytes fill the
//   frames exactly; consecutive frames share a block while one set of trees
//   costs fewer bits than two, and each block takes the cheapest of the
//   three types, counted to the bit.
// * Matches stay inside their frame, and reach back at most window - 3
//   bytes and never before the stream's start.
// * Tree lengths are at most 16 bits (pretree 15, aligned tree 7), and every
//   tree has two or more codes, so every tree is complete.
// * Code 19 only covers elements whose previous lengths agree as well, so
//   that it means the same whether a decoder applies the one code to each
//   element or copies the first element's new length.
// * x86 call translation (Auto): on when the first 4 MiB hold at least one
//   E8 byte per 4 KiB whose operand is a displacement within 16 MiB, which
//   is how x86 code looks; the
//   translation size is the stream's expected length (at least 12,000,000),
//   so a call target keeps one value wherever in the folder it appears.
//   Only frames that start below 1 GiB are translated, and within a frame
//   only E8 bytes before its last 10 bytes, as the decoder does.
// * Matches come from hash chains over 4-byte prefixes, the latest 3-byte
//   prefix, and the three repeated offsets. Each frame is parsed as the
//   cheapest path through its positions, priced with the code lengths of
//   the frame before (with two passes, then again with those of the first
//   path); a match of niceLength bytes or more is taken as it is.

#include "tool/lzx_encoder.h"

#include <algorithm>
#include <cstring>

namespace pvx {
namespace {

constexpr unsigned kNumChars = 256;
constexpr unsigned kLenSymbols = 249;
constexpr unsigned kPretreeSymbols = 20;
constexpr unsigned kAlignedSymbols = 8;
constexpr unsigned kMaxSlots = 50;
constexpr unsigned kMaxMain = kNumChars + 8 * kMaxSlots;
constexpr unsigned kMinMatch = 2, kMaxMatch = 257;
constexpr size_t kDecideBytes = size_t(4) << 20;
constexpr uint32_t kDefaultTranslationSize = 12000000;
constexpr uint32_t kMaxTranslationSize = 0x7FFF8000;
constexpr uint64_t kTranslateBelow = uint64_t(32768) * kLzxFrameSize;
constexpr unsigned kHashBits = 18, kHash3Bits = 14;

unsigned SlotCount(unsigned windowBits) {
  static const unsigned kSlots[] = {30, 32, 34, 36, 38, 42, 50};
  return kSlots[windowBits - kLzxMinWindowBits];
}

struct SlotTables {
  uint32_t base[kMaxSlots + 1];
  uint8_t extra[kMaxSlots];
  SlotTables() {
    uint32_t b = 0;
    for (unsigned s = 0; s < kMaxSlots; ++s) {
      extra[s] = uint8_t(s < 4 ? 0 : std::min(17u, s / 2 - 1));
      base[s] = b;
      b += 1u << extra[s];
    }
    base[kMaxSlots] = b;
  }
  // Slot of a formatted offset.
  unsigned Slot(uint32_t f) const {
    if (f < 4) return f;
    if (f < base[36]) {
      unsigned hi = 31 - unsigned(__builtin_clz(f));  // f in [2^hi, 2^(hi+1))
      return 2 * hi + ((f >> (hi - 1)) & 1);
    }
    return 36 + (f - base[36]) / (1u << 17);
  }
};
const SlotTables kSlotTables;
inline const SlotTables& Slots() { return kSlotTables; }

// ---- Bits.

class BitWriter {
 public:
  void Put(uint32_t value, unsigned bits) {
    if (bits == 0) return;
    acc_ = (acc_ << bits) | (value & ((uint64_t(1) << bits) - 1));
    n_ += bits;
    while (n_ >= 16) {
      n_ -= 16;
      uint16_t w = uint16_t(acc_ >> n_);
      out_.push_back(uint8_t(w));
      out_.push_back(uint8_t(w >> 8));
    }
    acc_ &= (uint64_t(1) << n_) - 1;
  }
  void Align() {
    if (n_) Put(0, 16 - n_);
  }
  void AlignForUncompressed() { Put(0, n_ ? 16 - n_ : 16); }
  void Byte(uint8_t b) { out_.push_back(b); }  // only when aligned
  void Bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  std::vector<uint8_t>& out() { return out_; }
  uint64_t BitCount() const { return out_.size() * 8 + n_; }

 private:
  std::vector<uint8_t> out_;
  uint64_t acc_ = 0;
  unsigned n_ = 0;
};

// ---- Huffman codes.

// Code lengths for `freq`, none longer than maxLen, at least two codes.
void BuildLengths(const uint32_t* freqIn, unsigned n, unsigned maxLen, uint8_t* lens) {
  std::vector<uint32_t> freq(freqIn, freqIn + n);
  unsigned used = 0;
  for (unsigned i = 0; i < n; ++i) used += freq[i] != 0;
  for (unsigned i = 0; used < 2 && i < n; ++i)
    if (freq[i] == 0) {
      freq[i] = 1;
      ++used;
    }
  for (;;) {
    struct Node {
      uint64_t w;
      int left, right;
    };
    std::vector<Node> nodes;
    std::vector<unsigned> leaves;
    for (unsigned i = 0; i < n; ++i)
      if (freq[i]) leaves.push_back(i);
    std::stable_sort(leaves.begin(), leaves.end(),
                     [&](unsigned a, unsigned b) { return freq[a] < freq[b]; });
    for (unsigned s : leaves) nodes.push_back({freq[s], -1, int(s)});
    // Two queues: leaves in order, then internal nodes in creation order.
    size_t li = 0, qi = leaves.size();
    auto take = [&]() -> int {
      if (li < leaves.size() && (qi >= nodes.size() || nodes[li].w <= nodes[qi].w)) return int(li++);
      return int(qi++);
    };
    for (size_t k = 1; k < leaves.size(); ++k) {
      int a = take(), b = take();
      nodes.push_back({nodes[size_t(a)].w + nodes[size_t(b)].w, a, b});
    }
    std::vector<uint8_t> depth(nodes.size(), 0);
    memset(lens, 0, n);
    unsigned maxSeen = 0;
    for (size_t k = nodes.size(); k-- > leaves.size();) {
      const Node& nd = nodes[k];
      depth[size_t(nd.left)] = uint8_t(depth[k] + 1);
      depth[size_t(nd.right)] = uint8_t(depth[k] + 1);
    }
    for (size_t k = 0; k < leaves.size(); ++k) {
      unsigned d = depth[k];
      lens[nodes[k].right] = uint8_t(d);
      maxSeen = std::max(maxSeen, d);
    }
    if (maxSeen <= maxLen) return;
    for (uint32_t& f : freq)
      if (f) f = (f >> 1) | 1;
  }
}

void BuildCodes(const uint8_t* lens, unsigned n, uint16_t* codes) {
  unsigned count[18] = {0};
  for (unsigned i = 0; i < n; ++i) count[lens[i]]++;
  count[0] = 0;
  unsigned next[18] = {0};
  unsigned code = 0;
  for (unsigned b = 1; b <= 17; ++b) {
    code = (code + count[b - 1]) << 1;
    next[b] = code;
  }
  for (unsigned i = 0; i < n; ++i)
    if (lens[i]) codes[i] = uint16_t(next[lens[i]]++);
}

// One tree's lengths as pretree codes, delta-coded against `prev`.
struct PretreeOp {
  uint8_t sym, extraBits;
  uint8_t extra;
};

void PlanTree(const uint8_t* prev, const uint8_t* cur, unsigned n, std::vector<PretreeOp>& ops) {
  ops.clear();
  auto delta = [&](unsigned i) { return uint8_t((prev[i] + 17 - cur[i]) % 17); };
  for (unsigned i = 0; i < n;) {
    if (cur[i] == 0) {
      unsigned z = 0;
      while (i + z < n && cur[i + z] == 0) ++z;
      if (z >= 20) {
        unsigned r = std::min(z, 51u);
        ops.push_back({18, 5, uint8_t(r - 20)});
        i += r;
        continue;
      }
      if (z >= 4) {
        ops.push_back({17, 4, uint8_t(z - 4)});
        i += z;
        continue;
      }
    }
    unsigned k = 1;
    while (i + k < n && k < 5 && cur[i + k] == cur[i] && prev[i + k] == prev[i]) ++k;
    if (k >= 4) {
      ops.push_back({19, 1, uint8_t(k - 4)});
      ops.push_back({delta(i), 0, 0});
      i += k;
      continue;
    }
    ops.push_back({delta(i), 0, 0});
    ++i;
  }
}

// Writes (or, with w == nullptr, counts) one pretree-coded run of lengths.
uint64_t SendTree(BitWriter* w, const uint8_t* prev, const uint8_t* cur, unsigned n) {
  std::vector<PretreeOp> ops;
  PlanTree(prev, cur, n, ops);
  uint32_t freq[kPretreeSymbols] = {0};
  for (const PretreeOp& op : ops) freq[op.sym]++;
  uint8_t lens[kPretreeSymbols];
  BuildLengths(freq, kPretreeSymbols, 15, lens);
  uint64_t bits = 4 * kPretreeSymbols;
  for (const PretreeOp& op : ops) bits += lens[op.sym] + op.extraBits;
  if (!w) return bits;
  uint16_t codes[kPretreeSymbols];
  BuildCodes(lens, kPretreeSymbols, codes);
  for (unsigned i = 0; i < kPretreeSymbols; ++i) w->Put(lens[i], 4);
  for (const PretreeOp& op : ops) {
    w->Put(codes[op.sym], lens[op.sym]);
    w->Put(op.extra, op.extraBits);
  }
  return bits;
}

// ---- Tokens and their statistics.

struct Token {
  uint32_t len;  // 0: literal
  uint32_t fmt;  // literal byte, or formatted offset
};

struct Frame {
  uint64_t start = 0;
  uint32_t len = 0;
  size_t tokenBegin = 0, tokenEnd = 0;
  uint32_t r[3] = {1, 1, 1};  // repeated offsets after the frame
};

struct Freqs {
  uint32_t main[kMaxMain] = {0};
  uint32_t len[kLenSymbols] = {0};
  uint32_t aligned[kAlignedSymbols] = {0};
  uint64_t verbatimExtra = 0;    // extra bits sent verbatim in a verbatim block
  uint64_t alignedVerbatim = 0;  // extra bits still verbatim in an aligned block
  uint64_t bytes = 0;
  void Add(const Freqs& o) {
    for (unsigned i = 0; i < kMaxMain; ++i) main[i] += o.main[i];
    for (unsigned i = 0; i < kLenSymbols; ++i) len[i] += o.len[i];
    for (unsigned i = 0; i < kAlignedSymbols; ++i) aligned[i] += o.aligned[i];
    verbatimExtra += o.verbatimExtra;
    alignedVerbatim += o.alignedVerbatim;
    bytes += o.bytes;
  }
};

void Count(const Token& t, Freqs& f) {
  if (t.len == 0) {
    f.main[t.fmt]++;
    return;
  }
  const SlotTables& st = Slots();
  unsigned slot = st.Slot(t.fmt);
  unsigned hdr = std::min(t.len - kMinMatch, 7u);
  f.main[kNumChars + slot * 8 + hdr]++;
  if (hdr == 7) f.len[t.len - 9]++;
  unsigned extra = st.extra[slot];
  f.verbatimExtra += extra;
  if (extra >= 3) {
    f.aligned[(t.fmt - st.base[slot]) & 7]++;
    f.alignedVerbatim += extra - 3;
  } else {
    f.alignedVerbatim += extra;
  }
}

enum BlockType { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };

// Working memory of one frame's parse: a copy of the encoder's state starts
// with none of it.
template <class T>
struct Scratch : std::vector<T> {
  Scratch() = default;
  Scratch(const Scratch&) : std::vector<T>() {}
  Scratch& operator=(const Scratch&) { return *this; }
};

struct BlockPlan {
  BlockType type = kVerbatim;
  uint64_t bits = 0;
  uint8_t main[kMaxMain], len[kLenSymbols], aligned[kAlignedSymbols];
};

}  // namespace

struct LzxEncoder::State {
  LzxOptions opt;
  FrameSink sink;
  LzxStats stats;
  unsigned mainSymbols;
  uint32_t windowSize, maxOffset;

  // Input from base on; positions are counted from the stream's start.
  std::vector<uint8_t> buf;
  uint64_t base = 0;
  uint64_t done = 0;    // bytes encoded
  bool started = false; // header decided and written
  bool e8 = false;
  uint32_t translationSize = 0;

  // Hash chains: head by hash, prev by position modulo the window; entries
  // hold position + 1, 0 for none.
  std::vector<uint32_t> head, prev, head3;
  uint64_t hashed = 0;

  uint32_t r[3] = {1, 1, 1};
  uint8_t prevMain[kMaxMain] = {0}, prevLen[kLenSymbols] = {0};
  // Prices in bits, from the lengths of the frames parsed so far.
  uint8_t priceMain[kMaxMain], priceLen[kLenSymbols];

  BitWriter pendingHeader;  // the stream header, before the first block

  // Rewindable: where the state before each batch goes, and copies no
  // longer needed whose memory the next copy reuses.
  std::vector<std::unique_ptr<State>>* restartPoints = nullptr;
  std::vector<std::unique_ptr<State>>* spares = nullptr;

  void KeepRestartPoint() {
    if (spares->empty()) {
      restartPoints->push_back(std::make_unique<State>(*this));
    } else {
      restartPoints->push_back(std::move(spares->back()));
      spares->pop_back();
      *restartPoints->back() = *this;
    }
  }

  State(const LzxOptions& o, FrameSink s) : opt(o), sink(std::move(s)) {
    mainSymbols = kNumChars + 8 * SlotCount(opt.windowBits);
    windowSize = 1u << opt.windowBits;
    maxOffset = windowSize - 3;
    head.assign(size_t(1) << kHashBits, 0);
    head3.assign(size_t(1) << kHash3Bits, 0);
    prev.assign(windowSize, 0);
    memset(priceMain, 9, sizeof priceMain);
    memset(priceMain + kNumChars, 10, sizeof priceMain - kNumChars);
    memset(priceLen, 8, sizeof priceLen);
  }

  const uint8_t* At(uint64_t pos) const { return buf.data() + (pos - base); }
  uint64_t End() const { return base + buf.size(); }

  // ---- Call translation.

  static uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }

  void Translate(uint64_t start, uint32_t len) {
    if (!e8 || start >= kTranslateBelow || len <= 10) return;
    uint8_t* d = buf.data() + (start - base);
    const int64_t size = translationSize;
    for (uint32_t i = 0; i + 10 < len;) {
      if (d[i] != 0xE8) {
        ++i;
        continue;
      }
      const int64_t cur = int64_t(start + i);
      const int64_t rel = int32_t(Le32(d + i + 1));
      if (rel >= -cur && rel < size) {
        int64_t abs = rel < size - cur ? rel + cur : rel - size;
        uint32_t v = uint32_t(int32_t(abs));
        d[i + 1] = uint8_t(v);
        d[i + 2] = uint8_t(v >> 8);
        d[i + 3] = uint8_t(v >> 16);
        d[i + 4] = uint8_t(v >> 24);
      }
      i += 5;
    }
  }

  // x86 code has many E8 bytes (calls) whose operands are small
  // displacements; elsewhere E8 is rare and its operands are anything.
  static bool LooksLikeX86(const uint8_t* d, size_t n) {
    uint64_t hits = 0;
    for (size_t i = 0; i + 10 < n;) {
      if (d[i] != 0xE8) {
        ++i;
        continue;
      }
      int64_t rel = int32_t(Le32(d + i + 1));
      if (rel >= -int64_t(1) * (1 << 24) && rel < (1 << 24)) ++hits;
      i += 5;
    }
    return hits >= 16 && hits * 4096 >= n;
  }

  void Start() {
    started = true;
    switch (opt.e8) {
      case LzxCallTranslation::On: e8 = true; break;
      case LzxCallTranslation::Off: e8 = false; break;
      case LzxCallTranslation::Auto: e8 = LooksLikeX86(buf.data(), buf.size()); break;
    }
    translationSize = uint32_t(std::min<uint64_t>(
        std::max<uint64_t>(opt.expectedSize, kDefaultTranslationSize), kMaxTranslationSize));
    pendingHeader.Put(e8 ? 1 : 0, 1);
    if (e8) {
      pendingHeader.Put(translationSize >> 16, 16);
      pendingHeader.Put(translationSize & 0xFFFF, 16);
    }
    stats.e8 = e8;
    stats.e8TranslationSize = e8 ? translationSize : 0;
  }

  // ---- Match finding.

  static uint32_t Hash3(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHash3Bits);
  }
  static uint32_t Hash4(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  // Inserts positions up to `upTo` whose four bytes lie below `dataEnd`
  // (three bytes for the table of 3-byte prefixes).
  void HashUpTo(uint64_t upTo, uint64_t dataEnd) {
    for (; hashed < upTo && hashed + 3 <= dataEnd; ++hashed) {
      const uint8_t* p = At(hashed);
      head3[Hash3(p)] = uint32_t(hashed + 1);
      if (hashed + 4 > dataEnd) break;
      uint32_t h = Hash4(p);
      prev[hashed & (windowSize - 1)] = head[h];
      head[h] = uint32_t(hashed + 1);
    }
  }

  static uint32_t MatchLen(const uint8_t* a, const uint8_t* b, uint32_t max) {
    uint32_t n = 0;
    while (n + 8 <= max) {
      uint64_t x, y;
      memcpy(&x, a + n, 8);
      memcpy(&y, b + n, 8);
      if (x != y) return n + unsigned(__builtin_ctzll(x ^ y) >> 3);
      n += 8;
    }
    while (n < max && a[n] == b[n]) ++n;
    return n;
  }

  struct Match {
    uint32_t len, offset;
  };

  // Matches at `pos` within its frame from the hash chain, nearest first,
  // each longer than the one before.
  void FindMatches(uint64_t pos, uint64_t frameEnd, std::vector<Match>& out) {
    out.clear();
    const uint32_t maxLen = uint32_t(std::min<uint64_t>(kMaxMatch, frameEnd - pos));
    if (maxLen < 3) return;
    const uint8_t* p = At(pos);
    const uint64_t limit = pos > maxOffset ? pos - maxOffset : 0;
    uint32_t bestLen = 2;
    // The latest 3-byte match, worth taking only when near.
    if (uint32_t c3 = head3[Hash3(p)]) {
      uint64_t q = c3 - 1;
      if (q >= limit && q < pos && pos - q < 65536 && memcmp(At(q), p, 3) == 0) {
        bestLen = MatchLen(p, At(q), maxLen);
        out.push_back({bestLen, uint32_t(pos - q)});
        if (bestLen >= maxLen) return;
      }
    }
    if (maxLen < 4) return;
    uint32_t c = head[Hash4(p)];
    for (unsigned depth = opt.chainDepth; c != 0 && depth > 0; --depth) {
      uint64_t q = c - 1;
      if (q < limit || q >= pos) break;
      const uint8_t* m = At(q);
      if (m[bestLen] == p[bestLen] && m[0] == p[0]) {
        uint32_t len = MatchLen(p, m, maxLen);
        if (len > bestLen) {
          bestLen = len;
          out.push_back({len, uint32_t(pos - q)});
          if (len >= maxLen) break;
        }
      }
      uint32_t next = prev[q & (windowSize - 1)];
      if (next == 0 || next - 1 >= q) break;
      c = next;
    }
  }

  static void UseOffset(uint32_t* reps, uint32_t offset, Token& t) {
    if (offset == reps[0]) {
      t.fmt = 0;
    } else if (offset == reps[1]) {
      t.fmt = 1;
      std::swap(reps[0], reps[1]);
    } else if (offset == reps[2]) {
      t.fmt = 2;
      std::swap(reps[0], reps[2]);
    } else {
      t.fmt = offset + 2;
      reps[2] = reps[1];
      reps[1] = reps[0];
      reps[0] = offset;
    }
  }

  // Bits of a match of `len` at formatted offset `fmt`.
  uint32_t MatchPrice(uint32_t fmt, uint32_t len) const {
    const SlotTables& st = Slots();
    unsigned slot = st.Slot(fmt);
    unsigned hdr = std::min(len - kMinMatch, 7u);
    uint32_t p = priceMain[kNumChars + slot * 8 + hdr] + st.extra[slot];
    if (hdr == 7) p += priceLen[len - 9];
    return p;
  }

  // Per position of the frame being parsed: the cheapest way there found so
  // far, the step that got there, and the repeated offsets after it.
  struct Node {
    uint32_t cost;
    uint32_t len;     // 1: literal
    uint32_t offset;
    uint32_t r[3];
  };
  Scratch<Node> nodes;
  Scratch<Match> matches;

  // The frame's matches from the hash chains, found once for both passes of
  // the parse: per position its list in `found`, and where a match of
  // niceLength or more starts, only that match (the positions it covers are
  // not searched).
  Scratch<Match> found;
  Scratch<uint32_t> foundAt;  // per position: first index in found; one more entry at the end
  Scratch<uint8_t> nice;         // 1 where the position's last match is taken as it is

  void CollectMatches(uint64_t start, uint32_t n) {
    const uint64_t end = start + n;
    found.clear();
    foundAt.assign(n + 1, 0);
    nice.assign(n, 0);
    uint32_t skipTo = 0;
    for (uint32_t i = 0; i < n; ++i) {
      foundAt[i] = uint32_t(found.size());
      HashUpTo(start + i, end);
      if (i < skipTo) continue;
      FindMatches(start + i, end, matches);
      found.insert(found.end(), matches.begin(), matches.end());
      if (!matches.empty() && matches.back().len >= opt.niceLength) {
        nice[i] = 1;
        skipTo = i + matches.back().len;
      }
    }
    foundAt[n] = uint32_t(found.size());
    HashUpTo(end, end);
  }

  // The cheapest path through the frame by the current prices, as
  // (length, offset) steps, length 1 for a literal; `reps` are the repeated
  // offsets at the frame's start.
  void CheapestPath(uint64_t start, uint32_t n, const uint32_t* reps,
                    std::vector<std::pair<uint32_t, uint32_t>>& path) {
    nodes.assign(n + 1, Node{UINT32_MAX, 0, 0, {0, 0, 0}});
    nodes[0].cost = 0;
    memcpy(nodes[0].r, reps, sizeof nodes[0].r);
    for (uint32_t i = 0; i < n;) {
      const uint64_t pos = start + i;
      const Node& here = nodes[i];
      const uint8_t* p = At(pos);
      const uint32_t base = here.cost;
      const uint32_t maxLen = std::min<uint32_t>(kMaxMatch, n - i);
      auto relax = [&](uint32_t len, uint32_t offset, uint32_t cost) {
        Node& t = nodes[i + len];
        if (cost < t.cost) {
          t.cost = cost;
          t.len = len;
          t.offset = offset;
        }
      };
      uint32_t longest = 0, longestOffset = 0;
      const Match* m0 = found.data() + foundAt[i];
      const Match* m1 = found.data() + foundAt[i + 1];
      if (nice[i]) {
        longest = m1[-1].len;
        longestOffset = m1[-1].offset;
      } else {
        relax(1, 0, base + priceMain[*p]);
        if (maxLen >= kMinMatch) {
          for (int k = 0; k < 3; ++k) {
            uint32_t off = here.r[k];
            if (off > pos || (k > 0 && off == here.r[0]) || (k == 2 && off == here.r[1])) continue;
            uint32_t len = MatchLen(p, p - off, maxLen);
            for (uint32_t l = kMinMatch; l <= len; ++l) relax(l, off, base + MatchPrice(uint32_t(k), l));
            if (len > longest) {
              longest = len;
              longestOffset = off;
            }
          }
          uint32_t from = 3;
          for (const Match* m = m0; m < m1; ++m) {
            const uint32_t fmt = m->offset + 2;
            for (uint32_t l = from; l <= m->len; ++l) relax(l, m->offset, base + MatchPrice(fmt, l));
            from = m->len + 1;
            if (m->len > longest) {
              longest = m->len;
              longestOffset = m->offset;
            }
          }
        }
      }
      if (longest >= opt.niceLength) {
        // Taken as it is: cheaper than any other way there by construction,
        // and the positions it covers are not expanded.
        Node& t = nodes[i + longest];
        t.cost = base;
        t.len = longest;
        t.offset = longestOffset;
        Token tok{};
        memcpy(t.r, here.r, sizeof t.r);
        UseOffset(t.r, longestOffset, tok);
        i += longest;
        continue;
      }
      ++i;
      // The repeated offsets after the best step into position i.
      Node& next = nodes[i];
      memcpy(next.r, nodes[i - next.len].r, sizeof next.r);
      if (next.len >= kMinMatch) {
        Token tok{};
        UseOffset(next.r, next.offset, tok);
      }
    }
    path.clear();
    for (uint32_t i = n; i > 0;) {
      const Node& t = nodes[i];
      path.push_back({t.len, t.offset});
      i -= t.len;
    }
    std::reverse(path.begin(), path.end());
  }

  void PathTokens(uint64_t start, const std::vector<std::pair<uint32_t, uint32_t>>& path, uint32_t* reps,
                  std::vector<Token>& tokens) {
    uint64_t pos = start;
    for (const auto& step : path) {
      if (step.first == 1) {
        tokens.push_back({0, *At(pos)});
      } else {
        Token t{step.first, 0};
        UseOffset(reps, step.second, t);
        tokens.push_back(t);
      }
      pos += step.first;
    }
  }

  // Parses a frame by its cheapest path, priced with the frames before; with
  // two passes the first path gives the prices for the second.
  void ParseFrame(Frame& f, std::vector<Token>& tokens, Freqs& fr) {
    CollectMatches(f.start, f.len);
    std::vector<std::pair<uint32_t, uint32_t>> path;
    if (opt.passes > 1) {
      CheapestPath(f.start, f.len, r, path);
      std::vector<Token> trial;
      uint32_t reps[3];
      memcpy(reps, r, sizeof reps);
      PathTokens(f.start, path, reps, trial);
      Freqs tf;
      for (const Token& t : trial) Count(t, tf);
      UpdatePrices(tf);
    }
    CheapestPath(f.start, f.len, r, path);
    f.tokenBegin = tokens.size();
    PathTokens(f.start, path, r, tokens);
    f.tokenEnd = tokens.size();
    memcpy(f.r, r, sizeof r);
    for (size_t k = f.tokenBegin; k < f.tokenEnd; ++k) Count(tokens[k], fr);
    fr.bytes = f.len;
  }

  void UpdatePrices(const Freqs& fr) {
    uint8_t lens[kMaxMain];
    BuildLengths(fr.main, mainSymbols, 16, lens);
    for (unsigned i = 0; i < mainSymbols; ++i) priceMain[i] = lens[i] ? lens[i] : (i < kNumChars ? 12 : 14);
    uint8_t ll[kLenSymbols];
    BuildLengths(fr.len, kLenSymbols, 16, ll);
    for (unsigned i = 0; i < kLenSymbols; ++i) priceLen[i] = ll[i] ? ll[i] : 12;
  }

  // ---- Blocks.

  uint64_t TreeBits(const uint8_t* main, const uint8_t* len) const {
    return SendTree(nullptr, prevMain, main, kNumChars) +
           SendTree(nullptr, prevMain + kNumChars, main + kNumChars, mainSymbols - kNumChars) +
           SendTree(nullptr, prevLen, len, kLenSymbols);
  }

  void Plan(const Freqs& fr, BlockPlan& plan) const {
    BuildLengths(fr.main, mainSymbols, 16, plan.main);
    BuildLengths(fr.len, kLenSymbols, 16, plan.len);
    BuildLengths(fr.aligned, kAlignedSymbols, 7, plan.aligned);
    uint64_t sym = 0;
    for (unsigned i = 0; i < mainSymbols; ++i) sym += uint64_t(fr.main[i]) * plan.main[i];
    for (unsigned i = 0; i < kLenSymbols; ++i) sym += uint64_t(fr.len[i]) * plan.len[i];
    uint64_t alignedSym = 0;
    for (unsigned i = 0; i < kAlignedSymbols; ++i) alignedSym += uint64_t(fr.aligned[i]) * plan.aligned[i];
    const uint64_t header = 27 + TreeBits(plan.main, plan.len);
    const uint64_t verbatim = header + sym + fr.verbatimExtra;
    const uint64_t aligned = header + 24 + sym + fr.alignedVerbatim + alignedSym;
    const uint64_t raw = 27 + 16 + 96 + 8 * ((fr.bytes + 1) & ~uint64_t(1));
    plan.type = kVerbatim;
    plan.bits = verbatim;
    if (aligned < plan.bits) {
      plan.type = kAligned;
      plan.bits = aligned;
    }
    if (raw <= plan.bits) {
      plan.type = kUncompressed;
      plan.bits = raw;
    }
  }

  void WriteToken(BitWriter& w, const Token& t, const BlockPlan& plan, const uint16_t* mainCodes,
                  const uint16_t* lenCodes, const uint16_t* alignedCodes) const {
    if (t.len == 0) {
      w.Put(mainCodes[t.fmt], plan.main[t.fmt]);
      return;
    }
    const SlotTables& st = Slots();
    unsigned slot = st.Slot(t.fmt);
    unsigned hdr = std::min(t.len - kMinMatch, 7u);
    unsigned m = kNumChars + slot * 8 + hdr;
    w.Put(mainCodes[m], plan.main[m]);
    if (hdr == 7) w.Put(lenCodes[t.len - 9], plan.len[t.len - 9]);
    unsigned extra = st.extra[slot];
    uint32_t footer = t.fmt - st.base[slot];
    if (plan.type == kAligned && extra >= 3) {
      w.Put(footer >> 3, extra - 3);
      w.Put(alignedCodes[footer & 7], plan.aligned[footer & 7]);
    } else {
      w.Put(footer, extra);
    }
  }

  // Encodes frames [a, b) as one block of the planned type; false if a
  // frame would not fit a cabinet data block.
  bool EmitBlock(const std::vector<Frame>& frames, size_t a, size_t b, const std::vector<Token>& tokens,
                 const BlockPlan& plan, std::vector<std::vector<uint8_t>>& out) {
    out.clear();
    BitWriter w = pendingHeader;
    uint64_t size = 0;
    for (size_t i = a; i < b; ++i) size += frames[i].len;
    w.Put(plan.type, 3);
    w.Put(uint32_t(size >> 8), 16);
    w.Put(uint32_t(size & 0xFF), 8);
    if (plan.type == kUncompressed) {
      w.AlignForUncompressed();
      const uint32_t* rEnd = frames[b - 1].r;
      for (int k = 0; k < 3; ++k)
        for (int s = 0; s < 32; s += 8) w.Byte(uint8_t(rEnd[k] >> s));
      for (size_t i = a; i < b; ++i) {
        w.Bytes(At(frames[i].start), frames[i].len);
        if (i + 1 == b && (size & 1)) w.Byte(0);
        out.push_back(std::move(w.out()));
        w = BitWriter();
      }
      return true;
    }
    uint16_t mainCodes[kMaxMain], lenCodes[kLenSymbols], alignedCodes[kAlignedSymbols];
    BuildCodes(plan.main, mainSymbols, mainCodes);
    BuildCodes(plan.len, kLenSymbols, lenCodes);
    BuildCodes(plan.aligned, kAlignedSymbols, alignedCodes);
    if (plan.type == kAligned)
      for (unsigned i = 0; i < kAlignedSymbols; ++i) w.Put(plan.aligned[i], 3);
    SendTree(&w, prevMain, plan.main, kNumChars);
    SendTree(&w, prevMain + kNumChars, plan.main + kNumChars, mainSymbols - kNumChars);
    SendTree(&w, prevLen, plan.len, kLenSymbols);
    for (size_t i = a; i < b; ++i) {
      for (size_t k = frames[i].tokenBegin; k < frames[i].tokenEnd; ++k)
        WriteToken(w, tokens[k], plan, mainCodes, lenCodes, alignedCodes);
      w.Align();
      if (w.out().size() > kLzxMaxFrameBytes) return false;
      out.push_back(std::move(w.out()));
      w = BitWriter();
    }
    return true;
  }

  void EncodeBatch(uint64_t start, uint64_t end) {
    std::vector<Frame> frames;
    for (uint64_t s = start; s < end; s += kLzxFrameSize) {
      Frame f;
      f.start = s;
      f.len = uint32_t(std::min<uint64_t>(kLzxFrameSize, end - s));
      frames.push_back(f);
    }
    for (const Frame& f : frames) Translate(f.start, f.len);

    std::vector<Token> tokens;
    tokens.reserve(size_t(end - start) / 2);
    std::vector<Freqs> fq(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      ParseFrame(frames[i], tokens, fq[i]);
      UpdatePrices(fq[i]);
    }

    // Frames join the block before them while that costs fewer bits.
    std::unique_ptr<BlockPlan> joined(new BlockPlan), alone(new BlockPlan), current(new BlockPlan);
    std::vector<std::vector<uint8_t>> out;
    size_t a = 0;
    Freqs acc = fq[0];
    Plan(acc, *current);
    for (size_t i = 1; i <= frames.size(); ++i) {
      if (i < frames.size()) {
        Freqs both = acc;
        both.Add(fq[i]);
        Plan(both, *joined);
        Plan(fq[i], *alone);
        if (joined->bits <= current->bits + alone->bits) {
          acc = both;
          std::swap(current, joined);
          continue;
        }
      }
      Flush(frames, a, i, tokens, *current, out);
      if (i < frames.size()) {
        a = i;
        acc = fq[i];
        Plan(acc, *current);
      }
    }
  }

  void Flush(const std::vector<Frame>& frames, size_t a, size_t b, const std::vector<Token>& tokens,
             BlockPlan& plan, std::vector<std::vector<uint8_t>>& out) {
    if (!EmitBlock(frames, a, b, tokens, plan, out)) {
      plan.type = kUncompressed;
      EmitBlock(frames, a, b, tokens, plan, out);
    }
    pendingHeader = BitWriter();
    if (plan.type == kUncompressed) {
      stats.uncompressedBlocks++;
    } else {
      (plan.type == kAligned ? stats.alignedBlocks : stats.verbatimBlocks)++;
      memcpy(prevMain, plan.main, mainSymbols);
      memcpy(prevLen, plan.len, kLenSymbols);
    }
    for (size_t i = a; i < b; ++i) {
      sink(out[i - a].data(), out[i - a].size(), frames[i].len);
      stats.frames++;
    }
  }

  // Encodes whole batches while enough input waits (all of it at the end).
  void Pump(bool final) {
    const uint64_t batch = uint64_t(opt.batchFrames) * kLzxFrameSize;
    if (!started) {
      // Auto looks at the start of the stream first.
      if (!final && opt.e8 == LzxCallTranslation::Auto && End() - done < kDecideBytes) return;
      Start();
    }
    while (End() > done && (final || End() - done >= batch)) {
      uint64_t end = std::min(End(), done + batch);
      if (restartPoints) KeepRestartPoint();
      EncodeBatch(done, end);
      done = end;
      // Keep one window of history before the next batch.
      uint64_t keep = done > windowSize ? done - windowSize : 0;
      if (keep > base + batch) {
        buf.erase(buf.begin(), buf.begin() + std::ptrdiff_t(keep - base));
        base = keep;
      }
    }
  }
};

LzxEncoder::LzxEncoder(const LzxOptions& options, FrameSink sink)
    : s_(new State(options, std::move(sink))) {
  if (options.rewindable) {
    s_->restartPoints = &restartPoints_;
    s_->spares = &spares_;
  }
}
LzxEncoder::~LzxEncoder() = default;

void LzxEncoder::Write(const uint8_t* data, size_t n) {
  if (s_->restartPoints) raw_.insert(raw_.end(), data, data + n);
  s_->buf.insert(s_->buf.end(), data, data + n);
  s_->Pump(false);
}

size_t LzxEncoder::EndAt(uint64_t end) {
  if (end < s_->done) {
    // Back to the latest state from which the frames up to `end` can be
    // encoded again; the later ones describe a stream that goes on.
    size_t i = restartPoints_.size();
    while (i > 0 && restartPoints_[i - 1]->done > end) --i;
    if (i == 0) return SIZE_MAX;
    spares_.push_back(std::move(s_));
    s_ = std::move(restartPoints_[i - 1]);
    for (size_t k = i; k < restartPoints_.size() && spares_.size() < 2; ++k)
      spares_.push_back(std::move(restartPoints_[k]));
    restartPoints_.resize(i - 1);
  }
  State& s = *s_;
  const uint64_t rawEnd = rawBase_ + raw_.size();
  if (s.End() > end) {
    s.buf.resize(size_t(end - s.base));
  } else if (s.End() < end && s.End() < rawEnd) {
    if (s.End() < rawBase_) return SIZE_MAX;
    const uint8_t* from = raw_.data() + (s.End() - rawBase_);
    s.buf.insert(s.buf.end(), from, from + (std::min(end, rawEnd) - s.End()));
  }
  if (end <= rawBase_) {
    raw_.clear();
    rawBase_ = end;
  } else if (rawEnd > end) {
    raw_.resize(size_t(end - rawBase_));
  }
  return size_t(s.stats.frames);
}

void LzxEncoder::Release(uint64_t pos) {
  size_t keep = 0;  // the latest restart point at or before pos
  while (keep + 1 < restartPoints_.size() && restartPoints_[keep + 1]->done <= pos) ++keep;
  for (size_t i = 0; i < keep; ++i)
    if (spares_.empty()) spares_.push_back(std::move(restartPoints_[i]));
  restartPoints_.erase(restartPoints_.begin(), restartPoints_.begin() + std::ptrdiff_t(keep));
  const uint64_t from = restartPoints_.empty() ? s_->End() : restartPoints_.front()->End();
  if (from > rawBase_) {
    raw_.erase(raw_.begin(), raw_.begin() + std::ptrdiff_t(std::min<uint64_t>(from - rawBase_, raw_.size())));
    rawBase_ = from;
  }
}

void LzxEncoder::Finish() {
  if (!s_->started) s_->Start();
  s_->Pump(true);
}

const LzxStats& LzxEncoder::stats() const { return s_->stats; }

bool LzxAutoCallTranslation(const uint8_t* data, size_t n) {
  return LzxEncoder::State::LooksLikeX86(data, std::min(n, kDecideBytes));
}

std::vector<std::string> LzxCompress(const void* data, size_t n, const LzxOptions& options, LzxStats* stats) {
  std::vector<std::string> frames;
  LzxOptions o = options;
  if (o.expectedSize == 0) o.expectedSize = n;
  LzxEncoder enc(o, [&](const uint8_t* p, size_t len, uint32_t) {
    frames.emplace_back(reinterpret_cast<const char*>(p), len);
  });
  enc.Write(static_cast<const uint8_t*>(data), n);
  enc.Finish();
  if (stats) *stats = enc.stats();
  return frames;
}

}  // namespace pvx
