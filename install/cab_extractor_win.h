// TCab: extracts a chain of Microsoft Cabinet files through the system's
// decompressor (FDI in cabinet.dll) and hands every member to its owner
// through events, so that the owner decides where each member goes,
// whether it is written at all, what happens when its file cannot be
// created or written, and where the next cabinet of the chain is found.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "format/str.h"

namespace pvx {

class TCab;

struct CabEvents {
  void* owner = nullptr;
  // Before a member is written. An empty destination skips it; abort stops
  // the extraction.
  void (*onCopyFile)(TCab& sender, void* owner, const Str& name, uint32_t size, uint16_t date,
                     uint16_t time, uint16_t attributes, uint16_t folder, Str& destination,
                     bool& abort) = nullptr;
  // A destination could not be created (retry tries again, neither skips
  // the member).
  void (*onCreateError)(TCab& sender, void* owner, const Str& destination, bool& retry,
                        bool& abort) = nullptr;
  // The decompressor needs the next cabinet; the folder (in/out) says
  // where it will look.
  void (*onNextCabinet)(TCab& sender, void* owner, const Str& name, const Str& disk, Str& folder,
                        bool& abort) = nullptr;
  // Writing a member's data failed (a full disk, a vanished file). Without
  // a handler the extraction fails; with one, retry writes again and
  // neither lets the member go on unwritten.
  void (*onWriteError)(TCab& sender, void* owner, const Str& destination, bool& retry,
                       bool& abort) = nullptr;
};

class TCab {
 public:
  explicit TCab(const CabEvents& events) : events_(events) {}
  ~TCab();
  TCab(const TCab&) = delete;
  TCab& operator=(const TCab&) = delete;

  // Extracts every member of the chain that begins with the cabinet.
  // Returns false when the decompressor could not finish it (damaged data,
  // a failed checksum, a missing part, no cabinet.dll): a chain that ends
  // because no further part is named, or the named one is absent, is not
  // a failure unless a member was cut off.
  bool Extract(const Str& cabinetFile, const Str& destinationFolder);

  struct OpenMember {
    Str name;
    Str destination;
    INT_PTR handle;
    bool writeFailed;
    bool fresh;  // created by the owner as a new file
  };

  // For OnCopyFile: the destination is already open, created new by the
  // owner (write access, shared for reading); the member is written there.
  void UseCreatedFile(HANDLE file) { created_ = file; }

  // For the decompressor's callbacks.
  INT_PTR Notify(int type, void* notification);
  bool WriteFailed(INT_PTR handle);
  bool Stopped() const { return stopped_; }

 private:
  CabEvents events_;
  void* context_ = nullptr;
  Str cabinetPath_;
  Str destinationFolder_;
  Str nextCabinetPath_;
  Str requestedCabinetPath_;
  bool movedOn_ = false;
  bool stopped_ = false;  // an event said abort
  INT_PTR Stop(INT_PTR result) {
    stopped_ = true;
    return result;
  }
  HANDLE created_ = nullptr;
  int error_[3] = {0, 0, 0};
  std::vector<OpenMember> open_;
};

}  // namespace pvx
