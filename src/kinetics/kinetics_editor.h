#pragma once
// The rules of the Kinetics dialog, without the drawing: a working copy of
// the model's steps in which the user gives each step its kinetic type,
// constants and modifiers. The dialog shows what this object holds and
// forwards the user's actions; OK copies the working copy back.

#include <string>
#include <string_view>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

class KineticsEditor {
 public:
  // Constants and modifiers are shown this many at a time.
  static constexpr int kGroupSize = 6;

  // One field of the constants or modifiers panel.
  struct ConstantField {
    int index;          // position in the step's constants
    std::string label;  // the constant's name
    std::string text;   // the value with 16 significant digits
  };
  struct ModifierField {
    int index;          // position in the step's modifiers
    std::string label;  // the role name
    int metabolite;     // -1: not assigned
  };

  // The first step, if any, is selected.
  KineticsEditor(const Model& model, const KineticCatalogue& catalogue, double defaultConstant);

  const std::vector<Step>& steps() const { return steps_; }
  // The metabolites every modifier chooser lists, in order.
  const std::vector<Metabolite>& metabolites() const { return metabolites_; }
  int currentStep() const { return current_; }

  // Moves to another step. Refused, with a message and the selection staying
  // where it was, while a modifier of the current step is unassigned.
  bool SelectStep(int step, MessageSink& sink);
  // Whether every modifier of the current step is assigned.
  bool ModifiersComplete() const;

  // The types the current step may use, in catalogue order, and its type.
  std::vector<const KineticType*> EligibleTypes() const;
  const KineticType* CurrentType() const;
  // Gives the current step the named type at once: constant values and
  // modifier assignments are kept by position, further constants take the
  // default kinetic constant and further modifiers are unassigned. Refused
  // (false) for a type the step may not use.
  bool ApplyType(std::string_view name);

  // The constants panel: up to six fields of the group shown; "More" shows
  // the next group, and after the last the first again.
  std::vector<ConstantField> ConstantFields() const;
  bool HasMoreConstants() const;
  void NextConstantGroup();
  // Stores a value typed into a field when the field is left: the whole
  // text as ParseReal reads it (blanks around it allowed). Text that is not
  // a finite number is refused (false) and the value stays; the sink, when
  // given, is told why, with the constant's name.
  bool SetConstantText(int index, std::string_view text, MessageSink* sink = nullptr);
  void SetConstant(int index, double value);

  // Every field at once, for a panel that scrolls instead of paging.
  std::vector<ConstantField> AllConstantFields() const;
  std::vector<ModifierField> AllModifierFields() const;

  // The current step's equation as the model holds it ("S + E -> P").
  std::string CurrentEquation() const;
  // The current step's rate law as a formula in the names the user knows:
  // a user-defined type's expression as typed; a built-in type's formula
  // from `builtIn` (which names the step's substrates s0, s1, products p0,
  // p1, modifiers m0, ... and constants k0, k1, ...) with each of these
  // replaced by the step's metabolite or the constant's name ("V*S/(Km +
  // S)"; a modifier not yet chosen keeps its role name); the mass-action
  // laws built from the step's lists. Empty without a step or a formula.
  using FormulaSource = std::string_view (*)(std::string_view typeName);
  std::string CurrentFormula(FormulaSource builtIn) const;

  // The modifiers panel, in groups of six likewise.
  std::vector<ModifierField> ModifierFields() const;
  bool HasMoreModifiers() const;
  void NextModifierGroup();
  // Assigns metabolite (an index into metabolites(), or -1) to a modifier.
  void SetModifier(int index, int metabolite);

  // OK: refused with the same message as leaving the step while a modifier of
  // the current step is unassigned; so is an edit that check refuses (a
  // step's new kinetic type lacks the constant a rule sets), with check's
  // message. Otherwise the kinetic types, constants and modifiers of the
  // working copy go back into the model.
  bool Commit(Model& model, MessageSink& sink, const ModelCheck& check = {}) const;

 private:
  Step* Current();
  const Step* Current() const;

  const KineticCatalogue& catalogue_;
  double defaultConstant_;
  std::vector<Step> steps_;
  std::vector<Metabolite> metabolites_;
  int current_ = -1;
  std::vector<ConstantField> ConstantRange(int first, int end) const;
  std::vector<ModifierField> ModifierRange(int first, int end) const;
  std::string MetaboliteName(int index) const;
  int constantGroup_ = 0;
  int modifierGroup_ = 0;
};

// A constant as the Kinetics dialog shows it: 16 significant digits.
std::string FormatKineticConstant(double value);

}  // namespace vireon
