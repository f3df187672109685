#include "document/headless_run.h"

#include "document/document.h"
#include "engine/run_observer.h"

namespace vireon {

namespace {

// Forwards to the caller's observer and turns scan progress into the
// caller's progress callback.
class HeadlessObserver : public RunObserver {
 public:
  HeadlessObserver(const RunController& controller, const Document& document,
                   const HeadlessRunOptions& options)
      : controller_(controller), document_(document), options_(options) {}

  void RunStarting() override {
    if (options_.observer != nullptr) options_.observer->RunStarting();
  }
  void RunFinished() override {
    if (options_.observer != nullptr) options_.observer->RunFinished();
  }
  void RunStopped() override {
    if (options_.observer != nullptr) options_.observer->RunStopped();
  }
  void ScanProgress(int iteration) override {
    if (options_.observer != nullptr) options_.observer->ScanProgress(iteration);
    if (options_.progress) {
      options_.progress(iteration, document_.engine.totalIterations,
                        controller_.remainingTimeText());
    }
  }
  void PointReady() override {
    if (options_.observer != nullptr) options_.observer->PointReady();
  }
  void IntegratorError(IntegratorFault fault, int istate) override {
    if (options_.observer != nullptr) options_.observer->IntegratorError(fault, istate);
  }
  void Paused() override {
    if (options_.observer != nullptr) options_.observer->Paused();
  }
  void Resumed() override {
    if (options_.observer != nullptr) options_.observer->Resumed();
  }

 private:
  const RunController& controller_;
  const Document& document_;
  const HeadlessRunOptions& options_;
};

}  // namespace

HeadlessRunResult RunDocumentToEnd(Document& document, RandomGenerator& random, MessageSink& sink,
                                   const HeadlessRunOptions& options) {
  RunController controller(document, random);
  HeadlessObserver observer(controller, document, options);
  SynchronousObserver acknowledging(controller, &observer);
  controller.SetObserver(&acknowledging);
  controller.SetJobs(options.jobs);
  controller.SetPointsShown(options.pointsShown);

  HeadlessRunResult result;
  if (!controller.StartRun(sink)) return result;
  controller.Wait();
  result.outcome = controller.outcome();
  result.errorLog = document.engine.errorLog;
  result.iterations = document.engine.iteration;
  result.eventFirings = controller.eventFirings();
  return result;
}

}  // namespace vireon
