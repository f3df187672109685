#include "kinetics/kinetics_editor.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_function.h"
#include "model/messages.h"
#include "model/number_text.h"

namespace vireon {
namespace {

// The number of groups of six needed for `count` entries (at least one).
int GroupCount(int count) {
  return std::max(1, (count + KineticsEditor::kGroupSize - 1) / KineticsEditor::kGroupSize);
}

}  // namespace

std::string FormatKineticConstant(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.16g", value);
  return buffer;
}

KineticsEditor::KineticsEditor(const Model& model, const KineticCatalogue& catalogue,
                               double defaultConstant)
    : catalogue_(catalogue),
      defaultConstant_(defaultConstant),
      steps_(model.steps),
      metabolites_(model.metabolites),
      current_(model.steps.empty() ? -1 : 0) {}

Step* KineticsEditor::Current() {
  return current_ < 0 ? nullptr : &steps_[static_cast<std::size_t>(current_)];
}

const Step* KineticsEditor::Current() const {
  return current_ < 0 ? nullptr : &steps_[static_cast<std::size_t>(current_)];
}

bool KineticsEditor::ModifiersComplete() const {
  const Step* step = Current();
  if (step == nullptr) return true;
  return std::none_of(step->modifiers.begin(), step->modifiers.end(), [this](int m) {
    return m < 0 || m >= static_cast<int>(metabolites_.size());
  });
}

bool KineticsEditor::SelectStep(int step, MessageSink& sink) {
  if (step < 0 || step >= static_cast<int>(steps_.size())) return false;
  if (step == current_) return true;
  if (!ModifiersComplete()) {
    sink.Information(messages::kModifiersUndefined);
    return false;
  }
  current_ = step;
  constantGroup_ = 0;
  modifierGroup_ = 0;
  return true;
}

std::vector<const KineticType*> KineticsEditor::EligibleTypes() const {
  const Step* step = Current();
  if (step == nullptr) return {};
  return EligibleKineticTypes(catalogue_, *step);
}

const KineticType* KineticsEditor::CurrentType() const {
  const Step* step = Current();
  return step == nullptr ? nullptr : catalogue_.Find(step->kineticTypeName);
}

bool KineticsEditor::ApplyType(std::string_view name) {
  Step* step = Current();
  const KineticType* type = catalogue_.Find(name);
  if (step == nullptr || type == nullptr || !IsKineticTypeEligible(*type, *step)) return false;
  step->constants.resize(static_cast<std::size_t>(type->constants), defaultConstant_);
  step->modifiers.resize(static_cast<std::size_t>(type->modifiers), -1);
  step->kineticType = type;
  step->kineticTypeName = type->name;
  constantGroup_ = 0;
  modifierGroup_ = 0;
  return true;
}

std::vector<KineticsEditor::ConstantField> KineticsEditor::ConstantFields() const {
  const Step* step = Current();
  if (step == nullptr) return {};
  const int first = constantGroup_ * kGroupSize;
  return ConstantRange(first, std::min(first + kGroupSize, step->ConstantCount()));
}

std::vector<KineticsEditor::ConstantField> KineticsEditor::AllConstantFields() const {
  const Step* step = Current();
  return step == nullptr ? std::vector<ConstantField>() : ConstantRange(0, step->ConstantCount());
}

std::vector<KineticsEditor::ConstantField> KineticsEditor::ConstantRange(int first,
                                                                         int end) const {
  std::vector<ConstantField> fields;
  const Step* step = Current();
  if (step == nullptr) return fields;
  const KineticType* type = CurrentType();
  for (int i = first; i < end; ++i) {
    std::string label = type != nullptr && i < type->constants ? type->constantNames[i] : "";
    fields.push_back({i, std::move(label), FormatKineticConstant(step->constants[i])});
  }
  return fields;
}

bool KineticsEditor::HasMoreConstants() const {
  const Step* step = Current();
  return step != nullptr && step->ConstantCount() > kGroupSize;
}

void KineticsEditor::NextConstantGroup() {
  const Step* step = Current();
  if (step == nullptr) return;
  constantGroup_ = (constantGroup_ + 1) % GroupCount(step->ConstantCount());
}

bool KineticsEditor::SetConstantText(int index, std::string_view text, MessageSink* sink) {
  // A rate law needs finite constants: "inf", "nan" and 1e999 are refused.
  const std::optional<double> value = ParseReal(text);
  if (!value) {
    if (sink != nullptr) {
      const KineticType* type = CurrentType();
      const std::string name = type != nullptr && index >= 0 && index < type->constants
                                   ? type->constantNames[static_cast<std::size_t>(index)]
                                   : "Constant " + std::to_string(index + 1);
      sink->Warning("", RealRefusalMessage(name, text) + "\nThe constant keeps its value.");
    }
    return false;
  }
  SetConstant(index, *value);
  return true;
}

void KineticsEditor::SetConstant(int index, double value) {
  Step* step = Current();
  if (step == nullptr || index < 0 || index >= step->ConstantCount()) return;
  step->constants[static_cast<std::size_t>(index)] = value;
}

std::vector<KineticsEditor::ModifierField> KineticsEditor::ModifierFields() const {
  const Step* step = Current();
  if (step == nullptr) return {};
  const int first = modifierGroup_ * kGroupSize;
  return ModifierRange(first, std::min(first + kGroupSize, step->ModifierCount()));
}

std::vector<KineticsEditor::ModifierField> KineticsEditor::AllModifierFields() const {
  const Step* step = Current();
  return step == nullptr ? std::vector<ModifierField>() : ModifierRange(0, step->ModifierCount());
}

std::vector<KineticsEditor::ModifierField> KineticsEditor::ModifierRange(int first,
                                                                         int end) const {
  std::vector<ModifierField> fields;
  const Step* step = Current();
  if (step == nullptr) return fields;
  const KineticType* type = CurrentType();
  for (int i = first; i < end; ++i) {
    std::string label = type != nullptr && i < type->modifiers ? type->modifierNames[i] : "";
    fields.push_back({i, std::move(label), step->modifiers[static_cast<std::size_t>(i)]});
  }
  return fields;
}

bool KineticsEditor::HasMoreModifiers() const {
  const Step* step = Current();
  return step != nullptr && step->ModifierCount() > kGroupSize;
}

void KineticsEditor::NextModifierGroup() {
  const Step* step = Current();
  if (step == nullptr) return;
  modifierGroup_ = (modifierGroup_ + 1) % GroupCount(step->ModifierCount());
}

void KineticsEditor::SetModifier(int index, int metabolite) {
  Step* step = Current();
  if (step == nullptr || index < 0 || index >= step->ModifierCount()) return;
  if (metabolite < -1 || metabolite >= static_cast<int>(metabolites_.size())) return;
  step->modifiers[static_cast<std::size_t>(index)] = metabolite;
}

bool KineticsEditor::Commit(Model& model, MessageSink& sink, const ModelCheck& check) const {
  if (!ModifiersComplete()) {
    sink.Information(messages::kModifiersUndefined);
    return false;
  }
  // With a check the edit goes into a copy first, so that a refusal changes
  // nothing.
  Model copy;
  if (check) copy = model;
  Model& into = check ? copy : model;
  const std::size_t count = std::min(into.steps.size(), steps_.size());
  for (std::size_t i = 0; i < count; ++i) {
    Step& target = into.steps[i];
    const Step& edited = steps_[i];
    target.kineticType = edited.kineticType;
    target.kineticTypeName = edited.kineticTypeName;
    target.constants = edited.constants;
    target.modifiers = edited.modifiers;
  }
  if (check) {
    const std::string problem = check(model, into);
    if (!problem.empty()) {
      sink.Warning("", problem);
      return false;
    }
    model = std::move(into);
  }
  return true;
}

}  // namespace vireon

namespace vireon {

namespace {

bool IsFormulaLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsFormulaDigit(char c) {
  return c >= '0' && c <= '9';
}

// The mass-action laws' formulas: the forward constant times every
// substrate, less (reversible) the backward one times every product.
std::string MassActionFormula(const std::vector<std::string>& substrates,
                              const std::vector<std::string>& products,
                              const std::vector<std::string>& constants, bool reversible) {
  const auto term = [](std::string constant, const std::vector<std::string>& names) {
    for (const std::string& name : names) constant += "*" + name;
    return constant;
  };
  const std::string forward = constants.empty() ? "k" : constants[0];
  std::string formula = term(forward, substrates);
  if (reversible) {
    formula += " - " + term(constants.size() > 1 ? constants[1] : "k", products);
  }
  return formula;
}

}  // namespace

std::string KineticsEditor::MetaboliteName(int index) const {
  if (index < 0 || index >= static_cast<int>(metabolites_.size())) return "";
  return metabolites_[static_cast<std::size_t>(index)].name;
}

std::string KineticsEditor::CurrentEquation() const {
  const Step* step = Current();
  return step == nullptr ? std::string() : step->equation;
}

std::string KineticsEditor::CurrentFormula(FormulaSource builtIn) const {
  const Step* step = Current();
  const KineticType* type = CurrentType();
  if (step == nullptr || type == nullptr) return "";
  if (type->function != nullptr) return type->function->description();

  const auto names = [this](const std::vector<int>& list) {
    std::vector<std::string> out;
    for (int index : list) out.push_back(MetaboliteName(index));
    return out;
  };
  const std::vector<std::string> substrates = names(step->substrates);
  const std::vector<std::string> products = names(step->products);
  std::vector<std::string> modifiers;
  for (int i = 0; i < step->ModifierCount(); ++i) {
    std::string name = MetaboliteName(step->modifiers[static_cast<std::size_t>(i)]);
    if (name.empty() && i < static_cast<int>(type->modifierNames.size())) {
      name = type->modifierNames[static_cast<std::size_t>(i)];
    }
    modifiers.push_back(std::move(name));
  }
  const std::string_view formula = builtIn != nullptr ? builtIn(type->name) : std::string_view();
  if (formula.empty()) {
    if (type->name.rfind("Mass action", 0) != 0) return "";
    return MassActionFormula(substrates, products, type->constantNames, type->reversible != 0);
  }
  // Each placeholder, a letter s, p, m or k and digits standing alone, is
  // replaced by its name; a placeholder without one stays as it is.
  std::string text;
  std::size_t i = 0;
  while (i < formula.size()) {
    if (!IsFormulaLetter(formula[i])) {
      text.push_back(formula[i++]);
      continue;
    }
    std::size_t end = i + 1;
    while (end < formula.size() && (IsFormulaLetter(formula[end]) || IsFormulaDigit(formula[end]))) {
      ++end;
    }
    const std::string_view word = formula.substr(i, end - i);
    std::string replacement(word);
    if (word.size() >= 2 && word.size() <= 6 &&
        std::all_of(word.begin() + 1, word.end(), IsFormulaDigit)) {
      const std::size_t n = static_cast<std::size_t>(std::stoi(std::string(word.substr(1))));
      const std::vector<std::string>* list = nullptr;
      switch (word[0]) {
        case 's': list = &substrates; break;
        case 'p': list = &products; break;
        case 'm': list = &modifiers; break;
        case 'k': list = &type->constantNames; break;
        default: break;
      }
      if (list != nullptr && n < list->size() && !(*list)[n].empty()) replacement = (*list)[n];
    }
    text += replacement;
    i = end;
  }
  return text;
}

}  // namespace vireon
