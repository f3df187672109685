#include "model/compartment_editor.h"

#include <algorithm>

#include "model/metabolite_editor.h"
#include "model/number_text.h"
#include "model/structural_analysis.h"

namespace vireon {
namespace {

// The name of a new compartment: the default name with the first number
// from 2 up that no row uses.
std::string NewCompartmentName(const std::vector<CompartmentRow>& rows) {
  for (int n = 2;; ++n) {
    const std::string name = Compartment().name + std::to_string(n);
    const bool taken = std::any_of(rows.begin(), rows.end(),
                                   [&name](const CompartmentRow& row) { return row.name == name; });
    if (!taken) return name;
  }
}

}  // namespace

CompartmentEditor::CompartmentEditor(const Model& model) {
  for (const Compartment& c : model.compartments) {
    rows_.push_back({c.name, FormatConcentration(c.volume)});
  }
  for (const Metabolite& m : model.metabolites) {
    metaboliteNames_.push_back(m.name);
    metaboliteCompartments_.push_back(m.compartment);
  }
}

bool CompartmentEditor::SetCount(int count) {
  if (count < 1) return false;
  if (count < this->count()) rows_.resize(static_cast<std::size_t>(count));
  while (this->count() < count) rows_.push_back({NewCompartmentName(rows_), "1"});
  return true;
}

std::vector<std::string> CompartmentEditor::MetabolitesToMove() const {
  std::vector<std::string> moved;
  for (std::size_t i = 0; i < metaboliteNames_.size(); ++i) {
    if (metaboliteCompartments_[i] >= count()) moved.push_back(metaboliteNames_[i]);
  }
  return moved;
}

bool CompartmentEditor::Refuse(int row, const std::string& message, MessageSink& sink) {
  badRow_ = row;
  sink.Warning("", message);
  return false;
}

bool CompartmentEditor::Commit(Model& model, MessageSink& sink, const ModelCheck& check) {
  badRow_ = -1;
  std::vector<Compartment> compartments;
  for (int r = 0; r < count(); ++r) {
    const CompartmentRow& row = rows_[static_cast<std::size_t>(r)];
    if (row.name.empty() || row.name.find_first_of("\r\n") != std::string::npos) {
      return Refuse(r, "Please give compartment " + std::to_string(r + 1) + " a name on one line.",
                    sink);
    }
    for (int other = 0; other < r; ++other) {
      if (rows_[static_cast<std::size_t>(other)].name == row.name) {
        return Refuse(r, "Two compartments are named " + row.name +
                             ".\nPlease give each compartment a name of its own.",
                      sink);
      }
    }
    Compartment compartment;
    compartment.name = row.name;
    const std::optional<double> volume = ParseReal(row.volume, NumberExtent::kPrefix);
    if (!volume || !(*volume > 0.0)) {
      return Refuse(r, "The volume of compartment " + row.name + " must be a positive number.",
                    sink);
    }
    compartment.volume = *volume;
    compartments.push_back(std::move(compartment));
  }
  if (check) {
    Model edited = model;
    edited.compartments = compartments;
    edited.ClampCompartments();
    const std::string problem = check(model, edited);
    if (!problem.empty()) return Refuse(-1, problem, sink);
  }
  const std::vector<std::string> moving = MetabolitesToMove();
  if (!moving.empty()) {
    std::string names;
    for (const std::string& name : moving) names += (names.empty() ? "" : ", ") + name;
    const std::string question = "The metabolites " + names +
                                 " are in compartments that would be removed;\nthey go back to " +
                                 compartments.front().name + ". Remove the compartments?";
    if (sink.AskYesNo(question) != Answer::kYes) return false;
  }
  model.compartments = std::move(compartments);
  model.ClampCompartments();
  ComputeMoietyTotals(model);
  return true;
}

}  // namespace vireon
