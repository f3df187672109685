#pragma once
// What the integrator's error codes mean to the person who built the model:
// one sentence per code, with what to try, added to the error log under the
// line that gives the code. LSODA and CVODE return the same codes.

#include <string>

namespace vireon {

// Where the integrator stood when it gave up.
struct IntegratorErrorContext {
  int istate = 0;                   // the code it returned
  double time = 0.0;                // model time it reached
  double relativeTolerance = 0.0;  // the run's tolerances
  double absoluteTolerance = 0.0;
  bool starting = false;  // the first call, before any step was taken
};

// The explanation, as one or more full sentences without a line break, for
// example for -5: "At time 3.2 the integrator's corrector failed to converge
// again and again. ..."; a sentence for an unknown code too.
std::string ExplainIntegratorError(const IntegratorErrorContext& context);

// The explanation as an error-log line: two blanks, the sentences, "\r\n".
std::string IntegratorErrorLogLine(const IntegratorErrorContext& context);

}  // namespace vireon
