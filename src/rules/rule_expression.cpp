#include "rules/rule_expression.h"

#include <unordered_map>

#include "kinetics/expression_scanner.h"
#include "model/model_name_index.h"

namespace vireon {

namespace {

// Characters are counted from 1 for the user.
std::string At(std::size_t offset) {
  return "at character " + std::to_string(offset + 1);
}

ExpressionProblem SyntaxError(std::size_t offset) {
  ExpressionProblem problem;
  problem.kind = ExpressionProblem::Kind::kSyntax;
  problem.position = offset;
  problem.message = "Syntax error " + At(offset) + " of the expression.";
  return problem;
}

ExpressionProblem NameProblem(ExpressionProblem::Kind kind, std::size_t offset,
                              const std::string& name, const std::string& message) {
  ExpressionProblem problem;
  problem.kind = kind;
  problem.position = offset;
  problem.name = name;
  problem.message = message;
  return problem;
}

}  // namespace

ExpressionProblem ReadRuleExpression(std::string_view text, const ModelNameIndex& names,
                                     RuleExpression& out) {
  out = RuleExpression{};
  const ExpressionDialect& dialect = RuleExpressionDialect();
  std::vector<ExpressionNode> nodes;
  std::size_t invalidOffset = 0;
  if (!BuildExpressionNodes(text, dialect, nodes, &invalidOffset))
    return SyntaxError(invalidOffset);
  // Node i is token i - 1 of the scan, which knows where each token begins.
  const TokenScan scan = ScanExpression(text, dialect);
  const auto offsetOf = [&scan, text](int node) {
    if (node >= 1 && static_cast<std::size_t>(node) <= scan.tokens.size()) {
      return scan.tokens[static_cast<std::size_t>(node) - 1].offset;
    }
    return node == 0 && !scan.tokens.empty() ? scan.tokens.front().offset : text.size();
  };
  const LinkResult link = LinkExpressionTree(nodes, dialect);
  if (link.errors != 0) return SyntaxError(offsetOf(link.firstErrorPosition));

  // The argument of rateOf must be a name, and it names a rate.
  std::vector<char> rateArgument(nodes.size(), 0);
  for (int i = 1; i < static_cast<int>(nodes.size()); ++i) {
    const ExpressionNode& node = nodes[static_cast<std::size_t>(i)];
    if (node.kind != node_kind::kFunction || node.code != node_code::kRateOf) continue;
    const int argument = node.left;
    if (argument <= 0 || argument >= static_cast<int>(nodes.size()) ||
        nodes[static_cast<std::size_t>(argument)].kind != node_kind::kSymbol) {
      return NameProblem(ExpressionProblem::Kind::kSyntax, offsetOf(i), "rateOf",
                         "rateOf " + At(offsetOf(i)) +
                             " takes the name of a metabolite, compartment or global quantity.");
    }
    rateArgument[static_cast<std::size_t>(argument)] = 1;
  }

  // A delay's length written as a number must not be below 0.
  for (int i = 1; i < static_cast<int>(nodes.size()); ++i) {
    const ExpressionNode& node = nodes[static_cast<std::size_t>(i)];
    if (node.kind != node_kind::kFunction || node.code != node_code::kDelay) continue;
    const std::vector<int> arguments = CallArguments(nodes, i);
    if (arguments.size() != 2 || arguments[1] <= 0) continue;
    const ExpressionNode& tau = nodes[static_cast<std::size_t>(arguments[1])];
    const bool negated = tau.kind == node_kind::kFunction && tau.code == node_code::kMinus &&
                         tau.left > 0 &&
                         nodes[static_cast<std::size_t>(tau.left)].kind == node_kind::kNumber &&
                         nodes[static_cast<std::size_t>(tau.left)].value > 0.0;
    if (negated || (tau.kind == node_kind::kNumber && tau.value < 0.0)) {
      return NameProblem(
          ExpressionProblem::Kind::kSyntax, offsetOf(i), "delay",
          "delay " + At(offsetOf(i)) + " is given a length below 0: a delay reads the past.");
    }
  }

  std::vector<RuleSymbol> symbols;
  std::unordered_map<std::string, int> entries;
  for (int i = 1; i < static_cast<int>(nodes.size()); ++i) {
    ExpressionNode& node = nodes[static_cast<std::size_t>(i)];
    if (node.kind != node_kind::kSymbol) continue;
    const bool rate = rateArgument[static_cast<std::size_t>(i)] != 0;
    // A rate and a value of one name are two entries.
    const std::string key = rate ? "rateOf " + node.name : node.name;
    const auto known = entries.find(key);
    if (known != entries.end()) {
      node.index = known->second;
      continue;
    }
    RuleSymbol symbol;
    symbol.name = node.name;
    symbol.rate = rate;
    if (rate && (node.name == kTimeName || FindNamedConstant(node.name) != nullptr)) {
      return NameProblem(ExpressionProblem::Kind::kSyntax, offsetOf(i), node.name,
                         "rateOf " + At(offsetOf(i)) +
                             " takes the name of a metabolite, compartment or global quantity.");
    }
    if (node.name == kTimeName) {
      symbol.kind = RuleSymbol::Kind::kTime;
    } else if (const NamedConstant* constant = FindNamedConstant(node.name)) {
      symbol.kind = RuleSymbol::Kind::kConstant;
      symbol.value = constant->value;
    } else {
      const int metabolite = names.Metabolite(node.name);
      const int compartment = names.Compartment(node.name);
      const int quantity = names.GlobalQuantity(node.name);
      const int found = (metabolite >= 0) + (compartment >= 0) + (quantity >= 0);
      if (found == 0) {
        const bool step = names.Step(node.name) >= 0;
        return NameProblem(ExpressionProblem::Kind::kUnknownName, offsetOf(i), node.name,
                           node.name + " " + At(offsetOf(i)) +
                               (step ? " is a step: a rule reads metabolites, compartments, "
                                       "global quantities and time."
                                     : " is not a metabolite, compartment or global quantity "
                                       "of the model."));
      }
      if (found > 1) {
        return NameProblem(ExpressionProblem::Kind::kAmbiguousName, offsetOf(i), node.name,
                           node.name + " " + At(offsetOf(i)) +
                               " names more than one quantity of the model (a metabolite, a "
                               "compartment or a global quantity): please rename one of them.");
      }
      if (metabolite >= 0) {
        symbol.kind = RuleSymbol::Kind::kMetabolite;
        symbol.index = metabolite;
      } else if (compartment >= 0) {
        symbol.kind = RuleSymbol::Kind::kCompartmentVolume;
        symbol.index = compartment;
      } else {
        symbol.kind = RuleSymbol::Kind::kGlobalQuantity;
        symbol.index = quantity;
      }
    }
    node.index = static_cast<int>(symbols.size());
    entries.emplace(key, node.index);
    symbols.push_back(std::move(symbol));
  }
  out.nodes = std::move(nodes);
  out.symbols = std::move(symbols);
  return {};
}

bool CallsDelay(std::string_view text) {
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(text, RuleExpressionDialect(), nodes)) return false;
  if (LinkExpressionTree(nodes, RuleExpressionDialect()).errors != 0) return false;
  for (const ExpressionNode& node : nodes) {
    if (node.kind == node_kind::kFunction && node.code == node_code::kDelay) return true;
  }
  return false;
}

}  // namespace vireon
