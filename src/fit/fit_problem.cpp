#include "fit/fit_problem.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <stdexcept>

#include "document/time_course_table.h"
#include "engine/control_analysis.h"
#include "engine/engine.h"
#include "engine/engine_state.h"
#include "engine/fast_equilibrium.h"
#include "engine/model_equations.h"
#include "engine/steady_state.h"
#include "kinetics/arithmetic_fault.h"
#include "kinetics/kinetic_binding.h"
#include "model/model_name_index.h"
#include "model/structural_analysis.h"
#include "output/output_data_editor.h"
#include "output/output_item_binding.h"
#include "output/output_item_lookup.h"
#include "rules/event_check.h"
#include "rules/rule_system.h"
#include "scan/item_trees.h"

namespace vireon {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

// How near a grid point a data time must be, relative to the end time.
constexpr double kGridTolerance = 1e-12;
// How far the time course's own grid point (a sum of equal intervals) may
// lie from the exact one, relative to the end time.
constexpr double kGridDrift = 1e-9;

void CollectTitled(const std::vector<OutputDataNode>& nodes, std::string_view text,
                   std::vector<OutputItem>& items) {
  for (const OutputDataNode& node : nodes) {
    for (const OutputItem& entry : node.entries) {
      if (entry.title == text && std::find(items.begin(), items.end(), entry) == items.end()) {
        items.push_back(entry);
      }
    }
    CollectTitled(node.children, text, items);
  }
}

bool IsNumericalSetting(int type) {
  return type == kRelativeTolerance || type == kAbsoluteTolerance ||
         type == kSteadyStateResolution || type == kDerivationFactor;
}

bool NeedsControlAnalysis(int type) {
  return type == kElasticity || type == kConcentrationControl || type == kFluxControl;
}

// The fewest intervals of a grid from 0 to the last time that holds every
// time; 0 when none up to kMaxFitGridPoints does.
int GridPoints(const std::vector<double>& times) {
  const double end = times.back();
  for (int n = 1; n <= kMaxFitGridPoints; ++n) {
    bool fits = true;
    for (double t : times) {
      const double k = std::round(t * n / end);
      if (std::fabs(k * end / n - t) > kGridTolerance * end) {
        fits = false;
        break;
      }
    }
    if (fits) return n;
  }
  return 0;
}

// Whether a time course's row at `time` is the experiment's output point
// number `point` (0: the start).
bool OnPoint(const FitExperiment& experiment, int point, double time) {
  if (point == 0) return time == 0.0;
  if (!experiment.outputTimes.empty()) {
    return time == experiment.outputTimes[static_cast<std::size_t>(point - 1)];
  }
  const double expected = experiment.endTime * point / experiment.gridPoints;
  return std::fabs(time - expected) <= kGridDrift * experiment.endTime;
}

std::string ModelProblem(const Model& model) {
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      return "the rate of step " + model.steps[static_cast<std::size_t>(k)].name +
             " cannot be evaluated: its kinetic type needs metabolites or constants it lacks";
    }
  }
  if (!model.rules.empty()) {
    if (std::string problem = RuleSystem::Problem(model); !problem.empty()) {
      return "the rules cannot be followed: " + problem;
    }
  }
  if (std::string problem = FastStepsProblem(model); !problem.empty()) {
    return "the fast steps cannot be followed: " + problem;
  }
  if (!model.events.empty()) {
    if (std::string problem = CheckEvents(model).message; !problem.empty()) {
      return "the events cannot be followed: " + problem;
    }
  }
  return {};
}

// Reads the value an item is bound to in a scratch binding of the model.
double CurrentValue(Model& model, TaskSettings& settings, OutputItem item) {
  EngineState state;
  const BindingContext context{model, state, settings, {}, nullptr};
  if (!BindOutputItem(item, context, true) || item.value == nullptr) return kMissing;
  return *item.value;
}

std::string Ambiguous(const std::string& where, const std::string& title,
                      const std::vector<OutputItem>& items) {
  std::string text = where + title + " is ambiguous: it names";
  for (std::size_t k = 0; k < items.size(); ++k) text += (k == 0 ? " " : ", ") + items[k].title;
  return text;
}

}  // namespace

// The scan items titled `text`.
std::vector<OutputItem> FindScanItems(const Model& model, std::string_view text) {
  std::vector<OutputItem> items;
  CollectTitled(BuildScanItemTree(model), text, items);
  return items;
}

// The steady-state quantities `text` names: a metabolite's name, a step's
// name, or a title of the steady-state data file.
std::vector<OutputItem> FindSteadyStateItems(const Model& model, std::string_view text) {
  std::vector<OutputItem> items;
  if (model.FindMetabolite(text) >= 0)
    items.push_back(MakeOutputItem(kSteadyStateConcentration, text));
  if (model.FindStep(text) >= 0) items.push_back(MakeOutputItem(kSteadyStateFlux, text));
  if (!items.empty()) return items;
  CollectTitled(BuildOutputDataTree(OutputDataMode::kSteadyState, model, {}), text, items);
  return items;
}

FitProblemResult BuildFitProblem(const Model& model, const TaskSettings& settings,
                                 const std::vector<ExperimentFile>& experiments,
                                 const std::vector<FitParameter>& parameters, bool scaleColumns) {
  FitProblemResult result;
  const auto fail = [&result](std::string error) {
    result.problem.reset();
    result.error = std::move(error);
    return std::move(result);
  };
  auto problem = std::make_unique<FitProblem>();
  problem->model = model;
  problem->settings = settings;
  Model& m = problem->model;
  if (m.nSteps() == 0) return fail("the model has no steps to simulate");
  if (std::string trouble = ModelProblem(m); !trouble.empty()) return fail("the model: " + trouble);
  if (parameters.empty()) return fail("no parameter to fit");
  if (experiments.empty()) return fail("no experiment to fit to");

  for (const FitParameter& given : parameters) {
    const std::string where = "parameter ";
    std::vector<OutputItem> found = FindScanItems(m, given.title);
    if (found.empty()) {
      return fail(where + given.title +
                  " is no quantity the fit can set (a kinetic constant such as R1(k), an "
                  "initial concentration [S]i, a volume V(c) or a global quantity's name)");
    }
    if (found.size() > 1) return fail(Ambiguous(where, given.title, found));
    const OutputItem& item = found.front();
    if (item.type == kEndTime || IsNumericalSetting(item.type)) {
      return fail(where + given.title + " is a setting of the run, not a quantity of the model");
    }
    for (const FitProblemParameter& other : problem->parameters) {
      if (other.item == item) return fail(where + given.title + " is given twice");
    }
    if (!(given.lower <= given.upper) || std::isnan(given.lower) || std::isnan(given.upper) ||
        given.lower == kNoBound || given.upper == -kNoBound) {
      return fail(where + given.title + ": the lower bound must not exceed the upper bound");
    }
    FitProblemParameter parameter;
    parameter.title = given.title;
    parameter.item = item;
    parameter.lower = given.lower;
    parameter.upper = given.upper;
    const double value = CurrentValue(m, problem->settings, item);
    switch (given.scale) {
      case ParameterScale::kLinear:
        parameter.log = false;
        break;
      case ParameterScale::kLog:
        if (given.upper <= 0.0 || (given.lower <= 0.0 && value <= 0.0 && given.upper == kNoBound)) {
          return fail(where + given.title +
                      " cannot be searched in log space: it is not positive and its bounds do "
                      "not make it so");
        }
        parameter.log = true;
        break;
      case ParameterScale::kAuto:
        parameter.log = given.lower >= 0.0 || (given.lower == -kNoBound && value > 0.0);
        parameter.log = parameter.log && given.upper > 0.0 && (value > 0.0 || given.lower > 0.0);
        break;
    }
    if (parameter.log && parameter.lower < 0.0) parameter.lower = 0.0;
    double start = std::clamp(value, parameter.lower, parameter.upper);
    if (parameter.log && start <= 0.0) {
      // A log-space parameter that starts at 0: the geometric middle of its
      // bounds, or a decade above the lower one.
      start = std::isfinite(parameter.upper) && parameter.lower > 0.0
                  ? std::sqrt(parameter.lower * parameter.upper)
              : parameter.lower > 0.0 ? parameter.lower * 10.0
                                      : parameter.upper / 10.0;
    }
    parameter.initial = start;
    problem->parameters.push_back(std::move(parameter));
  }

  for (const ExperimentFile& file : experiments) {
    FitExperiment experiment;
    experiment.path = file.path;
    experiment.kind = file.kind;
    experiment.times = file.times;
    experiment.lines = file.lines;
    const bool timeCourse = file.kind == ExperimentKind::kTimeCourse;
    if (timeCourse) {
      if (file.times.back() <= 0.0) {
        return fail(file.path + ": a time course needs a row after time 0");
      }
      experiment.endTime = file.times.back();
      experiment.gridPoints = GridPoints(file.times);
      if (experiment.gridPoints > 0) {
        for (double t : file.times) {
          experiment.pointIndex.push_back(
              static_cast<int>(std::lround(t * experiment.gridPoints / experiment.endTime)));
        }
      } else {
        // Replicates share their point; a row at time 0 reads the start.
        for (double t : file.times) {
          if (t > 0.0 && (experiment.outputTimes.empty() || t > experiment.outputTimes.back())) {
            experiment.outputTimes.push_back(t);
          }
          experiment.pointIndex.push_back(t > 0.0 ? static_cast<int>(experiment.outputTimes.size())
                                                  : 0);
        }
        experiment.gridPoints = static_cast<int>(experiment.outputTimes.size());
      }
    }
    for (const ExperimentColumn& column : file.columns) {
      const std::string where = file.path + ", column " + std::to_string(column.position) + ": ";
      std::vector<OutputItem> setting = FindScanItems(m, column.title);
      std::vector<OutputItem> measured;
      if (setting.empty()) {
        measured = timeCourse ? FindTimeCourseItems(m, column.title)
                              : FindSteadyStateItems(m, column.title);
      }
      if (measured.size() > 1) return fail(Ambiguous(where, column.title, measured));
      if (setting.size() > 1) return fail(Ambiguous(where, column.title, setting));
      if (!setting.empty()) {
        const OutputItem& item = setting.front();
        if (item.type == kEndTime) {
          return fail(where + "the end time is the experiment's last time, not a setting");
        }
        if (column.sdPosition != 0) {
          return fail(where + column.title + " sets the model; it has no standard deviation");
        }
        FitCondition condition{column.title, item, column.values};
        if (timeCourse) {
          double value = kMissing;
          for (std::size_t r = 0; r < column.values.size(); ++r) {
            const double v = column.values[r];
            if (std::isnan(v)) continue;
            if (!std::isnan(value) && v != value) {
              return fail(file.path + ", line " + std::to_string(file.lines[r]) + ", column " +
                          std::to_string(column.position) + " (" + column.title +
                          "): a time course has one setting of " + column.title +
                          ", this row another");
            }
            value = v;
          }
          condition.values.assign(1, value);
        }
        experiment.conditions.push_back(std::move(condition));
        continue;
      }
      if (measured.empty()) {
        return fail(where + column.title + " names nothing in the model that " +
                    (timeCourse ? "a time course measures" : "a steady state measures") +
                    " or that sets it");
      }
      FitMeasurement measurement;
      measurement.title = column.title;
      measurement.item = measured.front();
      if (measurement.item.type == kUserFunction) {
        return fail(where + column.title + " is an output function, which the fit cannot follow");
      }
      if (measurement.item.type == kTransientConcentration) {
        measurement.metabolite = m.FindMetabolite(measurement.item.i);
      }
      measurement.values = column.values;
      double sumSquares = 0.0;
      int count = 0;
      for (double v : column.values) {
        if (std::isnan(v)) continue;
        sumSquares += v * v;
        ++count;
      }
      const double columnWeight =
          scaleColumns && count > 0 && sumSquares > 0.0 ? 1.0 / std::sqrt(sumSquares / count) : 1.0;
      for (std::size_t r = 0; r < column.values.size(); ++r) {
        measurement.weights.push_back(column.sd.empty() ? columnWeight : 1.0 / column.sd[r]);
      }
      if (!column.sd.empty()) problem->anySd = true;
      problem->points += count;
      experiment.measurements.push_back(std::move(measurement));
    }
    if (experiment.measurements.empty()) {
      return fail(file.path + ": no column is measured; every column sets the model");
    }
    problem->experiments.push_back(std::move(experiment));
  }
  if (problem->points == 0) return fail("the experiments hold no measured value");
  if (problem->points < static_cast<int>(problem->parameters.size())) {
    return fail("the experiments hold " + std::to_string(problem->points) +
                " measured values, fewer than the " + std::to_string(problem->parameters.size()) +
                " parameters");
  }
  result.problem = std::move(problem);
  return result;
}

FitEvaluator::FitEvaluator(const FitProblem& problem)
    : problem_(problem), model_(problem.model), settings_(problem.settings) {
  EngineState unused;
  const ModelNameIndex names(model_);
  const BindingContext context{model_, unused, settings_, {}, &names};
  const auto bind = [&](OutputItem item) {
    BindOutputItem(item, context, true);
    if (item.value != nullptr &&
        std::none_of(slots_.begin(), slots_.end(),
                     [&item](const Slot& slot) { return slot.value == item.value; })) {
      slots_.push_back({item.value, *item.value});
    }
    return item;
  };
  for (const FitProblemParameter& parameter : problem.parameters) {
    parameterItems_.push_back(bind(parameter.item));
  }
  for (const FitExperiment& experiment : problem.experiments) {
    std::vector<OutputItem> items;
    for (const FitCondition& condition : experiment.conditions)
      items.push_back(bind(condition.item));
    conditionItems_.push_back(std::move(items));
  }
}

void FitEvaluator::Reset(std::span<const double> values) {
  for (const Slot& slot : slots_) *slot.value = slot.base;
  for (std::size_t j = 0; j < parameterItems_.size() && j < values.size(); ++j) {
    if (parameterItems_[j].value != nullptr) *parameterItems_[j].value = values[j];
  }
}

bool FitEvaluator::TimeCourse(std::size_t e, std::vector<std::vector<double>>& out) {
  const FitExperiment& experiment = problem_.experiments[e];
  for (std::size_t c = 0; c < experiment.conditions.size(); ++c) {
    const double v = experiment.conditions[c].values.front();
    if (!std::isnan(v) && conditionItems_[e][c].value != nullptr) *conditionItems_[e][c].value = v;
  }
  TaskSettings taskSettings = settings_;
  taskSettings.endTime = experiment.endTime;
  taskSettings.points = experiment.gridPoints;
  taskSettings.eventRows = 0;
  std::vector<OutputItem> items;
  for (const FitMeasurement& measurement : experiment.measurements)
    items.push_back(measurement.item);
  std::size_t row = 0;
  int point = 0;
  bool onTime = true;
  const std::string errorLog = ComputeTimeCourseRows(
      model_, taskSettings,
      [&](double time, std::span<const double> concentrations) {
        // A point the integrator could not place at its time (it ran out
        // of steps on the way) measures nothing.
        if (!OnPoint(experiment, point, time)) {
          onTime = false;
          return false;
        }
        while (row < experiment.rows() && experiment.pointIndex[row] == point) {
          for (std::size_t k = 0; k < experiment.measurements.size(); ++k) {
            const int metabolite = experiment.measurements[k].metabolite;
            out[k][row] = metabolite >= 0 ? concentrations[static_cast<std::size_t>(metabolite)]
                                          : items[k].Value();
          }
          ++row;
        }
        ++point;
        return row < experiment.rows();
      },
      &items, nullptr, experiment.outputTimes);
  return errorLog.empty() && onTime && row == experiment.rows();
}

bool FitEvaluator::SteadyState(std::size_t e, std::vector<std::vector<double>>& out) {
  const FitExperiment& experiment = problem_.experiments[e];
  const bool mca = std::any_of(experiment.measurements.begin(), experiment.measurements.end(),
                               [](const FitMeasurement& measurement) {
                                 return NeedsControlAnalysis(measurement.item.type);
                               });
  for (std::size_t row = 0; row < experiment.rows(); ++row) {
    if (row > 0) Reset(scratchValues_);
    for (std::size_t c = 0; c < experiment.conditions.size(); ++c) {
      const double v = experiment.conditions[c].values[row];
      if (!std::isnan(v) && conditionItems_[e][c].value != nullptr)
        *conditionItems_[e][c].value = v;
    }
    EngineState state;
    state.Allocate(model_);
    ComputeMoietyTotals(model_);
    EngineHooks hooks;
    std::vector<OutputItem> items;
    const ModelNameIndex names(model_);
    const BindingContext context{model_, state, settings_, {}, &names};
    for (const FitMeasurement& measurement : experiment.measurements) {
      items.push_back(measurement.item);
      BindOutputItem(items.back(), context, true);
    }
    try {
      Engine engine(model_, state, settings_, hooks);
      try {
        if (vireon::SteadyState(engine).outcome != SteadyStateOutcome::kFound) return false;
        if (mca) ControlAnalysis(engine);
      } catch (...) {
        engine.lsoda.LsodaFree();
        throw;
      }
      for (std::size_t k = 0; k < items.size(); ++k) out[k][row] = items[k].Value();
    } catch (const ArithmeticFault&) {
      return false;
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::invalid_argument&) {
      return false;
    }
  }
  return true;
}

bool FitEvaluator::Simulate(std::span<const double> values,
                            std::vector<std::vector<std::vector<double>>>& out) {
  ++simulations_;
  scratchValues_.assign(values.begin(), values.end());
  out.resize(problem_.experiments.size());
  bool ok = true;
  for (std::size_t e = 0; e < problem_.experiments.size() && ok; ++e) {
    const FitExperiment& experiment = problem_.experiments[e];
    out[e].assign(experiment.measurements.size(), std::vector<double>(experiment.rows(), kMissing));
    Reset(values);
    ok = experiment.kind == ExperimentKind::kTimeCourse ? TimeCourse(e, out[e])
                                                        : SteadyState(e, out[e]);
  }
  for (const Slot& slot : slots_) *slot.value = slot.base;
  return ok;
}

bool FitEvaluator::Residuals(std::span<const double> values, std::span<double> residuals) {
  if (!Simulate(values, scratch_)) return false;
  std::size_t n = 0;
  for (std::size_t e = 0; e < problem_.experiments.size(); ++e) {
    const FitExperiment& experiment = problem_.experiments[e];
    for (std::size_t row = 0; row < experiment.rows(); ++row) {
      for (std::size_t k = 0; k < experiment.measurements.size(); ++k) {
        const FitMeasurement& measurement = experiment.measurements[k];
        const double data = measurement.values[row];
        if (std::isnan(data)) continue;
        const double value = scratch_[e][k][row];
        if (!std::isfinite(value) || std::fabs(value) >= kInfiniteValue) return false;
        if (n < residuals.size()) residuals[n] = (value - data) * measurement.weights[row];
        ++n;
      }
    }
  }
  return true;
}

bool FitEvaluator::Curves(std::span<const double> values,
                          std::vector<std::vector<std::vector<double>>>& curves) {
  return Simulate(values, curves);
}

}  // namespace vireon
