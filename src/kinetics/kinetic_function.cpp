#include "kinetics/kinetic_function.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>
#include <unordered_map>
#include <unordered_set>

#include "kinetics/expression.h"
#include "kinetics/expression_record.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"

namespace vireon {

namespace {

std::string WithoutLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') result.push_back(c);
  }
  return result;
}

char KindOfRole(SymbolRole role) {
  switch (role) {
    case SymbolRole::kSubstrate:
      return node_kind::kSubstrate;
    case SymbolRole::kProduct:
      return node_kind::kProduct;
    case SymbolRole::kModifier:
      return node_kind::kModifier;
    case SymbolRole::kConstant:
      return node_kind::kConstant;
  }
  return 0;
}

// The role a bound node's kind stands for; an unbound symbol reads as a
// constant.
int RoleOfKind(char kind) {
  switch (kind) {
    case node_kind::kSubstrate:
      return static_cast<int>(SymbolRole::kSubstrate);
    case node_kind::kProduct:
      return static_cast<int>(SymbolRole::kProduct);
    case node_kind::kModifier:
      return static_cast<int>(SymbolRole::kModifier);
    default:
      return static_cast<int>(SymbolRole::kConstant);
  }
}

// Symbols of a rate law read the step they are evaluated for: the i-th
// substrate symbol is the step's i-th substrate, and so on.
class StepBindings : public ExpressionBindings {
 public:
  StepBindings(const Model& model, std::span<const double> x, const Step& step)
      : model_(model), x_(x), step_(step) {}

  double SymbolValue(const ExpressionNode& node) override {
    switch (node.kind) {
      case node_kind::kSubstrate:
        return Concentration(step_.substrates, node.index);
      case node_kind::kProduct:
        return Concentration(step_.products, node.index);
      case node_kind::kModifier:
        return Concentration(step_.modifiers, node.index);
      case node_kind::kConstant:
        if (node.index < 0 || node.index >= step_.ConstantCount()) return 0.0;
        return step_.constants[node.index];
      default:
        return 0.0;
    }
  }

 private:
  // Amount over the volume of the metabolite's compartment; 0 for an entry
  // the step does not have or a metabolite that does not exist.
  double Concentration(const std::vector<int>& metabolites, int index) const {
    if (index < 0 || index >= static_cast<int>(metabolites.size())) return 0.0;
    int metabolite = metabolites[index];
    if (metabolite < 0 || metabolite >= model_.nMetabolites() ||
        metabolite >= static_cast<int>(model_.metabolitePosition.size()) ||
        model_.nCompartments() < 1) {
      return 0.0;
    }
    int position = model_.metabolitePosition[metabolite];
    if (position < 0 || position >= static_cast<int>(x_.size())) return 0.0;
    return x_[position] / model_.VolumeOf(metabolite);
  }

  const Model& model_;
  std::span<const double> x_;
  const Step& step_;
};

// Whether two node lists are the same expression: the same tokens in the
// same order (and so the same tree), a symbol's role and index aside, a
// number as the record's "%le" writes it.
bool SameTokens(const std::vector<ExpressionNode>& a, const std::vector<ExpressionNode>& b,
                const ExpressionDialect& dialect) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const ExpressionNode& x = a[i];
    const ExpressionNode& y = b[i];
    const bool symbols = dialect.IsSymbolKind(x.kind) && dialect.IsSymbolKind(y.kind);
    if (!symbols && x.kind != y.kind) return false;
    if (x.code != y.code || x.left != y.left || x.right != y.right) return false;
    if (symbols && x.name != y.name) return false;
    if (x.kind == node_kind::kNumber &&
        FormatExpressionNumber(x.value) != FormatExpressionNumber(y.value)) {
      return false;
    }
  }
  return true;
}

// The spelling of a function node: a function name, a call function's name
// or a prefix sign; empty for a code the dialect does not know.
std::string_view FunctionText(char code, const ExpressionDialect& dialect) {
  for (const FunctionSpelling& spelling : dialect.functions) {
    if (spelling.code == code) return spelling.text;
  }
  for (const CallFunction& call : dialect.callFunctions) {
    if (call.code == code) return call.text;
  }
  if (code == node_code::kPlus) return "+";
  if (code == node_code::kMinus) return "-";
  return {};
}

// The nodes of `text`, linked, or nothing when it does not parse.
std::optional<std::vector<ExpressionNode>> ParsedNodes(std::string_view text,
                                                       const ExpressionDialect& dialect) {
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(text, dialect, nodes)) return std::nullopt;
  if (LinkExpressionTree(nodes, dialect).errors != 0) return std::nullopt;
  return nodes;
}

}  // namespace

KineticFunction::KineticFunction() = default;

KineticFunction::KineticFunction(std::string name, std::string description)
    : name_(std::move(name)), description_(WithoutLineBreaks(description)) {}

KineticFunction::KineticFunction(const KineticFunction& other) = default;
KineticFunction::KineticFunction(KineticFunction&& other) noexcept = default;
KineticFunction& KineticFunction::operator=(const KineticFunction& other) = default;
KineticFunction& KineticFunction::operator=(KineticFunction&& other) noexcept = default;
KineticFunction::~KineticFunction() = default;

void KineticFunction::set_description(std::string_view text) {
  description_ = WithoutLineBreaks(text);
}

int KineticFunction::ParseKineticFunction() {
  ResetBindings();
  const ExpressionDialect& dialect = KineticExpressionDialect();
  if (!BuildExpressionNodes(description_, dialect, nodes_)) return 1;
  LinkResult link = LinkExpressionTree(nodes_, dialect);
  if (link.errors != 0) nodes_.clear();
  return link.errors;
}

void KineticFunction::ResetBindings() {
  substrateCount_ = 0;
  productCount_ = 0;
  modifierNames_.clear();
  constantNames_.clear();
}

int KineticFunction::TakeIndex(std::string_view name, SymbolRole role) {
  switch (role) {
    case SymbolRole::kSubstrate:
      return substrateCount_++;
    case SymbolRole::kProduct:
      return productCount_++;
    case SymbolRole::kModifier:
      modifierNames_.emplace_back(name);
      return ModifierCount() - 1;
    case SymbolRole::kConstant:
      constantNames_.emplace_back(name);
      return ConstantCount() - 1;
  }
  return 0;
}

void KineticFunction::BindSymbol(std::string_view name, SymbolRole role) {
  char kind = KindOfRole(role);
  if (kind == 0) return;
  const int index = TakeIndex(name, role);
  const ExpressionDialect& dialect = KineticExpressionDialect();
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    ExpressionNode& node = nodes_[i];
    if (dialect.IsSymbolKind(node.kind) && node.name == name) {
      node.kind = kind;
      node.index = index;
    }
  }
}

void KineticFunction::BindSymbols(std::span<const std::pair<std::string, SymbolRole>> bindings) {
  // Every bound kind is a symbol kind, so a name bound twice ends with its
  // last binding, as it would one BindSymbol after another.
  std::unordered_map<std::string_view, std::pair<char, int>> bound;
  bound.reserve(bindings.size());
  for (const auto& [name, role] : bindings) {
    const char kind = KindOfRole(role);
    if (kind == 0) continue;
    bound[name] = {kind, TakeIndex(name, role)};
  }
  const ExpressionDialect& dialect = KineticExpressionDialect();
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    ExpressionNode& node = nodes_[i];
    if (!dialect.IsSymbolKind(node.kind)) continue;
    if (const auto found = bound.find(node.name); found != bound.end()) {
      node.kind = found->second.first;
      node.index = found->second.second;
    }
  }
}

std::vector<std::pair<std::string, int>> KineticFunction::SymbolRoles() const {
  const ExpressionDialect& dialect = KineticExpressionDialect();
  std::vector<std::pair<std::string, int>> roles;
  std::unordered_set<std::string_view> seen;
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    const ExpressionNode& node = nodes_[i];
    if (dialect.IsSymbolKind(node.kind) && seen.insert(node.name).second) {
      roles.emplace_back(node.name, RoleOfKind(node.kind));
    }
  }
  return roles;
}

std::vector<std::string> KineticFunction::SymbolNames() const {
  const ExpressionDialect& dialect = KineticExpressionDialect();
  std::vector<std::string> names;
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    const ExpressionNode& node = nodes_[i];
    if (dialect.IsSymbolKind(node.kind) &&
        std::find(names.begin(), names.end(), node.name) == names.end()) {
      names.push_back(node.name);
    }
  }
  return names;
}

int KineticFunction::RoleOfSymbol(std::string_view name) const {
  int position = PositionOfSymbol(name);
  if (position == kNoSymbol) return kNoSymbol;
  return RoleOfKind(nodes_[position].kind);
}

int KineticFunction::PositionOfSymbol(std::string_view name) const {
  const ExpressionDialect& dialect = KineticExpressionDialect();
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    if (dialect.IsSymbolKind(nodes_[i].kind) && nodes_[i].name == name) {
      return static_cast<int>(i);
    }
  }
  return kNoSymbol;
}

double KineticFunction::EvaluateKineticFunction(const Model& model, std::span<const double> x,
                                                int step) const {
  if (step < 0 || step >= model.nSteps()) return 0.0;
  StepBindings bindings(model, x, model.steps[step]);
  return EvaluateExpression(nodes_, bindings);
}

int KineticFunction::NodeCount() const {
  return static_cast<int>(nodes_.size());
}

std::string KineticFunction::ModifierName(int i) const {
  if (i < 0 || i >= ModifierCount()) return std::string();
  return modifierNames_[i];
}

std::string KineticFunction::ConstantName(int i) const {
  if (i < 0 || i >= ConstantCount()) return std::string();
  return constantNames_[i];
}

void KineticFunction::WriteRecord(std::ostream& out) const {
  // A line break inside the name would end the line early and shift every
  // line after it, so the name is written on one line like the description.
  out << "FunctionName=" << WithoutLineBreaks(name_) << '\n';
  out << "Description=" << description_ << '\n';
  WriteExpressionNodes(out, nodes_, KineticExpressionDialect(), IndexAndNameRecord());
}

bool KineticFunction::ReadRecord(RecordCursor& cursor, MessageSink& sink) {
  int recordLine = cursor.lineNumber();
  std::optional<std::string> name = ReadStringLine(cursor, sink);
  if (!name) return false;
  std::optional<std::string> description = ReadStringLine(cursor, sink);
  if (!description) return false;
  const ExpressionDialect& dialect = KineticExpressionDialect();
  IndexAndNameRecord symbols;
  std::vector<ExpressionNode> nodes;
  if (!ReadExpressionNodes(cursor, sink, dialect, symbols, nodes)) return false;
  if (!LinkReadExpression(nodes, dialect, recordLine, sink)) return false;
  name_ = std::move(*name);
  description_ = std::move(*description);
  nodes_ = std::move(nodes);
  ResetBindings();
  return true;
}

bool KineticFunction::DescriptionMatchesNodes() const {
  const ExpressionDialect& dialect = KineticExpressionDialect();
  std::optional<std::vector<ExpressionNode>> parsed = ParsedNodes(description_, dialect);
  return parsed && SameTokens(*parsed, nodes_, dialect);
}

std::optional<std::string> KineticFunction::TextOfNodes() const {
  const ExpressionDialect& dialect = KineticExpressionDialect();
  std::string text;
  // A word (a symbol, a number, a function name) is kept apart from the one
  // before it, so that two words never read back as one.
  bool lastWasWord = false;
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    const ExpressionNode& node = nodes_[i];
    std::string token;
    bool word = true;
    if (node.kind == node_kind::kNumber) {
      if (!std::isfinite(node.value) || std::signbit(node.value)) return std::nullopt;
      char buffer[64];
      auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, node.value);
      if (error != std::errc()) return std::nullopt;
      token.assign(buffer, end);
    } else if (dialect.IsSymbolKind(node.kind)) {
      token = node.name;
    } else if (node.kind == node_kind::kFunction) {
      token = FunctionText(node.code, dialect);
      word = node.code != node_code::kPlus && node.code != node_code::kMinus;
    } else if (node.kind == node_kind::kOperator) {
      token.assign(1, node.code);
      word = false;
    } else {
      return std::nullopt;
    }
    if (token.empty()) return std::nullopt;
    if (word && lastWasWord) text += ' ';
    text += token;
    lastWasWord = word;
  }
  std::optional<std::vector<ExpressionNode>> parsed = ParsedNodes(text, dialect);
  if (!parsed || !SameTokens(*parsed, nodes_, dialect)) return std::nullopt;
  return text;
}

}  // namespace vireon
