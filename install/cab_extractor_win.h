// TCab: extracts a chain of Microsoft Cabinet files through the system's
// decompressor (FDI in cabinet.dll) and hands every member to its owner
// through events, so that the owner decides where each member goes,
// whether it is written at all, what happens when its file cannot be
// created or written, and where the next cabinet of the chain is found.
#pragma once
#include <windows.h>
#include <fdi.h>

#include <cstdint>
#include <vector>

#include "format/str.h"
#include "core/outcome.h"

namespace pvx {

class TCab;

// What an event decides. Retry, Skip and Abort come in the order of the
// copy-error prompt's answers (PromptAnswer), so that its answer converts
// as it is.
enum class CabAnswer : uint8_t {
  Retry,     // try the failed create or write again
  Skip,      // leave the member out (or, after a failed write, unwritten)
  Abort,     // stop the extraction (Extract's outcome: cancelled)
  Continue,  // go on as proposed
};

struct CabEvents {
  void* owner = nullptr;
  // Before a member is written: Continue writes it to the destination
  // (which the event may change), Skip leaves it out, Abort stops.
  CabAnswer (*onCopyFile)(TCab& sender, void* owner, const Str& name, uint32_t size,
                          uint16_t date, uint16_t time, uint16_t attributes, uint16_t folder,
                          Str& destination) = nullptr;
  // A destination could not be created: Retry, Skip or Abort.
  CabAnswer (*onCreateError)(TCab& sender, void* owner, const Str& destination) = nullptr;
  // The decompressor needs the next cabinet; the folder (in/out) says
  // where it will look. Continue or Abort.
  CabAnswer (*onNextCabinet)(TCab& sender, void* owner, const Str& name, const Str& disk,
                             Str& folder) = nullptr;
  // Writing a member's data failed (a full disk, a vanished file). Without
  // a handler the extraction fails (an I/O failure); with one, Retry
  // writes again, Skip lets the member go on unwritten, Abort stops.
  CabAnswer (*onWriteError)(TCab& sender, void* owner, const Str& destination) = nullptr;
};

class TCab {
 public:
  explicit TCab(const CabEvents& events) : events_(events) {}
  ~TCab();
  TCab(const TCab&) = delete;
  TCab& operator=(const TCab&) = delete;

  // Extracts every member of the chain that begins with the cabinet, and
  // says how that went: done; cancelled by an event; damaged (damaged
  // data, a failed checksum, a missing part); an I/O failure (a write that
  // failed with nobody to ask); an unusable system (no cabinet.dll, or one
  // without the decompressor's entry points). A chain that ends because no
  // further part is named, or the named one is absent, is done unless a
  // member was cut off.
  Outcome Extract(const Str& cabinetFile, const Str& destinationFolder);

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

  // For the decompressor's callbacks: a notification, answered as FDI
  // expects; a failed write of the member being written through the
  // handle, answered by its owner (Abort, also without a handler or for a
  // file that is no member: the write fails; Skip: it goes on unwritten);
  // whether a write failed and was skipped.
  INT_PTR Notify(int type, FDINOTIFICATION* notification);
  CabAnswer WriteError(INT_PTR handle);
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
  bool stopped_ = false;  // an event said abort, or a cabinet was refused
  Outcome outcome_;  // set by Extract
  INT_PTR Stop(INT_PTR result, OutcomeKind kind = OutcomeKind::Cancelled) {
    stopped_ = true;
    outcome_ = Outcome{kind, 0};
    return result;
  }
  HANDLE created_ = nullptr;
  int error_[3] = {0, 0, 0};
  std::vector<OpenMember> open_;
};

}  // namespace pvx
