#include "model/solver_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "model/number_text.h"

namespace vireon {
namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kLargestInt = std::numeric_limits<int>::max();

// The ranges, in the enumeration's order. The orders are those LSODA
// implements; a Newton search needs two iterations to tell whether it
// converges; a derivation factor beyond a quarter of a value is no longer a
// local derivative, one below 1e-5 drowns in rounding.
struct OptionRule {
  SolverOption option;
  const char* name;
  SolverOptionRange range;
};
constexpr OptionRule kRules[] = {
    {SolverOption::kRelativeTolerance, "The relative tolerance", {0.0, kLargest, false}},
    {SolverOption::kAbsoluteTolerance, "The absolute tolerance", {0.0, kLargest, false}},
    {SolverOption::kAdamsMaxOrder, "The Adams order", {1.0, 12.0, true}},
    {SolverOption::kBdfMaxOrder, "The BDF order", {1.0, 5.0, true}},
    {SolverOption::kDerivationFactor, "The derivation factor", {0.00001, 0.25, false}},
    {SolverOption::kSteadyStateResolution, "The steady-state resolution", {0.0, kLargest, false}},
    {SolverOption::kNewtonLimit, "The Newton limit", {2.0, kLargestInt, true}},
    {SolverOption::kSteadyStateStrategy, "The steady-state strategy", {0.0, 3.0, true}},
};

const OptionRule* RuleOf(SolverOption option) {
  for (const OptionRule& rule : kRules) {
    if (rule.option == option) return &rule;
  }
  return nullptr;
}

// The ends as a person reads them: 15 significant digits, as the forms show.
constexpr int kShownDigits = 15;

}  // namespace

SolverOptionRange SolverOptionLimits(SolverOption option) {
  const OptionRule* rule = RuleOf(option);
  return rule != nullptr ? rule->range : SolverOptionRange{1.0, 0.0, false};
}

SolverOptionsCheck CheckSolverOption(SolverOption option, double value) {
  const OptionRule* rule = RuleOf(option);
  if (rule == nullptr) return {};
  const SolverOptionRange& range = rule->range;
  // Written so that NaN fails.
  const bool inRange = value >= range.low && value <= range.high;
  if (inRange && (!range.integer || value == std::floor(value))) return {};
  return {option, std::string(rule->name) + " must be " +
                      (range.integer ? "an integer" : "a number") + " from " +
                      RealText(range.low, kShownDigits) + " to " +
                      RealText(range.high, kShownDigits) + "."};
}

double SolverOptions::Value(SolverOption option) const {
  switch (option) {
    case SolverOption::kNone: break;
    case SolverOption::kRelativeTolerance: return relativeTolerance;
    case SolverOption::kAbsoluteTolerance: return absoluteTolerance;
    case SolverOption::kAdamsMaxOrder: return adamsMaxOrder;
    case SolverOption::kBdfMaxOrder: return bdfMaxOrder;
    case SolverOption::kDerivationFactor: return derivationFactor;
    case SolverOption::kSteadyStateResolution: return steadyStateResolution;
    case SolverOption::kNewtonLimit: return newtonLimit;
    case SolverOption::kSteadyStateStrategy: return static_cast<int>(steadyStateStrategy);
  }
  return 0.0;
}

SolverOptionsCheck SolverOptions::Check() const {
  for (const OptionRule& rule : kRules) {
    SolverOptionsCheck check = CheckSolverOption(rule.option, Value(rule.option));
    if (!check.ok()) return check;
  }
  return {};
}

const char* IntegratorName(Integrator integrator) {
  return integrator == Integrator::kCvode ? "CVODE" : "LSODA";
}

std::optional<Integrator> IntegratorNamed(std::string_view name) {
  const auto is = [name](std::string_view word) {
    return std::equal(name.begin(), name.end(), word.begin(), word.end(), [](char a, char b) {
      return std::toupper(static_cast<unsigned char>(a)) == b;
    });
  };
  if (is("LSODA")) return Integrator::kLsoda;
  if (is("CVODE")) return Integrator::kCvode;
  return std::nullopt;
}

}  // namespace vireon
