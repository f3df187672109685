// The absolute tolerance is one on concentrations, whatever the volume unit:
// the integrator's state is amounts, so it holds each variable to the
// tolerance times its compartment's volume. A model of a single cell (a
// volume of a few femtolitres) must follow its time course as closely as the
// same model in a litre.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

constexpr double kK1 = 0.9, kK2 = 0.3, kA0 = 2.0;
// The integrator's defaults (rtol 1e-6, atol 1e-12) give about this much.
constexpr double kAbsolute = 1e-8, kRelative = 1e-4;

// A -> B -> C with C fixed, A in the first compartment and B in the second:
// [A] = A0 exp(-k1 t), [B] = A0 k1 (exp(-k1 t) - exp(-k2 t)) / (k2 - k1).
Model Chain(double volumeA, double volumeB) {
  Model model = test::BuildModel({{"R1", "A -> B"}, {"R2", "B -> C"}}, {"C"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {kK1});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {kK2});
  EXPECT_EQ(model.SetCompartmentCount(2), 0);
  model.compartments[0].volume = volumeA;
  model.compartments[1].volume = volumeB;
  test::SetInitial(model, "A", kA0, 0);
  test::SetInitial(model, "B", 0.0, 1);
  test::SetInitial(model, "C", 0.0, 1);
  StructuralAnalysis(model);
  return model;
}

struct Volumes {
  const char* name;
  double a, b;
};

TEST(AbsoluteToleranceTest, ConcentrationsFollowTheClosedFormInAnyVolume) {
  const Volumes cases[] = {{"litres", 1.0, 1.0},
                           {"millilitres", 1e-3, 1e-3},
                           {"femtolitres", 1e-15, 1e-15},
                           {"two femtolitre compartments", 1e-15, 4e-15},
                           {"a cell and its nucleus", 2e-12, 3e-16}};
  for (const Volumes& volumes : cases) {
    SCOPED_TRACE(volumes.name);
    TaskSettings settings;
    settings.endTime = 20.0;
    settings.points = 40;
    test::EngineRig rig(Chain(volumes.a, volumes.b), settings);
    SetUpTimeCourse(*rig.engine);
    TimeCourse(*rig.engine, /*write=*/true);
    EXPECT_TRUE(rig.hooks.errors.empty());
    ASSERT_EQ(rig.hooks.rowTimes.size(), 41u);
    for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
      const double t = rig.hooks.rowTimes[i];
      const double a = kA0 * std::exp(-kK1 * t);
      const double b = kA0 * kK1 * (std::exp(-kK1 * t) - std::exp(-kK2 * t)) / (kK2 - kK1);
      EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "A") / volumes.a, a, kAbsolute, kRelative);
      EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "B") / volumes.b, b, kAbsolute, kRelative);
    }
  }
}

// In volumes of 1 the tolerance reaches the integrator as it is: the same
// steps as a model whose compartments were never set.
TEST(AbsoluteToleranceTest, UnitVolumesTakeTheSameStepsAsNoCompartments) {
  TaskSettings settings;
  settings.endTime = 20.0;
  test::EngineRig withCompartments(Chain(1.0, 1.0), settings);
  Model plain = test::BuildModel({{"R1", "A -> B"}, {"R2", "B -> C"}}, {"C"});
  test::UseKinetics(plain, "R1", "Mass action (irreversible)", {kK1});
  test::UseKinetics(plain, "R2", "Mass action (irreversible)", {kK2});
  test::SetInitial(plain, "A", kA0);
  StructuralAnalysis(plain);
  test::EngineRig without(std::move(plain), settings);
  for (test::EngineRig* rig : {&withCompartments, &without}) {
    SetUpTimeCourse(*rig->engine);
    TimeCourse(*rig->engine, /*write=*/true);
  }
  EXPECT_EQ(withCompartments.state.stepCount, without.state.stepCount);
  EXPECT_EQ(withCompartments.state.fEvaluations, without.state.fEvaluations);
  EXPECT_EQ(withCompartments.hooks.rowAmounts, without.hooks.rowAmounts);
}

}  // namespace
}  // namespace vireon
