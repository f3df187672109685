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

namespace vireon::cli {

// Characters of the bar between its brackets.
inline constexpr int kProgressBarWidth = 30;

// The time left after `done` of `total` points took `elapsedSeconds`; -1
// (unknown) before the first point.
double TimeLeft(int done, int total, double elapsedSeconds);

// The line for `done` of `total` points after `elapsedSeconds`, without a
// line end. Counts outside 0 ... total are clamped.
std::string ProgressBarLine(int done, int total, double elapsedSeconds);

class ProgressBar {
 public:
  // Draws on `stream` only when `enabled` (the stream is a terminal and the
  // user did not ask for quiet); time counts from construction.
  ProgressBar(std::FILE* stream, bool enabled);

  bool enabled() const { return enabled_; }
  // Redraws the line.
  void Update(int done, int total);
  // Ends the line, once something was drawn, so that later output starts
  // on a line of its own.
  void Finish();

 private:
  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
  std::size_t lastLength_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace vireon::cli
