#include "document/task_iteration.h"

#include <new>

#include "document/document.h"
#include "document/interactive_pacing.h"
#include "engine/control_analysis.h"
#include "engine/steady_state.h"
#include "engine/time_course.h"
#include "kinetics/arithmetic_fault.h"
#include "model/messages.h"
#include "model/structural_analysis.h"
#include "output/data_file.h"
#include "output/output_function.h"
#include "output/report.h"
#include "scan/parameter_link.h"

namespace vireon {

namespace {

// What the engine's tasks call out to: the time-course rows, the output
// functions, and the output's point handling.
class IterationHooks : public EngineHooks {
 public:
  IterationHooks(Document& document, RandomGenerator& random, IterationOutput& output,
                 int* evaluations)
      : document_(document), random_(random), output_(output), evaluations_(evaluations) {}

  void Attach(Engine& engine) { engine_ = &engine; }

  void WriteDynamicsTitles() override {
    if (output_.TimeCourseOpen() && document_.settings.dynamicsData.titles != 0) {
      output_.TimeCourse(
          FormatTitlesLine(document_.selections.timeCourse, TimeCourseLayout(document_.settings)));
    }
  }
  void WriteDynamicsRow() override {
    if (output_.TimeCourseOpen()) {
      output_.TimeCourse(
          FormatValuesLine(document_.selections.timeCourse, TimeCourseLayout(document_.settings)));
    }
  }
  void EvaluateOutputFunctions() override {
    if (evaluations_ != nullptr) ++*evaluations_;
    vireon::EvaluateOutputFunctions(document_.functions, random_);
  }
  void PointReady() override {
    if (engine_ != nullptr) output_.PointReady(*engine_);
  }
  PointAction CheckPauseStop() override {
    return engine_ != nullptr ? output_.CheckPauseStop(*engine_) : PointAction::kContinue;
  }
  void IntegratorError(IntegratorFault fault, int istate) override {
    output_.IntegratorError(fault, istate);
  }
  void EventExecuted(int event, double time) override {
    if (engine_ != nullptr) output_.EventExecuted(*engine_, event, time);
  }

 private:
  Document& document_;
  RandomGenerator& random_;
  IterationOutput& output_;
  int* evaluations_;
  Engine* engine_ = nullptr;
};

// Runs `part`; an arithmetic fault or an allocation failure inside it ends
// it, and the header and the fault's text go to the error log.
template <class Part>
void Guarded(std::string& errorLog, const char* header, Engine* engine, Part part) {
  try {
    part();
  } catch (const ArithmeticFault& fault) {
    if (engine != nullptr) engine->lsoda.LsodaFree();
    errorLog += header;
    errorLog += fault.what();
  } catch (const std::bad_alloc&) {
    if (engine != nullptr) engine->lsoda.LsodaFree();
    errorLog += header;
    errorLog += kOutOfMemoryText;
  }
}

}  // namespace

// The iteration, in order: the links between two computations of the
// conservation totals, the engine, the report's parameters, the time
// course, the steady state with stability and control analysis, then the
// iteration count. The engine is built after the links were applied, since
// it takes the volumes and the numerical settings as they are then, and
// before the parameters are reported, since it applies the initial values
// that rules give.
bool RunTaskIteration(Document& document, RandomGenerator& random, IterationOutput& output,
                      int* functionEvaluations) {
  Document& d = document;
  Model& model = d.model;
  EngineState& state = d.engine;
  TaskSettings& settings = d.settings;
  const ReportContext report{d.model, d.engine, d.settings, ReportVersionLine(messages::kVersion)};

  Guarded(state.errorLog, kLinksErrorHeader, nullptr,
          [&] { ApplyLinksBetweenTotals(d.links, [&model] { ComputeMoietyTotals(model); }); });

  state.stepCount = 0.0;
  state.fEvaluations = 0.0;
  state.jEvaluations = 0.0;
  state.stepSize = 0.0;

  IterationHooks hooks(d, random, output, functionEvaluations);
  Engine engine(model, state, settings, hooks);
  engine.random = &random;
  hooks.Attach(engine);
  // After the engine, which gives a model with rules its initial values:
  // the report shows the values the run starts from.
  if (settings.report) output.Report(ReportParametersText(report));
  const InteractivePacing pacing =
      RunPacing(settings.points, !d.selections.interactive.empty(), output.PointsShown());
  if (pacing.paced) {
    engine.interactive = true;
    engine.refreshEvery = pacing.refreshEvery;
    engine.lsoda.SetYieldAfterStep(true);
  }

  bool stopped = false;
  if (settings.dynamics) {
    Guarded(state.errorLog, kTimeCourseErrorHeader, &engine, [&] {
      SetUpTimeCourse(engine);
      const TimeCourseResult result = TimeCourse(engine, output.TimeCourseOpen());
      stopped = result.outcome == TimeCourseOutcome::kStopped;
      if (!stopped && settings.report) {
        output.Report(ReportTimeCourseText(report));
        if (!model.events.empty()) {
          output.Report(ReportEventExecutionsText(report, result.eventExecutions));
        }
      }
    });
    if (stopped) return false;
  }

  if (settings.steadyState) {
    Guarded(state.errorLog, kSteadyStateErrorHeader, &engine, [&] {
      stopped = SteadyState(engine).outcome == SteadyStateOutcome::kStopped;
      if (stopped) return;
      CheckEquilibrium(engine);
      ControlAnalysis(engine);
      hooks.EvaluateOutputFunctions();
      state.elapsedTime = ElapsedSeconds(engine);
      if (output.SteadyStateOpen()) {
        output.SteadyState(FormatValuesLine(d.selections.steadyState, SteadyStateLayout(settings)));
      }
      if (settings.report) {
        output.Report(ReportSteadyStateText(report));
        if (settings.reportStabilityAnalysis) output.Report(ReportStabilityText(report));
        if (settings.reportMca) output.Report(ReportMcaText(report));
      }
    });
    if (stopped) return false;
  }

  state.elapsedTime = ElapsedSeconds(engine);
  state.iterationRate =
      state.elapsedTime > 0.0 ? state.iteration / state.elapsedTime : kInfiniteValue;
  ++state.iteration;
  return true;
}

}  // namespace vireon
