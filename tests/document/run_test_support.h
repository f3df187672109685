#pragma once
// Helpers of the run-control tests: documents over the reference models in
// a temporary folder, reading the files a run wrote, and an observer that
// hands every notification to the test thread, which plays the user
// interface (acknowledging, pausing, resuming, stopping).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "document/document.h"
#include "engine/run_observer.h"
#include "output/output_item.h"
#include "support/files.h"

namespace vireon::test {

// The numbers of one data-file row.
inline std::vector<double> ParseRow(const std::string& line) {
  std::vector<double> values;
  std::istringstream in(line);
  for (double v; in >> v;) values.push_back(v);
  return values;
}

// A document over `model`, saved as model.vrn in `folder`, with every task
// and report section off; tests switch on what they look at.
inline Document MakeDocument(Model model, const TemporaryFolder& folder) {
  Document document;
  document.model = std::move(model);
  document.pathName = folder.folder() + "model.vrn";
  document.folder = folder.folder();
  TaskSettings& s = document.settings;
  s.dynamics = 0;
  s.steadyState = 0;
  s.report = 0;
  s.reportMca = 0;
  s.sleepTime = 0;
  s.dynamicsData.columnWidth = s.steadyStateData.columnWidth = 20;
  return document;
}

// What a notification was.
enum class Note {
  kRunStarting,
  kRunFinished,
  kRunStopped,
  kScanProgress,
  kPointReady,
  kIntegratorError,
  kPaused,
  kResumed,
};

struct Notification {
  Note note;
  int value = 0;
};

// Queues every notification for the test thread. The run thread only
// pushes; the test thread pops and acknowledges.
class QueueObserver : public RunObserver {
 public:
  void RunStarting() override { Push({Note::kRunStarting}); }
  void RunFinished() override { Push({Note::kRunFinished}); }
  void RunStopped() override { Push({Note::kRunStopped}); }
  void ScanProgress(int iteration) override { Push({Note::kScanProgress, iteration}); }
  void PointReady() override { Push({Note::kPointReady}); }
  void IntegratorError(IntegratorFault fault, int) override {
    Push({Note::kIntegratorError, static_cast<int>(fault)});
  }
  void Paused() override { Push({Note::kPaused}); }
  void Resumed() override { Push({Note::kResumed}); }

  // The next notification. A run that says nothing for a minute has hung:
  // the test fails instead of waiting for ever.
  Notification Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool arrived =
        ready_.wait_for(lock, std::chrono::minutes(1), [this] { return !queue_.empty(); });
    if (!arrived) {
      ADD_FAILURE() << "the run sent no notification";
      return {Note::kRunFinished};
    }
    const Notification n = queue_.front();
    queue_.pop_front();
    return n;
  }

 private:
  void Push(Notification n) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(n);
    }
    ready_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Notification> queue_;
};

// Counts the notifications of a synchronous run (all on the run thread).
class CountingObserver : public RunObserver {
 public:
  void RunStarting() override { ++starting; }
  void RunFinished() override { ++finished; }
  void RunStopped() override { ++stopped; }
  void ScanProgress(int) override { ++progress; }
  void PointReady() override { ++points; }
  void IntegratorError(IntegratorFault, int) override { ++integratorErrors; }
  void Paused() override { ++paused; }
  void Resumed() override { ++resumed; }

  int starting = 0, finished = 0, stopped = 0, progress = 0, points = 0, integratorErrors = 0,
      paused = 0, resumed = 0;
};

}  // namespace vireon::test
