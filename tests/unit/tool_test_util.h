// Helpers for the tool's unit tests: a scratch folder with files in it.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pvx::tool::test {

class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/pvx-tool-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
  void Write(const std::string& rel, const std::string& content) const {
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(std::filesystem::path(path_) / rel, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& rel) const { return std::filesystem::exists(std::filesystem::path(path_) / rel); }

 private:
  std::string path_;
};

// A stand-in for the runtime image: the tool copies it unchanged.
inline std::string FakeRuntime() {
  std::string r = "MZ";
  for (int i = 0; i < 1022; ++i) r += static_cast<char>('a' + i % 26);
  return r;
}

}  // namespace pvx::tool::test
