// Stored resource entries and stored file records: the decoders, and the
// tool's reader of both areas over an untrusted package file (inspect and
// extract), which must refuse what does not add up instead of reading out
// of bounds or allocating what a length field claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "format/script.h"
#include "format/stored_records.h"
#include "install/overwrite.h"
#include "install/path_safety.h"
#include "tests/fuzz/fuzz_util.h"
#include "tool/package_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + pvx::kStoredFileHeaderSize <= size && at < 4096;
       at += pvx::kStoredFileHeaderSize) {
    pvx::StoredFileHeader h = pvx::DecodeStoredFileHeader(data + at);
    uint8_t again[pvx::kStoredFileHeaderSize];
    pvx::EncodeStoredFileHeader(h, again);
    for (unsigned i = 0; i < pvx::kStoredFileHeaderSize; ++i)
      if (again[i] != data[at + i]) std::abort();
  }
  // Stored resource entries as the runtime reads them: name, length text,
  // content.
  pvx::MemorySource source(data, size);
  pvx::TextReader reader(source);
  for (int i = 0; i < 255; ++i) {
    std::string name, length;
    if (!reader.ReadText(name)) break;
    reader.ReadText(length);
    (void)pvx::IsWorkDirMemberName(name);
    uint64_t left = pvx::StoredResourceLength(length);
    char buffer[512];
    while (left) {
      size_t got = reader.ReadRaw(buffer, left < sizeof buffer ? left : sizeof buffer);
      if (!got) break;
      left -= got;
    }
  }
  std::string path = pvx::fuzz::WriteScratch("setup.exe", data, size);
  try {
    pvx::tool::PackageFile package(path);
    try {
      (void)package.Resources();
    } catch (const pvx::tool::PackageError&) {
    }
    try {
      (void)package.Parts();
      (void)package.Payload();
    } catch (const pvx::tool::PackageError&) {
    }
  } catch (const pvx::tool::PackageError&) {
  }
  return 0;
}
