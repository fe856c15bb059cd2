// A ByteSource over a Win32 file handle.
#pragma once
#include <windows.h>

#include "format/str.h"

#include "format/byte_source.h"

namespace pvx {

class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override { Close(); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const Str& path);
  void Close();
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }

  uint64_t Size() override;
  bool Seek(uint64_t position) override;
  uint64_t Position();
  size_t Read(void* destination, size_t n) override;

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace pvx
