#pragma once
// How the engine tells whoever drives a run what is happening. The run
// thread calls these; an observer never reaches into the engine. For
// RunStarting, ScanProgress and PointReady the run thread waits until the
// driver acknowledges (the driver's handler returns, or, for a GUI, the
// queued handler sets the acknowledgement event), so the engine is never
// more than one point ahead of what is shown.

namespace vireon {

// Integrator error codes carried by IntegratorError.
inline constexpr int kIntegratorInitFailed = 100;
inline constexpr int kIntegratorErrorReturn = 101;

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void RunStarting() {}
  virtual void RunFinished() {}
  virtual void RunStopped() {}
  virtual void ScanProgress(int /*iteration*/) {}
  virtual void PointReady() {}
  virtual void IntegratorError(int /*code*/, int /*istate*/) {}
  virtual void Paused() {}
  virtual void Resumed() {}
};

}  // namespace vireon
