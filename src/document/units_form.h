#pragma once
// The rules of the "Units" dialog: the document's time, concentration and
// volume units, the read-only flux unit that follows from them, and the
// units the dialog's lists offer (the user may type any other).

#include <string>

#include "engine/task_settings.h"

namespace vireon {

inline constexpr const char* kTimeUnitChoices[] = {"s", "ms", "min", "h", "d"};
inline constexpr const char* kConcentrationUnitChoices[] = {"M", "mM", "uM", "nM", "pM"};
inline constexpr const char* kVolumeUnitChoices[] = {"l", "ml", "ul", "nl", "pl"};

enum class UnitsField { kNone, kTime, kConcentration, kVolume };

struct UnitsForm {
  std::string time;
  std::string concentration;
  std::string volume;
};

struct UnitsCheck {
  UnitsField field = UnitsField::kNone;
  std::string message;

  bool ok() const { return field == UnitsField::kNone; }
};

UnitsForm MakeUnitsForm(const TaskSettings& settings);
// The "Flux:" field: concentration unit "/" time unit.
std::string FluxUnit(const UnitsForm& form);
// Each unit at most 15 characters on one line. At the first bad unit returns
// its field and message and leaves `settings` unchanged.
UnitsCheck TakeUnitsForm(const UnitsForm& form, TaskSettings& settings);

}  // namespace vireon
