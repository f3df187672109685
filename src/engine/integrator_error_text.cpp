#include "engine/integrator_error_text.h"

#include "model/number_text.h"

namespace vireon {

namespace {

// Significant digits of the numbers quoted in the explanations.
constexpr int kQuotedDigits = 6;

std::string Number(double value) {
  return RealText(value, kQuotedDigits);
}

std::string AtTime(const IntegratorErrorContext& context) {
  return context.starting ? "At the start of the integration" : "At time " + Number(context.time);
}

std::string Tolerances(const IntegratorErrorContext& context) {
  return "(relative " + Number(context.relativeTolerance) + ", absolute " +
         Number(context.absoluteTolerance) + ")";
}

}  // namespace

std::string ExplainIntegratorError(const IntegratorErrorContext& context) {
  switch (context.istate) {
    case -1:
      return AtTime(context) +
             " the integrator took its largest number of steps without reaching the next output "
             "point: the model changes very fast or is stiff there. Try more output points, a "
             "looser relative tolerance, or the other integrator (Methods).";
    case -2:
      return AtTime(context) +
             " the tolerances " + Tolerances(context) +
             " asked for more precision than the computer's numbers have, for concentrations of "
             "this size. Loosen the tolerances in Methods (a relative tolerance of 1e-6 and an "
             "absolute one of 1e-12 suit most models), or change the units so that the "
             "concentrations are nearer 1.";
    case -3:
      return "The integrator refused its settings " + Tolerances(context) +
             ": a tolerance that is negative, both 0 or far too small, a maximum order of the "
             "Adams or BDF method out of range, or an end time not after the start. Give the "
             "tolerances positive values (a relative tolerance of 1e-6 and an absolute one of "
             "1e-12 suit most models) and check the orders in Methods and the end time on the "
             "Tasks page.";
    case -4:
      return AtTime(context) +
             " the integrator's error test failed again and again, even with its smallest step: "
             "a rate jumps there (a discontinuity, a division by a concentration that reaches 0, "
             "a very large constant). Check the rate laws and constants of the steps involved; "
             "looser tolerances (Methods) may let the integration pass.";
    case -5:
      return AtTime(context) +
             " the integrator's corrector failed to converge again and again: the model is very "
             "stiff there or a rate is not finite (a constant of extreme size, a concentration "
             "that went negative in a logarithm or a root). Check the constants and rate laws; "
             "a smaller absolute tolerance or the other integrator (Methods) may help.";
    case -6:
      return AtTime(context) +
             " a variable's error weight became 0: a concentration reached exactly 0 while the "
             "absolute tolerance is 0 " + Tolerances(context) +
             ". Give the absolute tolerance a positive value in Methods (1e-12 suits most "
             "models).";
    default:
      return AtTime(context) + " the integrator stopped with code " +
             std::to_string(context.istate) +
             ", which it does not explain. Check the model's rate laws and constants and the "
             "tolerances in Methods.";
  }
}

std::string IntegratorErrorLogLine(const IntegratorErrorContext& context) {
  return "  " + ExplainIntegratorError(context) + "\r\n";
}

}  // namespace vireon
