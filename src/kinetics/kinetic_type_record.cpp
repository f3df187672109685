#include "kinetics/kinetic_type_record.h"

#include <optional>
#include <string>
#include <vector>

#include "kinetics/kinetic_function.h"
#include "model/messages.h"

namespace vireon {
namespace {

// Reads `count` lines "Key%d=<name>" and returns the names (the index in the
// key is not checked). Fails at the first missing line.
std::optional<std::vector<std::string>> ReadNameLines(RecordCursor& cursor, MessageSink& sink,
                                                      int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    std::optional<std::string> name = ReadStringLine(cursor, sink);
    if (!name) return std::nullopt;
    names.push_back(std::move(*name));
  }
  return names;
}

// The text a rate law shows and the nodes it computes must be one law: a
// record whose description says otherwise gets the text of its nodes, with
// a warning; one whose nodes cannot be written as a rate law is refused.
bool AgreeOnRateLaw(const std::string& typeName, KineticFunction& function, int recordLine,
                    MessageSink& sink) {
  if (function.DescriptionMatchesNodes()) return true;
  const std::string where =
      "The rate law of the kinetic type '" + typeName + "' (line " + std::to_string(recordLine) +
      ") reads '" + function.description() + "' but its stored formula ";
  std::optional<std::string> computed = function.TextOfNodes();
  if (!computed) {
    sink.Error(messages::kFileErrorTitle,
               where + "is another one, which cannot be written as a rate law. The type "
                       "was not read.");
    return false;
  }
  sink.Warning(messages::kFileWarningTitle,
               where + "is '" + *computed + "'. The type now shows the formula it computes.");
  function.set_description(*computed);
  return true;
}

}  // namespace

void WriteKineticTypeRecord(const KineticType& type, std::ostream& out) {
  out << "UDKType=" << type.name << '\n';
  out << "User-defined=" << type.userDefined << '\n';
  if (type.userDefined == 0) return;
  out << "Reversible=" << type.reversible << '\n';
  out << "Substrates=" << type.substrates << '\n';
  out << "Products=" << type.products << '\n';
  out << "Modifiers=" << type.modifiers << '\n';
  out << "Constants=" << type.constants << '\n';
  for (int i = 0; i < type.modifiers; ++i) {
    out << "Modifier" << i << '=' << type.modifierNames[static_cast<std::size_t>(i)] << '\n';
  }
  for (int i = 0; i < type.constants; ++i) {
    out << "Constant" << i << '=' << type.constantNames[static_cast<std::size_t>(i)] << '\n';
  }
  if (type.function) {
    type.function->WriteRecord(out);
  } else {
    KineticFunction(type.name, "").WriteRecord(out);
  }
}

std::unique_ptr<KineticType> ReadKineticTypeRecord(RecordCursor& cursor, MessageSink& sink) {
  std::optional<std::string> name = ReadStringLine(cursor, sink);
  if (!name) return nullptr;

  // The flags are whole numbers in the file: any nonzero value is set.
  int userDefined = 0;
  const int userDefinedLine = cursor.lineNumber();
  if (!ReadFieldLine(cursor, sink, "User-defined=%d", &userDefined)) return nullptr;
  if (userDefined == 0) {
    // A built-in type has no record to read back: say where the file is wrong.
    CheckFields(0, 1, userDefinedLine, sink);
    return nullptr;
  }

  int reversible = 0;
  int substrates = 0, products = 0, modifiers = 0, constants = 0;
  if (!ReadFieldLine(cursor, sink, "Reversible=%d", &reversible)) return nullptr;
  if (!ReadFieldLine(cursor, sink, "Substrates=%d", &substrates)) return nullptr;
  if (!ReadFieldLine(cursor, sink, "Products=%d", &products)) return nullptr;
  if (!ReadFieldLine(cursor, sink, "Modifiers=%d", &modifiers)) return nullptr;
  if (!ReadFieldLine(cursor, sink, "Constants=%d", &constants)) return nullptr;

  std::optional<std::vector<std::string>> modifierNames = ReadNameLines(cursor, sink, modifiers);
  if (!modifierNames) return nullptr;
  std::optional<std::vector<std::string>> constantNames = ReadNameLines(cursor, sink, constants);
  if (!constantNames) return nullptr;

  auto function = std::make_unique<KineticFunction>();
  const int functionLine = cursor.lineNumber();
  if (!function->ReadRecord(cursor, sink)) return nullptr;
  if (!AgreeOnRateLaw(*name, *function, functionLine, sink)) return nullptr;

  auto type = std::make_unique<KineticType>();
  type->name = std::move(*name);
  type->userDefined = 1;
  type->reversible = reversible != 0 ? 1 : 0;
  type->substrates = substrates;
  type->products = products;
  type->SizeNames(static_cast<int>(modifierNames->size()), static_cast<int>(constantNames->size()));
  type->modifierNames = std::move(*modifierNames);
  type->constantNames = std::move(*constantNames);
  type->function = std::move(function);
  type->rate = EvaluateUserDefinedRate;
  type->readsOwnStepOnly = true;
  return type;
}

}  // namespace vireon
