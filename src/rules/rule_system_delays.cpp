// The delays of the rules: delay(x, tau) read at time 0, before it and
// during a time course.
//
// A delayed read at time t - tau, in the order it is decided:
//  1. tau is evaluated now; a length that is no finite number at least 0
//     is a problem of the run (reported once, the value not a number);
//  2. without a history (a steady state) or for tau = 0 the value is x now;
//  3. before time 0 (t - tau < 0) x is evaluated in a scratch copy of the
//     values of time 0 in which every initial value that an expression
//     gives (an initial assignment, an assignment rule) was computed again
//     at the time t - tau: a quantity fixed after time 0 but given by
//     sin(time), say, has its history before time 0;
//  4. from time 0 on, the history of the time course gives x.
// An initial value that reads a delay itself is not computed again before
// time 0 (it would read further back without end): it keeps its value of
// time 0 there. Delays of delays before time 0 nest up to
// kMaxDelayNesting deep.

#include <cmath>
#include <limits>
#include <string>

#include "rules/delay_history.h"
#include "rules/rule_system.h"

namespace vireon {

namespace {

// Nesting of delays read before time 0, each in a scratch model of its own.
constexpr int kMaxDelayNesting = 16;

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

bool IsDelay(const ExpressionNode& node) {
  return node.kind == node_kind::kFunction && node.code == node_code::kDelay;
}

std::string LengthProblem(double tau, double time) {
  return "A delay is given the length " + std::to_string(tau) + " at time " + std::to_string(time) +
         ": the length of a delay must be a finite number not below 0.";
}

// Calls visit(position) for every node of the subtree at `position`.
template <class Visit>
void VisitSubtree(const std::vector<ExpressionNode>& nodes, int position, Visit visit,
                  int depth = 0) {
  if (position <= 0 || position >= static_cast<int>(nodes.size()) ||
      depth > 2 * kMaxExpressionDepth)
    return;
  visit(position);
  const ExpressionNode& node = nodes[static_cast<std::size_t>(position)];
  VisitSubtree(nodes, node.left, visit, depth + 1);
  VisitSubtree(nodes, node.right, visit, depth + 1);
}

}  // namespace

bool RuleSystem::HasDelay(const RuleExpression& expression) {
  for (const ExpressionNode& node : expression.nodes) {
    if (IsDelay(node)) return true;
  }
  return false;
}

void RuleSystem::FindDelays() {
  hasDelays_ = false;
  for (const std::vector<BoundRule>* rules :
       {&initial_, &lateInitial_, &assignments_, &late_, &rates_, &algebraic_, &lateAlgebraic_}) {
    for (const BoundRule& rule : *rules) hasDelays_ = hasDelays_ || HasDelay(rule.expression);
  }
  initialHasDelay_.clear();
  for (const BoundRule& rule : initial_) initialHasDelay_.push_back(HasDelay(rule.expression));
}

bool RuleSystem::ConstantDuringTimeCourse(const RuleExpression& expression, int position) const {
  bool constant = true;
  VisitSubtree(expression.nodes, position, [&](int p) {
    const ExpressionNode& node = expression.nodes[static_cast<std::size_t>(p)];
    if (IsDelay(node)) constant = false;
    if (node.kind != node_kind::kSymbol) return;
    if (node.index < 0 || static_cast<std::size_t>(node.index) >= expression.symbols.size()) return;
    const RuleSymbol& symbol = expression.symbols[static_cast<std::size_t>(node.index)];
    const auto s = static_cast<std::size_t>(symbol.index);
    if (symbol.rate) {
      constant = false;
      return;
    }
    switch (symbol.kind) {
      case RuleSymbol::Kind::kConstant:
        break;
      case RuleSymbol::Kind::kGlobalQuantity:
        if (s >= quantityChanges_.size() || quantityChanges_[s]) constant = false;
        break;
      case RuleSymbol::Kind::kCompartmentVolume:
        if (s >= volumeChanges_.size() || volumeChanges_[s]) constant = false;
        break;
      case RuleSymbol::Kind::kMetabolite:
      case RuleSymbol::Kind::kTime:
        constant = false;
        break;
    }
  });
  return constant;
}

void RuleSystem::RegisterDelays(const RuleExpression& expression, DelayHistory& history) const {
  for (int i = 1; i < static_cast<int>(expression.nodes.size()); ++i) {
    if (!IsDelay(expression.nodes[static_cast<std::size_t>(i)])) continue;
    const std::vector<int> arguments = CallArguments(expression.nodes, i);
    const bool constant =
        arguments.size() == 2 && ConstantDuringTimeCourse(expression, arguments[1]);
    history.Register(expression, i, constant);
  }
}

void RuleSystem::RegisterDelays(DelayHistory& history) const {
  for (const std::vector<BoundRule>* rules : {&assignments_, &late_, &rates_, &algebraic_, &lateAlgebraic_}) {
    for (const BoundRule& rule : *rules) RegisterDelays(rule.expression, history);
  }
}

double RuleSystem::DelayedValue(const RuleExpression& expression, int call, int argument,
                                int tauNode, const RuleQuantities& q) const {
  const double tau = NodeValue(expression, tauNode, q);
  if (history_ == nullptr) return NodeValue(expression, argument, q);
  if (!(tau >= 0.0) || !std::isfinite(tau)) {
    history_->Fail(LengthProblem(tau, q.time));
    return kNotANumber;
  }
  if (tau == 0.0) return NodeValue(expression, argument, q);
  const double t = q.time - tau;
  if (t < 0.0 || history_->empty() || t < history_->start()) {
    return ValueBeforeStart(expression, argument, t, nullptr);
  }
  const int slot = history_->SlotOf(&expression.nodes[static_cast<std::size_t>(call)]);
  if (slot < 0) return NodeValue(expression, argument, q);
  return history_->Value(slot, t);
}

double RuleSystem::DelayedValueAtStart(const RuleExpression& expression, int, int argument,
                                       int tauNode, const Model& model) const {
  const double tau = NodeValueAtStart(expression, tauNode, model);
  if (!(tau >= 0.0) || !std::isfinite(tau)) {
    if (startProblem_.empty()) startProblem_ = LengthProblem(tau, startTime_);
    return kNotANumber;
  }
  if (tau == 0.0) return NodeValueAtStart(expression, argument, model);
  return ValueBeforeStart(expression, argument, startTime_ - tau, &model);
}

double RuleSystem::ValueBeforeStart(const RuleExpression& expression, int argument, double t,
                                    const Model* from) const {
  const Model* source = from != nullptr ? from : startValues_.get();
  if (source == nullptr) return kNotANumber;
  if (startDepth_ >= kMaxDelayNesting) {
    const std::string problem = "Delays of delays nest more than " +
                                std::to_string(kMaxDelayNesting) +
                                " deep before time 0: their values there are not computed.";
    if (history_ != nullptr) history_->Fail(problem);
    if (startProblem_.empty()) startProblem_ = problem;
    return kNotANumber;
  }
  const auto depth = static_cast<std::size_t>(startDepth_);
  if (beforeStart_.size() <= depth) beforeStart_.resize(depth + 1);
  if (!beforeStart_[depth]) beforeStart_[depth] = std::make_unique<Model>(*source);
  Model& scratch = *beforeStart_[depth];
  const double savedTime = startTime_;
  ++startDepth_;
  startTime_ = t;
  for (std::size_t i = 0; i < initial_.size(); ++i) {
    const BoundRule& rule = initial_[i];
    if (initialHasDelay_[i] || rule.target.kind == RuleTargetKind::kStoichiometry) continue;
    ModelValueOf(rule.target, scratch) = EvaluateAtStart(rule.expression, scratch);
  }
  const double value = NodeValueAtStart(expression, argument, scratch);
  startTime_ = savedTime;
  --startDepth_;
  return value;
}

void RuleSystem::KeepStartValues(const Model& model) {
  startValues_ = std::make_unique<Model>(model);
  beforeStart_.clear();
}

}  // namespace vireon
