#include "tool/output_files.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace pvx::tool {

namespace {

// Temporary paths still on disk, for the signal handler. Fixed storage, so
// the handler only calls unlink and _exit.
constexpr int kMaxPending = 4096;
char* g_pending[kMaxPending];
volatile sig_atomic_t g_pendingCount = 0;
std::mutex g_mutex;

extern "C" void OnSignal(int sig) {
  for (int i = 0; i < g_pendingCount; ++i)
    if (g_pending[i]) unlink(g_pending[i]);
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  signal(SIGHUP, OnSignal);
}

void Track(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_pendingCount < kMaxPending) {
    g_pending[g_pendingCount] = strdup(path.c_str());
    g_pendingCount = g_pendingCount + 1;
  }
}

void Untrack(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (int i = 0; i < g_pendingCount; ++i)
    if (g_pending[i] && path == g_pending[i]) {
      char* p = g_pending[i];
      g_pending[i] = nullptr;
      free(p);
    }
}

}  // namespace

OutputFiles::OutputFiles() { InstallHandlers(); }

OutputFiles::~OutputFiles() {
  if (!committed_) Discard();
}

namespace {

mode_t ExecutableMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0755 & ~mask;
}

// A new empty file beside `finalPath`, tracked for removal; returns its fd.
int MakeTemporary(const std::string& finalPath, std::string& tempPath) {
  std::filesystem::path p(finalPath);
  std::string dir = p.parent_path().string();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::string pattern = dir + "/." + p.filename().string() + ".partial-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0) throw std::runtime_error("cannot create a file in " + dir + ": " + strerror(errno));
  tempPath = buf.data();
  Track(tempPath);
  fchmod(fd, ExecutableMode());
  return fd;
}

}  // namespace

size_t OutputFiles::Create(const std::string& finalPath) {
  Entry e;
  e.finalPath = finalPath;
  int fd = MakeTemporary(finalPath, e.tempPath);
  e.file = fdopen(fd, "w+b");
  if (!e.file) {
    close(fd);
    unlink(e.tempPath.c_str());
    Untrack(e.tempPath);
    throw std::runtime_error("cannot open " + e.tempPath);
  }
  entries_.push_back(e);
  return entries_.size() - 1;
}

void OutputFiles::Replace(size_t index,
                          const std::function<void(const std::string&, const std::string&)>& make) {
  Entry& e = entries_[index];
  if (e.file) {
    bool bad = fflush(e.file) != 0 || ferror(e.file);
    bad |= fclose(e.file) != 0;
    e.file = nullptr;
    if (bad) throw std::runtime_error("cannot write " + e.finalPath + ": " + strerror(errno));
  }
  // A fresh name, left free: `make` creates the file (osslsigncode will
  // not write over one).
  std::string next;
  close(MakeTemporary(e.finalPath, next));
  unlink(next.c_str());
  try {
    make(e.tempPath, next);
  } catch (...) {
    unlink(next.c_str());
    Untrack(next);
    throw;
  }
  chmod(next.c_str(), ExecutableMode());
  unlink(e.tempPath.c_str());
  Untrack(e.tempPath);
  e.tempPath = next;
}

void OutputFiles::Commit() {
  for (Entry& e : entries_) {
    if (!e.file) continue;
    bool bad = fflush(e.file) != 0 || ferror(e.file);
    bad |= fclose(e.file) != 0;
    e.file = nullptr;
    if (bad) {
      int err = errno;
      Discard();
      throw std::runtime_error("cannot write " + e.finalPath + ": " + strerror(err));
    }
  }
  std::vector<std::string> renamed;
  for (size_t i = entries_.size(); i-- > 0;) {
    Entry& e = entries_[i];
    if (rename(e.tempPath.c_str(), e.finalPath.c_str()) != 0) {
      int err = errno;
      // A set of volumes without its executable is no use: take it back.
      for (const std::string& r : renamed) unlink(r.c_str());
      Discard();
      throw std::runtime_error("cannot create " + e.finalPath + ": " + strerror(err));
    }
    Untrack(e.tempPath);
    e.tempPath.clear();
    renamed.push_back(e.finalPath);
  }
  committed_ = true;
}

void OutputFiles::Discard() {
  for (Entry& e : entries_) {
    if (e.file) fclose(e.file);
    e.file = nullptr;
    if (!e.tempPath.empty()) {
      unlink(e.tempPath.c_str());
      Untrack(e.tempPath);
      e.tempPath.clear();
    }
  }
}

}  // namespace pvx::tool
