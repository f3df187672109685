#pragma once
// The rules of the "Default values" dialog, for the GUI to call: the texts
// its entry fields show for a record, and the checks made when the user
// presses OK. The dialog shows the derivation factor as a percentage (the
// stored value times 100) and divides the entry by 100 when it is taken.

#include <string>

#include "settings/settings.h"

namespace vireon {

enum class DefaultValuesField {
  kNone,
  kConcentration,
  kKineticConstant,
  kEndTime,
  kNewtonLimit,
  kSteadyStateResolution,
  kDerivationFactor,
  kRelativeTolerance,
  kAbsoluteTolerance,
  kAdamsMaxOrder,
  kBdfMaxOrder,
  kTimeUnit,
  kConcentrationUnit,
  kVolumeUnit,
  kPoints,
};

// The texts of the dialog's entry fields. The flags, the column width and
// the separator are check boxes and lists that the GUI sets in the record
// itself.
struct DefaultValuesForm {
  std::string concentration;
  std::string kineticConstant;
  std::string endTime;
  std::string newtonLimit;
  std::string steadyStateResolution;
  std::string derivationFactorPercent;
  std::string relativeTolerance;
  std::string absoluteTolerance;
  std::string adamsMaxOrder;
  std::string bdfMaxOrder;
  std::string timeUnit;
  std::string concentrationUnit;
  std::string volumeUnit;
  std::string points;
};

// Which entry is wrong and what to tell the user; kNone when all are good.
struct DefaultValuesCheck {
  DefaultValuesField field = DefaultValuesField::kNone;
  std::string message;

  bool ok() const { return field == DefaultValuesField::kNone; }
};

// Reals with 15 significant digits, integers and units as they are.
DefaultValuesForm MakeDefaultValuesForm(const DefaultValues& values);

// Takes the entries in the dialog's order. Concentrations and kinetic
// constants must be numbers from 0 to the largest finite double; the
// numerical methods' entries are checked by the solver options' own rule
// (model/solver_options.h), the one a model file applies when it is read
// back, so that a default accepted here survives a model saved and read
// back: the steady-state resolution and both tolerances from 0 to the
// largest finite double, the BDF order an integer from 1 to 5, the Adams
// order from 1 to 12, the derivation factor from 0.001 to 25 percent, at
// least 2 Newton iterations. Each unit at most 15 characters. End time and
// points need only be a number or an integer. At the first bad entry returns
// its field and message and leaves `values` unchanged; otherwise stores every
// entry in `values`.
DefaultValuesCheck TakeDefaultValuesForm(const DefaultValuesForm& form, DefaultValues& values);

}  // namespace vireon
