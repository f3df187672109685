#include "python/model_builder.h"

#include <algorithm>

#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_type_editor.h"
#include "kinetics/kinetics_editor.h"
#include "model/metabolite_editor.h"
#include "model/reaction_editor.h"
#include "model/structural_analysis.h"
#include "model/working_copy.h"
#include "python/collecting_sink.h"
#include "python/model_session.h"
#include "python/program.h"

namespace vireon::python {

namespace {

std::string Said(const CollectingSink& sink) {
  return sink.text().empty() ? std::string() : ": " + sink.text();
}

// A name for the rate law of `step` that no kinetic type has yet.
std::string FreeTypeName(const KineticCatalogue& catalogue, const std::string& step) {
  const std::string base = "rate of " + step;
  std::string name = base;
  for (int k = 2; catalogue.Contains(name); ++k) name = base + " (" + std::to_string(k) + ")";
  return name;
}

// Enters the expression as a user-defined type for the step: its symbols
// that name the step's substrates, in the order the equation lists them,
// are substrates, and so for the products; every other metabolite is a
// modifier (returned in the order of its role), every other symbol a
// constant.
const KineticType* EnterRateLaw(const Model& model, const Step& step, const ReactionText& text,
                                KineticCatalogue& catalogue, std::vector<int>& modifiers) {
  KineticTypeEditor editor(catalogue);
  editor.SetName(FreeTypeName(catalogue, step.name));
  editor.SetExpression(text.rateLaw);
  editor.SetReversible(step.reversible != 0);
  CollectingSink sink;
  if (!editor.AcceptFunction(sink)) {
    throw VireonError("the rate law of step " + step.name + " is refused" + Said(sink));
  }
  std::size_t substrate = 0, product = 0;
  for (int k = 0; k < static_cast<int>(editor.symbols().size()); ++k) {
    const int metabolite = model.FindMetabolite(editor.symbols()[static_cast<std::size_t>(k)].name);
    if (metabolite < 0) continue;  // a constant, the role every symbol starts with
    if (substrate < step.substrates.size() && step.substrates[substrate] == metabolite) {
      editor.SetRole(k, SymbolRole::kSubstrate);
      // One symbol stands for every unit of the metabolite's stoichiometry.
      while (substrate < step.substrates.size() && step.substrates[substrate] == metabolite) {
        ++substrate;
      }
    } else if (product < step.products.size() && step.products[product] == metabolite) {
      editor.SetRole(k, SymbolRole::kProduct);
      while (product < step.products.size() && step.products[product] == metabolite) ++product;
    } else {
      editor.SetRole(k, SymbolRole::kModifier);
      modifiers.push_back(metabolite);
    }
  }
  editor.SetSubstrates(step.nSubstrates);
  editor.SetProducts(step.nProducts);
  const KineticType* type = editor.Ok(catalogue, sink);
  if (type == nullptr) {
    throw VireonError("the rate law of step " + step.name + " is refused" + Said(sink));
  }
  return type;
}

}  // namespace

Document BuildDocument(const std::vector<ReactionText>& reactions,
                       const std::vector<std::pair<std::string, double>>& initial,
                       const std::vector<std::string>& fixed, const std::string& title) {
  Program& program = TheProgram();
  std::lock_guard<std::mutex> lock(program.catalogueMutex);
  KineticCatalogue& catalogue = program.startup.catalogue;
  const DefaultValues& defaults = program.startup.defaults;
  if (reactions.empty()) throw VireonError("a model needs at least one reaction");

  Document document;
  NewDocument(document, defaults);
  CollectingSink sink;
  ReactionEditor editor(document.model, sink, defaults.concentration);
  for (const ReactionText& reaction : reactions) {
    if (!editor.AddOrChange(reaction.name, reaction.equation)) {
      throw VireonError("step " + reaction.name + " (" + reaction.equation + ") is refused" +
                        Said(sink));
    }
  }
  if (!editor.Commit(
          [&](Step& step) { ApplyConstantFlux(step, catalogue, defaults.kineticConstant); })) {
    throw VireonError("the reactions are refused" + Said(sink));
  }
  ApplyWorkingCopy(document.model, editor.working(), StructuralAnalysis);

  MetaboliteEditor metabolites(document.model, sink);
  for (const std::string& name : fixed) {
    auto row = std::find_if(metabolites.rows().begin(), metabolites.rows().end(),
                            [&](const MetaboliteRow& r) { return r.name == name; });
    if (row == metabolites.rows().end()) {
      throw VireonError("no reaction has the metabolite " + name + " that is to be fixed");
    }
    row->fixed = true;
  }
  if (!metabolites.Commit(document.model, StructuralAnalysis)) {
    throw VireonError("the metabolites are refused" + Said(sink));
  }
  Model& model = document.model;
  for (const auto& [name, value] : initial) {
    const int m = model.FindMetabolite(name);
    if (m < 0) throw VireonError("no reaction has the metabolite " + name);
    if (!(value >= 0.0)) {
      throw VireonError("the initial concentration of " + name + " must be 0 or more");
    }
    model.metabolites[static_cast<std::size_t>(m)].initialConcentration = value;
  }

  KineticsEditor kinetics(model, catalogue, defaults.kineticConstant);
  for (int s = 0; s < static_cast<int>(reactions.size()); ++s) {
    const ReactionText& reaction = reactions[static_cast<std::size_t>(s)];
    const Step& step = model.steps[static_cast<std::size_t>(s)];
    std::vector<int> modifiers;
    // No rate law: the constant flux every new step has.
    const KineticType* type =
        reaction.rateLaw.empty() ? step.kineticType : catalogue.Find(reaction.rateLaw);
    if (type == nullptr) {
      type = EnterRateLaw(model, step, reaction, catalogue, modifiers);
    } else {
      for (const std::string& name : reaction.modifiers) {
        const int m = model.FindMetabolite(name);
        if (m < 0)
          throw VireonError("no reaction has the modifier " + name + " of step " + step.name);
        modifiers.push_back(m);
      }
    }
    if (!kinetics.SelectStep(s, sink) || !kinetics.ApplyType(type->name)) {
      throw VireonError("step " + step.name + " cannot take the kinetic type " + type->name +
                        Said(sink));
    }
    if (static_cast<int>(modifiers.size()) != type->modifiers) {
      throw VireonError("the kinetic type " + type->name + " of step " + step.name + " needs " +
                        std::to_string(type->modifiers) + " modifiers; " +
                        std::to_string(modifiers.size()) + " are given");
    }
    for (int k = 0; k < static_cast<int>(modifiers.size()); ++k) {
      kinetics.SetModifier(k, modifiers[static_cast<std::size_t>(k)]);
    }
    for (const auto& [name, value] : reaction.constants) {
      const int k = type->FindConstant(name);
      if (k < 0) {
        throw VireonError("the rate law of step " + step.name + " has no constant " + name);
      }
      kinetics.SetConstant(k, value);
    }
  }
  if (!kinetics.Commit(model, sink)) throw VireonError("the kinetics are refused" + Said(sink));
  model.title = title;
  return document;
}

}  // namespace vireon::python
