#pragma once
// A time course as a table, for scripts: the concentrations of every
// metabolite at time 0 and at each output point, computed on the calling
// thread without data files, report or window.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/task_settings.h"
#include "model/model.h"
#include "output/output_item.h"

namespace vireon {

class RandomGenerator;

struct TimeCourseTable {
  std::vector<double> times;
  // One row per time: the concentration of every metabolite, by index.
  std::vector<std::vector<double>> concentrations;
  // The integrator's and the rate laws' troubles, as in a run's error log;
  // empty when the table holds every point.
  std::string errorLog;
};

// The LSODA step limit per output interval of a table: high enough that a
// stiff stretch never shifts the output times, as the interactive time
// course allows.
inline constexpr int kTableMaxSteps = 1000000;

// Integrates the model (after its structural analysis, every step bound to
// a kinetic type it can evaluate) from its initial concentrations over the
// end time in `points` equal intervals (points >= 1), with the settings'
// tolerances and integrator orders. A model with no step, or no variable
// metabolite, has the constant solution. The model's current concentrations
// and fluxes are those of the last row.
TimeCourseTable ComputeTimeCourseTable(Model& model, const TaskSettings& settings);

// Hears each row of a time course as it is computed: the time and the
// concentration of every metabolite, by index. Returns false to end the
// time course there.
using TimeCourseRowSink = std::function<bool(double time, std::span<const double> concentrations)>;

// The same time course, each row handed to `row` as soon as it is known
// instead of kept, so that the memory it needs does not grow with the
// points. Returns the error log (empty when every row was computed, or
// `row` ended it). `items`, when given, are bound (BindOutputItem) against
// the model, the time course's own engine state and settings before the
// first row, so that `row` reads their current values (OutputItem::Value);
// items whose names do not resolve read 0. Their binding is cleared when
// the time course ends. `random`, when given, orders the model's events of
// equal priority that fall at one moment (otherwise they go in the model's
// order). `outputTimes`, when given (increasing, after 0), are the times of
// the rows after the first instead of the end time's equal intervals: the
// integration meets each of them exactly, and ends at the last.
std::string ComputeTimeCourseRows(Model& model, const TaskSettings& settings,
                                  const TimeCourseRowSink& row,
                                  std::vector<OutputItem>* items = nullptr,
                                  RandomGenerator* random = nullptr,
                                  std::span<const double> outputTimes = {});

}  // namespace vireon
