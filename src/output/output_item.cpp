#include "output/output_item.h"

namespace vireon {

namespace {

std::string Concat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  return text;
}

// A type no dialog creates whose record still carries two names.
constexpr int kReservedTwoNameType = 11;

}  // namespace

bool OutputItemHasFirstName(int type) {
  return (type >= kInitialConcentration && type <= kReservedTwoNameType) || type == kVolume ||
         type == kMoietyTotal || type == kGlobalQuantity || type == kCurrentGlobalQuantity ||
         type == kCurrentVolume;
}

bool OutputItemHasSecondName(int type) {
  return (type >= kKineticConstant && type <= kFluxControl) || type == kReservedTwoNameType;
}

std::string OutputItemTitle(int type, std::string_view first, std::string_view second) {
  switch (type) {
    case kInitialConcentration:
      return Concat({"[", first, "]i"});
    case kSteadyStateConcentration:
      return Concat({"[", first, "]ss"});
    case kTransientConcentration:
      return Concat({"[", first, "]t"});
    case kSteadyStateFlux:
    case kTransientFlux:
      return Concat({"J(", first, ")"});
    case kKineticConstant:
      return Concat({first, "(", second, ")"});
    case kElasticity:
      return Concat({"e(", first, ",[", second, "])"});
    case kConcentrationControl:
      return Concat({"C([", first, "],", second, ")"});
    case kFluxControl:
      return Concat({"C(J(", first, "),", second, ")"});
    case kTransitionTime:
      return Concat({"tt(", first, ")"});
    case kVolume:
      return Concat({"V(", first, ")"});
    case kCurrentVolume:
      return Concat({"V(", first, ")t"});
    case kCurrentGlobalQuantity:
      return Concat({first, "(t)"});
    case kMoietyTotal:
    case kUserFunction:
    case kGlobalQuantity:
      return std::string(first);
    case kTime:
      return "time";
    case kStepCount:
      return "step count";
    case kFEvaluations:
      return "F(x) evaluations";
    case kJEvaluations:
      return "Jac. evaluations";
    case kStepSize:
      return "step size";
    case kRelativeTolerance:
      return "rel.tolerance";
    case kAbsoluteTolerance:
      return "abs.tolerance";
    case kSteadyStateResolution:
      return "ss resolution";
    case kDerivationFactor:
      return "deriv.factor";
    case kRealTime:
      return "real time";
    case kEndTime:
      return "end time";
    case kMaxRealPart:
      return "Max.real eigenvalue component";
    case kMaxImagPart:
      return "Max.imag.eigenvalue component";
    case kPositiveRealCount:
      return "Tot.w/pos.real part";
    case kNegativeRealCount:
      return "Tot.w/neg.real part";
    case kRealCount:
      return "Tot.real eigenvalues";
    case kImaginaryCount:
      return "Tot.imag.eigenvalues";
    case kComplexCount:
      return "Tot.cplx.eigenvalues";
    case kZeroCount:
      return "Tot.zero eigenvalues";
    default:
      return {};
  }
}

OutputItem MakeOutputItem(int type, std::string_view first, std::string_view second) {
  OutputItem item;
  item.type = type;
  item.title = OutputItemTitle(type, first, second);
  if (OutputItemHasFirstName(type)) item.i = first;
  if (OutputItemHasSecondName(type)) item.j = second;
  return item;
}

}  // namespace vireon
