#include "model/reaction_editor.h"

#include <cstddef>
#include <vector>

#include "model/messages.h"

namespace vireon {

namespace {

// Replaces every index by its new position; an index that names no kept
// metabolite becomes -1 (an unset modifier role).
void Renumber(std::vector<int>& indices, const std::vector<int>& newPosition) {
  for (int& index : indices) {
    bool known = index >= 0 && index < static_cast<int>(newPosition.size());
    index = known ? newPosition[static_cast<std::size_t>(index)] : -1;
  }
}

}  // namespace

ReactionEditor::ReactionEditor(const Model& document, MessageSink& sink,
                               double defaultConcentration, const std::vector<bool>& keep)
    : sink_(sink),
      reference_(document),
      working_(document),
      defaultConcentration_(defaultConcentration) {
  steps_.capacity = InitialTableCapacity(document.nSteps());
  steps_.records = document.steps;

  // Keep the metabolites that some step refers to.
  std::vector<bool> used(static_cast<std::size_t>(document.nMetabolites()), false);
  auto mark = [&used](const std::vector<int>& indices) {
    for (int index : indices) {
      if (index >= 0 && index < static_cast<int>(used.size())) {
        used[static_cast<std::size_t>(index)] = true;
      }
    }
  };
  for (const Step& step : document.steps) {
    mark(step.substrates);
    mark(step.products);
    mark(step.modifiers);
  }
  for (std::size_t m = 0; m < used.size() && m < keep.size(); ++m) {
    if (keep[m]) used[m] = true;
  }
  std::vector<int> newPosition(used.size(), -1);
  std::vector<Metabolite> kept;
  for (std::size_t m = 0; m < used.size(); ++m) {
    if (!used[m]) continue;
    newPosition[m] = static_cast<int>(kept.size());
    kept.push_back(document.metabolites[m]);
  }
  metabolites_.capacity = InitialTableCapacity(static_cast<int>(kept.size()));
  metabolites_.records = kept;

  // The lists are rebuilt from the equations at commit; the modifiers are
  // not, so they must follow their metabolites now.
  for (Step& step : steps_.records) {
    Renumber(step.substrates, newPosition);
    Renumber(step.products, newPosition);
    Renumber(step.modifiers, newPosition);
  }
  working_.metabolites = std::move(kept);
}

bool ReactionEditor::RefuseWhenClosed() {
  return !open_;
}

bool ReactionEditor::NameInUse(std::string_view name, int except) const {
  for (int i = 0; i < steps_.count(); ++i) {
    if (i != except && steps_.records[static_cast<std::size_t>(i)].name == name) return true;
  }
  return false;
}

bool ReactionEditor::Select(int index) {
  if (RefuseWhenClosed()) return false;
  if (index < 0 || index >= steps_.count()) {
    sink_.Information(messages::kNoItemSelected);
    return false;
  }
  const Step& step = steps_.records[static_cast<std::size_t>(index)];
  nameField_ = step.name;
  equationField_ = step.equation;
  changing_ = index;
  return true;
}

void ReactionEditor::StartNew() {
  changing_ = -1;
  nameField_.clear();
  equationField_.clear();
}

bool ReactionEditor::AddOrChange(std::string_view name, std::string_view equation) {
  if (RefuseWhenClosed()) return false;
  if (!IsValidStepName(name)) {
    sink_.Error("", messages::kBadStepName);
    return false;
  }
  if (TestEquation(equation) < 0) {
    sink_.Error("", EquationFaultMessage(equation));
    return false;
  }
  if (NameInUse(name, changing_)) {
    sink_.Error("", messages::kStepNameInUse);
    return false;
  }
  if (changing_ < 0) {
    GrowTableIfFull(steps_);
    Step step;  // a new step has no kinetic type until the commit gives it one
    step.name = std::string(name);
    step.equation = std::string(equation);
    steps_.records.push_back(std::move(step));
  } else {
    Step& step = steps_.records[static_cast<std::size_t>(changing_)];
    step.name = std::string(name);
    step.equation = std::string(equation);
  }
  nameField_ = std::string(name);
  equationField_ = std::string(equation);
  return true;
}

bool ReactionEditor::HasUntakenText(std::string_view name, std::string_view equation) const {
  return open_ && (name != nameField_ || equation != equationField_);
}

bool ReactionEditor::Delete(int index) {
  if (RefuseWhenClosed()) return false;
  if (index < 0 || index >= steps_.count()) {
    sink_.Information(messages::kNoItemSelected);
    return false;
  }
  steps_.records.erase(steps_.records.begin() + index);
  if (changing_ == index) {
    changing_ = -1;
  } else if (changing_ > index) {
    --changing_;
  }
  return true;
}

bool ReactionEditor::Commit(const StepHook& assignDefaultKinetics, const ModelCheck& check) {
  if (RefuseWhenClosed()) return false;

  // Equations that came with the model were never tested here; one that
  // fails would silently lose its step's stoichiometry.
  for (int s = 0; s < steps_.count(); ++s) {
    const Step& step = steps_.records[static_cast<std::size_t>(s)];
    if (TestEquation(step.equation) < 0) {
      sink_.Error("", "The equation of step " + step.name + ": " +
                          EquationFaultMessage(step.equation));
      Select(s);
      return false;
    }
  }

  // 1. Count units, set reversibility, collect the metabolites. Names are
  // found through an index, so that the commit takes time in proportion to
  // the equations' length, however many metabolites they name. A refusal
  // by check puts the metabolite table back as it was.
  const MetaboliteTable openingMetabolites = check ? metabolites_ : MetaboliteTable();
  MetaboliteNameIndex names(metabolites_, reference_);
  ParseTarget target{reference_, working_, steps_, metabolites_, -1, defaultConcentration_, &names};
  for (int s = 0; s < steps_.count(); ++s) {
    target.stepIndex = s;
    ParseEquation(steps_.records[static_cast<std::size_t>(s)].equation,
                  ParseMode::kCountMetabolites, target);
  }

  // 2. The working copy takes the tables' sizes and records.
  int nMetabolites = metabolites_.count();
  working_.ResizeForAnalysis(steps_.count(), nMetabolites);
  working_.steps = steps_.records;
  working_.metabolites = metabolites_.records;
  for (Step& step : working_.steps) {
    step.SizeSubstrates(step.nSubstrates);
    step.SizeProducts(step.nProducts);
  }
  working_.ZeroStoichiometry();

  // 3. Stoichiometry and lists.
  for (int s = 0; s < steps_.count(); ++s) {
    target.stepIndex = s;
    ParseEquation(working_.steps[static_cast<std::size_t>(s)].equation,
                  ParseMode::kFillStoichiometry, target);
  }

  // 4. Default rate laws.
  if (assignDefaultKinetics) {
    for (Step& step : working_.steps) {
      if (step.kineticType == nullptr) assignDefaultKinetics(step);
    }
  }

  // 5. What the rest of the model asks of the edit.
  if (check) {
    const std::string problem = check(reference_, working_);
    if (!problem.empty()) {
      metabolites_ = openingMetabolites;
      sink_.Warning("", problem);
      return false;
    }
  }

  // 6.
  Close();
  return true;
}

void ReactionEditor::Cancel() {
  Close();
  working_ = reference_;
}

void ReactionEditor::Close() {
  steps_ = StepTable();
  metabolites_ = MetaboliteTable();
  changing_ = -1;
  nameField_.clear();
  equationField_.clear();
  open_ = false;
}

}  // namespace vireon
