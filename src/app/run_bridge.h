#pragma once
// Carries the run thread's notifications to the user-interface thread. Each
// call queues a handler on the GUI thread's event loop and returns at once;
// the run thread then waits (for RunStarting, ScanProgress and PointReady)
// until the queued handler has emitted its signal, whose receivers run there
// and then, and has acknowledged the run.

#include <QObject>

#include "engine/run_observer.h"

namespace vireon {

class RunController;

class RunBridge : public QObject, public RunObserver {
  Q_OBJECT

 public:
  explicit RunBridge(QObject* parent = nullptr) : QObject(parent) {}

  // The controller the queued handlers acknowledge. It is destroyed before
  // the bridge (and abandons its run then), so it outlives every handler.
  void Attach(RunController& controller) { controller_ = &controller; }

  // Called on the run thread.
  void RunStarting() override;
  void RunFinished() override;
  void RunStopped() override;
  void ScanProgress(int iteration) override;
  void PointReady() override;
  void IntegratorError(IntegratorFault fault, int istate) override;
  void EventExecuted(int event, double time) override;
  void Paused() override;
  void Resumed() override;

 signals:
  // Emitted on the GUI thread.
  void runStarting();
  void runFinished();
  void runStopped();
  void scanProgress(int iteration);
  void pointReady();
  void integratorError(int code, int istate);
  void eventExecuted(int event, double time);
  void paused();
  void resumed();

 private:
  template <class Handler>
  void Post(Handler handler, bool acknowledge);

  RunController* controller_ = nullptr;
};

}  // namespace vireon
