#include "output/output_function.h"

#include <algorithm>

#include "scan/random.h"

namespace vireon {

namespace {

// Symbols get their values from their items, and the random factors from
// the generator.
class OutputFunctionBindings : public ExpressionBindings {
 public:
  OutputFunctionBindings(const std::vector<OutputItem>& items, RandomGenerator& random)
      : items_(items), random_(random) {}

  double SymbolValue(const ExpressionNode& node) override {
    if (node.kind != node_kind::kSymbol || node.index < 0 ||
        node.index >= static_cast<int>(items_.size())) {
      return 0.0;
    }
    return items_[node.index].Value();
  }

  double FunctionValue(char code, double operand) override {
    switch (code) {
      case node_code::kRand:
        return random_.Uniform() * operand;
      case node_code::kGauss:
      case node_code::kBoltz:
        return random_.Normal() * operand;
      default:
        return 0.0;
    }
  }

 private:
  const std::vector<OutputItem>& items_;
  RandomGenerator& random_;
};

std::string WithoutLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') result += c;
  }
  return result;
}

}  // namespace

OutputFunction::OutputFunction(std::string name, std::string_view description)
    : name_(std::move(name)), description_(WithoutLineBreaks(description)) {}

void OutputFunction::set_description(std::string_view text) {
  description_ = WithoutLineBreaks(text);
}

int OutputFunction::Parse() {
  nodes_.clear();
  items_.clear();
  const ExpressionDialect& dialect = OutputExpressionDialect();
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(description_, dialect, nodes)) return 1;
  const LinkResult linked = LinkExpressionTree(nodes, dialect);
  if (linked.errors != 0) return linked.errors;
  nodes_ = std::move(nodes);
  AssignItems();
  return 0;
}

void OutputFunction::AssignItems() {
  std::vector<char> seen;
  items_.clear();
  for (ExpressionNode& node : nodes_) {
    if (node.kind != node_kind::kSymbol) continue;
    auto it = std::find(seen.begin(), seen.end(), node.code);
    if (it == seen.end()) {
      seen.push_back(node.code);
      items_.emplace_back();
      node.index = static_cast<int>(items_.size()) - 1;
    } else {
      node.index = static_cast<int>(it - seen.begin());
    }
  }
}

double OutputFunction::Evaluate(RandomGenerator& random) {
  OutputFunctionBindings bindings(items_, random);
  if (nodes_.empty()) {
    value_ = 0.0;
  } else if (nodes_[0].kind == node_kind::kRoot) {
    value_ = EvaluateExpression(nodes_, bindings);
  } else if (nodes_[0].kind == node_kind::kNumber) {
    value_ = nodes_[0].value;
  } else {
    value_ = bindings.SymbolValue(nodes_[0]);
  }
  return value_;
}

std::vector<char> OutputFunction::letters() const {
  std::vector<char> result(items_.size(), '\0');
  for (const ExpressionNode& node : nodes_) {
    if (node.kind == node_kind::kSymbol && node.index >= 0 &&
        node.index < static_cast<int>(result.size()) && result[node.index] == '\0') {
      result[node.index] = node.code;
    }
  }
  return result;
}

OutputItem* OutputFunction::ItemOf(char letter) {
  for (const ExpressionNode& node : nodes_) {
    if (node.kind == node_kind::kSymbol && node.code == letter && node.index >= 0 &&
        node.index < static_cast<int>(items_.size())) {
      return &items_[node.index];
    }
  }
  return nullptr;
}

bool OutputFunction::operator==(const OutputFunction& other) const {
  if (name_ != other.name_ || description_ != other.description_ ||
      nodes_.size() != other.nodes_.size() || items_ != other.items_) {
    return false;
  }
  for (std::size_t k = 0; k < nodes_.size(); ++k) {
    const ExpressionNode& a = nodes_[k];
    const ExpressionNode& b = other.nodes_[k];
    if (a.kind != b.kind || a.code != b.code || a.index != b.index ||
        (a.kind == node_kind::kNumber && a.value != b.value)) {
      return false;
    }
  }
  return true;
}

void EvaluateOutputFunctions(std::vector<OutputFunction>& functions, RandomGenerator& random) {
  for (OutputFunction& function : functions) function.Evaluate(random);
}

double* FindOutputFunctionValue(std::vector<OutputFunction>& functions, std::string_view name) {
  for (OutputFunction& function : functions) {
    if (function.name() == name) return function.valuePointer();
  }
  return nullptr;
}

}  // namespace vireon
