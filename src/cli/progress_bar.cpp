#include "cli/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "scan/scan.h"

namespace vireon::cli {

double TimeLeft(int done, int total, double elapsedSeconds) {
  if (done <= 0 || total <= 0 || !(elapsedSeconds >= 0.0)) return -1.0;
  const int left = std::max(total - done, 0);
  return elapsedSeconds / done * left;
}

std::string ProgressBarLine(int done, int total, double elapsedSeconds, std::string_view label) {
  total = std::max(total, 0);
  done = std::clamp(done, 0, total);
  const double fraction = total > 0 ? static_cast<double>(done) / total : 0.0;
  const int filled = static_cast<int>(fraction * kProgressBarWidth);
  std::string line = std::string(label) + " [";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kProgressBarWidth - filled), '-');
  char counts[96];
  std::snprintf(counts, sizeof counts, "] %3d%%  %d/%d  time left %s",
                static_cast<int>(fraction * 100.0), done, total,
                FormatRemainingTime(TimeLeft(done, total, elapsedSeconds)).c_str());
  return line + counts;
}

ProgressBar::ProgressBar(std::FILE* stream, bool enabled, std::string label)
    : stream_(stream),
      enabled_(enabled),
      label_(std::move(label)),
      start_(std::chrono::steady_clock::now()) {}

void ProgressBar::Update(int done, int total, std::string_view note) {
  if (!enabled_) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line = ProgressBarLine(done, total, elapsed, label_);
  line += note;
  // Blanks out what is left of a longer line drawn before.
  const std::size_t length = line.size();
  if (length < lastLength_) line.append(lastLength_ - length, ' ');
  lastLength_ = length;
  std::fprintf(stream_, "\r%s", line.c_str());
  std::fflush(stream_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fputc('\n', stream_);
  std::fflush(stream_);
  drawn_ = false;
  lastLength_ = 0;
}

}  // namespace vireon::cli
