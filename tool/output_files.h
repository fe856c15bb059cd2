// Output that appears only when complete: every file is written under a
// temporary name beside its destination and renamed at the end; on failure
// (or Ctrl-C) the temporary files are removed.
#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pvx::tool {

class OutputFiles {
 public:
  OutputFiles();
  ~OutputFiles();  // removes whatever was not committed
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;

  // Opens a temporary file for `finalPath`; returns its index. Throws
  // std::runtime_error when it cannot be created.
  size_t Create(const std::string& finalPath);
  FILE* File(size_t index) { return entries_[index].file; }
  const std::string& FinalPath(size_t index) const { return entries_[index].finalPath; }
  const std::string& TempPath(size_t index) const { return entries_[index].tempPath; }
  // Closes file `index` and replaces its content by what `make` writes:
  // make(current temporary path, new temporary path), where the new path
  // names no file yet and `make` creates it. The new file stays
  // temporary until Commit; if `make` throws, both are removed.
  void Replace(size_t index, const std::function<void(const std::string&, const std::string&)>& make);
  // Closes everything and renames in reverse order of creation, so the
  // first file (the setup executable) appears last.
  void Commit();
  void Discard();

 private:
  struct Entry {
    std::string finalPath, tempPath;
    FILE* file = nullptr;
  };
  std::vector<Entry> entries_;
  bool committed_ = false;
};

}  // namespace pvx::tool
