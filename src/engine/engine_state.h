#pragma once
// The engine's working data for one run: amounts, the steady-state solution,
// the Jacobian, eigenvalues, elasticities and control coefficients, the
// integrator counters, timing and the run's error log. Vectors are 1-based:
// element p holds engine position p (the position p - 1 of the structural
// analysis), and element 0 is never read.

#include <string>
#include <vector>

#include "engine/sparsity.h"
#include "model/matrix.h"

namespace vireon {

class Model;

// How a steady-state search ended; the numbers are those a run's steady
// state has always been judged by (0: found).
enum class SteadyStateOutcome : int {
  kFound = 0,
  kNotFound = 1,            // residual too large, or negative amounts
  kSingularJacobian = 2,    // Newton met a zero pivot
  kDampingFailed = 3,       // no damped Newton step reduced the residual
  kNewtonLimitReached = 4,  // the iteration limit came first
  kStopped = 5,             // a stop request ended the search during an integration
};

struct EngineState {
  // Vectors of nMetabolites + 1 doubles, by engine position.
  std::vector<double> amounts;       // the integration state
  std::vector<double> ssAmounts;     // steady-state estimate / solution
  std::vector<double> derivatives;   // F(x)
  std::vector<double> trialAmounts;  // Newton's initial amounts and trial points
  std::vector<double> newtonStep;    // the current Newton correction

  // jacobian[j][i] = dF_i/dx_j, 1-based, nIndependent + 1 square (with rate
  // rules, their targets follow the independent amounts as further x_j).
  Matrix<double> jacobian;
  SteadyStateOutcome ssFailure = SteadyStateOutcome::kFound;

  // Eigenvalues of the reduced Jacobian and their statistics (counts held as doubles).
  std::vector<double> eigenReal, eigenImag;  // nMetabolites each
  Matrix<double> eigenMatrix;                // nIndependent^2 scratch, column-major
  double maxRealPart = 0.0, maxImagPart = 0.0;
  double nPositiveReal = 0.0, nNegativeReal = 0.0, nReal = 0.0, nImaginary = 0.0, nComplex = 0.0,
         nZero = 0.0;

  // The current values of the quantities rules may change: every global
  // quantity's (by its index in the model) and every compartment's volume
  // (by compartment index). A model without rules keeps its values and
  // volumes here unchanged; output items of the current value read them.
  std::vector<double> quantityValues;
  std::vector<double> volumeValues;

  Matrix<double> elasticities;  // nSteps x nMetabolites (+ one column per rate rule)
  Matrix<double> concControl;   // nVariable (+ one row per rate rule) x nSteps
  Matrix<double> fluxControl;   // nSteps x nSteps

  // Integrator state.
  double time = 0.0, timeOut = 0.0, lastTime = 0.0;
  double rtol[2] = {0.0, 0.0};  // element 1 is used
  double atol[2] = {0.0, 0.0};
  int istate = 1;
  double interval = 0.0;
  int maxSteps = 0;
  // Counters of the last integration or steady-state search, as doubles
  // because output items and the report read them as quantities.
  double stepCount = 0.0, fEvaluations = 0.0, jEvaluations = 0.0, stepSize = 0.0;
  int newtonFEvals = 0, newtonJEvals = 0;
  int equilibrium = 0;

  // Timing and progress of the run.
  double startTick = 0.0;    // milliseconds
  double elapsedTime = 0.0;  // seconds since startTick
  double timeRatio = 0.0;
  double iterationRate = 0.0;
  double remainingTime = 0.0;
  int iteration = 0;
  int totalIterations = 0;

  std::string errorLog;

  // The structures of the matrices the engine differences, kept for the
  // engines of one run; Allocate and Free let them go.
  NetworkStructureCache structure;

  // Sizes every array from the model (after its structural analysis).
  void Allocate(const Model& model);
  void Free();
  bool allocated() const { return !amounts.empty(); }

  // Calls visit(field) for every field that one task iteration may leave
  // behind for the next: all but the run's timing and progress and its
  // error log. A scan whose points run on several threads compares and
  // copies the state between points through it, so a field added above
  // that an iteration writes belongs here too.
  template <class Visit>
  void VisitResults(Visit&& visit) {
    visit(amounts), visit(ssAmounts), visit(derivatives), visit(trialAmounts), visit(newtonStep);
    visit(jacobian), visit(ssFailure);
    visit(eigenReal), visit(eigenImag), visit(eigenMatrix);
    visit(maxRealPart), visit(maxImagPart), visit(nPositiveReal), visit(nNegativeReal);
    visit(nReal), visit(nImaginary), visit(nComplex), visit(nZero);
    visit(quantityValues), visit(volumeValues);
    visit(elasticities), visit(concControl), visit(fluxControl);
    visit(time), visit(timeOut), visit(lastTime), visit(rtol[0]), visit(rtol[1]);
    visit(atol[0]), visit(atol[1]), visit(istate), visit(interval), visit(maxSteps);
    visit(stepCount), visit(fEvaluations), visit(jEvaluations), visit(stepSize);
    visit(newtonFEvals), visit(newtonJEvals), visit(equilibrium);
  }
};

}  // namespace vireon
