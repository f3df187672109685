#pragma once
// How the engine tells whoever drives a run what is happening. The run
// thread calls these; an observer never reaches into the engine. For
// RunStarting, ScanProgress and PointReady the run thread waits until the
// driver acknowledges (the driver's handler returns, or, for a GUI, the
// queued handler sets the acknowledgement event), so the engine is never
// more than one point ahead of what is shown.

namespace vireon {

// One execution of a model's event: the event by its place in the model's
// list and the time of the time course at which it was carried out.
struct EventFiring {
  int event = 0;
  double time = 0.0;
  bool operator==(const EventFiring&) const = default;
};

// How the integrator failed, carried by IntegratorError with its istate.
enum class IntegratorFault : int {
  kInitializationFailed = 100,  // the initialising call did not succeed
  kErrorReturn = 101,           // a later call returned an error
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void RunStarting() {}
  virtual void RunFinished() {}
  virtual void RunStopped() {}
  virtual void ScanProgress(int /*iteration*/) {}
  virtual void PointReady() {}
  virtual void IntegratorError(IntegratorFault /*fault*/, int /*istate*/) {}
  // An event of the model (by its place in the model's list) was carried
  // out at this time of a time course shown in the interactive window. The
  // run does not wait for it.
  virtual void EventExecuted(int /*event*/, double /*time*/) {}
  virtual void Paused() {}
  virtual void Resumed() {}
};

}  // namespace vireon
