#pragma once
// LSODA: the Livermore solver for y' = f(t, y) that switches by itself
// between the nonstiff Adams methods (orders 1 … 12, functional iteration)
// and the stiff backward differentiation formulas (orders 1 … 5, chord
// iteration with a difference-quotient Jacobian). The calling convention is
// the published one: 1-based vectors, istate and itask codes, optional inputs
// and the counters nst, nfe, nje. Each Lsoda object owns its work arrays, so
// any number of integrations may exist at once.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/klu_solver.h"
#include "engine/lu_solver.h"
#include "engine/sparsity.h"

namespace vireon {

// The right-hand side of the system. y and ydot are 1-based (y[1 … neq]);
// element 0 is neither read nor written.
class LsodaRhs {
 public:
  virtual ~LsodaRhs() = default;
  virtual void Derivs(int neq, double t, const double* y, double* ydot) = 0;
};

// Binds any callable with the Derivs signature, e.g. a lambda.
template <class Function>
class LsodaFunction final : public LsodaRhs {
 public:
  explicit LsodaFunction(Function function) : function_(std::move(function)) {}
  void Derivs(int neq, double t, const double* y, double* ydot) override {
    function_(neq, t, y, ydot);
  }

 private:
  Function function_;
};

// The Jacobian dF/dy of the right-hand side, where the caller can compute
// it from its own equations; the integrator then takes it in place of the
// difference quotients (and counts no evaluations of f for it).
class LsodaJacobian {
 public:
  virtual ~LsodaJacobian() = default;
  // jacobian[i][j] = dF_i/dy_j for 1 <= i, j <= neq at (t, y), every entry
  // written; false, when it cannot be had there, and the integrator
  // differences f as it otherwise does.
  virtual bool Evaluate(int neq, double t, const double* y, double** jacobian) = 0;
  // The same entries along a sparse pattern of 0-based compressed columns
  // (columnStart[0 … neq], rows) into entries, those outside it dropped, as
  // a sparse factorisation of the full matrix would take them; false (the
  // default) where only Evaluate can be had.
  virtual bool EvaluateSparse(int neq, double t, const double* y, const int* columnStart,
                              const int* rows, double* entries) {
    (void)neq, (void)t, (void)y, (void)columnStart, (void)rows, (void)entries;
    return false;
  }
};

// Root functions g_i(t, y), i = 0 … Count()-1, whose changes the
// integration locates, as the published LSODAR variant does. Each stands
// for a condition that holds or not; the integration stops where one
// changes. The values g_i are continuous where possible (a difference whose
// sign is the condition) and guide the search; whether the conditions hold
// decides it. y is 1-based, as the right-hand side's.
class LsodaRoots {
 public:
  virtual ~LsodaRoots() = default;
  virtual int Count() const = 0;
  virtual void Evaluate(double t, const double* y, double* g, char* holds) = 0;
};

// The search of the root finding on its own: between x0, where the
// conditions are `holds0` with values g0, and x1, where at least one
// differs (holds1, g1), the Illinois-modified regula falsi narrows the
// bracket to `tolerance` with evaluate(x, g, holds), and leaves its right
// end in x1, holds1 and g1: the first time found at which a condition has
// changed. Returns x1. Lsoda uses it on its interpolating polynomial; a
// caller without an integration can use it on time alone.
double LocateRoot(double x0, double x1, double tolerance, const std::vector<double>& g0,
                  const std::vector<char>& holds0, std::vector<double>& g1,
                  std::vector<char>& holds1,
                  const std::function<void(double x, double* g, char* holds)>& evaluate);

// The optional inputs, read when iopt = 1. Zero selects the default.
struct LsodaOptionalInputs {
  int ml = 0;        // iwork1: lower half-bandwidth (banded Jacobians, jt = 4, 5)
  int mu = 0;        // iwork2: upper half-bandwidth
  int ixpr = 0;      // iwork5: 1 reports method switches, 2 also traces every step
  int mxstep = 0;    // iwork6: steps allowed per call (0: 500)
  int mxhnil = 0;    // iwork7: "t + h = t" warnings issued (0: 10)
  int mxordn = 0;    // iwork8: highest Adams order (0 or above 12: 12)
  int mxords = 0;    // iwork9: highest BDF order (0 or above 5: 5)
  double tcrit = 0;  // rwork1: time not to be passed (itask 4 and 5)
  double h0 = 0;     // rwork5: first step to attempt (0: computed)
  double hmax = 0;   // rwork6: largest step magnitude (0: no limit)
  double hmin = 0;   // rwork7: smallest step magnitude
};

class Lsoda {
 public:
  using PrintFunction = std::function<void(std::string_view text)>;

  Lsoda() = default;

  // Integrates from t towards tout. itol 1 … 4 says whether rtol and atol
  // (1-based) are scalars (element 1) or vectors; itask 1 … 5 as published
  // (1: overshoot and interpolate at tout); istate 1 starts an integration,
  // 2 continues it, 3 continues after changed inputs. On return istate is
  // 1 (nothing done), 2 (success), 3 (stopped at a root of the root
  // functions, see SetRootFunctions), -1 (mxstep steps taken), -2 (too much
  // accuracy asked), -3 (illegal input or too little memory), -4 (repeated
  // error-test failures), -5 (repeated convergence failures) or -6 (an
  // error weight became <= 0). jt = 2 (full Jacobian by differences) is the
  // one Jacobian type built in; any other jt is refused as illegal input.
  // y is also used as scratch space during the call.
  void lsoda(LsodaRhs& f, int neq, double* y, double& t, double tout, int itol, const double* rtol,
             const double* atol, int itask, int& istate, int iopt, int jt,
             const LsodaOptionalInputs& optional = {});

  // The k-th derivative of the interpolating polynomial at t, which must lie
  // in the last step [tcur - hu, tcur], into dky[1 … neq]. Returns 0, -1 for
  // an illegal k or -2 for an illegal t.
  int intdy(double t, int k, double* dky);

  // Releases every work array; a later call must start again with istate 1.
  // Harmless when nothing is allocated.
  void LsodaFree();
  // Turns the diagnostics on (non-zero) or off (0); they are on initially.
  void LsodaSetPrint(int flag) { printOn_ = flag != 0; }
  // Where diagnostics go. Without a print function they go nowhere: the
  // integrator never writes to the standard output by itself.
  void SetPrintFunction(PrintFunction print) { print_ = std::move(print); }
  // Gives up the processor's time slice after every internal step, so a
  // live display stays responsive; off by default.
  void SetYieldAfterStep(bool yield) { yieldAfterStep_ = yield; }
  // The structure of dF/dy (neq rows and columns) and its column groups,
  // which must outlive the integrations; null forgets them. With them the
  // difference Jacobian perturbs the columns of a group together and gets
  // the same matrix with fewer evaluations (nfe still counts one per
  // column, as the counts of the published method do), and the iteration
  // matrix is factored and solved in its sparse form.
  void SetColumnStructure(const ColumnStructure* structure) {
    structure_ = structure;
    lu_ = LuSolver(/*sparse=*/structure != nullptr);
    kluStructure_ = nullptr;
  }
  // Whether a large iteration matrix (kKluMinimumSize equations or more)
  // whose structure is sparse (at most kKluMaximumDensity of its entries,
  // the diagonal included) is factored by KLU, along the column structure,
  // instead of the elimination the published method takes; off by default.
  // KLU's pivots and rounding are its own, so the steps and counts differ
  // from the dense path's in the last digits.
  void SetSparseFactorisation(bool use) { sparseFactorisation_ = use; }
  static constexpr int kKluMinimumSize = 100;
  static constexpr double kKluMaximumDensity = 0.1;

  // The Jacobian to take instead of differences; null (the default)
  // differences f, and an integration takes the steps and evaluations it
  // always took.
  void SetJacobian(LsodaJacobian* jacobian) { jacobian_ = jacobian; }

  // The root functions checked after every step; null (the default) checks
  // none, and an integration without them takes exactly the steps and
  // evaluations it always took. When a condition changes within a step, its
  // time is located on the interpolating polynomial by the Illinois-modified
  // regula falsi to within 100 rounding units of the step, and the call
  // returns there with istate 3: t is the first time found at which the
  // condition has changed, y the solution there, rootsFound() says which
  // conditions changed. A later call continues from there (istate 2), or
  // starts again (istate 1) when the caller changed the state. The functions
  // are evaluated at the start of an integration, which takes the
  // conditions there as they are, and never count as f evaluations.
  void SetRootFunctions(LsodaRoots* roots) { roots_ = roots; }
  // Called after every accepted step, before the root functions look at
  // it, so that intdy can be asked about the step just taken (a history of
  // the solution, say); none by default. It must not change y.
  void SetStepObserver(std::function<void()> observer) { stepObserver_ = std::move(observer); }
  // By root function: 1 when its condition changed at the last root return.
  const std::vector<char>& rootsFound() const { return rootsFound_; }

  // Counters and state after a call.
  int nst() const { return nst_; }         // steps taken
  int nfe() const { return nfe_; }         // right-hand-side evaluations
  int nje() const { return nje_; }         // Jacobian evaluations (and LU factorisations)
  double h() const { return h_; }          // step size to try next
  double hu() const { return hu_; }        // step size last used
  double tn() const { return tn_; }        // internal time reached
  double tsw() const { return tsw_; }      // time of the last method switch
  double tolsf() const { return tolsf_; }  // tolerance scale factor after a -2 return
  int nqu() const { return nqu_; }         // order last used
  int nqcur() const { return nq_; }        // order to try next
  int mused() const { return mused_; }     // method last used: 1 Adams, 2 BDF
  int mcur() const { return meth_; }       // method to try next
  int imxer() const { return imxer_; }     // component of largest weighted error after -4, -5

 private:
  // Highest orders of the two families, and the rows of the Nordsieck
  // history that any order needs (1 … q+1).
  static constexpr int kMaxAdamsOrder = 12;
  static constexpr int kMaxBdfOrder = 5;
  static constexpr int kHistoryRows = kMaxAdamsOrder + 1;

  // The arguments of one call of lsoda, as the phases of the driver share them.
  struct Call {
    double* y;
    double& t;
    double tout;
    int itol;
    const double* rtol;
    const double* atol;
    int itask;
    int& istate;
    double tcrit;
  };
  // The optional inputs once checked, with their defaults filled in.
  struct CheckedInputs {
    int ixpr = 0, mxstep = 0, mxhnil = 0, mxordn = 0, mxords = 0;
    double h0 = 0.0, hmxi = 0.0, hmin = 0.0;
  };

  // The phases of lsoda, in the order it takes them.
  bool CheckCall(double t, double tout, int itask, int& istate);
  bool CheckInputs(int neq, double t, double tout, int itol, const double* rtol, const double* atol,
                   int itask, int istate, int iopt, int jt, const LsodaOptionalInputs& optional,
                   CheckedInputs& in);
  bool CheckOptionalInputs(double t, double tout, int istate, const LsodaOptionalInputs& optional,
                           CheckedInputs& in);
  void ApplyInputs(int neq, int jt, const CheckedInputs& in);
  void PrepareRestart();
  bool Initialize(const Call& call, double h0);
  double FirstStepSize(const Call& call) const;
  bool ReturnBeforeStepping(const Call& call);
  void StepUntilDone(const Call& call, bool atStart);
  bool CheckBeforeStep(const Call& call);
  bool CheckAccuracy(const Call& call);
  void WarnIfStepVanishes();
  void NoteStepTaken();
  bool ReturnIfDone(const Call& call);
  // Returns on tcrit when tn has reached it (true); otherwise shortens h so
  // that the next step ends just short of tcrit.
  bool ReturnAtTcritOrClamp(const Call& call);
  void ClampStepToTcrit(double tcrit);

  // Root finding (lsoda_roots.cpp): the conditions at the start, and after
  // a step or on a continuation the search over the part of the last step
  // not yet searched (up to tout when the call ends there); true when the
  // call has returned at a root.
  void StartRoots(double t, const double* y);
  bool ReturnAtRoot(const Call& call);
  void EvaluateRoots(double t, double* g, char* holds);

  bool Allocate();
  bool SetErrorWeights(int itol, const double* rtol, const double* atol, const double* ycur);

  // The single step and its parts.
  void Stoda(double* y);
  void PrepareStep();
  bool RetryAfterConvergenceFailure(double told, int& ncf);
  void AcceptStep(double dsm, double pnorm);
  bool RetryAfterErrorTestFailure(double* y, double told, double dsm);
  bool Correct(double* y, double pnorm, int& m, double& del);
  bool ConsiderMethodSwitch(double dsm, double pnorm, double& rh);
  bool SwitchToBdf(double dsm, double pnorm, double& rh);
  bool SwitchToAdams(double dsm, double pnorm, double& rh);
  bool ChooseOrderAndStep(double dsm, double rhup, int& newq, double& rh);
  void ComputeCoefficients(int meth);
  void ResetCoefficients();
  void Rescale(double rh, bool boundByHmin);
  void PredictHistory();
  void RetractHistory();
  void prja(double* y);
  void DifferenceJacobian(double* y, double hl0, bool sparse);
  // Whether this integration's iteration matrix is factored by KLU, its
  // pattern analysed the first time.
  bool UseKlu();
  // The columns of -h·l0·J into wm_ (`sparse`: into KLU's entries along its
  // pattern) by groups; false (y restored, the matrix to be rewritten) when
  // that could differ from one column at a time.
  bool DifferenceByGroups(double* y, double r0, double hl0, bool sparse);
  bool EvaluateGroup(double* y, const int* first, const int* last, double r0, double* ftemp);
  // Steps (2) to (5) of prja for KLU without the full matrix: -h·l0·J
  // written along KLU's pattern only (the same entries its gathering from
  // wm_ would take), its norm, the identity added and the factors. A large
  // sparse system never forms or reads its n × n matrix.
  void SparseIterationMatrix(double* y, double hl0);
  double SparseMatrixNorm();
  void solsy(double* x);

  double WeightedMaxNorm(const double* v) const;
  double WeightedMatrixNorm() const;
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void IllegalInput(int& istate);
  void SuccessReturn(double* y, double& t, int& istate, bool atTn, bool hitTcrit, double tcrit);
  // Whether tn has reached tcrit within rounding.
  bool AtTcrit(double tcrit) const;
  // Interpolates y at tout and returns successfully there (illegal input
  // when the interpolation fails).
  void ReturnAtTout(const Call& call);
  void ErrorReturn(double* y, double& t, int& istate, int code, bool findLargestError);

  // Bound for one call.
  LsodaRhs* f_ = nullptr;

  // Work arrays, 1-based. yh_ holds the Nordsieck history, row j the scaled
  // derivative h^(j-1)·y^(j-1)/(j-1)!; wm_ the iteration matrix P = I - h·l0·J.
  std::vector<double> yhData_;
  std::vector<double*> yh_;
  std::unique_ptr<double[]> wmData_;
  std::vector<double*> wm_;
  std::vector<double> ewt_, savf_, acor_;
  bool allocated_ = false;

  // Method coefficients: elco_[q][1 … q+1] the corrector polynomial of order
  // q, tesco_[q][1 … 3] the error-test constants of orders q-1, q, q+1.
  double elco_[kMaxAdamsOrder + 1][kHistoryRows + 1] = {};
  double tesco_[kMaxAdamsOrder + 1][4] = {};
  double el_[kHistoryRows + 1] = {};
  double cm1_[kMaxAdamsOrder + 1] = {};  // Adams error constants, for the switching test
  double cm2_[kMaxBdfOrder + 1] = {};    // BDF error constants, for the switching test

  // Step state.
  double ccmax_ = 0, el0_ = 0, h_ = 0, hmin_ = 0, hmxi_ = 0, hu_ = 0, rc_ = 0, tn_ = 0;
  double uround_ = 0, srur_ = 0, crate_ = 0, conit_ = 0, hold_ = 0, rmax_ = 0;
  double pdest_ = 0, pdlast_ = 0, ratio_ = 0, pdnorm_ = 0, tsw_ = 0, tolsf_ = 0;
  int illin_ = 0, init_ = 0, ntrep_ = 0, mxstep_ = 0, mxhnil_ = 0, nhnil_ = 0, nslast_ = 0;
  int n_ = 0, ixpr_ = 0, jtyp_ = 0, mxordn_ = 0, mxords_ = 0, maxord_ = 0;
  int ierpj_ = 0, iersl_ = 0, jcur_ = 0, jstart_ = 0, kflag_ = 0, l_ = 0, lmax_ = 0;
  int meth_ = 0, miter_ = 0, maxcor_ = 0, msbp_ = 0, mxncf_ = 0, nq_ = 0, nqnyh_ = 0;
  int nst_ = 0, nfe_ = 0, nje_ = 0, nqu_ = 0, mused_ = 0, nslp_ = 0, ialth_ = 0, ipup_ = 0;
  int icount_ = 0, irflag_ = 0, imxer_ = 0;
  bool coefficientsStale_ = false;

  bool printOn_ = true;
  bool yieldAfterStep_ = false;
  PrintFunction print_;
  const ColumnStructure* structure_ = nullptr;
  LsodaJacobian* jacobian_ = nullptr;
  std::vector<double> savedY_;
  // Root finding: the functions, the time up to which they have been
  // searched with their values and conditions there, and scratch.
  LsodaRoots* roots_ = nullptr;
  std::function<void()> stepObserver_;
  double rootTime_ = 0.0;
  std::vector<double> rootG_, rootRightG_, rootY_;
  std::vector<char> rootHolds_, rootRightHolds_, rootsFound_;
  LuSolver lu_{/*sparse=*/false};  // the factors of wm_
  bool sparseFactorisation_ = false;
  const ColumnStructure* kluStructure_ = nullptr;  // the structure klu_ was analysed for
  int kluSize_ = 0;
  bool kluPays_ = false;
  bool kluFactored_ = false;  // the last factors are klu_'s
  KluSolver klu_;
  // Per column of klu_'s pattern: the entry of its diagonal, and whether
  // the column structure has it (else KLU added it); row sums of the norm.
  std::vector<int> kluDiagonal_;
  std::vector<char> kluDiagonalInStructure_;
  std::vector<double> kluRowSums_;
};

}  // namespace vireon
