// A progress bar on stderr for long packing, drawn only on a terminal.
#pragma once
#include <cstdint>
#include <string>

namespace pvx::tool {

class ProgressBar {
 public:
  // enabled: draw at all (the caller checks that stderr is a terminal).
  ProgressBar(bool enabled, std::string label, uint64_t total);
  ~ProgressBar();
  void Update(uint64_t done);
  void Finish();

  static bool StderrIsTerminal();

 private:
  bool enabled_;
  std::string label_;
  uint64_t total_;
  int shown_ = -1;  // per mille last drawn
  bool finished_ = false;
};

}  // namespace pvx::tool
