#include "document/numerical_methods_form.h"

#include <limits>

#include "settings/form_reader.h"

namespace vireon {

NumericalMethodsForm MakeNumericalMethodsForm(const TaskSettings& settings) {
  NumericalMethodsForm form;
  form.derivationFactorPercent = RealSettingText(settings.derivationFactor * 100.0, kFormShownDigits);
  form.resolution = RealSettingText(settings.steadyStateResolution, kFormShownDigits);
  form.newtonLimit = IntegerSettingText(settings.newtonLimit);
  form.bdfOrder = IntegerSettingText(settings.bdfMaxOrder);
  form.adamsOrder = IntegerSettingText(settings.adamsMaxOrder);
  form.absoluteTolerance = RealSettingText(settings.absoluteTolerance, kFormShownDigits);
  form.relativeTolerance = RealSettingText(settings.relativeTolerance, kFormShownDigits);
  form.scaledMca = settings.mcaUnscaled == 0;
  form.strategy = static_cast<int>(settings.steadyStateStrategy);
  form.backIntegration = settings.backIntegration != 0;
  return form;
}

NumericalMethodsCheck TakeNumericalMethodsForm(const NumericalMethodsForm& form,
                                               TaskSettings& settings) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  using F = NumericalMethodsField;
  NumericalMethodsCheck check;
  FormReader<NumericalMethodsCheck> reader(check);
  TaskSettings taken = settings;
  double percent = 0.0;
  reader.RealInRange(form.derivationFactorPercent, F::kDerivationFactor,
                     kMethodsDerivationPercentMin, kMethodsDerivationPercentMax, percent);
  reader.RealInRange(form.resolution, F::kResolution, 0.0, kLargest, taken.steadyStateResolution);
  reader.IntegerInRange(form.newtonLimit, F::kNewtonLimit, kMethodsNewtonLimitMin,
                        std::numeric_limits<int>::max(), taken.newtonLimit);
  reader.IntegerInRange(form.bdfOrder, F::kBdfOrder, 1, kMethodsBdfOrderMax, taken.bdfMaxOrder);
  reader.IntegerInRange(form.adamsOrder, F::kAdamsOrder, 1, kMethodsAdamsOrderMax,
                        taken.adamsMaxOrder);
  reader.RealInRange(form.absoluteTolerance, F::kAbsoluteTolerance, 0.0, kLargest,
                     taken.absoluteTolerance);
  reader.RealInRange(form.relativeTolerance, F::kRelativeTolerance, 0.0, kLargest,
                     taken.relativeTolerance);
  if (check.ok() && (form.strategy < 0 || form.strategy >= kSteadyStateStrategyCount)) {
    check.field = F::kStrategy;
    check.message = "Please choose a strategy for the steady-state solution.";
  }
  if (!check.ok()) return check;
  taken.derivationFactor = percent / 100.0;
  taken.mcaUnscaled = form.scaledMca ? 0 : 1;
  taken.steadyStateStrategy = static_cast<SteadyStateStrategy>(form.strategy);
  taken.backIntegration = form.backIntegration ? 1 : 0;
  settings = taken;
  return check;
}

}  // namespace vireon
