#pragma once
// The numerical methods' options that travel with a model and start from
// the user's default values: the integrator's tolerances and orders, the
// steady-state search and the finite differences. One check says which
// values each option may take; the model file, the "Numerical Methods" and
// the "Default values" forms all ask it, so a value one of them accepts is
// never refused by another (a default accepted by its form survives a model
// saved and read back).

#include <optional>
#include <string>
#include <string_view>

namespace vireon {

// The integrator of the time course and of the steady state's integration:
// LSODA (the default), or CVODE's backward differentiation formulas for
// large stiff networks. A model file names CVODE only when it is chosen.
enum class Integrator : int {
  kLsoda = 0,
  kCvode = 1,
};

// "LSODA" or "CVODE".
const char* IntegratorName(Integrator integrator);
// The integrator of a name, in any case ("cvode", "CVODE"); none for another.
std::optional<Integrator> IntegratorNamed(std::string_view name);

// Steady-state strategies, numbered as the model file stores them. A file
// may hold another number: it is kept as it is (and written back), and the
// search then tries only the backward integration.
enum class SteadyStateStrategy : int {
  kNewtonThenIntegration = 0,  // "Newton+integration"
  kIntegrationOnly = 1,        // "Integration only"
  kNewtonOnly = 2,             // "Newton only"
  kBackwardIntegration = 3,    // "Backward integration"
};

// The options, one enumerator each, in the order the check takes them.
enum class SolverOption {
  kNone,
  kRelativeTolerance,
  kAbsoluteTolerance,
  kAdamsMaxOrder,
  kBdfMaxOrder,
  kDerivationFactor,
  kSteadyStateResolution,
  kNewtonLimit,
  kSteadyStateStrategy,
};

// Which option is wrong and why; kNone when all are good.
struct SolverOptionsCheck {
  SolverOption field = SolverOption::kNone;
  std::string message;

  bool ok() const { return field == SolverOption::kNone; }
};

// The values an option may take, both ends included. The integer options
// (orders, Newton limit, strategy) take only whole numbers within them.
struct SolverOptionRange {
  double low;
  double high;
  bool integer;
};

// The range of `option` (kNone has none: an empty range).
SolverOptionRange SolverOptionLimits(SolverOption option);

// Whether `value` is one `option` may take: within its range, a whole
// number for the integer options, never NaN. The message names the option
// and its range.
SolverOptionsCheck CheckSolverOption(SolverOption option, double value);

struct SolverOptions {
  // Integrator (LSODA).
  double relativeTolerance = 1e-6;   // 0 to the largest finite double
  double absoluteTolerance = 1e-12;  // 0 to the largest finite double
  int adamsMaxOrder = 12;            // 1 to 12
  int bdfMaxOrder = 5;               // 1 to 5
  // Relative increment of the finite-difference derivatives, 0.00001 to
  // 0.25 (forms show it in percent, 0.001 to 25).
  double derivationFactor = 0.001;
  // The integrator's Jacobian from the rate laws' own derivatives (1)
  // instead of differences of the whole right-hand side (0). The model
  // file holds it only when it is on.
  int analyticJacobian = 0;
  // Large sparse iteration matrices factored by a sparse LU with its own
  // pivoting (1) or by the dense elimination (0); held only when on.
  int sparseFactorisation = 0;
  // Steady state.
  double steadyStateResolution = 1e-9;  // 0 to the largest finite double; file key "SSResoltion"
  int newtonLimit = 50;                 // most Newton iterations, at least 2
  SteadyStateStrategy steadyStateStrategy = SteadyStateStrategy::kNewtonThenIntegration;
  int backIntegration = 0;  // integrate backwards when all else fails
  Integrator integrator = Integrator::kLsoda;

  // The value of `option` (the strategy as its code).
  double Value(SolverOption option) const;

  // Every option in the enumeration's order: the first that is wrong, with
  // its message, or ok. A model file keeps a strategy of another code as it
  // is, so a document's options may fail here on the strategy alone.
  SolverOptionsCheck Check() const;

  bool operator==(const SolverOptions&) const = default;
};

}  // namespace vireon
