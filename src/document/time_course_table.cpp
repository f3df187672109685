#include "document/time_course_table.h"

#include <new>

#include "document/run_control.h"
#include "engine/engine.h"
#include "engine/time_course.h"
#include "kinetics/arithmetic_fault.h"
#include "model/structural_analysis.h"

namespace vireon {

namespace {

// Collects a row at every output point of the time course.
class TableHooks : public EngineHooks {
 public:
  TableHooks(const Model& model, TimeCourseTable& table) : model_(model), table_(table) {}
  void Attach(const EngineState& state) { state_ = &state; }

  void WriteDynamicsRow() override {
    table_.times.push_back(state_->time);
    std::vector<double>& row = table_.concentrations.emplace_back(model_.nMetabolites());
    for (int p = 1; p <= model_.nMetabolites(); ++p) {
      const int m = model_.metaboliteOrder[p - 1];
      row[m] = state_->amounts[p] / model_.VolumeOf(m);
    }
  }
  void SleepMilliseconds(int) override {}

 private:
  const Model& model_;
  TimeCourseTable& table_;
  const EngineState* state_ = nullptr;
};

}  // namespace

TimeCourseTable ComputeTimeCourseTable(Model& model, const TaskSettings& settings) {
  TimeCourseTable table;
  if (model.nSteps() == 0) {
    // Without steps there is no structural analysis to order the
    // metabolites; nothing changes anyway.
    std::vector<double> row;
    for (Metabolite& m : model.metabolites) {
      m.concentration = m.initialConcentration;
      row.push_back(m.initialConcentration);
    }
    for (int k = 0; k <= settings.points; ++k) {
      table.times.push_back(settings.endTime * k / settings.points);
      table.concentrations.push_back(row);
    }
    return table;
  }

  TaskSettings taskSettings = settings;
  taskSettings.realTime = 0;
  EngineState state;
  state.Allocate(model);
  ComputeMoietyTotals(model);
  TableHooks hooks(model, table);
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
  table.errorLog = state.errorLog;
  return table;
}

}  // namespace vireon
