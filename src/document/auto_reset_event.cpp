#include "document/auto_reset_event.h"

namespace vireon {

void AutoResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  signal_.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool AutoResetEvent::TryWait() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool was = signalled_;
  signalled_ = false;
  return was;
}

void AutoResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  signal_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool AutoResetEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

}  // namespace vireon
