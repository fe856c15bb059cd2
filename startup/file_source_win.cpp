#include "format/str.h"
#include "startup/file_source_win.h"

namespace pvx {

bool FileSource::Open(const Str& path) {
  Close();
  handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return IsOpen();
}

void FileSource::Close() {
  if (IsOpen()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

uint64_t FileSource::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(handle_, &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

bool FileSource::Seek(uint64_t position) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(position);
  return IsOpen() && SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN);
}

uint64_t FileSource::Position() {
  LARGE_INTEGER zero, position;
  zero.QuadPart = 0;
  if (!IsOpen() || !SetFilePointerEx(handle_, zero, &position, FILE_CURRENT)) return 0;
  return static_cast<uint64_t>(position.QuadPart);
}

size_t FileSource::Read(void* destination, size_t n) {
  DWORD got = 0;
  if (!IsOpen() || !ReadFile(handle_, destination, static_cast<DWORD>(n), &got, nullptr)) return 0;
  return got;
}

}  // namespace pvx
