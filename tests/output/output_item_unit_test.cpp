#include "output/output_item_unit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireon {
namespace {

struct UnitCase {
  int type;
  bool mcaUnscaled;
  const char* unit;
};

// The document's units are min, uM and ul, so that no unit can come from
// a default.
TEST(OutputItemUnitTest, EveryItemTypeTakesTheUnitOfWhatItMeasures) {
  TaskSettings settings;
  settings.timeUnit = "min";
  settings.concentrationUnit = "uM";
  settings.volumeUnit = "ul";
  const UnitCase cases[] = {
      {kInitialConcentration, false, "uM"},
      {kSteadyStateConcentration, false, "uM"},
      {kTransientConcentration, false, "uM"},
      {kMoietyTotal, false, "uM"},
      {kSteadyStateFlux, false, "uM/min"},
      {kTransientFlux, false, "uM/min"},
      {kTime, false, "min"},
      {kTransitionTime, false, "min"},
      {kStepSize, false, "min"},
      {kEndTime, false, "min"},
      {kVolume, false, "ul"},
      {kCurrentVolume, false, "ul"},
      {kMaxRealPart, false, "1/min"},
      {kMaxImagPart, false, "1/min"},
      // Real time is the clock's, whatever the model's time unit.
      {kRealTime, false, "s"},
      // Scaled coefficients are ratios of relative changes.
      {kElasticity, false, ""},
      {kConcentrationControl, false, ""},
      {kFluxControl, false, ""},
      // Unscaled: d v / d S, d S / d v and d J / d v.
      {kElasticity, true, "1/min"},
      {kConcentrationControl, true, "min"},
      {kFluxControl, true, ""},
      {kStepCount, false, ""},
      {kKineticConstant, false, ""},
      {kUserFunction, false, ""},
      {kGlobalQuantity, false, ""},
  };
  for (const UnitCase& c : cases) {
    settings.mcaUnscaled = c.mcaUnscaled ? 1 : 0;
    OutputItem item;
    item.type = c.type;
    EXPECT_EQ(OutputItemUnit(item, settings), c.unit) << "type " << c.type;
  }
}

TEST(OutputItemUnitTest, KnownAndUnknownUnitsAreTold) {
  EXPECT_EQ(OutputItemKind(kFluxControl, false), QuantityKind::kDimensionless);
  EXPECT_EQ(OutputItemKind(kKineticConstant, false), QuantityKind::kUnknown);
  EXPECT_EQ(OutputItemKind(999, false), QuantityKind::kUnknown);
  EXPECT_EQ(WithUnit("time", "s"), "time (s)");
  EXPECT_EQ(WithUnit("C(J(R1),R2)", ""), "C(J(R1),R2)");
}

TEST(OutputItemUnitTest, AnAxisNamesTheUnitsOfItsCurvesOnce) {
  const ModelUnits units{"s", "mM", "ml"};
  using K = QuantityKind;
  EXPECT_EQ(AxisUnitTitle({K::kConcentration, K::kConcentration}, units), "mM");
  EXPECT_EQ(AxisUnitTitle({K::kFlux}, units), "mM/s");
  EXPECT_EQ(AxisUnitTitle({K::kConcentration, K::kVolume, K::kConcentration}, units), "mM, ml");
  EXPECT_EQ(AxisUnitTitle({K::kDimensionless, K::kDimensionless}, units), "dimensionless");
  // An unknown unit among known ones leaves the known ones.
  EXPECT_EQ(AxisUnitTitle({K::kUnknown, K::kConcentration}, units), "mM");
  EXPECT_EQ(AxisUnitTitle({K::kUnknown}, units), "");
  EXPECT_EQ(AxisUnitTitle({}, units), "");
}

}  // namespace
}  // namespace vireon
