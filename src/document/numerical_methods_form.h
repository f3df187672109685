#pragma once
// The rules of the "Numerical Methods" dialog, for the GUI to call: the
// texts its entry fields show for a document's settings, and the checks made
// when the user presses OK. The derivation factor is shown in percent ("+/-"
// and "%"); "Scaled MCA" is the opposite of the stored SSMCAUnscaled.
//
// The entries are checked by the solver options' own rule
// (model/solver_options.h), the one a model file applies when it is read
// back, so that a value accepted here is never replaced by a default on the
// next load.

#include <string>

#include "engine/task_settings.h"

namespace vireon {

// The steady-state strategies in the order of the dialog's choices (the
// order of their codes).
inline constexpr const char* kSteadyStateStrategyNames[] = {
    "Newton+integration", "Integration only", "Newton only", "Backward integration"};
inline constexpr int kSteadyStateStrategyCount = 4;

// The integrators in the order of the dialog's choices (their codes).
inline constexpr const char* kIntegratorNames[] = {"LSODA", "CVODE (BDF, for large stiff networks)"};
inline constexpr int kIntegratorCount = 2;

enum class NumericalMethodsField {
  kNone,
  kDerivationFactor,
  kResolution,
  kNewtonLimit,
  kBdfOrder,
  kAdamsOrder,
  kAbsoluteTolerance,
  kRelativeTolerance,
  kStrategy,
  kIntegrator,
};

struct NumericalMethodsForm {
  std::string derivationFactorPercent;  // "Derivation factor  +/-" ... "%"
  std::string resolution;               // "S.-S. resolution:"
  std::string newtonLimit;              // "Newton iterations:"
  std::string bdfOrder;                 // "BDF order:"
  std::string adamsOrder;               // "Adams order:"
  std::string absoluteTolerance;        // "Abs. tolerance:"
  std::string relativeTolerance;        // "Rel. tolerance:"
  bool scaledMca = true;                // "Scaled MCA"
  int strategy = 0;                     // "Strategy for steady-state solution"
  bool backIntegration = true;          // "Backward integration if all else fails"
  int integrator = 0;                   // "Integrator": kIntegratorNames' index
};

// Which entry is wrong and what to tell the user; kNone when all are good.
struct NumericalMethodsCheck {
  NumericalMethodsField field = NumericalMethodsField::kNone;
  std::string message;

  bool ok() const { return field == NumericalMethodsField::kNone; }
};

NumericalMethodsForm MakeNumericalMethodsForm(const TaskSettings& settings);

// Takes the entries in the dialog's order: the derivation factor from 0.001
// to 25 percent, the resolution and both tolerances from 0 to the largest
// finite double, at least 2 Newton iterations, the BDF order from 1 to 5,
// the Adams order from 1 to 12, one of the four strategies, one of the two
// integrators. At the first bad
// entry returns its field and message and leaves `settings` unchanged;
// otherwise stores every entry.
NumericalMethodsCheck TakeNumericalMethodsForm(const NumericalMethodsForm& form,
                                               TaskSettings& settings);

}  // namespace vireon
