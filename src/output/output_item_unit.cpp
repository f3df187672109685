#include "output/output_item_unit.h"

#include <algorithm>

namespace vireon {

ModelUnits UnitsOf(const TaskSettings& settings) {
  return {settings.timeUnit, settings.concentrationUnit, settings.volumeUnit};
}

QuantityKind OutputItemKind(int type, bool mcaUnscaled) {
  switch (type) {
    case kInitialConcentration:
    case kSteadyStateConcentration:
    case kTransientConcentration:
    case kMoietyTotal:
      return QuantityKind::kConcentration;
    case kSteadyStateFlux:
    case kTransientFlux:
      return QuantityKind::kFlux;
    case kElasticity:
      return mcaUnscaled ? QuantityKind::kReciprocalTime : QuantityKind::kDimensionless;
    case kConcentrationControl:
      return mcaUnscaled ? QuantityKind::kTime : QuantityKind::kDimensionless;
    case kFluxControl:
      return QuantityKind::kDimensionless;
    case kTransitionTime:
    case kTime:
    case kStepSize:
    case kEndTime:
      return QuantityKind::kTime;
    case kVolume:
    case kCurrentVolume:
      return QuantityKind::kVolume;
    case kRealTime:
      return QuantityKind::kWallClock;
    case kMaxRealPart:
    case kMaxImagPart:
      return QuantityKind::kReciprocalTime;
    case kStepCount:
    case kFEvaluations:
    case kJEvaluations:
    case kRelativeTolerance:
    case kDerivationFactor:
    case kPositiveRealCount:
    case kNegativeRealCount:
    case kRealCount:
    case kImaginaryCount:
    case kComplexCount:
    case kZeroCount:
      return QuantityKind::kDimensionless;
    default:
      // Kinetic constants, functions, global quantities and the tolerances
      // of amounts carry units the model does not state.
      return QuantityKind::kUnknown;
  }
}

std::string UnitText(QuantityKind kind, const ModelUnits& units) {
  switch (kind) {
    case QuantityKind::kTime: return units.time;
    case QuantityKind::kReciprocalTime: return "1/" + units.time;
    case QuantityKind::kConcentration: return units.concentration;
    case QuantityKind::kFlux: return units.concentration + "/" + units.time;
    case QuantityKind::kVolume: return units.volume;
    case QuantityKind::kWallClock: return "s";
    case QuantityKind::kUnknown:
    case QuantityKind::kDimensionless: break;
  }
  return {};
}

std::string OutputItemUnit(const OutputItem& item, const TaskSettings& settings) {
  return UnitText(OutputItemKind(item.type, settings.mcaUnscaled != 0), UnitsOf(settings));
}

std::string WithUnit(std::string_view title, std::string_view unit) {
  std::string text(title);
  if (!unit.empty()) {
    text += " (";
    text += unit;
    text += ")";
  }
  return text;
}

std::string AxisUnitTitle(const std::vector<QuantityKind>& kinds, const ModelUnits& units) {
  if (kinds.empty()) return {};
  const bool dimensionless = std::all_of(kinds.begin(), kinds.end(), [](QuantityKind kind) {
    return kind == QuantityKind::kDimensionless;
  });
  if (dimensionless) return "dimensionless";
  std::vector<std::string> seen;
  for (QuantityKind kind : kinds) {
    const std::string unit = UnitText(kind, units);
    if (!unit.empty() && std::find(seen.begin(), seen.end(), unit) == seen.end()) {
      seen.push_back(unit);
    }
  }
  std::string title;
  for (const std::string& unit : seen) {
    if (!title.empty()) title += ", ";
    title += unit;
  }
  return title;
}

}  // namespace vireon
