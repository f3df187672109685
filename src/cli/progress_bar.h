#pragma once
// The progress bar of a scan on a terminal: one line, redrawn in place,
//
//   scan [############------------------]  40%  400/1000  time left 00:01:30
//
// The time left is the time taken so far per point, times the points still
// to run, shown as the scan page shows it ("--:--:--" before the first
// point).

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace vireon::cli {

// Characters of the bar between its brackets.
inline constexpr int kProgressBarWidth = 30;

// The time left after `done` of `total` points took `elapsedSeconds`; -1
// (unknown) before the first point.
double TimeLeft(int done, int total, double elapsedSeconds);

// The line for `done` of `total` points after `elapsedSeconds`, without a
// line end, headed by `label`. Counts outside 0 ... total are clamped.
std::string ProgressBarLine(int done, int total, double elapsedSeconds,
                            std::string_view label = "scan");

class ProgressBar {
 public:
  // Draws on `stream` only when `enabled` (the stream is a terminal and the
  // user did not ask for quiet); time counts from construction.
  ProgressBar(std::FILE* stream, bool enabled, std::string label = "scan");

  bool enabled() const { return enabled_; }
  // Redraws the line, with `note` after it.
  void Update(int done, int total, std::string_view note = {});
  // Ends the line, once something was drawn, so that later output starts
  // on a line of its own.
  void Finish();

 private:
  std::FILE* stream_;
  bool enabled_;
  std::string label_;
  bool drawn_ = false;
  std::size_t lastLength_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace vireon::cli
