#include "cli/stop_on_signal.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "cli/command_line.h"

namespace vireon::cli {
namespace {

// Wakes the watcher when the guard ends; never sent from outside.
constexpr int kWakeSignal = SIGUSR2;

void Say(const char* text) {
  // Written straight to the descriptor: the progress bar may own the line.
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

}  // namespace

StopOnSignal::StopOnSignal(std::function<void()> stop) : stop_(std::move(stop)) {
  sigemptyset(&waited_);
  sigaddset(&waited_, SIGINT);
  sigaddset(&waited_, SIGTERM);
  sigaddset(&waited_, kWakeSignal);
  pthread_sigmask(SIG_BLOCK, &waited_, &previousMask_);
  watcher_ = std::thread([this] { Watch(); });
}

StopOnSignal::~StopOnSignal() {
  finishing_.store(true);
  pthread_kill(watcher_.native_handle(), kWakeSignal);
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void StopOnSignal::Watch() {
  while (true) {
    int signal = 0;
    if (sigwait(&waited_, &signal) != 0) continue;
    if (finishing_.load()) return;
    if (signal == kWakeSignal) continue;
    if (!stopRequested_.exchange(true)) {
      Say("\nvireon: stopping the run at its next time-course point "
          "(press Ctrl-C again to end at once)\n");
      stop_();
    } else {
      Say("\nvireon: ended at once; the report and data files may be incomplete\n");
      std::_Exit(kExitStopped);
    }
  }
}

}  // namespace vireon::cli
