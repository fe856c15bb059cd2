// What the install sequence shows while it works: the Installing page's
// status line and progress bar, and the window that owns its prompts.
#pragma once
#include <windows.h>

#include <cstdint>

#include "format/str.h"

namespace pvx {

class InstallUi {
 public:
  HWND owner = nullptr;        // the wizard window (hidden in silent mode)
  HWND statusLabel = nullptr;
  HWND progressBar = nullptr;

  // Range 0 .. maximum (units of 1024 bytes), count 0.
  void Reset(int32_t maximum);
  // Adds to the byte count and now and then lets pending window messages
  // run. The bar follows the count at most every 30 ms, and at once with
  // every status text: a run of small files would otherwise spend a
  // repaint per file.
  void Add(uint64_t bytes);
  // A step's status text, shown at once.
  void SetStatus(const Str& text);
  // The status text of one file among many: shown at once if the last
  // showing is 30 ms old, otherwise by the next one.
  void SetFileStatus(const Str& text);
  // Shows the latest status text and count: always, or if the last
  // showing is 30 ms old.
  void Show(bool always);
  uint64_t Count() const { return count_; }

 private:
  uint64_t count_ = 0;
  // The text shown next, made on first use: the wizard's state lives in a
  // global, and the stub runs no constructors or destructors of globals.
  Str* status_ = nullptr;
  DWORD shownAt_ = 0;
};

// The unit of work that every step but the file copy adds per record.
constexpr uint64_t kWorkUnit = 10240;

}  // namespace pvx
