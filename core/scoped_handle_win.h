// A kernel handle that closes itself. Registry keys have their own closer
// (RegKey, registry_win.h), and so do files read as byte sources
// (FileSource, file_source_win.h).
#pragma once
#include <windows.h>

namespace pvx {

class ScopedHandle {
 public:
  // INVALID_HANDLE_VALUE, which the file functions return on failure, is
  // held as no handle.
  explicit ScopedHandle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return h_; }
  // For functions that return a handle through a pointer.
  HANDLE* Receive() {
    Reset();
    return &h_;
  }
  void Reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_;
};

}  // namespace pvx
