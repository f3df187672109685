#pragma once
// The second integrator: CVODE of SUNDIALS, the variable-order backward
// differentiation formulas (orders 1 … 5) with Newton's iteration, for large
// stiff networks. It is called as Lsoda is (lsoda.h): the same right-hand
// side over the same 1-based state, the same tolerance vectors, and istate
// codes in and out, so the time course drives either the same way.
//
// The Newton matrix I - gamma·J is dense below kSparseSystemSize equations
// and sparse above, factored by KLU (SuiteSparse). With the structure of
// dF/dy known (SetColumnStructure), the Jacobian is differenced column group
// by column group, one right-hand side per group; without it CVODE's own
// dense difference quotients take one right-hand side per column.
//
// Each object owns its SUNDIALS context and memory, created at the first
// call: any number may exist at once, on any threads, and an engine that
// never chooses CVODE pays nothing for one.

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/lsoda.h"
#include "engine/sparsity.h"

namespace vireon {

class Model;

// Below this many equations the Newton matrix is dense; from it on, sparse.
inline constexpr int kSparseSystemSize = 100;

// printf format of the text appended to the error log when CVODE cannot
// start, with CVODE's name of the reason.
inline constexpr const char* kCvodeInitErrorFormat =
    "Error initializing integration routine (CVODE): %s.\r\n";
// printf format of the text appended when CVODE returns an error: the
// istate of the call (as LSODA's codes) and CVODE's own name of the failure.
inline constexpr const char* kCvodeErrorFormat =
    "Integration routine (CVODE) returned error %d (%s).\r\n  aborting this iteration.\r\n";

// Why a model cannot be integrated by CVODE: its events or delays, which
// only LSODA follows (the time course locates events on LSODA's
// interpolating polynomial and keeps the delays' history from its steps).
// Empty when it can.
std::string CvodeProblem(const Model& model);

// The inputs of a call besides the state and tolerances.
struct CvodeInputs {
  int mxstep = 0;       // steps allowed per call (0: 500)
  int maxOrder = 5;     // highest BDF order (1 … 5)
  double hmax = 0.0;    // largest step magnitude (0: no limit)
};

class CvodeIntegrator {
 public:
  CvodeIntegrator();
  ~CvodeIntegrator();
  CvodeIntegrator(const CvodeIntegrator&) = delete;
  CvodeIntegrator& operator=(const CvodeIntegrator&) = delete;

  // Integrates from t towards tout, as Lsoda::lsoda does with itask 1:
  // itol 1 (atol[1] for every variable) or 2 (atol[1 … neq]), rtol[1] for
  // every variable, the error weights rtol·|y_i| + atol_i. istate 1 starts
  // an integration at (t, y) (with tout = t nothing else is done and istate
  // stays 1), 2 continues it, 3 continues it with new inputs. On return
  // istate is 2 (t = tout, y the solution there), -1 (mxstep steps taken:
  // t and y where the integration got to), -2 (too much accuracy asked),
  // -3 (illegal input), -4 (repeated error-test failures), -5 (repeated
  // convergence failures) or -6 (another failure of CVODE's; failureName()
  // says which). An exception of the right-hand side (an arithmetic fault)
  // leaves through this call once CVODE has returned; the integration must
  // then start again.
  // y[neq + 1 … yLength] are constants the right-hand side reads beside
  // the variables (the fixed amounts), taken at every call.
  void Integrate(LsodaRhs& f, int neq, int yLength, double* y, double& t, double tout, int itol,
                 const double* rtol, const double* atol, int& istate, const CvodeInputs& inputs);

  // Releases CVODE's memory; a later call must start again with istate 1.
  void Free();

  // The structure of dF/dy (neq rows and columns) and its column groups,
  // which must outlive the integrations; null forgets them. Taken at the
  // next start of an integration.
  void SetColumnStructure(const ColumnStructure* structure) { structure_ = structure; }

  // Counters since the last start (istate 1), as Lsoda's.
  long long nst() const;  // steps taken
  long long nfe() const;  // right-hand sides: CVODE's own and the Jacobians' differences
  long long nje() const;  // Jacobian evaluations
  double h() const;       // step size to try next
  double tn() const;      // internal time reached
  // Whether the last start chose the sparse Newton matrix.
  bool sparse() const { return sparse_; }
  // CVODE's name of the failure of the last call, e.g. "CV_CONV_FAILURE";
  // empty after a success.
  const std::string& failureName() const { return failureName_; }

 private:
  struct Sundials;   // the SUNDIALS objects, kept out of this header
  friend struct CvodeCallbacks;  // CVODE's calls of the right-hand side and Jacobian

  bool Start(int neq, double t, const double* y, int itol, const double* rtol,
             const double* atol);
  bool ApplyInputs(const CvodeInputs& inputs);
  void BuildPattern();
  // F at y (0-based, neq entries) into ydot; 0, or -1 after an exception,
  // which is kept for Integrate to rethrow.
  int EvaluateRhs(double t, const double* y, double* ydot);

  std::unique_ptr<Sundials> sundials_;
  LsodaRhs* f_ = nullptr;
  int n_ = 0;
  bool sparse_ = false;
  const ColumnStructure* structure_ = nullptr;
  const ColumnStructure* startedStructure_ = nullptr;
  // The pattern of the Newton matrix: the structure's with the diagonal.
  std::vector<int> columnStart_, rows_;
  long long jacobianRhs_ = 0;  // right-hand sides of the grouped differences
  std::vector<double> y1_, ydot1_;  // 1-based copies for the right-hand side
  std::vector<double> perturbed_, perturbedF_, increments_;
  std::exception_ptr pending_;
  std::string failureName_;
};

}  // namespace vireon
