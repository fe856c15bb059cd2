// Shared by the fuzz targets: a scratch folder of the process's own, and
// writing an input to a file there for code that reads files.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace pvx::fuzz {

inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/pvxfuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return folder;
}

inline std::string WriteScratch(const std::string& name, const void* data, size_t size) {
  std::string path = ScratchFolder() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    // Something cleaned /tmp under a long run: make the folder again.
    mkdir(ScratchFolder().c_str(), 0700);
    f = std::fopen(path.c_str(), "wb");
  }
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// Takes bytes off the front of the input.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  uint8_t Byte() {
    if (!size_) return 0;
    --size_;
    return *data_++;
  }
  // Up to the next zero byte (or the end).
  std::string Text() {
    std::string out;
    while (size_ && *data_) {
      out += static_cast<char>(*data_++);
      --size_;
    }
    if (size_) {
      ++data_;
      --size_;
    }
    return out;
  }
  std::string Rest() {
    std::string out(reinterpret_cast<const char*>(data_), size_);
    size_ = 0;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

// A finding: the fuzzer reports the abort with the input that caused it.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace pvx::fuzz
