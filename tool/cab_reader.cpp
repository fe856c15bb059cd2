// libmspack does all parsing and decompression. What we add is the file
// layer it runs on: cabinet names it is given are virtual, each mapped to a
// byte range of a real file (with the "MSCF" signature supplied when the
// package dropped it), and the only files it may create are the destinations
// the caller chose for the member being extracted.
//
// Damaged cabinets must not hang us. Each libmspack call gets a read budget
// (a few times the input size); once spent, reads fail and the call returns
// an error instead of spinning on data that is not there.

#include "tool/cab_reader.h"

#include <mspack.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pvx {
namespace {

constexpr size_t kMaxAlloc = size_t(256) << 20;
constexpr size_t kMaxMessages = 32;
constexpr uint64_t kBudgetSlack = 1 << 20;
constexpr unsigned kBudgetFactor = 4;

struct Source {
  std::string path;
  uint64_t base = 0;  // file offset of the first stored byte
  uint64_t size = 0;  // virtual size, signature included
  bool signature = false;
};

struct VirtualSystem;

struct VFile {
  VirtualSystem* sys = nullptr;
  int fd = -1;
  bool writing = false;
  Source src;
  uint64_t pos = 0;
  uint64_t limit = 0, written = 0;
};

struct VirtualSystem {
  mspack_system ops;  // first: libmspack hands &ops back to us
  std::map<std::string, Source> inputs;
  std::map<std::string, uint64_t> outputs;  // path -> most bytes it may receive
  uint64_t readBudget = 0, readUsed = 0;
  bool budgetHit = false, writeLimitHit = false;
  std::vector<std::string> messages;

  VirtualSystem();
  void ResetBudget(uint64_t budget) {
    readBudget = budget;
    readUsed = 0;
    budgetHit = false;
    writeLimitHit = false;
    messages.clear();
  }
  std::string Messages() const {
    std::string s;
    for (const std::string& m : messages) s += (s.empty() ? "" : "; ") + m;
    return s;
  }
};

thread_local VirtualSystem* g_current = nullptr;

VFile* AsFile(mspack_file* f) { return reinterpret_cast<VFile*>(f); }

mspack_file* SysOpen(mspack_system* self, const char* name, int mode) {
  VirtualSystem* sys = reinterpret_cast<VirtualSystem*>(self);
  if (!name) return nullptr;
  auto f = std::make_unique<VFile>();
  f->sys = sys;
  if (mode == MSPACK_SYS_OPEN_READ) {
    auto it = sys->inputs.find(name);
    if (it == sys->inputs.end()) return nullptr;
    f->src = it->second;
    f->fd = open(f->src.path.c_str(), O_RDONLY | O_CLOEXEC);
  } else if (mode == MSPACK_SYS_OPEN_WRITE) {
    auto it = sys->outputs.find(name);
    if (it == sys->outputs.end()) return nullptr;
    f->writing = true;
    f->limit = it->second;
    f->fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } else {
    return nullptr;
  }
  if (f->fd < 0) return nullptr;
  return reinterpret_cast<mspack_file*>(f.release());
}

void SysClose(mspack_file* file) {
  VFile* f = AsFile(file);
  if (!f) return;
  if (f->fd >= 0) close(f->fd);
  delete f;
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
  VFile* f = AsFile(file);
  if (!f || f->writing || bytes < 0) return -1;
  VirtualSystem* sys = f->sys;
  if (sys->readUsed + uint64_t(bytes) > sys->readBudget) {
    sys->budgetHit = true;
    return -1;
  }
  uint64_t n = std::min<uint64_t>(uint64_t(bytes), f->src.size - std::min(f->pos, f->src.size));
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  static const char kSig[4] = {'M', 'S', 'C', 'F'};
  while (done < n && f->src.signature && f->pos + done < 4) {
    out[done] = uint8_t(kSig[f->pos + done]);
    ++done;
  }
  while (done < n) {
    uint64_t virt = f->pos + done - (f->src.signature ? 4 : 0);
    ssize_t got = pread(f->fd, out + done, size_t(n - done), off_t(f->src.base + virt));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;  // the file shrank under us: a short read means end
    done += uint64_t(got);
  }
  f->pos += done;
  sys->readUsed += done;
  return int(done);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
  VFile* f = AsFile(file);
  if (!f || !f->writing || bytes < 0) return -1;
  if (f->written + uint64_t(bytes) > f->limit) {
    f->sys->writeLimitHit = true;
    return -1;
  }
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  size_t left = size_t(bytes);
  while (left > 0) {
    ssize_t w = write(f->fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    p += w;
    left -= size_t(w);
  }
  f->written += uint64_t(bytes);
  return bytes;
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
  VFile* f = AsFile(file);
  if (!f || f->writing) return -1;
  int64_t base;
  switch (mode) {
    case MSPACK_SYS_SEEK_START: base = 0; break;
    case MSPACK_SYS_SEEK_CUR: base = int64_t(f->pos); break;
    case MSPACK_SYS_SEEK_END: base = int64_t(f->src.size); break;
    default: return -1;
  }
  int64_t target = base + int64_t(offset);
  if (target < 0 || uint64_t(target) > f->src.size) return -1;
  f->pos = uint64_t(target);
  return 0;
}

off_t SysTell(mspack_file* file) {
  VFile* f = AsFile(file);
  return f ? off_t(f->pos) : off_t(-1);
}

void SysMessage(mspack_file* file, const char* format, ...) {
  VirtualSystem* sys = file ? AsFile(file)->sys : g_current;
  if (!sys || !format || sys->messages.size() >= kMaxMessages) return;
  char buf[512];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  sys->messages.emplace_back(buf);
}

void* SysAlloc(mspack_system*, size_t bytes) { return bytes > kMaxAlloc ? nullptr : malloc(bytes); }
void SysFree(void* p) { free(p); }
void SysCopy(void* src, void* dest, size_t bytes) { memcpy(dest, src, bytes); }

VirtualSystem::VirtualSystem() {
  memset(&ops, 0, sizeof ops);
  ops.open = SysOpen;
  ops.close = SysClose;
  ops.read = SysRead;
  ops.write = SysWrite;
  ops.seek = SysSeek;
  ops.tell = SysTell;
  ops.message = SysMessage;
  ops.alloc = SysAlloc;
  ops.free = SysFree;
  ops.copy = SysCopy;
  ops.null_ptr = nullptr;
}

const char* ErrorText(int code) {
  switch (code) {
    case MSPACK_ERR_OK: return "no error";
    case MSPACK_ERR_ARGS: return "bad arguments";
    case MSPACK_ERR_OPEN: return "cannot open file";
    case MSPACK_ERR_READ: return "read error or truncated data";
    case MSPACK_ERR_WRITE: return "write error";
    case MSPACK_ERR_SEEK: return "seek outside the data";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    case MSPACK_ERR_SIGNATURE: return "not a cabinet (bad signature)";
    case MSPACK_ERR_DATAFORMAT: return "damaged cabinet (bad data format)";
    case MSPACK_ERR_CHECKSUM: return "data checksum mismatch";
    case MSPACK_ERR_CRUNCH: return "compression error";
    case MSPACK_ERR_DECRUNCH: return "damaged compressed data";
    default: return "unknown error";
  }
}

// LZX and Quantum name their window as makecab does: "LZX:21".
std::string MethodName(int compType) {
  const std::string level = ":" + std::to_string(MSCABD_COMP_LEVEL(compType));
  switch (MSCABD_COMP_METHOD(compType)) {
    case MSCAB_COMP_NONE: return "none";
    case MSCAB_COMP_MSZIP: return "MSZIP";
    case MSCAB_COMP_QUANTUM: return "Quantum" + level;
    case MSCAB_COMP_LZX: return "LZX" + level;
    default: return "unknown";
  }
}

std::string DescribePart(size_t k, const CabPartSource& p) {
  std::string s = "part " + std::to_string(k) + " ('" + p.path + "'";
  if (p.offset) s += " at " + std::to_string(p.offset);
  return s + ")";
}

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A cabinet or set opened with libmspack on a VirtualSystem.
class CabSet {
 public:
  CabSet() {
    int selftest;
    MSPACK_SYS_SELFTEST(selftest);
    selftestOk_ = selftest == MSPACK_ERR_OK;
  }
  ~CabSet() {
    g_current = &sys_;
    if (cabd_) {
      if (!cabs_.empty() && cabs_[0]) cabd_->close(cabd_, cabs_[0]);
      for (size_t i = std::max<size_t>(merged_, 1); i < cabs_.size(); ++i)
        if (cabs_[i]) cabd_->close(cabd_, cabs_[i]);
      mspack_destroy_cab_decompressor(cabd_);
    }
    g_current = nullptr;
  }
  CabSet(const CabSet&) = delete;
  CabSet& operator=(const CabSet&) = delete;

  std::string Open(const std::vector<CabPartSource>& parts) {
    if (!selftestOk_) return "libmspack was built with a different off_t size";
    if (parts.empty()) return "no cabinet given";
    if (parts.size() > 0xFFFF) return "too many cabinet parts";
    g_current = &sys_;
    cabd_ = mspack_create_cab_decompressor(&sys_.ops);
    if (!cabd_) return "cannot create the cabinet decompressor";

    for (size_t k = 0; k < parts.size(); ++k) {
      Source src;
      std::string err = MapPart(k, parts[k], src);
      if (!err.empty()) return err;
      totalInput_ += src.size;
      sources_.push_back(src);
    }
    sys_.ResetBudget(kBudgetFactor * totalInput_ + kBudgetSlack);
    names_.resize(parts.size());
    cabs_.assign(parts.size(), nullptr);
    for (size_t k = 0; k < parts.size(); ++k) {
      names_[k] = "cabinet-part-" + std::to_string(k);
      sys_.inputs[names_[k]] = sources_[k];
      cabs_[k] = cabd_->open(cabd_, names_[k].c_str());
      if (!cabs_[k]) return DescribePart(k, parts[k]) + ": " + LastError();
    }

    for (size_t k = 0; k < parts.size(); ++k) {
      const mscabd_cabinet* c = cabs_[k];
      bool wantPrev = k > 0, wantNext = k + 1 < parts.size();
      bool hasPrev = c->flags & MSCAB_HDR_PREVCAB, hasNext = c->flags & MSCAB_HDR_NEXTCAB;
      if (hasPrev && !wantPrev)
        return DescribePart(k, parts[k]) + " continues cabinet '" + Str(c->prevname) +
               "', which was not given";
      if (hasNext && !wantNext)
        return DescribePart(k, parts[k]) + " continues in cabinet '" + Str(c->nextname) +
               "', which was not given";
      if (wantPrev && !hasPrev)
        return DescribePart(k, parts[k]) + " is not a continuation of the part before it";
      if (k > 0 && (c->set_id != cabs_[0]->set_id || c->set_index != cabs_[k - 1]->set_index + 1))
        return DescribePart(k, parts[k]) + " does not belong to the set of part 0 (set " +
               std::to_string(c->set_id) + " index " + std::to_string(c->set_index) + ")";
    }
    merged_ = 1;
    for (size_t k = 1; k < parts.size(); ++k) {
      int r = cabd_->append(cabd_, cabs_[k - 1], cabs_[k]);
      if (r != MSPACK_ERR_OK)
        return DescribePart(k, parts[k]) + " cannot be joined to the part before it: " +
               ErrorText(r) + Detail();
      merged_ = k + 1;
    }
    return {};
  }

  const mscabd_cabinet* first() const { return cabs_.empty() ? nullptr : cabs_[0]; }
  mscab_decompressor* cabd() { return cabd_; }
  VirtualSystem& sys() { return sys_; }
  uint64_t totalInput() const { return totalInput_; }
  const std::vector<Source>& sources() const { return sources_; }

  std::string LastError() {
    if (sys_.budgetHit) return "reading stopped: the cabinet data does not end where it should";
    return std::string(ErrorText(cabd_->last_error(cabd_))) + Detail();
  }
  std::string Detail() const {
    std::string m = sys_.Messages();
    return m.empty() ? "" : " (" + m + ")";
  }

 private:
  static std::string Str(const char* s) { return s ? s : ""; }

  static std::string MapPart(size_t k, const CabPartSource& p, Source& src) {
    struct stat st;
    if (stat(p.path.c_str(), &st) != 0)
      return DescribePart(k, p) + ": " + strerror(errno);
    if (!S_ISREG(st.st_mode)) return DescribePart(k, p) + ": not a regular file";
    uint64_t fileSize = uint64_t(st.st_size);
    if (p.offset > fileSize) return DescribePart(k, p) + ": offset beyond the end of the file";
    uint64_t avail = fileSize - p.offset;
    const uint64_t sig = p.signatureMissing ? 4 : 0;
    uint64_t stored;
    if (p.storedLength == kCabPartToEnd) {
      stored = avail;
      // Bound the part by its own cbCabinet when that is plausible.
      uint8_t hdr[8];
      int fd = open(p.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd >= 0) {
        uint64_t at = p.offset + (p.signatureMissing ? 4 : 8);
        if (pread(fd, hdr, 4, off_t(at)) == 4) {
          uint64_t cb = Le32(hdr);
          if (cb >= 36 + sig && cb - sig <= avail) stored = cb - sig;
        }
        close(fd);
      }
    } else {
      if (p.storedLength > avail)
        return DescribePart(k, p) + ": " + std::to_string(p.storedLength) +
               " bytes requested but only " + std::to_string(avail) + " remain in the file";
      stored = p.storedLength;
    }
    src.path = p.path;
    src.base = p.offset;
    src.size = stored + sig;
    src.signature = p.signatureMissing;
    return {};
  }

  VirtualSystem sys_;
  mscab_decompressor* cabd_ = nullptr;
  std::vector<mscabd_cabinet*> cabs_;
  std::vector<std::string> names_;  // must outlive the cabinets
  std::vector<Source> sources_;
  size_t merged_ = 0;  // cabs_[0..merged_) form one set
  uint64_t totalInput_ = 0;
  bool selftestOk_ = false;
};

CabMemberInfo InfoFor(const mscabd_file* f, const std::map<const mscabd_folder*, unsigned>& folders) {
  CabMemberInfo m;
  m.name = f->filename ? f->filename : "";
  m.size = f->length;
  m.attributes = uint16_t(f->attribs);
  int year = f->date_y;
  unsigned char mon = (unsigned char)f->date_m, day = (unsigned char)f->date_d;
  unsigned char h = (unsigned char)f->time_h, mi = (unsigned char)f->time_m, s = (unsigned char)f->time_s;
  m.dosDate = uint16_t(((std::max(year, 1980) - 1980) & 0x7F) << 9 | (mon & 0x0F) << 5 | (day & 0x1F));
  m.dosTime = uint16_t((h & 0x1F) << 11 | (mi & 0x3F) << 5 | ((s / 2) & 0x1F));
  m.compression = f->folder ? MethodName(f->folder->comp_type) : "unknown";
  auto it = folders.find(f->folder);
  m.folder = it == folders.end() ? 0 : it->second;
  m.folderOffset = f->offset;
  return m;
}

std::map<const mscabd_folder*, unsigned> FolderIndex(const mscabd_cabinet* cab) {
  std::map<const mscabd_folder*, unsigned> index;
  unsigned i = 0;
  for (const mscabd_folder* fo = cab->folders; fo && i < 0x10000; fo = fo->next) index[fo] = i++;
  return index;
}

bool SameFile(const std::string& path, const std::vector<Source>& sources) {
  struct stat d;
  if (stat(path.c_str(), &d) != 0) return false;
  for (const Source& s : sources) {
    struct stat st;
    if (stat(s.path.c_str(), &st) == 0 && st.st_dev == d.st_dev && st.st_ino == d.st_ino)
      return true;
  }
  return false;
}

// Reads one cabinet's header on its own, for following a chain.
std::string ProbeCabinet(const std::string& path, bool& hasPrev, bool& hasNext, std::string& next) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "cannot open '" + path + "': " + strerror(errno);
  VirtualSystem sys;
  sys.inputs["probe"] = {path, 0, uint64_t(st.st_size), false};
  sys.ResetBudget(kBudgetFactor * uint64_t(st.st_size) + kBudgetSlack);
  g_current = &sys;
  mscab_decompressor* cabd = mspack_create_cab_decompressor(&sys.ops);
  if (!cabd) return "cannot create the cabinet decompressor";
  std::string err;
  if (mscabd_cabinet* c = cabd->open(cabd, "probe")) {
    hasPrev = c->flags & MSCAB_HDR_PREVCAB;
    hasNext = c->flags & MSCAB_HDR_NEXTCAB;
    next = hasNext && c->nextname ? c->nextname : "";
    cabd->close(cabd, c);
  } else {
    err = "'" + path + "': " + ErrorText(cabd->last_error(cabd));
  }
  mspack_destroy_cab_decompressor(cabd);
  g_current = nullptr;
  return err;
}

}  // namespace

std::string ListCabinetSet(const std::vector<CabPartSource>& parts, std::vector<CabMemberInfo>& out) {
  out.clear();
  CabSet set;
  std::string err = set.Open(parts);
  if (!err.empty()) return err;
  auto folders = FolderIndex(set.first());
  size_t count = 0;
  for (const mscabd_file* f = set.first()->files; f; f = f->next) {
    if (++count > 0x10000 * size_t(parts.size())) return "too many members listed";
    out.push_back(InfoFor(f, folders));
  }
  return {};
}

std::string ExtractCabinetSet(const std::vector<CabPartSource>& parts,
                              const std::function<std::string(const CabMemberInfo&)>& destinationFor) {
  CabSet set;
  std::string err = set.Open(parts);
  if (!err.empty()) return err;
  auto folders = FolderIndex(set.first());

  struct Item {
    mscabd_file* file;
    CabMemberInfo info;
  };
  std::vector<Item> items;
  for (mscabd_file* f = set.first()->files; f; f = f->next) {
    if (items.size() > 0x10000 * size_t(parts.size())) return "too many members listed";
    items.push_back({f, InfoFor(f, folders)});
  }
  // libmspack decompresses a folder forward; members out of order would
  // restart it from the beginning.
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return a.info.folder != b.info.folder ? a.info.folder < b.info.folder
                                          : a.info.folderOffset < b.info.folderOffset;
  });

  std::vector<std::string> failures;
  size_t failed = 0;
  for (const Item& it : items) {
    std::string dest = destinationFor(it.info);
    if (dest.empty()) continue;
    std::string why;
    if (SameFile(dest, set.sources())) {
      why = "the destination '" + dest + "' is one of the cabinet files being read";
    } else {
      VirtualSystem& sys = set.sys();
      sys.outputs.clear();
      sys.outputs[dest] = it.info.size;
      sys.ResetBudget(kBudgetFactor * set.totalInput() + kBudgetSlack);
      g_current = &sys;
      int r = set.cabd()->extract(set.cabd(), it.file, dest.c_str());
      sys.outputs.clear();
      if (r != MSPACK_ERR_OK) {
        if (sys.budgetHit)
          why = "reading stopped: the cabinet data does not end where it should";
        else if (sys.writeLimitHit)
          why = "the decompressor produced more bytes than the member holds";
        else
          why = std::string(ErrorText(r)) + set.Detail();
        unlink(dest.c_str());
      }
    }
    if (!why.empty()) {
      ++failed;
      if (failures.size() < 10) failures.push_back("member '" + it.info.name + "': " + why);
    }
  }
  if (!failed) return {};
  std::string s;
  for (const std::string& f : failures) s += (s.empty() ? "" : "\n") + f;
  if (failed > failures.size())
    s += "\nand " + std::to_string(failed - failures.size()) + " more members failed";
  return s;
}

std::string CabinetChainFromFile(const std::string& firstPath, std::vector<CabPartSource>& parts) {
  parts.clear();
  std::string dir = ".";
  size_t slash = firstPath.rfind('/');
  if (slash != std::string::npos) dir = slash == 0 ? "/" : firstPath.substr(0, slash);
  std::set<std::pair<dev_t, ino_t>> seen;
  std::string path = firstPath;
  for (;;) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "cannot open '" + path + "': " + strerror(errno);
    if (!seen.insert({st.st_dev, st.st_ino}).second) return "the cabinet chain loops at '" + path + "'";
    if (seen.size() > 0xFFFF) return "the cabinet chain is too long";
    CabPartSource part;
    part.path = path;
    parts.push_back(part);

    bool hasPrev = false, hasNext = false;
    std::string next;
    std::string err = ProbeCabinet(path, hasPrev, hasNext, next);
    if (!err.empty()) return err;
    if (hasPrev && parts.size() == 1) return "'" + path + "' is not the first cabinet of its set";
    if (!hasNext) return {};
    if (next.empty() || next == "." || next == ".." || next.find('/') != std::string::npos ||
        next.find('\\') != std::string::npos)
      return "'" + path + "' names a next cabinet '" + next + "' outside its folder";
    std::string candidate = dir + "/" + next;
    if (access(candidate.c_str(), F_OK) != 0) {
      if (DIR* d = opendir(dir.c_str())) {
        for (dirent* e; (e = readdir(d));)
          if (strcasecmp(e->d_name, next.c_str()) == 0) {
            candidate = dir + "/" + e->d_name;
            break;
          }
        closedir(d);
      }
    }
    path = candidate;
  }
}

bool SafeRelativeMemberPath(const std::string& name, std::string& out) {
  out.clear();
  if (name.empty()) return false;
  std::string s = name;
  std::replace(s.begin(), s.end(), '\\', '/');
  if (s[0] == '/' || s.find(':') != std::string::npos || s.back() == '/') return false;
  if (s.find('\0') != std::string::npos) return false;
  size_t pos = 0;
  while (pos <= s.size()) {
    size_t end = s.find('/', pos);
    if (end == std::string::npos) end = s.size();
    std::string comp = s.substr(pos, end - pos);
    if (comp == "..") return false;
    if (!comp.empty() && comp != ".") out += (out.empty() ? "" : "/") + comp;
    pos = end + 1;
  }
  return !out.empty();
}

std::string MemberNameUtf8(const CabMemberInfo& member) {
  if (member.attributes & 0x80) return member.name;
  std::string out;
  for (unsigned char c : member.name) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace pvx
