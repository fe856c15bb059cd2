#include "install/fdi_files_win.h"

#include <fcntl.h>

#include "install/cab_extractor_win.h"

namespace pvx {

TCab* g_activeCab = nullptr;

namespace {

// Files the decompressor opened and has not closed, and the part being
// copied out for it. Some decompressors leave a cabinet open when they give
// up on it, and a run may end in the middle of an extraction: open files
// would keep the work folder from being removed. Made on first use: the
// stub runs no constructors of globals.
std::vector<INT_PTR>* g_opened;

}  // namespace

std::vector<INT_PTR>& OpenedFiles() {
  if (!g_opened) g_opened = new std::vector<INT_PTR>;
  return *g_opened;
}

namespace {

void Forget(INT_PTR file) {
  for (INT_PTR& h : OpenedFiles())
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

}  // namespace

int CloseFdiFile(INT_PTR hf) {
  OpenView* v = AsView(hf);
  HANDLE file = v ? v->file : reinterpret_cast<HANDLE>(hf);
  delete v;
  return CloseHandle(file) ? 0 : -1;
}

FNALLOC(FdiAllocate) { return HeapAlloc(GetProcessHeap(), 0, cb ? cb : 1); }
FNFREE(FdiFree) { HeapFree(GetProcessHeap(), 0, pv); }

FNOPEN(FdiOpen) {
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
  OpenedFiles().push_back(handle);
  return handle;
}

// A view's bytes lie in the holding file from 4 bytes before its stored
// bytes on, where the signature would be: those 4 are read and replaced.
FNREAD(FdiRead) {
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
FNWRITE(FdiWrite) {
  if (AsView(hf)) return static_cast<UINT>(-1);
  const UINT all = cb;
  for (;;) {
    // After an abort the decompressor may still write what it holds:
    // nothing more reaches the file, and nobody is asked again.
    if (g_activeCab && g_activeCab->Stopped()) return static_cast<UINT>(-1);
    if (g_activeCab && g_activeCab->WriteFailed(hf)) return all;  // ignored earlier: go on unwritten
    DWORD done = 0;
    BOOL ok = WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr);
    pv = static_cast<char*>(pv) + done;
    cb -= done;
    if (ok && cb == 0) return all;
    if (!g_activeCab) return static_cast<UINT>(-1);
    // The owner decides: retry, ignore (the member goes on unwritten) or
    // abort (which ends the run).
    if (g_activeCab->WriteError(hf) == CabAnswer::Abort) return static_cast<UINT>(-1);
  }
}

FNCLOSE(FdiClose) {
  Forget(hf);
  return CloseFdiFile(hf);
}

FNSEEK(FdiSeek) {
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

void HoldExtractionFile(HANDLE file) { OpenedFiles().push_back(reinterpret_cast<INT_PTR>(file)); }
void ForgetExtractionFile(HANDLE file) { Forget(reinterpret_cast<INT_PTR>(file)); }

void ReleaseExtractionFiles() {
  std::vector<INT_PTR>& opened = OpenedFiles();
  for (INT_PTR h : opened)
    if (h) CloseFdiFile(h);
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

}  // namespace pvx
