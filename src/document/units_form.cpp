#include "document/units_form.h"

#include "output/output_item_unit.h"
#include "settings/form_reader.h"

namespace vireon {

UnitsForm MakeUnitsForm(const TaskSettings& settings) {
  return {settings.timeUnit, settings.concentrationUnit, settings.volumeUnit};
}

std::string FluxUnit(const UnitsForm& form) {
  return UnitText(QuantityKind::kFlux, {form.time, form.concentration, form.volume});
}

UnitsCheck TakeUnitsForm(const UnitsForm& form, TaskSettings& settings) {
  UnitsCheck check;
  FormReader<UnitsCheck> reader(check);
  TaskSettings taken = settings;
  reader.Unit(form.time, UnitsField::kTime, taken.timeUnit);
  reader.Unit(form.concentration, UnitsField::kConcentration, taken.concentrationUnit);
  reader.Unit(form.volume, UnitsField::kVolume, taken.volumeUnit);
  if (check.ok()) settings = taken;
  return check;
}

}  // namespace vireon
