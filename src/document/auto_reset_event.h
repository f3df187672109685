#pragma once
// An auto-reset event: Set leaves it signalled until exactly one wait (or
// one successful TryWait) consumes the signal, which resets it. Setting an
// event that is already signalled changes nothing, so several Sets before a
// wait release that one wait only. The run thread and the user interface
// pass their acknowledgements and their pause, resume and stop requests
// through such events; everything written before a Set is visible to the
// thread whose wait it releases.

#include <condition_variable>
#include <mutex>

namespace vireon {

class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  // Signals the event and wakes one waiting thread, if any.
  void Set();
  // Makes the event non-signalled.
  void Reset();
  // Consumes the signal without waiting: true when the event was signalled.
  bool TryWait();
  // Blocks until the event is signalled, then consumes the signal.
  void Wait();
  // Whether the event is signalled, without consuming the signal.
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable signal_;
  bool signalled_ = false;
};

}  // namespace vireon
