#pragma once
// The reactions editor: the rules behind the dialog in which the user adds,
// changes and deletes steps. It works on a working copy of the document's
// model and two editing tables; nothing reaches the document before the
// model page applies the committed working copy (ApplyWorkingCopy).
//
// Metabolites come into being only through equations, in order of first
// appearance, and disappear at the next opening once no step refers to them
// (unless the caller keeps them: those that the model's rules use).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/equation_parser.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// Gives a step without a kinetic type its default rate law (the kinetics
// subsystem supplies it). May be empty.
using StepHook = std::function<void(Step&)>;

class ReactionEditor {
 public:
  // Opens the editor on a copy of document. The step table receives every
  // step; the metabolite table only the metabolites some step lists as
  // substrate, product or modifier, in their order, with every index in the
  // steps renumbered to the kept positions. A metabolite that `keep` marks
  // (one entry per metabolite of document; missing entries are false) is
  // kept although no step lists it. New metabolites get
  // defaultConcentration.
  ReactionEditor(const Model& document, MessageSink& sink,
                 double defaultConcentration = kBuiltInDefaultConcentration,
                 const std::vector<bool>& keep = {});

  // False after Commit or Cancel; every action is then refused.
  bool isOpen() const { return open_; }
  const StepTable& steps() const { return steps_; }
  const MetaboliteTable& metabolites() const { return metabolites_; }
  const Model& working() const { return working_; }
  // The step being changed, or -1 when the edit fields describe a new step.
  int changing() const { return changing_; }
  const std::string& nameField() const { return nameField_; }
  const std::string& equationField() const { return equationField_; }

  // Loads step index's name and equation into the fields and makes it the
  // step being changed. No such step: message "No item selected.".
  bool Select(int index);
  // Empties the fields; the next AddOrChange adds a step.
  void StartNew();
  // Adds a step (no step being changed) or changes the step being changed.
  // The name must follow the step name rule (IsValidStepName), the
  // equation must pass the syntax test ("Syntax error at character N
  // (why): ...", EquationFaultMessage) and the name must
  // differ from every other step's ("This step name is already in use");
  // a refusal changes nothing.
  bool AddOrChange(std::string_view name, std::string_view equation);
  // Whether the texts of the fields hold something that no Add or Change
  // has taken yet: any text for a new step, a difference from the step
  // being changed otherwise. OK takes such text first rather than lose it.
  bool HasUntakenText(std::string_view name, std::string_view equation) const;
  // Removes step index; the step being changed follows its record, or there
  // is none when it was this one. No such step: "No item selected.".
  bool Delete(int index);

  // OK: parses every equation to rebuild the working copy's metabolites,
  // stoichiometry and lists, gives every step without a kinetic type its
  // default through assignDefaultKinetics, releases the tables and closes.
  // An equation that fails the syntax test (one that came with the model)
  // is reported with its step's name and EquationFaultMessage, selected,
  // and the editor stays open; so does a working copy that check refuses against the document's model as
  // it was at the opening (warned about with check's message).
  bool Commit(const StepHook& assignDefaultKinetics, const ModelCheck& check = {});
  // Cancel: releases the tables and closes; the working copy is discarded.
  void Cancel();

 private:
  bool RefuseWhenClosed();
  bool NameInUse(std::string_view name, int except) const;
  void Close();

  MessageSink& sink_;
  Model reference_;  // the document's model as it was when the editor opened
  Model working_;
  StepTable steps_;
  MetaboliteTable metabolites_;
  double defaultConcentration_;
  int changing_ = -1;
  std::string nameField_;
  std::string equationField_;
  bool open_ = true;
};

}  // namespace vireon
