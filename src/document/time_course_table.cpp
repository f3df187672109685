#include "document/time_course_table.h"

#include <new>
#include <optional>
#include <stdexcept>

#include "document/run_control.h"
#include "engine/engine.h"
#include "engine/time_course.h"
#include "kinetics/arithmetic_fault.h"
#include "model/model_name_index.h"
#include "model/structural_analysis.h"
#include "output/output_item_binding.h"

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
    if (!model_.rules.empty() || !model_.events.empty()) {
      // Rules and events may change a volume: each metabolite's concentration as the
      // engine stored it for the row, at the current volume.
      for (int m = 0; m < model_.nMetabolites(); ++m) {
        row_[static_cast<std::size_t>(m)] = model_.metabolites[static_cast<std::size_t>(m)].concentration;
      }
      if (!sink_(state_->time, row_)) ended_ = true;
      return;
    }
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

// Points the items at the quantities of this time course, and lets them go
// when it ends, since the engine state and settings they point into do not
// outlive it.
class ItemBinding {
 public:
  ItemBinding(std::vector<OutputItem>* items, Model& model, EngineState& state,
              TaskSettings& settings)
      : items_(items) {
    if (items_ == nullptr) return;
    const ModelNameIndex names(model);
    const BindingContext context{model, state, settings, {}, &names};
    for (OutputItem& item : *items_) BindOutputItem(item, context, /*bind=*/true);
  }
  ~ItemBinding() {
    if (items_ == nullptr) return;
    for (OutputItem& item : *items_) item.value = nullptr;
  }
  ItemBinding(const ItemBinding&) = delete;
  ItemBinding& operator=(const ItemBinding&) = delete;

 private:
  std::vector<OutputItem>* items_;
};

}  // namespace

std::string ComputeTimeCourseRows(Model& model, const TaskSettings& settings,
                                  const TimeCourseRowSink& row, std::vector<OutputItem>* items,
                                  RandomGenerator* random, std::span<const double> outputTimes) {
  TaskSettings taskSettings = settings;
  taskSettings.realTime = 0;
  if (!outputTimes.empty()) {
    taskSettings.points = static_cast<int>(outputTimes.size());
    taskSettings.endTime = outputTimes.back();
  }
  EngineState state;
  if (model.nSteps() == 0 && model.rules.empty() && model.events.empty()) {
    // Without steps there is no structural analysis to order the
    // metabolites; nothing changes anyway.
    std::vector<double> values;
    for (Metabolite& m : model.metabolites) {
      m.concentration = m.initialConcentration;
      values.push_back(m.initialConcentration);
    }
    if (items != nullptr) state.Allocate(model);
    const ItemBinding binding(items, model, state, taskSettings);
    for (int k = 0; k <= taskSettings.points; ++k) {
      state.time = outputTimes.empty() ? settings.endTime * k / settings.points
                   : k == 0              ? 0.0
                                         : outputTimes[static_cast<std::size_t>(k - 1)];
      if (!row(state.time, values)) break;
    }
    return {};
  }

  state.Allocate(model);
  ComputeMoietyTotals(model);
  RowHooks hooks(model, row);
  hooks.Attach(state);
  // Initial values that cannot be met (algebraic rules or fast steps
  // without a solution at time 0) are said as the run's error.
  std::optional<Engine> built;
  try {
    built.emplace(model, state, taskSettings, hooks);
  } catch (const std::invalid_argument& error) {
    return state.errorLog + error.what() + "\n";
  }
  Engine& engine = *built;
  engine.random = random;
  engine.outputTimes = outputTimes;
  try {
    SetUpTimeCourse(engine);
    state.maxSteps = kTableMaxSteps;
    // Bound once the engine has set its state up, just before the first row.
    const ItemBinding binding(items, model, state, taskSettings);
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
