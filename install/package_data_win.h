// Reading package data: the payload stream that runs on from the setup
// executable into further volume files, block copies, and the copy-out of
// cabinet parts with their signature put back.
#pragma once
#include <windows.h>

#include <cstdint>

#include "format/str.h"
#include "core/file_source_win.h"

namespace pvx {

struct Run;

// Where a copy goes: a file, or nowhere (the bytes are passed over).
struct CopyTarget {
  HANDLE file = INVALID_HANDLE_VALUE;
  Str path;             // named in the copy-error prompt
  bool failed = false;  // a write failed and was ignored
};

// Asked when a block cannot be written: true retries the block, false
// goes on without writing (the source keeps its place). Abort ends the run
// inside the prompt.
class WriteErrorPrompt {
 public:
  virtual bool RetryWrite(const Str& path) = 0;
};

// Copies up to count bytes in blocks of at most 512 KiB, letting window
// messages run after each block; returns the number of bytes read.
uint64_t CopyStream(CopyTarget& target, ByteSource& source, uint64_t count,
                    WriteErrorPrompt* prompt);

struct PackageReader {
  int volume = 1;
  Str volumePath;  // empty: the running executable
  FileSource stream;
  uint64_t end = 0;  // volume 1's package data ends 36 bytes before this
};

// The parts of the run that reading package data needs.
struct PackageDataContext {
  Run& run;
  PackageReader reader;
  HWND owner;  // the wizard window: prompts and close requests go there
  WriteErrorPrompt* prompt = nullptr;
};

bool OpenPackageReader(PackageDataContext& context);

// Copies count bytes of package data from the reader's position into the
// target, moving to further volumes as needed (asking for a missing one);
// returns the number of bytes copied.
uint64_t ReadPackageData(PackageDataContext& context, CopyTarget& target, uint64_t count);

// Writes cabinet part `part` ("MSCF" and its stored bytes) to a new file.
// Returns false when the file could not be created or the package ran out
// before the part's end.
bool CopyOutCabinetPart(PackageDataContext& context, int part, const Str& path);

}  // namespace pvx
