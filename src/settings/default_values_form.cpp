#include "settings/default_values_form.h"

#include <limits>

#include "settings/form_reader.h"

namespace vireon {

DefaultValuesForm MakeDefaultValuesForm(const DefaultValues& values) {
  DefaultValuesForm form;
  form.concentration = RealSettingText(values.concentration, kFormShownDigits);
  form.kineticConstant = RealSettingText(values.kineticConstant, kFormShownDigits);
  form.endTime = RealSettingText(values.endTime, kFormShownDigits);
  form.newtonLimit = IntegerSettingText(values.newtonLimit);
  form.steadyStateResolution = RealSettingText(values.steadyStateResolution, kFormShownDigits);
  form.derivationFactorPercent =
      RealSettingText(values.derivationFactor * kPercent, kFormShownDigits);
  form.relativeTolerance = RealSettingText(values.relativeTolerance, kFormShownDigits);
  form.absoluteTolerance = RealSettingText(values.absoluteTolerance, kFormShownDigits);
  form.adamsMaxOrder = IntegerSettingText(values.adamsMaxOrder);
  form.bdfMaxOrder = IntegerSettingText(values.bdfMaxOrder);
  form.timeUnit = values.timeUnit;
  form.concentrationUnit = values.concentrationUnit;
  form.volumeUnit = values.volumeUnit;
  form.points = IntegerSettingText(values.points);
  return form;
}

DefaultValuesCheck TakeDefaultValuesForm(const DefaultValuesForm& form, DefaultValues& values) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  using F = DefaultValuesField;
  using O = SolverOption;
  DefaultValuesCheck check;
  FormReader<DefaultValuesCheck> reader(check);
  DefaultValues taken = values;
  reader.RealInRange(form.concentration, F::kConcentration, 0.0, kLargest, taken.concentration);
  reader.RealInRange(form.kineticConstant, F::kKineticConstant, 0.0, kLargest,
                     taken.kineticConstant);
  reader.Real(form.endTime, F::kEndTime, taken.endTime);
  reader.IntegerOption(form.newtonLimit, F::kNewtonLimit, O::kNewtonLimit, taken.newtonLimit);
  reader.RealOption(form.steadyStateResolution, F::kSteadyStateResolution,
                    O::kSteadyStateResolution, taken.steadyStateResolution);
  reader.RealOption(form.derivationFactorPercent, F::kDerivationFactor, O::kDerivationFactor,
                    taken.derivationFactor, kPercent);
  reader.RealOption(form.relativeTolerance, F::kRelativeTolerance, O::kRelativeTolerance,
                    taken.relativeTolerance);
  reader.RealOption(form.absoluteTolerance, F::kAbsoluteTolerance, O::kAbsoluteTolerance,
                    taken.absoluteTolerance);
  reader.IntegerOption(form.adamsMaxOrder, F::kAdamsMaxOrder, O::kAdamsMaxOrder,
                       taken.adamsMaxOrder);
  reader.IntegerOption(form.bdfMaxOrder, F::kBdfMaxOrder, O::kBdfMaxOrder, taken.bdfMaxOrder);
  reader.Unit(form.timeUnit, F::kTimeUnit, taken.timeUnit);
  reader.Unit(form.concentrationUnit, F::kConcentrationUnit, taken.concentrationUnit);
  reader.Unit(form.volumeUnit, F::kVolumeUnit, taken.volumeUnit);
  reader.Integer(form.points, F::kPoints, taken.points);
  if (!check.ok()) return check;
  values = taken;
  return check;
}

}  // namespace vireon
