#pragma once
// The rules of the "Compartments" dialog: the number of compartments, and
// the name and volume of each, on a working copy. Changing the number keeps
// the compartments that stay as they are; new ones get a name of their own
// and volume 1. On OK the metabolites of compartments that are gone go back
// to the first compartment and the moiety totals (amounts) are recomputed.

#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// One compartment as the dialog shows it. The volume is text, read back as
// "%lf" reads it.
struct CompartmentRow {
  std::string name;
  std::string volume;
};

class CompartmentEditor {
 public:
  explicit CompartmentEditor(const Model& model);

  std::vector<CompartmentRow>& rows() { return rows_; }
  const std::vector<CompartmentRow>& rows() const { return rows_; }
  int count() const { return static_cast<int>(rows_.size()); }

  // The number of compartments: below 1 is refused (false). Fewer drops the
  // last ones; more appends compartments named "compartment<n>" (the first
  // n from 2 up not in use) with volume 1.
  bool SetCount(int count);
  // The metabolites that OK would move back to the first compartment,
  // because their compartment is no longer there.
  std::vector<std::string> MetabolitesToMove() const;

  // The row OK found wrong, or -1.
  int badRow() const { return badRow_; }
  // OK: every name non-empty, on one line and unlike the others, every
  // volume a finite positive number; the first bad row is named in a
  // warning and nothing changes. When metabolites would have to move, the
  // user is asked first (No changes nothing). An edit that check refuses
  // (a renamed or removed compartment whose volume a rule sets or reads) is
  // warned about and changes nothing. Then the rows replace the model's
  // compartments, metabolites of removed compartments go to compartment 0
  // and the moiety totals are recomputed.
  bool Commit(Model& model, MessageSink& sink, const ModelCheck& check = {});

 private:
  bool Refuse(int row, const std::string& message, MessageSink& sink);

  std::vector<std::string> metaboliteNames_;
  std::vector<int> metaboliteCompartments_;
  std::vector<CompartmentRow> rows_;
  int badRow_ = -1;
};

}  // namespace vireon
