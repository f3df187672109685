#include "settings/default_values_form.h"

#include <limits>
#include <optional>

#include "settings/form_reader.h"

namespace vireon {

DefaultValuesForm MakeDefaultValuesForm(const DefaultValues& values) {
  DefaultValuesForm form;
  form.concentration = RealSettingText(values.concentration, kFormShownDigits);
  form.kineticConstant = RealSettingText(values.kineticConstant, kFormShownDigits);
  form.endTime = RealSettingText(values.endTime, kFormShownDigits);
  form.newtonLimit = IntegerSettingText(values.newtonLimit);
  form.steadyStateResolution = RealSettingText(values.steadyStateResolution, kFormShownDigits);
  form.derivationFactorPercent = RealSettingText(values.derivationFactor * 100.0, kFormShownDigits);
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
  DefaultValuesCheck check;
  FormReader<DefaultValuesCheck> reader(check);
  DefaultValues taken = values;
  double percent = 0.0;
  reader.RealInRange(form.concentration, F::kConcentration, 0.0, kLargest, taken.concentration);
  reader.RealInRange(form.kineticConstant, F::kKineticConstant, 0.0, kLargest,
                     taken.kineticConstant);
  reader.Real(form.endTime, F::kEndTime, taken.endTime);
  reader.Integer(form.newtonLimit, F::kNewtonLimit, taken.newtonLimit);
  reader.RealInRange(form.steadyStateResolution, F::kSteadyStateResolution, 0.0, kLargest,
                     taken.steadyStateResolution);
  reader.RealInRange(form.derivationFactorPercent, F::kDerivationFactor, kDerivationPercentMin,
                     kDerivationPercentMax, percent);
  reader.RealInRange(form.relativeTolerance, F::kRelativeTolerance, 0.0, kLargest,
                     taken.relativeTolerance);
  reader.RealInRange(form.absoluteTolerance, F::kAbsoluteTolerance, 0.0, kLargest,
                     taken.absoluteTolerance);
  reader.IntegerInRange(form.adamsMaxOrder, F::kAdamsMaxOrder, 1, kAdamsMaxOrderLimit,
                        taken.adamsMaxOrder);
  reader.IntegerInRange(form.bdfMaxOrder, F::kBdfMaxOrder, 1, kBdfMaxOrderLimit, taken.bdfMaxOrder);
  reader.Unit(form.timeUnit, F::kTimeUnit, taken.timeUnit);
  reader.Unit(form.concentrationUnit, F::kConcentrationUnit, taken.concentrationUnit);
  reader.Unit(form.volumeUnit, F::kVolumeUnit, taken.volumeUnit);
  reader.Integer(form.points, F::kPoints, taken.points);
  if (!check.ok()) return check;
  taken.derivationFactor = percent / 100.0;
  values = taken;
  return check;
}

}  // namespace vireon
