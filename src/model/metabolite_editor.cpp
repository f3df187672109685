#include "model/metabolite_editor.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/messages.h"

namespace vireon {

bool ReadConcentration(std::string_view text, double& value) {
  // Read in the C locale whatever locale the program runs in: "2.5" is two
  // and a half for every user, as it is in the model file.
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && (*begin == ' ' || *begin == '\t' || *begin == '\n' || *begin == '\v' ||
                          *begin == '\f' || *begin == '\r')) {
    ++begin;
  }
  if (begin != end && *begin == '+') {
    ++begin;
    if (begin != end && *begin == '-') return false;
  }
  double read = 0.0;
  auto result = std::from_chars(begin, end, read);
  if (result.ec != std::errc() || !std::isfinite(read)) return false;
  value = read;
  return true;
}

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

bool MetaboliteEditor::Commit(Model& document, const ModelHook& analyse) {
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
    double& value = concentrations[static_cast<std::size_t>(r)];
    if (!ReadConcentration(row.initialConcentration, value) || value < 0.0) {
      return Refuse(r, "The initial concentration of " + row.name +
                           " must be a number not below zero.");
    }
  }
  for (int r = 0; r < count; ++r) {
    const MetaboliteRow& row = rows_[static_cast<std::size_t>(r)];
    Metabolite& m = working_.metabolites[static_cast<std::size_t>(r)];
    m.name = row.name;
    m.initialConcentration = concentrations[static_cast<std::size_t>(r)];
    m.type = row.fixed ? FIXED : INDEPENDENT;
    m.compartment = row.compartment;
  }
  working_.ClampCompartments();
  ApplyWorkingCopy(document, working_, analyse);
  return true;
}

}  // namespace vireon
