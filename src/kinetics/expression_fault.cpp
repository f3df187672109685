#include "kinetics/expression_fault.h"

#include <vector>

#include "kinetics/expression_scanner.h"

namespace vireon {

namespace {

bool IsAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string ArgumentCountReason(const CallFunction& call) {
  const std::string name(call.text);
  const auto count = [](int n) {
    return std::to_string(n) + (n == 1 ? " argument" : " arguments");
  };
  if (call.maximumArguments == kAnyArgumentCount) {
    return name + " takes at least " + count(call.minimumArguments);
  }
  if (call.maximumArguments == call.minimumArguments) {
    return name + " takes " + count(call.minimumArguments);
  }
  return name + " takes " + std::to_string(call.minimumArguments) + " to " +
         count(call.maximumArguments);
}

std::string LinkReason(LinkFault fault, const ExpressionNode& node, std::string_view token,
                       bool atRoot) {
  switch (fault) {
    case LinkFault::kNone:
      return "";
    case LinkFault::kEmpty:
      return "the expression is empty";
    case LinkFault::kMissingOperand:
      if (atRoot) return "an expression cannot begin with " + Quoted(token);
      return "an operand is missing after " + Quoted(token);
    case LinkFault::kMissingOperator:
      return "an operator is missing before " + Quoted(token);
    case LinkFault::kUnclosedParenthesis:
      return "no \")\" closes this \"(\" where its expression ends";
    case LinkFault::kMisplacedParenthesis:
      return "a parenthesis cannot stand here";
    case LinkFault::kMisplacedComma:
      return "a comma stands only between the arguments of a function";
    case LinkFault::kArgumentCount: {
      const CallFunction* call = FindCallFunction(node.code);
      return call != nullptr ? ArgumentCountReason(*call) : "wrong number of arguments";
    }
    case LinkFault::kTooDeep:
      return "nested more than " + std::to_string(kMaxExpressionDepth) + " levels deep";
  }
  return "";
}

}  // namespace

std::optional<SyntaxFault> FindExpressionFault(std::string_view text,
                                               const ExpressionDialect& dialect) {
  std::vector<ExpressionNode> nodes;
  std::size_t invalidOffset = 0;
  if (!BuildExpressionNodes(text, dialect, nodes, &invalidOffset)) {
    const char c = invalidOffset < text.size() ? text[invalidOffset] : ' ';
    if (IsAlphanumeric(c)) return SyntaxFault{invalidOffset, "names here are single letters"};
    return SyntaxFault{invalidOffset, Quoted(text.substr(invalidOffset, 1)) +
                                          " is not part of an expression"};
  }
  const LinkResult link = LinkExpressionTree(nodes, dialect);
  if (link.errors == 0) return std::nullopt;
  // Node i is token i - 1 of the scan.
  const TokenScan scan = ScanExpression(text, dialect);
  const int position = link.firstErrorPosition;
  const bool atRoot = position <= 0;
  const std::size_t token = atRoot ? 0 : static_cast<std::size_t>(position) - 1;
  if (token >= scan.tokens.size()) {
    return SyntaxFault{text.size(), LinkReason(link.fault, ExpressionNode{}, "", atRoot)};
  }
  const Token& at = scan.tokens[token];
  const ExpressionNode& node =
      atRoot ? ExpressionNode{} : nodes[static_cast<std::size_t>(position)];
  // An operator whose right operand is a parenthesis taken as an operator
  // ("1+a(b)" where a name cannot be called): the fault is that parenthesis.
  if (link.fault == LinkFault::kMisplacedParenthesis && node.kind == node_kind::kOperator &&
      node.right > 0 && static_cast<std::size_t>(node.right) <= scan.tokens.size() &&
      nodes[static_cast<std::size_t>(node.right)].IsOperator(node_code::kOpen)) {
    const Token& open = scan.tokens[static_cast<std::size_t>(node.right) - 1];
    return SyntaxFault{open.offset, "an operator is missing before \"(\""};
  }
  return SyntaxFault{at.offset, LinkReason(link.fault, node, at.text, atRoot)};
}

std::string ExpressionFaultMessage(std::string_view text, const ExpressionDialect& dialect) {
  const std::optional<SyntaxFault> fault = FindExpressionFault(text, dialect);
  return fault ? DescribeSyntaxFault(text, *fault) : std::string();
}

}  // namespace vireon
