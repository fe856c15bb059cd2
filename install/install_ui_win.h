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
  // Adds to the byte count, moves the bar to count / 1024 (rounded, halves
  // to even) and now and then lets pending window messages run.
  void Add(uint64_t bytes);
  void SetStatus(const Str& text);
  uint64_t Count() const { return count_; }

 private:
  uint64_t count_ = 0;
};

// The unit of work that every step but the file copy adds per record.
constexpr uint64_t kWorkUnit = 10240;

}  // namespace pvx
