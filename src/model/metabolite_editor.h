#pragma once
// The metabolites editor: the rules behind the dialog that shows, for every
// metabolite of a working copy of the model, its name, initial
// concentration, "Fixed" box and compartment.

#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// One metabolite as the dialog shows it. The concentration is text, read
// back as "%lf" reads it.
struct MetaboliteRow {
  std::string name;
  std::string initialConcentration;
  bool fixed = false;
  int compartment = 0;
};

class MetaboliteEditor {
 public:
  MetaboliteEditor(const Model& document, MessageSink& sink);

  std::vector<MetaboliteRow>& rows() { return rows_; }
  const std::vector<MetaboliteRow>& rows() const { return rows_; }
  const Model& working() const { return working_; }

  // The name field of a row lost the focus: a name against the rule gets the
  // warning "This metabolite name contains invalid characters..." and false
  // (the dialog returns the focus to the field).
  bool CheckName(int row);

  // The row that the last refused commit named, or -1.
  int badRow() const { return badRow_; }

  // OK: takes every row back into the working copy (name; concentration read
  // like "%lf"; FIXED or INDEPENDENT; a compartment that does not exist
  // becomes 0), then applies the working copy to document and runs analyse.
  // A name against the rule, a name two rows share, and a concentration that
  // is not a number or is negative (a model file would not keep it) are
  // warned about and refuse the whole commit, changing nothing; so is an
  // edit that check refuses (a renamed metabolite that a rule reads).
  bool Commit(Model& document, const ModelHook& analyse, const ModelCheck& check = {});

 private:
  bool Refuse(int row, const std::string& message);

  MessageSink& sink_;
  Model working_;
  std::vector<MetaboliteRow> rows_;
  int badRow_ = -1;
};

// The text a concentration is shown as: the shortest that reads back exactly.
std::string FormatConcentration(double value);

}  // namespace vireon
