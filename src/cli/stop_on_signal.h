#pragma once
// Ctrl-C during a run: the first SIGINT (or SIGTERM) asks the run to stop
// through its stop request, so that it ends cleanly at its next time-course
// point with its files closed; a second one ends the program at once.
//
// The signals are blocked in the thread that creates the guard, and so in
// every thread it starts afterwards (the run thread among them); a watcher
// thread of the guard's own receives them with sigwait, so the stop request
// is made from an ordinary thread and not from a signal handler.

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace vireon::cli {

class StopOnSignal {
 public:
  // `stop` is called on the watcher thread at the first signal.
  explicit StopOnSignal(std::function<void()> stop);
  // Ends the watcher and restores the signal mask of the creating thread.
  ~StopOnSignal();

  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

  // Whether a signal asked for the stop.
  bool stopRequested() const { return stopRequested_.load(); }

 private:
  void Watch();

  std::function<void()> stop_;
  sigset_t waited_;
  sigset_t previousMask_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> finishing_{false};
  std::thread watcher_;
};

}  // namespace vireon::cli
