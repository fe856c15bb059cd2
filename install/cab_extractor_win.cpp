#include "install/cab_extractor_win.h"
#include "install/fdi_error.h"

#include "format/file_attributes.h"
#include "format/text_util.h"
#include "install/fdi_files_win.h"
#include "install/file_times_win.h"
#include "install/overwrite.h"
#include "install/path_safety.h"
#include "core/run_win.h"
#include "core/system_dll_win.h"
#include "core/system_libraries.h"

namespace pvx {

namespace {

typedef HFDI(DIAMONDAPI* CreateFn)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE,
                                    PFNSEEK, int, PERF);
typedef BOOL(DIAMONDAPI* CopyFn)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
typedef BOOL(DIAMONDAPI* DestroyFn)(HFDI);

struct Fdi {
  CreateFn create = nullptr;
  CopyFn copy = nullptr;
  DestroyFn destroy = nullptr;
  DWORD error = 0;
};

const Fdi& LoadFdi() {
  static Fdi fdi;
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    if (HMODULE module = LoadSystemLibrary(library::kCabinet)) {
      fdi.create = LookUp<CreateFn>(module, "FDICreate");
      fdi.copy = LookUp<CopyFn>(module, "FDICopy");
      fdi.destroy = LookUp<DestroyFn>(module, "FDIDestroy");
    }
    // What the last failed load or lookup left: why the decompressor
    // cannot be used, when it cannot.
    fdi.error = GetLastError();
  }
  return fdi;
}

// The system's decompressor is not safe from every damaged cabinet: a
// fault inside it cannot unwind to the caller, so it ends the run from
// here, through the run's one exit, as a damaged package.
LONG WINAPI DecompressorFault(EXCEPTION_POINTERS* fault) {
  EndCurrentRun(Outcome{OutcomeKind::Damaged, fault->ExceptionRecord->ExceptionCode});
}

FNFDINOTIFY(NotifyThunk) {
  return static_cast<TCab*>(pfdin->pv)->Notify(fdint, pfdin);
}

}  // namespace

TCab::~TCab() {
  if (context_) LoadFdi().destroy(context_);
}

bool TCab::WriteFailed(INT_PTR handle) {
  for (OpenMember& m : open_)
    if (m.handle == handle) return m.writeFailed;
  return false;
}

Outcome TCab::Extract(const Str& cabinetFile, const Str& destinationFolder) {
  const Fdi& fdi = LoadFdi();
  // A library without all three entry points is as unusable as none.
  if (!fdi.create || !fdi.copy || !fdi.destroy) return Outcome{OutcomeKind::UnusableSystem, fdi.error};
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(cabinetFile.c_str(), sizeof full, full, nullptr);
  cabinetPath_ = n && n < sizeof full ? Str(full, n) : cabinetFile;
  destinationFolder_ = WithTrailingBackslash(destinationFolder);
  open_.clear();
  if (!context_) {
    error_[0] = error_[1] = error_[2] = 0;
    context_ = fdi.create(FdiAllocate, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek, cpuUNKNOWN,
                          reinterpret_cast<PERF>(error_));
    if (!context_) return Outcome{KindOfFdiError(error_[0]), static_cast<uint32_t>(error_[0])};
  }
  outcome_ = Outcome{OutcomeKind::Done, 0};
  TCab* outer = g_activeCab;
  g_activeCab = this;
  Str current = cabinetPath_;
  stopped_ = false;
  // An owner's abort ends the chain where it is: the decompressor may
  // already have asked for the next part in the same pass, and going on
  // into it would write (and prompt) after the user said stop.
  while (!current.empty() && !stopped_) {
    nextCabinetPath_ = Str();
    requestedCabinetPath_ = Str();
    movedOn_ = false;
    Str name = FileNamePart(current), folder = FolderPart(current);
    std::vector<INT_PTR>& files = OpenedFiles();
    size_t opened = files.size();
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(DecompressorFault);
    // The first failure is the one that counts: an abort or a refusal is
    // known before the decompressor reports its own error for it.
    if (!fdi.copy(context_, name.data(), folder.data(), 0, NotifyThunk, nullptr, this) &&
        outcome_.kind == OutcomeKind::Done)
      outcome_ = Outcome{KindOfFdiError(error_[0]), static_cast<uint32_t>(error_[0])};
    SetUnhandledExceptionFilter(previous);
    for (size_t i = opened; i < files.size(); ++i)
      if (files[i]) CloseFdiFile(files[i]);
    // Only ever shrinks: erase, which needs none of resize's growing code.
    if (files.size() > opened) files.erase(files.begin() + opened, files.end());
    if (movedOn_) {
      current = requestedCabinetPath_;
    } else if (!nextCabinetPath_.empty() &&
               lstrcmpiA(current.c_str(), nextCabinetPath_.c_str()) != 0) {
      current = nextCabinetPath_;
    } else {
      current = Str();
    }
    if (!current.empty() && !FileExists(current)) current = Str();
  }
  // Members whose end never arrived were cut off by a damaged chain.
  for (OpenMember& m : open_) CloseHandle(reinterpret_cast<HANDLE>(m.handle));
  if (!open_.empty() && outcome_.kind == OutcomeKind::Done)
    outcome_ = Outcome{OutcomeKind::Damaged, static_cast<uint32_t>(error_[0])};
  open_.clear();
  g_activeCab = outer;
  return outcome_;
}

CabAnswer TCab::WriteError(INT_PTR handle) {
  for (OpenMember& m : open_) {
    if (m.handle != handle) continue;
    if (!events_.onWriteError) break;
    CabAnswer answer = events_.onWriteError(*this, events_.owner, m.destination);
    if (answer == CabAnswer::Abort)
      Stop(0);
    else if (answer != CabAnswer::Retry)
      m.writeFailed = true;
    return answer;
  }
  return CabAnswer::Abort;
}

INT_PTR TCab::Notify(int type, FDINOTIFICATION* n) {
  // Once stopped, no member is begun and no cabinet is entered.
  if (stopped_ && type != fdintCLOSE_FILE_INFO) return -1;
  switch (type) {
    case fdintCABINET_INFO:
      // The successor's name comes from the cabinet itself: like a name
      // the owner is asked for, it must be a bare file name beside this
      // one, or the cabinet is refused as damaged.
      nextCabinetPath_ = Str();
      if (n->psz1 && *n->psz1) {
        if (!IsBareFileName(n->psz1)) return Stop(-1, OutcomeKind::Damaged);
        nextCabinetPath_ = JoinPath(n->psz3, n->psz1);
      }
      return 0;
    case fdintCOPY_FILE: {
      Str name = n->psz1;
      Str destination = JoinPath(destinationFolder_, name);
      created_ = nullptr;
      CabAnswer answer =
          events_.onCopyFile ? events_.onCopyFile(*this, events_.owner, name, n->cb, n->date,
                                                  n->time, n->attribs, n->iFolder, destination)
                             : CabAnswer::Continue;
      if (answer == CabAnswer::Abort) return Stop(-1);
      if (answer == CabAnswer::Skip || destination.empty()) return 0;
      for (;;) {
        bool fresh = created_ != nullptr;
        HANDLE file = fresh ? created_
                            : CreateFileA(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        created_ = nullptr;
        if (file != INVALID_HANDLE_VALUE) {
          INT_PTR handle = reinterpret_cast<INT_PTR>(file);
          open_.push_back(OpenMember{name, destination, handle, false, fresh});
          return handle;
        }
        answer = events_.onCreateError ? events_.onCreateError(*this, events_.owner, destination)
                                       : CabAnswer::Skip;
        if (answer == CabAnswer::Abort) return Stop(-1);
        if (answer != CabAnswer::Retry) return 0;
      }
    }
    case fdintCLOSE_FILE_INFO: {
      // The time and attributes are set through the handle that wrote the
      // member, after its last byte: the same result as opening the file
      // again, without the opens.
      HANDLE file = reinterpret_cast<HANDLE>(n->hf);
      Str name = n->psz1;
      for (size_t i = 0; i < open_.size(); ++i) {
        if (open_[i].name != name) continue;
        Str destination = open_[i].destination;
        bool fresh = open_[i].fresh;
        open_.erase(open_.begin() + i);
        FILETIME local, utc;
        bool timed = DosDateTimeToFileTime(n->date, n->time, &local) &&
                     LocalFileTimeToFileTime(&local, &utc);
        CloseWrittenFile(file, destination, timed ? &utc : nullptr, nullptr,
                         timed ? &utc : nullptr, AttributesToSet(n->attribs & kPackageFileAttributes, fresh));
        return TRUE;
      }
      CloseHandle(file);
      return TRUE;
    }
    case fdintNEXT_CABINET: {
      Str folder = n->psz3;
      if (events_.onNextCabinet) {
        if (events_.onNextCabinet(*this, events_.owner, n->psz1, n->psz2, folder) ==
            CabAnswer::Abort)
          return Stop(-1);
        folder = WithTrailingBackslash(folder);
        // The decompressor's path buffer holds 256 characters.
        if (folder.size() >= 256) return -1;
        lstrcpynA(n->psz3, folder.c_str(), 256);
      }
      requestedCabinetPath_ = JoinPath(n->psz3, n->psz1);
      movedOn_ = true;
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace pvx
