#include "document/time_course_table.h"

#include <new>

#include "document/run_control.h"
#include "engine/engine.h"
#include "engine/time_course.h"
#include "kinetics/arithmetic_fault.h"
#include "model/structural_analysis.h"

namespace vireon {

namespace {

// Hands a row to the sink at every output point of the time course, and
// ends the time course once the sink asks to.
class RowHooks : public EngineHooks {
 public:
  RowHooks(const Model& model, const TimeCourseRowSink& sink)
      : model_(model), sink_(sink), row_(model.nMetabolites()) {}
  void Attach(const EngineState& state) { state_ = &state; }

  void WriteDynamicsRow() override {
    for (int p = 1; p <= model_.nMetabolites(); ++p) {
      const int m = model_.metaboliteOrder[p - 1];
      row_[m] = state_->amounts[p] / model_.VolumeOf(m);
    }
    if (!sink_(state_->time, row_)) ended_ = true;
  }
  PointAction CheckPauseStop() override {
    return ended_ ? PointAction::kStop : PointAction::kContinue;
  }
  void SleepMilliseconds(int) override {}

 private:
  const Model& model_;
  const TimeCourseRowSink& sink_;
  std::vector<double> row_;
  bool ended_ = false;
  const EngineState* state_ = nullptr;
};

}  // namespace

std::string ComputeTimeCourseRows(Model& model, const TaskSettings& settings,
                                  const TimeCourseRowSink& row) {
  if (model.nSteps() == 0) {
    // Without steps there is no structural analysis to order the
    // metabolites; nothing changes anyway.
    std::vector<double> values;
    for (Metabolite& m : model.metabolites) {
      m.concentration = m.initialConcentration;
      values.push_back(m.initialConcentration);
    }
    for (int k = 0; k <= settings.points; ++k) {
      if (!row(settings.endTime * k / settings.points, values)) break;
    }
    return {};
  }

  TaskSettings taskSettings = settings;
  taskSettings.realTime = 0;
  EngineState state;
  state.Allocate(model);
  ComputeMoietyTotals(model);
  RowHooks hooks(model, row);
  hooks.Attach(state);
  Engine engine(model, state, taskSettings, hooks);
  try {
    SetUpTimeCourse(engine);
    state.maxSteps = kTableMaxSteps;
    TimeCourse(engine, /*write=*/true);
  } catch (const ArithmeticFault& fault) {
    engine.lsoda.LsodaFree();
    state.errorLog += fault.what();
  } catch (const std::bad_alloc&) {
    engine.lsoda.LsodaFree();
    state.errorLog += kOutOfMemoryText;
  }
  return state.errorLog;
}

TimeCourseTable ComputeTimeCourseTable(Model& model, const TaskSettings& settings) {
  TimeCourseTable table;
  table.errorLog =
      ComputeTimeCourseRows(model, settings, [&table](double time, std::span<const double> row) {
        table.times.push_back(time);
        table.concentrations.emplace_back(row.begin(), row.end());
        return true;
      });
  return table;
}

}  // namespace vireon
