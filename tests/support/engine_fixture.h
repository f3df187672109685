#pragma once
// An engine over a reference model, with state allocated and settings at
// their built-in defaults, for tests that drive the tasks directly.

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "model/model.h"

namespace vireon::test {

// Records what the tasks call out to.
class RecordingHooks : public EngineHooks {
 public:
  void WriteDynamicsTitles() override { ++titles; }
  void WriteDynamicsRow() override;
  void PointReady() override { ++pointsShown; }
  PointAction CheckPauseStop() override;
  void IntegratorError(IntegratorFault fault, int istate) override {
    errors.push_back({fault, istate});
  }
  void SleepMilliseconds(int milliseconds) override { sleeps.push_back(milliseconds); }
  void EventExecuted(int event, double time) override { executions.push_back({event, time}); }

  int titles = 0;
  int pointsShown = 0;
  // Time and amounts (by position) of every row written.
  std::vector<double> rowTimes;
  std::vector<std::vector<double>> rowAmounts;
  // The current global quantity values and volumes at every row.
  std::vector<std::vector<double>> rowQuantities, rowVolumes;
  std::vector<std::pair<IntegratorFault, int>> errors;
  // Every event execution told: the event and the time.
  std::vector<std::pair<int, double>> executions;
  // Every pause asked for, in milliseconds (none is taken).
  std::vector<int> sleeps;
  // Asks the engine to stop at the n-th pause/stop check (0: never).
  int stopAtCheck = 0;
  int checks = 0;
  EngineState* state = nullptr;
};

struct EngineRig {
  explicit EngineRig(Model m, TaskSettings s = TaskSettings());
  Model model;
  TaskSettings settings;
  EngineState state;
  RecordingHooks hooks;
  std::unique_ptr<Engine> engine;
  // Amount of the named metabolite in an engine vector.
  double AmountOf(const std::vector<double>& v, const std::string& metabolite) const;
  // Engine position (1-based) of the named metabolite.
  int PositionOf(const std::string& metabolite) const;
};

}  // namespace vireon::test
