#include "kinetics/user_kinetics_section.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type_record.h"
#include "model/messages.h"

namespace vireon {
namespace {

bool SameExpression(const KineticType& a, const KineticType& b) {
  return a.function && b.function && a.function->description() == b.function->description();
}

// Whether `known` (already in the catalogue or earlier in the file) is the
// same user-defined type as `copy`.
bool IsSameUserType(const KineticType& known, const KineticType& copy) {
  return known.userDefined != 0 && SameExpression(known, copy);
}

void ReportClash(const std::string& name, MessageSink& sink) {
  sink.Warning(messages::kFileWarningTitle, messages::kUserKineticsClash);
  sink.Information("Suggestion: Delete the kinetic type '" + name +
                   "' from the database before loading this file.");
}

}  // namespace

void WriteUserKineticsSection(const Model& model, const KineticCatalogue& catalogue,
                              std::ostream& out) {
  std::vector<const KineticType*> used;
  for (const Step& step : model.steps) {
    const KineticType* type = catalogue.Find(step.kineticTypeName);
    if (type == nullptr || type->userDefined == 0) continue;
    if (std::find(used.begin(), used.end(), type) == used.end()) used.push_back(type);
  }
  out << "TotalUDKinetics=" << used.size() << '\n';
  for (const KineticType* type : used) WriteKineticTypeRecord(*type, out);
}

bool ReadUserKineticsSection(RecordCursor& cursor, KineticCatalogue& catalogue, MessageSink& sink) {
  int count = 0;
  if (!ReadFieldLine(cursor, sink, "TotalUDKinetics=%d", &count)) return false;
  if (count < 0) {
    sink.Information(messages::kNegativeUserKinetics);
    return false;
  }
  // The new types are held back until the whole section has been read, so
  // that a file that is not loaded leaves the catalogue as it was.
  std::vector<std::unique_ptr<KineticType>> additions;
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<KineticType> copy = ReadKineticTypeRecord(cursor, sink);
    if (!copy) return false;
    const KineticType* known = catalogue.Find(copy->name);
    if (known == nullptr) {
      auto earlier = std::find_if(additions.begin(), additions.end(),
                                  [&copy](const auto& t) { return t->name == copy->name; });
      if (earlier != additions.end()) known = earlier->get();
    }
    if (known == nullptr) {
      additions.push_back(std::move(copy));
    } else if (!IsSameUserType(*known, *copy)) {
      ReportClash(copy->name, sink);
      return false;
    }
  }
  for (std::unique_ptr<KineticType>& type : additions) catalogue.Insert(std::move(type));
  return true;
}

}  // namespace vireon
