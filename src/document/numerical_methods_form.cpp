#include "document/numerical_methods_form.h"

#include "settings/form_reader.h"

namespace vireon {

NumericalMethodsForm MakeNumericalMethodsForm(const TaskSettings& settings) {
  const SolverOptions& o = settings.solver;
  NumericalMethodsForm form;
  form.derivationFactorPercent = RealSettingText(o.derivationFactor * kPercent, kFormShownDigits);
  form.resolution = RealSettingText(o.steadyStateResolution, kFormShownDigits);
  form.newtonLimit = IntegerSettingText(o.newtonLimit);
  form.bdfOrder = IntegerSettingText(o.bdfMaxOrder);
  form.adamsOrder = IntegerSettingText(o.adamsMaxOrder);
  form.absoluteTolerance = RealSettingText(o.absoluteTolerance, kFormShownDigits);
  form.relativeTolerance = RealSettingText(o.relativeTolerance, kFormShownDigits);
  form.scaledMca = settings.mcaUnscaled == 0;
  form.strategy = static_cast<int>(o.steadyStateStrategy);
  form.backIntegration = o.backIntegration != 0;
  form.integrator = static_cast<int>(o.integrator);
  return form;
}

NumericalMethodsCheck TakeNumericalMethodsForm(const NumericalMethodsForm& form,
                                               TaskSettings& settings) {
  using F = NumericalMethodsField;
  using O = SolverOption;
  NumericalMethodsCheck check;
  FormReader<NumericalMethodsCheck> reader(check);
  SolverOptions taken = settings.solver;
  reader.RealOption(form.derivationFactorPercent, F::kDerivationFactor, O::kDerivationFactor,
                    taken.derivationFactor, kPercent);
  reader.RealOption(form.resolution, F::kResolution, O::kSteadyStateResolution,
                    taken.steadyStateResolution);
  reader.IntegerOption(form.newtonLimit, F::kNewtonLimit, O::kNewtonLimit, taken.newtonLimit);
  reader.IntegerOption(form.bdfOrder, F::kBdfOrder, O::kBdfMaxOrder, taken.bdfMaxOrder);
  reader.IntegerOption(form.adamsOrder, F::kAdamsOrder, O::kAdamsMaxOrder, taken.adamsMaxOrder);
  reader.RealOption(form.absoluteTolerance, F::kAbsoluteTolerance, O::kAbsoluteTolerance,
                    taken.absoluteTolerance);
  reader.RealOption(form.relativeTolerance, F::kRelativeTolerance, O::kRelativeTolerance,
                    taken.relativeTolerance);
  if (check.ok() && !CheckSolverOption(O::kSteadyStateStrategy, form.strategy).ok()) {
    check.field = F::kStrategy;
    check.message = "Please choose a strategy for the steady-state solution.";
  }
  if (check.ok() && (form.integrator < 0 || form.integrator >= kIntegratorCount)) {
    check.field = F::kIntegrator;
    check.message = "Please choose an integrator.";
  }
  if (!check.ok()) return check;
  taken.integrator = static_cast<Integrator>(form.integrator);
  taken.steadyStateStrategy = static_cast<SteadyStateStrategy>(form.strategy);
  taken.backIntegration = form.backIntegration ? 1 : 0;
  settings.solver = taken;
  settings.mcaUnscaled = form.scaledMca ? 0 : 1;
  return check;
}

}  // namespace vireon
