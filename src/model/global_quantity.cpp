#include "model/global_quantity.h"

#include "model/model.h"

namespace vireon {

NamedRecord RecordNamed(const Model& model, std::string_view name) {
  if (model.FindMetabolite(name) >= 0) return NamedRecord::kMetabolite;
  if (model.FindStep(name) >= 0) return NamedRecord::kStep;
  if (model.FindCompartment(name) >= 0) return NamedRecord::kCompartment;
  if (model.FindGlobalQuantity(name) >= 0) return NamedRecord::kGlobalQuantity;
  return NamedRecord::kNone;
}

std::string_view NamedRecordWord(NamedRecord record) {
  switch (record) {
    case NamedRecord::kMetabolite:
      return "metabolite";
    case NamedRecord::kStep:
      return "step";
    case NamedRecord::kCompartment:
      return "compartment";
    case NamedRecord::kGlobalQuantity:
      return "global quantity";
    case NamedRecord::kNone:
      break;
  }
  return "";
}

}  // namespace vireon
