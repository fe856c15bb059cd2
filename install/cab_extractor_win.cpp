#include "install/cab_extractor_win.h"

#include <fcntl.h>
#include <fdi.h>

#include "format/file_attributes.h"
#include "format/text_util.h"
#include "install/overwrite.h"
#include "install/path_safety.h"
#include "core/exit_codes.h"
#include "core/install_log_win.h"
#include "core/system_dll_win.h"
#include "core/workdir_win.h"

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
};

const Fdi& LoadFdi() {
  static Fdi fdi;
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    if (HMODULE module = LoadSystemLibrary("cabinet.dll")) {
      fdi.create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(module, "FDICreate")));
      fdi.copy = reinterpret_cast<CopyFn>(reinterpret_cast<void*>(GetProcAddress(module, "FDICopy")));
      fdi.destroy = reinterpret_cast<DestroyFn>(reinterpret_cast<void*>(GetProcAddress(module, "FDIDestroy")));
    }
  }
  return fdi;
}

// The decompressor's file callbacks carry no context; one extraction runs
// at a time on the one thread, so the active TCab is kept here.
TCab* g_active = nullptr;
// Files the decompressor opened and has not closed, and the part being
// copied out for it. Some decompressors leave a cabinet open when they give
// up on it, and a run may end in the middle of an extraction: open files
// would keep the work folder from being removed. Made on first use: the
// stub runs no constructors of globals.
std::vector<INT_PTR>* g_opened;

std::vector<INT_PTR>& Opened() {
  if (!g_opened) g_opened = new std::vector<INT_PTR>;
  return *g_opened;
}

void Forget(INT_PTR file) {
  for (INT_PTR& h : Opened())
    if (h == file) h = 0;
}

// The cabinet part that is read where it lies inside another file (the
// package), registered by MapCabinetFile. Only the latest is kept: as
// with parts copied out, the decompressor needs no earlier one once it
// has asked for the next, and views already open keep their own copy.
Str* g_viewPath;  // made on first use
const char* g_viewFile;
uint32_t g_viewOffset;
uint32_t g_viewLength;  // with the signature

// Nothing mapped is the empty name, which is never a view.
bool IsView(const char* path) {
  return g_viewPath && !g_viewPath->empty() && lstrcmpiA(g_viewPath->c_str(), path) == 0;
}

// An open view. Its handle for the decompressor is its address with the
// lowest bit set: system handles are multiples of four, so the two never
// meet.
struct OpenView {
  HANDLE file;
  uint32_t offset;
  uint32_t length;
  uint32_t position;
};

OpenView* AsView(INT_PTR hf) {
  return (hf & 1) ? reinterpret_cast<OpenView*>(hf & ~static_cast<INT_PTR>(1)) : nullptr;
}

int CloseFile(INT_PTR hf) {
  OpenView* v = AsView(hf);
  HANDLE file = v ? v->file : reinterpret_cast<HANDLE>(hf);
  delete v;
  return CloseHandle(file) ? 0 : -1;
}

FNALLOC(Allocate) { return HeapAlloc(GetProcessHeap(), 0, cb ? cb : 1); }
FNFREE(Free) { HeapFree(GetProcessHeap(), 0, pv); }

FNOPEN(Open) {
  (void)pmode;
  DWORD access = (oflag & 3) == 0 ? GENERIC_READ : (oflag & 3) == 1 ? GENERIC_WRITE
                                                                    : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if ((oflag & _O_CREAT) && (oflag & _O_EXCL))
    disposition = CREATE_NEW;
  else if ((oflag & _O_TRUNC) && (oflag & _O_CREAT))
    disposition = CREATE_ALWAYS;
  else if (oflag & _O_TRUNC)
    disposition = TRUNCATE_EXISTING;
  else if (oflag & _O_CREAT)
    disposition = OPEN_ALWAYS;
  DWORD flags = (oflag & _O_SHORT_LIVED) && (oflag & _O_CREAT) ? FILE_ATTRIBUTE_TEMPORARY
                                                                : FILE_ATTRIBUTE_NORMAL;
  if (oflag & _O_RANDOM) flags |= FILE_FLAG_RANDOM_ACCESS;
  if (oflag & _O_SEQUENTIAL) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  if ((oflag & _O_TEMPORARY) && (oflag & _O_CREAT)) flags |= FILE_FLAG_DELETE_ON_CLOSE;
  // A mapped cabinet opens the file that holds it (writes to it are
  // refused by the write callback).
  bool view = IsView(pszFile);
  if (view) pszFile = const_cast<char*>(g_viewFile);
  // Deletion is shared too, so that an aborted run can remove the cabinet
  // parts it copied out while the decompressor still holds them.
  HANDLE file = CreateFileA(pszFile, access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            disposition, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  if ((oflag & _O_APPEND) && SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    CloseHandle(file);
    return -1;
  }
  INT_PTR handle = reinterpret_cast<INT_PTR>(file);
  if (view) handle = reinterpret_cast<INT_PTR>(new OpenView{file, g_viewOffset, g_viewLength, 0}) | 1;
  Opened().push_back(handle);
  return handle;
}

// A view's bytes lie in the holding file from 4 bytes before its stored
// bytes on, where the signature would be: those 4 are read and replaced.
FNREAD(Read) {
  HANDLE file = reinterpret_cast<HANDLE>(hf);
  OpenView* v = AsView(hf);
  if (v) {
    UINT left = v->length - v->position;
    if (cb > left) cb = left;
    file = v->file;
    SetFilePointer(file, static_cast<LONG>(v->offset - 4 + v->position), nullptr, FILE_BEGIN);
  }
  DWORD done = 0;
  if (!ReadFile(file, pv, cb, &done, nullptr)) return static_cast<UINT>(-1);
  if (v) {
    for (UINT i = 0; i < done && v->position + i < 4; ++i)
      static_cast<char*>(pv)[i] = "MSCF"[v->position + i];
    v->position += done;
  }
  return done;
}

// A write that stops short has still written its first bytes: a retry
// writes only the rest.
FNWRITE(Write) {
  if (AsView(hf)) return static_cast<UINT>(-1);
  const UINT all = cb;
  for (;;) {
    // After an abort the decompressor may still write what it holds:
    // nothing more reaches the file, and nobody is asked again.
    if (g_active && g_active->Stopped()) return static_cast<UINT>(-1);
    if (g_active && g_active->WriteFailed(hf)) return all;  // ignored earlier: go on unwritten
    DWORD done = 0;
    BOOL ok = WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr);
    pv = static_cast<char*>(pv) + done;
    cb -= done;
    if (ok && cb == 0) return all;
    if (!g_active) return static_cast<UINT>(-1);
    // The owner decides: retry, ignore (the member goes on unwritten) or
    // abort (which ends the run).
    if (!g_active->Notify(-1, reinterpret_cast<void*>(hf))) return static_cast<UINT>(-1);
  }
}

FNCLOSE(Close) {
  Forget(hf);
  return CloseFile(hf);
}

FNSEEK(Seek) {
  if (OpenView* v = AsView(hf)) {
    // Views are below 2 GiB: a position before the start wraps to a large
    // unsigned value and is refused with those past the end.
    uint32_t position = static_cast<uint32_t>(dist) +
                        (seektype == FILE_CURRENT ? v->position : seektype == FILE_END ? v->length : 0);
    if (position > v->length) return -1;
    v->position = position;
    return static_cast<LONG>(position);
  }
  DWORD position = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, seektype);
  return position == INVALID_SET_FILE_POINTER ? -1 : static_cast<LONG>(position);
}

// The system's decompressor is not safe from every damaged cabinet: a
// fault inside it ends the run as a damaged package, its folder cleaned
// (the folder is the run's own, so every language file number may go).
LONG WINAPI DecompressorFault(EXCEPTION_POINTERS*) {
  ReleaseExtractionFiles();
  CleanupWorkDir(true, 255);
  LogExit(static_cast<unsigned>(ExitCode::Damaged), "decompressor failed");
  ExitProcess(static_cast<UINT>(ExitCode::Damaged));
}

FNFDINOTIFY(NotifyThunk) {
  return static_cast<TCab*>(pfdin->pv)->Notify(fdint, pfdin);
}

}  // namespace

void HoldExtractionFile(HANDLE file) { Opened().push_back(reinterpret_cast<INT_PTR>(file)); }
void ForgetExtractionFile(HANDLE file) { Forget(reinterpret_cast<INT_PTR>(file)); }

void ReleaseExtractionFiles() {
  std::vector<INT_PTR>& opened = Opened();
  for (INT_PTR h : opened)
    if (h) CloseFile(h);
  opened.clear();
}

void MapCabinetFile(const Str& path, const char* file, uint32_t offset, uint32_t length) {
  if (!g_viewPath) g_viewPath = new Str;
  *g_viewPath = path;
  g_viewFile = file;
  g_viewOffset = offset;
  g_viewLength = length + 4;
}

bool FileExists(const Str& path) {
  if (IsView(path.c_str())) return true;
  // The probe of an empty removable drive must fail quietly, not raise the
  // system's "no disk" box over the prompt that asks for the disk.
  UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  DWORD a = GetFileAttributesA(path.c_str());
  SetErrorMode(mode);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void CloseWrittenFile(HANDLE file, const Str& path, const FILETIME* created,
                      const FILETIME* accessed, const FILETIME* written, DWORD attributes) {
  typedef BOOL(WINAPI * SetInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  static SetInformation setInformation = reinterpret_cast<SetInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA(kKernel32), "SetFileInformationByHandle")));
  // Zero times are left alone; zero attributes would be too, so "none"
  // is said as FILE_ATTRIBUTE_NORMAL.
  FILE_BASIC_INFO info = {};
  const FILETIME* times[3] = {created, accessed, written};
  LARGE_INTEGER* fields[3] = {&info.CreationTime, &info.LastAccessTime, &info.LastWriteTime};
  for (int i = 0; i < 3; ++i)
    if (times[i]) {
      fields[i]->LowPart = times[i]->dwLowDateTime;
      fields[i]->HighPart = static_cast<LONG>(times[i]->dwHighDateTime);
    }
  bool keep = attributes == kKeepAttributes;
  info.FileAttributes = keep ? 0 : attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (setInformation && setInformation(file, FileBasicInfo, &info, sizeof info)) {
    CloseHandle(file);
    return;
  }
  SetFileTime(file, created, accessed, written);
  CloseHandle(file);
  if (!keep) SetFileAttributesA(path.c_str(), attributes);
}

TCab::~TCab() {
  if (context_) LoadFdi().destroy(context_);
}

bool TCab::WriteFailed(INT_PTR handle) {
  for (OpenMember& m : open_)
    if (m.handle == handle) return m.writeFailed;
  return false;
}

bool TCab::Extract(const Str& cabinetFile, const Str& destinationFolder) {
  const Fdi& fdi = LoadFdi();
  if (!fdi.create || !fdi.copy) return false;
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(cabinetFile.c_str(), sizeof full, full, nullptr);
  cabinetPath_ = n && n < sizeof full ? Str(full, n) : cabinetFile;
  destinationFolder_ = WithTrailingBackslash(destinationFolder);
  open_.clear();
  if (!context_) {
    error_[0] = error_[1] = error_[2] = 0;
    context_ = fdi.create(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN,
                          reinterpret_cast<PERF>(error_));
    if (!context_) return false;
  }
  bool finished = true;
  TCab* outer = g_active;
  g_active = this;
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
    std::vector<INT_PTR>& files = Opened();
    size_t opened = files.size();
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(DecompressorFault);
    if (!fdi.copy(context_, name.data(), folder.data(), 0, NotifyThunk, nullptr, this))
      finished = false;
    SetUnhandledExceptionFilter(previous);
    for (size_t i = opened; i < files.size(); ++i)
      if (files[i]) CloseFile(files[i]);
    // Only ever shrinks: erase, which needs none of resize's growing code.
    if (files.size() > opened) files.erase(files.begin() + opened, files.end());
    if (movedOn_) {
      current = requestedCabinetPath_;
    } else if (!nextCabinetPath_.empty() &&
               CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, current.c_str(), -1,
                              nextCabinetPath_.c_str(), -1) != CSTR_EQUAL) {
      current = nextCabinetPath_;
    } else {
      current = Str();
    }
    if (!current.empty() && !FileExists(current)) current = Str();
  }
  // Members whose end never arrived were cut off by a damaged chain.
  for (OpenMember& m : open_) CloseHandle(reinterpret_cast<HANDLE>(m.handle));
  if (!open_.empty()) finished = false;
  open_.clear();
  g_active = outer;
  return finished;
}

INT_PTR TCab::Notify(int type, void* data) {
  if (type == -1) {  // a failed write, from the write callback
    INT_PTR handle = reinterpret_cast<INT_PTR>(data);
    for (OpenMember& m : open_) {
      if (m.handle != handle) continue;
      bool retry = false, abort = false;
      if (!events_.onWriteError) return 0;
      events_.onWriteError(*this, events_.owner, m.destination, retry, abort);
      if (abort) return Stop(0);
      if (!retry) m.writeFailed = true;
      return 1;
    }
    return 0;
  }
  FDINOTIFICATION* n = static_cast<FDINOTIFICATION*>(data);
  // Once stopped, no member is begun and no cabinet is entered.
  if (stopped_ && type != fdintCLOSE_FILE_INFO) return -1;
  switch (type) {
    case fdintCABINET_INFO:
      // The successor's name comes from the cabinet itself: like a name
      // the owner is asked for, it must be a bare file name beside this
      // one, or the cabinet is refused as damaged.
      nextCabinetPath_ = Str();
      if (n->psz1 && *n->psz1) {
        if (!IsBareFileName(n->psz1)) return Stop(-1);
        nextCabinetPath_ = JoinPath(n->psz3, n->psz1);
      }
      return 0;
    case fdintCOPY_FILE: {
      Str name = n->psz1;
      Str destination = JoinPath(destinationFolder_, name);
      bool abort = false;
      created_ = nullptr;
      if (events_.onCopyFile)
        events_.onCopyFile(*this, events_.owner, name, n->cb, n->date, n->time, n->attribs,
                           n->iFolder, destination, abort);
      if (abort) return Stop(-1);
      if (destination.empty()) return 0;
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
        bool retry = false;
        if (events_.onCreateError) events_.onCreateError(*this, events_.owner, destination, retry, abort);
        if (abort) return Stop(-1);
        if (!retry) return 0;
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
        bool abort = false;
        events_.onNextCabinet(*this, events_.owner, n->psz1, n->psz2, folder, abort);
        if (abort) return Stop(-1);
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
