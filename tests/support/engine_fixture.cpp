#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace vireon::test {

void RecordingHooks::WriteDynamicsRow() {
  if (state == nullptr) return;
  rowTimes.push_back(state->time);
  rowAmounts.push_back(state->amounts);
  rowQuantities.push_back(state->quantityValues);
  rowVolumes.push_back(state->volumeValues);
}

PointAction RecordingHooks::CheckPauseStop() {
  ++checks;
  return stopAtCheck > 0 && checks >= stopAtCheck ? PointAction::kStop : PointAction::kContinue;
}

EngineRig::EngineRig(Model m, TaskSettings s) : model(std::move(m)), settings(s) {
  state.Allocate(model);
  hooks.state = &state;
  engine = std::make_unique<Engine>(model, state, settings, hooks);
}

int EngineRig::PositionOf(const std::string& metabolite) const {
  const int m = model.FindMetabolite(metabolite);
  EXPECT_GE(m, 0) << metabolite;
  return m < 0 ? 0 : model.metabolitePosition[m] + 1;
}

double EngineRig::AmountOf(const std::vector<double>& v, const std::string& metabolite) const {
  return v[PositionOf(metabolite)];
}

}  // namespace vireon::test
