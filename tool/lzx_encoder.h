// LZX compression for cabinet folders: one stream per folder, cut into
// 32 KiB frames that become the folder's CFDATA blocks one to one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pvx {

constexpr uint32_t kLzxFrameSize = 32768;
constexpr unsigned kLzxMinWindowBits = 15, kLzxMaxWindowBits = 21;
// The largest compressed frame a cabinet data block may carry.
constexpr uint32_t kLzxMaxFrameBytes = kLzxFrameSize + 6144;

enum class LzxCallTranslation { Auto, On, Off };

struct LzxOptions {
  unsigned windowBits = 21;  // 15..21
  LzxCallTranslation e8 = LzxCallTranslation::Auto;
  // Expected stream length, when known: the x86 call translation then
  // covers the whole stream. 0 = unknown.
  uint64_t expectedSize = 0;
  // Effort: hash chain candidates per position, and the match length
  // taken without looking for a cheaper path.
  unsigned chainDepth = 32;
  unsigned niceLength = 64;
  // 2: each frame is parsed again with the prices of its first parse
  // (about 1% smaller on program files, a third slower).
  unsigned passes = 1;
  // Frames per batch: a block never spans two batches, and a batch is
  // encoded only once all of its input is there.
  unsigned batchFrames = 32;
  // Keeps a copy of the state before each batch of frames, so that EndAt
  // can end the stream earlier than its input went (cabinet sets, where a
  // folder's end is found only once its frames reach a part boundary).
  // Each copy holds the window and the hash chains (about 14 MiB at window
  // 21): write such a stream a batch at a time, with On or Off rather than
  // Auto, which waits for 4 MiB, and Release what will stay.
  bool rewindable = false;
};

struct LzxStats {
  bool e8 = false;
  uint32_t e8TranslationSize = 0;
  uint64_t verbatimBlocks = 0, alignedBlocks = 0, uncompressedBlocks = 0;
  uint64_t frames = 0;
};

// What LzxCallTranslation::Auto chooses for a stream that starts with
// these bytes (it looks at the first 4 MiB).
bool LzxAutoCallTranslation(const uint8_t* data, size_t n);

// Encodes one stream. Input may come in pieces of any size; the sink
// receives each frame's compressed bytes as soon as its block is decided,
// with the frame's uncompressed length (32768 for all frames but the last).
class LzxEncoder {
 public:
  using FrameSink = std::function<void(const uint8_t* data, size_t n, uint32_t uncompressed)>;
  LzxEncoder(const LzxOptions& options, FrameSink sink);
  ~LzxEncoder();
  LzxEncoder(const LzxEncoder&) = delete;
  LzxEncoder& operator=(const LzxEncoder&) = delete;

  void Write(const uint8_t* data, size_t n);
  void Finish();  // the stream ends here; no Write after it
  const LzxStats& stats() const;

  // Rewindable encoders: the stream ends at `end` bytes from its start
  // instead of where the input written so far goes. Frames already handed
  // to the sink that reach beyond the last restart point at or before
  // `end` are encoded again: returns how many of the frames handed over so
  // far stay. The caller then writes the input up to `end`, if not written
  // yet, and calls Finish, and the sink receives the frames after those.
  // `end` must not lie before a position passed to Release.
  size_t EndAt(uint64_t end);
  // The stream will not be ended before `pos`: restart points that EndAt
  // could no longer need are dropped.
  void Release(uint64_t pos);

 private:
  friend bool LzxAutoCallTranslation(const uint8_t* data, size_t n);
  struct State;
  std::unique_ptr<State> s_;
  // Rewindable: the state before each batch still needed, oldest first,
  // and the input from rawBase_ on as it was written (the state's own copy
  // is translated in place).
  std::vector<std::unique_ptr<State>> restartPoints_, spares_;
  std::vector<uint8_t> raw_;
  uint64_t rawBase_ = 0;
};


// The whole stream at once: one string per frame.
std::vector<std::string> LzxCompress(const void* data, size_t n, const LzxOptions& options,
                                     LzxStats* stats = nullptr);

}  // namespace pvx
