#include "format/str.h"
#include "core/file_source_win.h"

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

// GetFileSize and SetFilePointer with their high halves rather than the
// ...Ex forms, which Windows 98, Me and NT 4 do not have: the stub must
// start there to say that it does not support them. A low half of all ones
// is only an error when the last error says so.
uint64_t FileSource::Size() {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(handle_, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return (static_cast<uint64_t>(high) << 32) | low;
}

bool FileSource::Seek(uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle_, static_cast<LONG>(position), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

uint64_t FileSource::Position() {
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle_, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return 0;
  return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

size_t FileSource::Read(void* destination, size_t n) {
  DWORD got = 0;
  if (!IsOpen() || !ReadFile(handle_, destination, static_cast<DWORD>(n), &got, nullptr)) return 0;
  return got;
}

}  // namespace pvx
