#include "model/metabolite_editor.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/messages.h"
#include "model/number_text.h"

namespace vireon {

std::string FormatConcentration(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

MetaboliteEditor::MetaboliteEditor(const Model& document, MessageSink& sink)
    : sink_(sink), working_(document) {
  rows_.reserve(working_.metabolites.size());
  for (const Metabolite& m : working_.metabolites) {
    rows_.push_back(
        {m.name, FormatConcentration(m.initialConcentration), m.type == FIXED, m.compartment});
  }
}

bool MetaboliteEditor::CheckName(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  if (IsValidMetaboliteName(rows_[static_cast<std::size_t>(row)].name)) return true;
  sink_.Warning("", messages::kBadMetaboliteName);
  return false;
}

bool MetaboliteEditor::Refuse(int row, const std::string& message) {
  badRow_ = row;
  sink_.Warning("", message);
  return false;
}

bool MetaboliteEditor::Commit(Model& document, const ModelHook& analyse, const ModelCheck& check) {
  badRow_ = -1;
  const int count = static_cast<int>(std::min(rows_.size(), working_.metabolites.size()));
  std::vector<double> concentrations(static_cast<std::size_t>(count));
  for (int r = 0; r < count; ++r) {
    const MetaboliteRow& row = rows_[static_cast<std::size_t>(r)];
    // A name against the rule would no longer read back from the equations,
    // and two metabolites of one name would become one.
    if (!CheckName(r)) {
      badRow_ = r;
      return false;
    }
    for (int other = 0; other < r; ++other) {
      if (rows_[static_cast<std::size_t>(other)].name == row.name) {
        return Refuse(r, "Two metabolites are named " + row.name +
                             ".\nPlease give each metabolite a name of its own.");
      }
    }
    // Read as "%lf" reads: the number at the start of the text.
    const std::optional<double> read = ParseReal(row.initialConcentration, NumberExtent::kPrefix);
    if (!read || *read < 0.0) {
      return Refuse(r, "The initial concentration of " + row.name +
                           " must be a number not below zero.");
    }
    concentrations[static_cast<std::size_t>(r)] = *read;
  }
  // The rows go into a copy, so that a refusal leaves the working copy as
  // the rows' next commit expects it.
  Model edited = working_;
  for (int r = 0; r < count; ++r) {
    const MetaboliteRow& row = rows_[static_cast<std::size_t>(r)];
    Metabolite& m = edited.metabolites[static_cast<std::size_t>(r)];
    m.name = row.name;
    m.initialConcentration = concentrations[static_cast<std::size_t>(r)];
    m.type = row.fixed ? FIXED : INDEPENDENT;
    m.compartment = row.compartment;
  }
  edited.ClampCompartments();
  if (check) {
    const std::string problem = check(document, edited);
    if (!problem.empty()) return Refuse(-1, problem);
  }
  working_ = std::move(edited);
  ApplyWorkingCopy(document, working_, analyse);
  return true;
}

}  // namespace vireon
