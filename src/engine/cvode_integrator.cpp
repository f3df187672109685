#include "engine/cvode_integrator.h"

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunlinsol/sunlinsol_klu.h>
#include <sunmatrix/sunmatrix_dense.h>
#include <sunmatrix/sunmatrix_sparse.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/model.h"
#include "rules/rule_expression.h"

namespace vireon {

namespace {

// Steps per call when the caller sets no limit, as LSODA's default.
constexpr int kDefaultMaxSteps = 500;
// The smallest increment of the difference Jacobian is this multiple of
// |h|·uround·neq·‖F‖ over a variable's error weight, as CVODE's own
// difference quotients take it.
constexpr double kMinIncrementFactor = 1000.0;

}  // namespace

std::string CvodeProblem(const Model& model) {
  if (!model.events.empty()) {
    return "the model has events, which only LSODA follows; choose LSODA to run it";
  }
  for (const Rule& rule : model.rules) {
    if (CallsDelay(rule.expression)) {
      return "the model's rules call delay, which only LSODA follows; choose LSODA to run it";
    }
  }
  return {};
}

struct CvodeIntegrator::Sundials {
  SUNContext context = nullptr;
  void* memory = nullptr;
  N_Vector y = nullptr;
  N_Vector atol = nullptr;
  N_Vector weights = nullptr;
  SUNMatrix matrix = nullptr;
  SUNLinearSolver solver = nullptr;

  // Everything but the context, which outlives the integrations.
  void FreeIntegration() {
    if (memory != nullptr) CVodeFree(&memory);
    if (solver != nullptr) SUNLinSolFree(solver);
    if (matrix != nullptr) SUNMatDestroy(matrix);
    for (N_Vector* v : {&y, &atol, &weights}) {
      if (*v != nullptr) N_VDestroy(*v);
      *v = nullptr;
    }
    memory = nullptr;
    solver = nullptr;
    matrix = nullptr;
  }
  ~Sundials() {
    FreeIntegration();
    if (context != nullptr) SUNContext_Free(&context);
  }
};

struct CvodeCallbacks {
  static int Rhs(sunrealtype t, N_Vector y, N_Vector ydot, void* data) {
    auto* self = static_cast<CvodeIntegrator*>(data);
    return self->EvaluateRhs(t, N_VGetArrayPointer(y), N_VGetArrayPointer(ydot));
  }

  // The Jacobian by forward differences, one right-hand side per column
  // group of the structure: the increments are CVODE's own (the square root
  // of the rounding unit times |y_j|, at least a floor set by the step, the
  // size and ‖F‖), every variable of a group is perturbed at once, and each
  // column takes only its own rows, the others being structural zeros.
  static int Jacobian(sunrealtype t, N_Vector y, N_Vector fy, SUNMatrix jacobian, void* data,
                      N_Vector, N_Vector, N_Vector) {
    auto* self = static_cast<CvodeIntegrator*>(data);
    CvodeIntegrator::Sundials& s = *self->sundials_;
    const int n = self->n_;
    const double* yv = N_VGetArrayPointer(y);
    const double* f0 = N_VGetArrayPointer(fy);
    CVodeGetErrWeights(s.memory, s.weights);
    const double* w = N_VGetArrayPointer(s.weights);
    double h = 0.0;
    CVodeGetCurrentStep(s.memory, &h);
    const double uround = std::numeric_limits<double>::epsilon();
    const double srur = std::sqrt(uround);
    const double fnorm = N_VWrmsNorm(fy, s.weights);
    const double minIncrement =
        fnorm != 0.0 ? kMinIncrementFactor * std::fabs(h) * uround * n * fnorm : 1.0;

    const SparsityPattern& pattern = self->startedStructure_->pattern();
    const ColumnGroups& groups = self->startedStructure_->groups();
    double* perturbed = self->perturbed_.data();
    double* perturbedF = self->perturbedF_.data();
    double* increments = self->increments_.data();
    std::copy(yv, yv + n, perturbed);

    // The values are written where the matrix keeps column j's rows.
    double* dense = nullptr;
    double* sparseData = nullptr;
    if (self->sparse_) {
      sunindextype* starts = SUNSparseMatrix_IndexPointers(jacobian);
      sunindextype* rows = SUNSparseMatrix_IndexValues(jacobian);
      for (int j = 0; j <= n; ++j) starts[j] = self->columnStart_[static_cast<std::size_t>(j)];
      for (std::size_t k = 0; k < self->rows_.size(); ++k) rows[k] = self->rows_[k];
      sparseData = SUNSparseMatrix_Data(jacobian);
      std::fill(sparseData, sparseData + self->rows_.size(), 0.0);
    } else {
      SUNMatZero(jacobian);
      dense = SUNDenseMatrix_Data(jacobian);
    }

    for (int g = 0; g < groups.size(); ++g) {
      const int* begin = groups.columns.data() + groups.groupStart[static_cast<std::size_t>(g)];
      const int* end = groups.columns.data() + groups.groupStart[static_cast<std::size_t>(g) + 1];
      for (const int* c = begin; c != end; ++c) {
        const int j = *c - 1;
        const double increment = std::max(srur * std::fabs(yv[j]), minIncrement / w[j]);
        perturbed[j] = yv[j] + increment;
        // The difference actually made, which rounding may have changed.
        increments[j] = perturbed[j] - yv[j];
      }
      ++self->jacobianRhs_;
      if (self->EvaluateRhs(t, perturbed, perturbedF) != 0) return -1;
      for (const int* c = begin; c != end; ++c) {
        const int j = *c - 1;
        perturbed[j] = yv[j];
        const double scale = 1.0 / increments[j];
        for (const int* r = pattern.RowsBegin(j + 1); r != pattern.RowsEnd(j + 1); ++r) {
          const int i = *r - 1;
          const double value = (perturbedF[i] - f0[i]) * scale;
          if (sparseData != nullptr) {
            // The column's rows are in increasing order, the diagonal among them.
            const int* first = self->rows_.data() + self->columnStart_[static_cast<std::size_t>(j)];
            const int* last = self->rows_.data() + self->columnStart_[static_cast<std::size_t>(j) + 1];
            const int* at = std::lower_bound(first, last, i);
            sparseData[at - self->rows_.data()] = value;
          } else {
            dense[static_cast<std::size_t>(j) * n + i] = value;
          }
        }
      }
    }
    return 0;
  }

  // CVODE's messages are kept, never printed: the time course writes its
  // own text to the error log from the return code.
  static void Error(int, const char*, const char*, char*, void*) {}
};

CvodeIntegrator::CvodeIntegrator() = default;
CvodeIntegrator::~CvodeIntegrator() = default;

void CvodeIntegrator::Free() {
  if (sundials_) sundials_->FreeIntegration();
  n_ = 0;
}

void CvodeIntegrator::BuildPattern() {
  const SparsityPattern& pattern = startedStructure_->pattern();
  columnStart_.assign(static_cast<std::size_t>(n_) + 1, 0);
  rows_.clear();
  for (int j = 1; j <= n_; ++j) {
    columnStart_[static_cast<std::size_t>(j) - 1] = static_cast<int>(rows_.size());
    bool diagonal = false;
    for (const int* r = pattern.RowsBegin(j); r != pattern.RowsEnd(j); ++r) {
      if (!diagonal && *r >= j) {
        if (*r != j) rows_.push_back(j - 1);
        diagonal = true;
      }
      rows_.push_back(*r - 1);
    }
    if (!diagonal) rows_.push_back(j - 1);
  }
  columnStart_[static_cast<std::size_t>(n_)] = static_cast<int>(rows_.size());
}

bool CvodeIntegrator::Start(int neq, double t, const double* y, int itol, const double* rtol,
                            const double* atol) {
  if (!sundials_) sundials_ = std::make_unique<Sundials>();
  Sundials& s = *sundials_;
  if (s.context == nullptr && SUNContext_Create(nullptr, &s.context) != 0) return false;
  s.FreeIntegration();
  n_ = neq;
  jacobianRhs_ = 0;
  s.y = N_VNew_Serial(neq, s.context);
  s.weights = N_VNew_Serial(neq, s.context);
  if (s.y == nullptr || s.weights == nullptr) return false;
  std::copy(y + 1, y + 1 + neq, N_VGetArrayPointer(s.y));
  s.memory = CVodeCreate(CV_BDF, s.context);
  if (s.memory == nullptr) return false;
  CVodeSetErrHandlerFn(s.memory, CvodeCallbacks::Error, nullptr);
  if (CVodeInit(s.memory, CvodeCallbacks::Rhs, t, s.y) != CV_SUCCESS) return false;
  CVodeSetUserData(s.memory, this);
  // Negative tolerances are illegal input, as LSODA takes them.
  bool tolerances = false;
  if (itol == 1) {
    tolerances = CVodeSStolerances(s.memory, rtol[1], atol[1]) == CV_SUCCESS;
  } else {
    s.atol = N_VNew_Serial(neq, s.context);
    if (s.atol == nullptr) return false;
    std::copy(atol + 1, atol + 1 + neq, N_VGetArrayPointer(s.atol));
    tolerances = CVodeSVtolerances(s.memory, rtol[1], s.atol) == CV_SUCCESS;
  }
  if (!tolerances) {
    failureName_ = "CV_ILL_INPUT";
    return false;
  }

  // The structure serves when it is that of these equations.
  startedStructure_ = structure_ != nullptr && structure_->pattern().nColumns == neq &&
                              structure_->pattern().nRows == neq
                          ? structure_
                          : nullptr;
  sparse_ = startedStructure_ != nullptr && neq >= kSparseSystemSize;
  if (sparse_) {
    BuildPattern();
    s.matrix = SUNSparseMatrix(neq, neq, static_cast<sunindextype>(rows_.size()), CSC_MAT,
                               s.context);
    if (s.matrix == nullptr) return false;
    s.solver = SUNLinSol_KLU(s.y, s.matrix, s.context);
  } else {
    s.matrix = SUNDenseMatrix(neq, neq, s.context);
    if (s.matrix == nullptr) return false;
    s.solver = SUNLinSol_Dense(s.y, s.matrix, s.context);
  }
  if (s.solver == nullptr) return false;
  if (CVodeSetLinearSolver(s.memory, s.solver, s.matrix) != CV_SUCCESS) return false;
  if (startedStructure_ != nullptr) {
    perturbed_.assign(static_cast<std::size_t>(neq), 0.0);
    perturbedF_.assign(static_cast<std::size_t>(neq), 0.0);
    increments_.assign(static_cast<std::size_t>(neq), 0.0);
    if (CVodeSetJacFn(s.memory, CvodeCallbacks::Jacobian) != CV_SUCCESS) return false;
  }
  return true;
}

bool CvodeIntegrator::ApplyInputs(const CvodeInputs& inputs) {
  void* memory = sundials_->memory;
  const int maxOrder = inputs.maxOrder >= 1 && inputs.maxOrder <= 5 ? inputs.maxOrder : 5;
  return CVodeSetMaxNumSteps(memory, inputs.mxstep > 0 ? inputs.mxstep : kDefaultMaxSteps) ==
             CV_SUCCESS &&
         CVodeSetMaxOrd(memory, maxOrder) == CV_SUCCESS &&
         CVodeSetMaxStep(memory, inputs.hmax > 0.0 ? inputs.hmax : 0.0) == CV_SUCCESS;
}

int CvodeIntegrator::EvaluateRhs(double t, const double* y, double* ydot) {
  std::copy(y, y + n_, y1_.data() + 1);
  try {
    f_->Derivs(n_, t, y1_.data(), ydot1_.data());
  } catch (...) {
    pending_ = std::current_exception();
    return -1;
  }
  std::copy(ydot1_.data() + 1, ydot1_.data() + 1 + n_, ydot);
  return 0;
}

void CvodeIntegrator::Integrate(LsodaRhs& f, int neq, int yLength, double* y, double& t,
                                double tout, int itol, const double* rtol, const double* atol,
                                int& istate, const CvodeInputs& inputs) {
  failureName_.clear();
  f_ = &f;
  if (neq < 1 || yLength < neq || (itol != 1 && itol != 2) || istate < 1 || istate > 3 ||
      (istate != 1 && (!sundials_ || sundials_->memory == nullptr || n_ != neq))) {
    failureName_ = "CV_ILL_INPUT";
    istate = -3;
    return;
  }
  // The right-hand side reads the constants after the variables from here.
  y1_.resize(static_cast<std::size_t>(yLength) + 1);
  std::copy(y + neq + 1, y + yLength + 1, y1_.begin() + neq + 1);
  ydot1_.assign(static_cast<std::size_t>(neq) + 1, 0.0);
  if (istate == 1) {
    if (!Start(neq, t, y, itol, rtol, atol)) {
      if (failureName_.empty()) failureName_ = "CV_MEM_FAIL";
      Free();
      istate = -3;
      return;
    }
    if (tout == t) {
      ApplyInputs(inputs);
      return;
    }
  }
  Sundials& s = *sundials_;
  if (!ApplyInputs(inputs)) {
    failureName_ = "CV_ILL_INPUT";
    istate = -3;
    return;
  }
  pending_ = nullptr;
  double reached = t;
  const int flag = CVode(s.memory, tout, s.y, &reached, CV_NORMAL);
  if (pending_) {
    std::exception_ptr pending = pending_;
    pending_ = nullptr;
    std::rethrow_exception(pending);
  }
  const double* solution = N_VGetArrayPointer(s.y);
  if (flag >= 0 || flag == CV_TOO_MUCH_WORK) {
    t = reached;
    std::copy(solution, solution + neq, y + 1);
  }
  switch (flag) {
    case CV_SUCCESS:
    case CV_TSTOP_RETURN:
    case CV_ROOT_RETURN:
      istate = 2;
      return;
    case CV_TOO_MUCH_WORK:
      istate = -1;
      break;
    case CV_TOO_MUCH_ACC:
      istate = -2;
      break;
    case CV_ILL_INPUT:
      istate = -3;
      break;
    case CV_ERR_FAILURE:
      istate = -4;
      break;
    case CV_CONV_FAILURE:
      istate = -5;
      break;
    default:
      istate = -6;
      break;
  }
  char* name = CVodeGetReturnFlagName(flag);
  failureName_ = name != nullptr ? name : "CV_UNKNOWN";
  std::free(name);
}

long long CvodeIntegrator::nst() const {
  long int value = 0;
  if (sundials_ && sundials_->memory != nullptr) CVodeGetNumSteps(sundials_->memory, &value);
  return value;
}

long long CvodeIntegrator::nfe() const {
  long int own = 0, linear = 0;
  if (sundials_ && sundials_->memory != nullptr) {
    CVodeGetNumRhsEvals(sundials_->memory, &own);
    CVodeGetNumLinRhsEvals(sundials_->memory, &linear);
  }
  return own + linear + jacobianRhs_;
}

long long CvodeIntegrator::nje() const {
  long int value = 0;
  if (sundials_ && sundials_->memory != nullptr) CVodeGetNumJacEvals(sundials_->memory, &value);
  return value;
}

double CvodeIntegrator::h() const {
  double value = 0.0;
  if (sundials_ && sundials_->memory != nullptr) CVodeGetCurrentStep(sundials_->memory, &value);
  return value;
}

double CvodeIntegrator::tn() const {
  double value = 0.0;
  if (sundials_ && sundials_->memory != nullptr) CVodeGetCurrentTime(sundials_->memory, &value);
  return value;
}

}  // namespace vireon
