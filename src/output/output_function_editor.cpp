#include "output/output_function_editor.h"

#include <algorithm>

#include "kinetics/expression_fault.h"
#include "model/messages.h"
#include "model/model.h"

namespace vireon {

namespace {

// The node with this text among `nodes`, or an empty one.
OutputDataNode Take(const std::vector<OutputDataNode>& nodes, std::string_view text) {
  for (const OutputDataNode& node : nodes) {
    if (node.text == text) return node;
  }
  return {std::string(text), {}, {}};
}

bool Has(const std::vector<OutputDataNode>& nodes, std::string_view text) {
  return std::any_of(nodes.begin(), nodes.end(),
                     [text](const OutputDataNode& node) { return node.text == text; });
}

}  // namespace

std::vector<OutputDataNode> BuildFunctionSymbolTree(const Model& model) {
  // The steady-state selection's tree has every quantity a function may use.
  const std::vector<OutputDataNode> source =
      BuildOutputDataTree(OutputDataMode::kSteadyState, model, {});
  const OutputDataNode metabolites = Take(source, "metabolites");

  OutputDataNode current{"trans./s.s. concentrations", {}, {}};
  for (const Metabolite& metabolite : model.metabolites) {
    OutputItem item = MakeOutputItem(kSteadyStateConcentration, metabolite.name);
    item.title = "[" + metabolite.name + "]";
    current.entries.push_back(std::move(item));
  }

  std::vector<OutputDataNode> tree;
  tree.push_back({"time", {}, {MakeOutputItem(kTime), MakeOutputItem(kRealTime)}});
  tree.push_back({"metabolites",
                  {Take(metabolites.children, "initial concentrations"), std::move(current),
                   Take(metabolites.children, "conservation relations"),
                   Take(metabolites.children, "transition times")},
                  {}});
  tree.push_back(Take(source, "steps"));
  tree.push_back(Take(source, "compartments"));
  for (std::string_view text : {kCurrentVolumesNode, kGlobalQuantitiesNode}) {
    if (Has(source, text)) tree.push_back(Take(source, text));
  }
  tree.push_back(Take(source, "control analysis"));
  tree.push_back(Take(source, "eigenvalues"));
  tree.push_back(Take(source, "numerical methods"));
  return tree;
}

OutputFunctionEditor::OutputFunctionEditor(MessageSink& sink) : sink_(sink) {}

OutputFunctionEditor::OutputFunctionEditor(const OutputFunction& function, MessageSink& sink)
    : sink_(sink),
      existing_(true),
      name_(function.name()),
      expression_(function.description()),
      function_(function),
      associated_(function.items().size(), true) {}

void OutputFunctionEditor::SetExpression(std::string expression) {
  if (!accepted()) expression_ = std::move(expression);
}

std::string OutputFunctionEditor::AcceptButtonText() const {
  if (accepted()) return "&Edit function";
  return editedAgain_ ? "&Accept function" : "&Accept Function";
}

void OutputFunctionEditor::PressAcceptButton() {
  if (accepted()) {
    Edit();
  } else {
    Accept();
  }
}

bool OutputFunctionEditor::Accept() {
  if (accepted()) return true;
  if (name_.empty()) {
    sink_.Warning("", kFunctionNeedsName);
    return false;
  }
  OutputFunction function(name_, expression_);
  expression_ = function.description();
  if (function.Parse() != 0) {
    sink_.Warning("", ExpressionFaultMessage(expression_, OutputExpressionDialect()));
    return false;
  }
  function_ = std::move(function);
  associated_.assign(function_->items().size(), false);
  selectedSymbol_ = -1;
  return true;
}

void OutputFunctionEditor::Edit() {
  function_.reset();
  associated_.clear();
  selectedSymbol_ = -1;
  editedAgain_ = true;
}

int OutputFunctionEditor::SymbolCount() const {
  return static_cast<int>(associated_.size());
}

char OutputFunctionEditor::SymbolLetter(int symbol) const {
  if (!function_ || symbol < 0 || symbol >= SymbolCount()) return '\0';
  return function_->letters()[symbol];
}

bool OutputFunctionEditor::IsAssociated(int symbol) const {
  return symbol >= 0 && symbol < SymbolCount() && associated_[symbol];
}

std::string OutputFunctionEditor::SymbolText(int symbol) const {
  if (!function_ || symbol < 0 || symbol >= SymbolCount()) return {};
  std::string text(1, SymbolLetter(symbol));
  if (associated_[symbol]) text += " = " + function_->items()[symbol].title;
  return text;
}

void OutputFunctionEditor::SelectSymbol(int symbol) {
  selectedSymbol_ = symbol >= 0 && symbol < SymbolCount() ? symbol : -1;
}

bool OutputFunctionEditor::Associate(const OutputItem* entry) {
  if (!function_ || selectedSymbol_ < 0) return false;
  if (entry == nullptr) {
    associated_[selectedSymbol_] = false;
    return true;
  }
  OutputItem& item = function_->items()[selectedSymbol_];
  item.title = entry->title;
  item.type = entry->type;
  item.i = entry->i;
  item.j = entry->j;
  item.value = nullptr;
  associated_[selectedSymbol_] = true;
  return true;
}

bool OutputFunctionEditor::Ok() {
  if (!function_) return true;
  if (std::find(associated_.begin(), associated_.end(), false) != associated_.end()) {
    sink_.Warning("", kFunctionSymbolsNotAssociated);
    return false;
  }
  // The name may have changed since the expression was accepted; a function
  // without one could never be found by the items that name it.
  if (name_.empty()) {
    sink_.Warning("", kFunctionNeedsName);
    return false;
  }
  function_->set_name(name_);
  return true;
}

std::optional<OutputFunction> OutputFunctionEditor::TakeFunction() {
  std::optional<OutputFunction> function = std::move(function_);
  function_.reset();
  associated_.clear();
  return function;
}

OutputFunctionListEditor::OutputFunctionListEditor(std::vector<OutputFunction>& functions,
                                                   MessageSink& sink)
    : functions_(functions), sink_(sink) {}

std::vector<std::string> OutputFunctionListEditor::Names() const {
  std::vector<std::string> names;
  for (const OutputFunction& function : functions_) names.push_back(function.name());
  return names;
}

void OutputFunctionListEditor::Select(int index) {
  selected_ = index >= 0 && index < static_cast<int>(functions_.size()) ? index : -1;
}

void OutputFunctionListEditor::Added(std::optional<OutputFunction> function) {
  if (!function) {
    sink_.Warning("", kFunctionNotAdded);
    return;
  }
  functions_.push_back(std::move(*function));
  selected_ = static_cast<int>(functions_.size()) - 1;
  modified_ = true;
}

const OutputFunction* OutputFunctionListEditor::EditTarget() const {
  return selected_ >= 0 && selected_ < static_cast<int>(functions_.size()) ? &functions_[selected_]
                                                                           : nullptr;
}

void OutputFunctionListEditor::Edited(std::optional<OutputFunction> function) {
  if (!function || EditTarget() == nullptr) return;
  functions_[selected_] = std::move(*function);
  modified_ = true;
}

bool OutputFunctionListEditor::Delete() {
  if (EditTarget() == nullptr) return false;
  functions_.erase(functions_.begin() + selected_);
  if (selected_ >= static_cast<int>(functions_.size())) {
    selected_ = static_cast<int>(functions_.size()) - 1;
  }
  modified_ = true;
  return true;
}

}  // namespace vireon
