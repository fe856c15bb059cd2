#include "tool/progress.h"

#include <unistd.h>

#include <cstdio>

namespace pvx::tool {

ProgressBar::ProgressBar(bool enabled, std::string label, uint64_t total)
    : enabled_(enabled), label_(std::move(label)), total_(total) {}

ProgressBar::~ProgressBar() { Finish(); }

bool ProgressBar::StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void ProgressBar::Update(uint64_t done) {
  if (!enabled_ || finished_) return;
  int permille = total_ ? static_cast<int>(done >= total_ ? 1000 : done * 1000 / total_) : 1000;
  // Redraw only when the shown value changes, so huge payloads cost nothing.
  if (permille == shown_) return;
  shown_ = permille;
  const int width = 30;
  int filled = permille * width / 1000;
  std::string bar(filled, '#');
  bar.resize(width, '-');
  std::fprintf(stderr, "\r%-12s [%s] %3d.%d%%", label_.c_str(), bar.c_str(), permille / 10, permille % 10);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  Update(total_);
  finished_ = true;
  std::fputc('\n', stderr);
}

}  // namespace pvx::tool
