#pragma once
// SIGTERM (a logout, a shutdown, `kill`) as a request to close the program.
//
// The signal handler only writes one byte into a pipe, which is all a
// handler may safely do; a QSocketNotifier on the pipe's other end turns the
// byte into the signal requested() on the GUI thread, where the program
// closes as it would from its own menu, but without asking anything.

#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace vireon {

class TerminationRequest : public QObject {
  Q_OBJECT

 public:
  // Installs the SIGTERM handler. One at a time.
  explicit TerminationRequest(QObject* parent = nullptr);
  // Restores the handler that was there before.
  ~TerminationRequest() override;

  TerminationRequest(const TerminationRequest&) = delete;
  TerminationRequest& operator=(const TerminationRequest&) = delete;

 signals:
  // SIGTERM arrived (once however many came before the loop heard of them).
  void requested();

 private:
  void Drain();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  struct sigaction previous_ {};
  bool installed_ = false;
};

}  // namespace vireon
