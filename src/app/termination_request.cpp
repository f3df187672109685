#include "app/termination_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

namespace vireon {
namespace {

// The pipe's writing end, for the handler (-1: no request is listened to).
std::atomic<int> requestPipe{-1};

extern "C" void OnTerminate(int) {
  const int saved = errno;
  const int fd = requestPipe.load();
  if (fd >= 0) {
    const char byte = 1;
    // A full pipe already holds a request: the byte may be dropped.
    (void)!::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TerminationRequest::TerminationRequest(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationRequest::Drain);
  requestPipe.store(pipe_[1]);
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = ::sigaction(SIGTERM, &action, &previous_) == 0;
}

TerminationRequest::~TerminationRequest() {
  if (installed_) ::sigaction(SIGTERM, &previous_, nullptr);
  requestPipe.store(-1);
  delete notifier_;
  for (int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void TerminationRequest::Drain() {
  char bytes[64];
  bool any = false;
  for (;;) {
    const ssize_t got = ::read(pipe_[0], bytes, sizeof bytes);
    if (got > 0) {
      any = true;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;
  }
  if (any) emit requested();
}

}  // namespace vireon
