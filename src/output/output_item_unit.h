#pragma once
// The unit in which an output item's value is shown, from the document's
// time, concentration and volume units: "s", "mM", "mM/s", "1/s", ... The
// one place the pages ask for the unit of a column, an axis, a field or a
// live channel, so that they all say the same.

#include <string>
#include <string_view>
#include <vector>

#include "engine/task_settings.h"
#include "output/output_item.h"

namespace vireon {

// What a value measures, as far as its unit goes.
enum class QuantityKind {
  kUnknown,        // no unit follows from the model (a kinetic constant, a function)
  kDimensionless,  // a ratio or a count
  kTime,
  kReciprocalTime,  // an eigenvalue, an unscaled elasticity
  kConcentration,
  kFlux,  // concentration per time
  kVolume,
  kWallClock,  // seconds of real time, whatever the model's time unit
};

// The document's units.
struct ModelUnits {
  std::string time = "s";
  std::string concentration = "mM";
  std::string volume = "ml";
};
ModelUnits UnitsOf(const TaskSettings& settings);

// What an item of this type measures. Control coefficients and elasticities
// are dimensionless when scaled; unscaled, an elasticity is a flux per
// concentration (1/time), a concentration control coefficient a
// concentration per flux (time) and a flux control coefficient still a
// ratio of fluxes.
QuantityKind OutputItemKind(int type, bool mcaUnscaled);

// The unit text of a kind: "s", "mM", "mM/s" (concentration "/" time, as
// the report writes fluxes), "1/s", "ml"; empty for a dimensionless or an
// unknown quantity.
std::string UnitText(QuantityKind kind, const ModelUnits& units);

// The unit of an item under the document's settings (empty when none).
std::string OutputItemUnit(const OutputItem& item, const TaskSettings& settings);

// A title with its unit in brackets: "time (s)"; the title alone without a
// unit.
std::string WithUnit(std::string_view title, std::string_view unit);

// The title of a chart axis that shows values of these kinds: their units
// in the order first met, joined by ", "; "dimensionless" when every value
// is; empty when none is known.
std::string AxisUnitTitle(const std::vector<QuantityKind>& kinds, const ModelUnits& units);

}  // namespace vireon
