#pragma once
// The rules of the two dialogs that edit output functions, without the
// drawing: "New Function" (name, expression, accepting it, associating each
// symbol with an item of the model) and "User-Defined Functions" (the
// document's list: add, edit, delete). The dialogs forward the user's
// actions here and draw what these objects say.

#include <optional>
#include <string>
#include <vector>

#include "model/message_sink.h"
#include "output/output_data_editor.h"
#include "output/output_function.h"
#include "output/output_item.h"

namespace vireon {

class Model;

// The function dialog's tree of "Available items", in this order (indented
// entries are children): "time"; "metabolites" - "initial concentrations",
// "trans./s.s. concentrations" ("[%s]"), "conservation relations",
// "transition times"; "steps" - "fluxes", "kinetic constants";
// "compartments"; in a model with rules or global quantities "current
// volumes" and, with global quantities, "global quantities" (their current
// values); "control analysis" - "elasticities",
// "concentration-control coeffs.", "flux-control coeffs."; "eigenvalues";
// "numerical methods". A function is evaluated both at time-course points
// and after each steady state, so its concentrations and fluxes are the
// current ones.
std::vector<OutputDataNode> BuildFunctionSymbolTree(const Model& model);

class OutputFunctionEditor {
 public:
  // A new function: nothing accepted yet, OK reads "&Ok".
  explicit OutputFunctionEditor(MessageSink& sink);
  // An existing function: accepted, every symbol associated, OK reads
  // "&Close" and Cancel is disabled.
  OutputFunctionEditor(const OutputFunction& function, MessageSink& sink);

  const std::string& name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& expression() const { return expression_; }
  // Ignored once the expression is accepted (the field is read-only then).
  void SetExpression(std::string expression);

  bool accepted() const { return function_.has_value(); }
  // The expression is editable until accepted; the symbols and the tree of
  // items only after.
  bool ExpressionEditable() const { return !accepted(); }
  bool ItemsEnabled() const { return accepted(); }
  // "&Accept Function" at first, "&Edit function" once accepted, "&Accept
  // function" while edited again.
  std::string AcceptButtonText() const;
  std::string OkButtonText() const { return existing_ ? "&Close" : "&Ok"; }
  bool CancelEnabled() const { return !existing_; }

  // The accept/edit button: Accept while editing, Edit once accepted.
  void PressAcceptButton();
  // An empty name gives "You must give this function a name."; a text that
  // does not parse gives "Syntax error at character N (why): ..."
  // (ExpressionFaultMessage) and is discarded. On success the distinct letters, in order of first appearance, become the symbols, none
  // associated yet. Returns whether the expression was accepted.
  bool Accept();
  // Discards the function and makes the expression editable again.
  void Edit();

  // The symbols of the accepted function.
  int SymbolCount() const;
  char SymbolLetter(int symbol) const;
  bool IsAssociated(int symbol) const;
  // The symbol list's line: the letter, and " = " and the item's title once
  // associated ("a = J(R1)").
  std::string SymbolText(int symbol) const;
  void SelectSymbol(int symbol);
  int selectedSymbol() const { return selectedSymbol_; }

  // Choosing an entry of the tree's item list while a symbol is selected:
  // the symbol's item takes the entry's title, type and names, and the
  // symbol is associated. A choice under a tree entry without items (null)
  // leaves the symbol not associated. False when no symbol is selected.
  bool Associate(const OutputItem* entry);

  // OK: with a symbol not associated, says so and returns false (the dialog
  // stays open); an accepted function also needs a name. Otherwise returns
  // true and the dialog closes; TakeFunction then gives the function (none
  // when no expression was accepted).
  bool Ok();
  std::optional<OutputFunction> TakeFunction();

 private:
  MessageSink& sink_;
  bool existing_ = false;
  bool editedAgain_ = false;
  std::string name_;
  std::string expression_;
  std::optional<OutputFunction> function_;
  std::vector<bool> associated_;
  int selectedSymbol_ = -1;
};

class OutputFunctionListEditor {
 public:
  OutputFunctionListEditor(std::vector<OutputFunction>& functions, MessageSink& sink);

  // The list's lines: the functions' names in list order.
  std::vector<std::string> Names() const;
  // "&Edit" and "&Delete" work only while the list is not empty.
  bool EditEnabled() const { return !functions_.empty(); }
  bool DeleteEnabled() const { return !functions_.empty(); }
  void Select(int index);
  int selected() const { return selected_; }

  // "&Add", after the dialog was left with OK: appends the function, or, if
  // the dialog returned none, says the function was not added.
  void Added(std::optional<OutputFunction> function);
  // "&Edit": the function the dialog is opened on (null with no selection).
  const OutputFunction* EditTarget() const;
  // After the dialog was left with OK: the function (possibly renamed) goes
  // back at the same position. Without a function the old one stays.
  void Edited(std::optional<OutputFunction> function);
  // "&Delete": removes the selected function.
  bool Delete();

  bool modified() const { return modified_; }

 private:
  std::vector<OutputFunction>& functions_;
  MessageSink& sink_;
  int selected_ = -1;
  bool modified_ = false;
};

}  // namespace vireon
