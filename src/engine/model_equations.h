#pragma once
// The model as a system of ordinary differential equations over the amounts
// of its metabolites (amount = concentration x volume). One ModelEquations
// object is bound to one model and one engine state for the length of a
// run; it allocates nothing per evaluation, so several can run at once.
//
// All vectors are 1-based by engine position: element p is the metabolite
// at position p - 1 of the structural analysis; element 0 is never read.

#include <array>
#include <memory>
#include <vector>

#include "engine/engine_state.h"
#include "engine/fast_equilibrium.h"
#include "engine/sparsity.h"
#include "kinetics/kinetic_type.h"
#include "kinetics/law_tape.h"
#include "model/matrix.h"
#include "model/model.h"

namespace vireon {

class RuleSystem;

// A value that cannot be computed is stored as the largest double.
inline constexpr double kInfiniteValue = 1.7976931348623157e308;

class ModelEquations {
 public:
  // The model must have been through its structural analysis and every step
  // must carry a kinetic type. derivationFactor is the relative increment of
  // the finite differences; resolution is the steady-state resolution, below
  // which a magnitude counts as zero.
  ModelEquations(const Model& model, EngineState& state, double derivationFactor,
                 double resolution);

  // F(y): the rates of change of the independent amounts from the rates, of
  // the dependent ones from the conservation relations. Fixed positions of
  // ydot are never written. With rules attached, y and ydot hold the
  // integrator's state (see nEquations) and the rules are evaluated first.
  void Derivs(const double* y, double* ydot);

  // Rules. A model with rules has its RuleSystem attached for the run
  // (`model` is the run's model, whose kinetic constants the rules write);
  // the rules are then evaluated at the time set last before every
  // evaluation of the rates. A model without rules takes none of these
  // paths, and its equations are exactly those above.
  void AttachRules(RuleSystem* rules, Model& model);
  bool hasRules() const { return rules_ != nullptr; }
  void SetTime(double time) { time_ = time; }
  // The size of the integrator's state: the variable amounts, then, with
  // rules, the value of every rate rule's target (1-based, after them).
  int nEquations() const { return nVariable_ + nRate_; }
  // The integrator's state from the amounts and the rate-rule targets'
  // current values, and back (where the state is more than the amounts).
  void PackState(const double* amounts, double* y) const;
  void UnpackState(const double* y, double* amounts);
  // The rules evaluated at the amounts at the time set last: the current
  // values of the global quantities and volumes in the engine state, the
  // amounts of the metabolites the rules set in `amounts`, the kinetic
  // constants the rules set in the model.
  void UpdateRules(double* amounts);
  // The initial values that read the amounts' rates, at the amounts of
  // time 0, into the model and the engine state.
  void ApplyLateInitialValues(double* amounts);
  // The rates of change of the amounts (by position, 1-based) at amounts
  // the rules have been evaluated at, for what reads them beside the rules
  // (events); valid until the next call.
  const double* RatesOfAmounts(const double* amounts);

  // Fast steps (engine/fast_equilibrium.h). A model with fast steps runs
  // with its rules attached, none perhaps: AttachRules sets up the fast
  // equilibrium, and every evaluation at amounts (Derivs, UpdateRules,
  // UnpackState and what calls them) first moves them to it and then leaves
  // the fast steps out of the rows. A model without fast steps takes none
  // of these paths.
  bool hasFastSteps() const { return fast_ != nullptr; }
  // Moves the amounts (1-based, every position) to the fast equilibrium
  // at the time set last; false, the amounts as they were, when Newton's
  // method finds none.
  bool EquilibrateFastSteps(double* amounts);

  // x[p] for the dependent positions from the moiety totals and the
  // independent amounts.
  void DependentAmounts(double* x) const;

  // jacobian[j][i] = dF_i/dx_j for 1 <= i, j <= nIndependent by central
  // differences around x. Dependent amounts follow each perturbation
  // through the conservation relations, so the matrix is the Jacobian of
  // the reduced system. Structurally independent columns are differenced
  // together; the numbers are those of one column at a time, and
  // newtonFEvals still counts two evaluations per column.
  void ComputeJacobian(const double* x, Matrix<double>& jacobian);

  // elasticities[s][i - 1] = d rate_s/dx_i for every step position s
  // (0-based row) and metabolite position i = 1 … nMetabolites, by central
  // differences of the perturbed amount alone around x. Independent columns
  // are differenced together, as in ComputeJacobian.
  void ComputeElasticities(const double* x, Matrix<double>& elasticities);

  // Whether the differences (and the factorisations that use the same
  // structure) exploit the network's sparsity; on by default. Off, every
  // column is differenced on its own: the results are the same, only
  // slower, which the benchmarks measure.
  void SetUseSparsity(bool use) { useSparsity_ = use; }
  bool useSparsity() const { return useSparsity_; }
  // The structure of the integrator's Jacobian, dF/dy over all nVariable
  // amounts, and its column groups.
  const ColumnStructure& fullStructure() const { return structure_.full; }

  // Whether the user-defined rate laws are evaluated by their compiled
  // program (kinetics/law_tape.h, the default) or node by node through
  // their trees; the rates are the same bit for bit either way, which the
  // benchmarks compare.
  void SetUseLawTape(bool use) { useTape_ = use; }
  const LawTape& lawTape() const { return tape_; }

  // The Jacobian of F from the rate laws' own derivatives: jacobian[i][j]
  // = dF_i/dy_j for 1 <= i, j <= nVariable (row pointers, 1-based) at the
  // amounts y, assembled with the stoichiometry, the volumes and the
  // conservation relations as F is. A compiled law gives its derivatives
  // exactly (LawTape::Differentiate); any other law (a built-in one, one
  // without derivatives) is differenced by central differences in each
  // amount it reads, with the derivation factor. Only the amounts a law
  // reads get entries, so the matrix has the laws' own sparsity. False,
  // nothing written, for equations with rules or fast steps, which take the
  // differences of F. With rules, only those that leave the laws as they
  // are over y: rules that set kinetic constants, quantities and fixed
  // values from what reads no amount (parameters, time), evaluated at the
  // time set last; rate rules, changing volumes or stoichiometries, rules
  // that set or read metabolites take the differences.
  bool CanDifferentiateLaws() const {
    return rules_ == nullptr ? fast_ == nullptr : rulesKeepLawJacobian_;
  }
  bool LawJacobian(const double* y, double** jacobian);
  // The same entries along a pattern of 0-based compressed columns
  // (columnStart[0 … nVariable], rows) into entries, without the full
  // matrix: an entry outside the pattern is dropped, as a sparse
  // factorisation of LawJacobian's matrix drops it.
  bool SparseLawJacobian(const double* y, const int* columnStart, const int* rows,
                         double* entries);

  // The largest absolute value among F[1 ... nVariable].
  double ResidualNorm(const double* f) const;

  void SetInitialAmounts(double* v) const;
  void StoreConcentrations(const double* v, Model& model) const;
  // Stores every step's rate at the amounts v as its flux. With rules, they
  // must have been updated at v (UpdateRules), as every output point and
  // the steady state do before they store their results.
  void EvaluateFluxes(const double* v, Model& model);
  // Rate of the step at step position s (1-based) at the amounts v.
  double StepRate(const double* v, int stepPosition) const;

  // Transition times at a steady state x: each metabolite's concentration
  // over the sum of the rates producing it (or, when none, consuming it).
  void ComputeTransitionTimes(const double* x, Model& model) const;

  // The factor that turns the link matrix entry of position v on
  // independent position j (both 1-based) into one between amounts. The
  // plain link matrix serves as long as every conservation relation stays
  // within one volume; once one joins unequal volumes the relations hold
  // between concentrations, and the factor is volume(v) / volume(j).
  // Exactly 1 where nothing needs scaling.
  double LinkWeight(int v, int j) const {
    return relationsSpanVolumes_ && volumes_[v] != volumes_[j] ? volumes_[v] / volumes_[j] : 1.0;
  }

  // The volume of the compartment of position p (1-based).
  double Volume(int p) const { return volumes_[p]; }

  // The steady-state system: the independent amounts, then the rate-rule
  // targets' values (nReduced is nIndependent without rate rules). A point
  // u of it and its residual g (both 1-based); the value returned is the
  // largest magnitude among g and the dependent amounts' derivatives, as
  // ResidualNorm gives it (not a number when one is not). The residual and
  // the points need the rules attached.
  int nReduced() const { return nIndependent_ + nRate_; }
  double ReducedResidual(const double* u, double* g);
  // jacobian[j][i] = dg_i/du_j (1 <= i, j <= nReduced) by central
  // differences around u, column by column, counted as ComputeJacobian
  // counts; the rules are left at u.
  void ComputeReducedJacobian(const double* u, Matrix<double>& jacobian);
  // elasticities[s][nMetabolites + r] = d rate_s / d(target of rate rule r)
  // by central differences around the target's current value, at the
  // amounts x; the targets are left as they were.
  void ComputeRateRuleElasticities(const double* x, Matrix<double>& elasticities);
  // The point of the amounts and the rate-rule targets' current values,
  // and back: the amounts (dependent ones from the conservation relations
  // and those the rules set) and the targets from a point.
  void ReducedPoint(const double* amounts, double* u) const;
  void SetReducedPoint(const double* u, double* amounts);

  // The current volume of the compartment of position p: its volume, or
  // with rules the volume the rules give it now.
  double CurrentVolume(int p) const;

  const Model& model() const { return model_; }
  EngineState& state() { return state_; }
  double derivationFactor() const { return derivationFactor_; }
  double resolution() const { return resolution_; }

 private:
  struct Term {
    int step;            // step index
    double coefficient;  // stoichiometric coefficient x volume of the metabolite
  };

  const Model& model_;
  EngineState& state_;
  double derivationFactor_;
  double resolution_;
  int nIndependent_ = 0;
  int nVariable_ = 0;
  int nMetabolites_ = 0;

  // For each independent position, the steps that change it, in step
  // order. The rows with up to kShortRow terms are kept by their count,
  // their terms one row after another, so that each sum is written out
  // without a loop; the longer rows keep a start per row.
  static constexpr int kShortRow = 4;
  struct ShortRows {
    std::vector<int> positions;
    std::vector<Term> terms;
  };
  std::array<ShortRows, kShortRow + 1> shortRows_;
  std::vector<int> longPositions_;
  std::vector<int> longStart_;  // per long row, and one past the last
  std::vector<Term> longTerms_;
  template <int kCount>
  static void SumShortRows(const ShortRows& rows, const double* rates, double* ydot);
  // The steps some independent metabolite's derivative needs, with the rate
  // law each had when the equations were set up: those of a built-in type
  // in one batch per type, with their operands looked up, and the others
  // one by one, in step order.
  struct RateCall {
    int step;
    RateFunction rate;  // null: the step's rate is 0
  };
  struct RateBatch {
    RateBatchFunction evaluate;
    std::vector<StepOperands> steps;
  };
  std::vector<RateCall> activeSteps_;
  // The user-defined laws compiled into one program, and the same steps
  // as calls of their trees.
  LawTape tape_;
  std::vector<RateCall> tapedSteps_;
  bool useTape_ = true;
  void EvaluateTapedSteps(const double* x, double* rates);

  // LawJacobian's plan, made at its first call: per step index, where its
  // partial derivatives come from (the tape's output, or a differenced
  // step), and for the differenced steps the positions their laws read.
  struct DifferencedStep {
    int step;
    RateFunction rate;
    int start;  // into differencedPositions_ / differencedValues_
    int end;
  };
  void PlanLawJacobian();
  // The laws' partial derivatives at y, for either form of the Jacobian.
  bool PrepareLawPartials(const double* y);
  // Calls add(q, coefficient × d rate / d y_q) for each amount q the
  // term's step reads.
  template <typename Add>
  void ForEachPartial(const Term& term, Add&& add) const;
  // Calls row(p, first, last) with the terms of every row p of the sum.
  template <typename Row>
  void ForEachRow(Row&& row) const;
  // SparseLawJacobian's pattern by rows and its row being summed.
  std::vector<int> sparseRowStart_, sparseColumn_, sparseEntry_, touchedPositions_;
  std::vector<double> sparseRow_;
  std::vector<char> sparseTouched_;
  void DifferenceSteps(const double* y);
  bool lawJacobianPlanned_ = false;
  std::vector<int> tapeOutput_;       // by step index, or -1
  std::vector<int> differencedOf_;    // by step index, or -1
  std::vector<DifferencedStep> differenced_;
  std::vector<int> differencedPositions_;  // 0-based positions
  std::vector<double> differencedValues_;
  std::vector<double> lawPoint_;
  std::vector<double> lawRates_;  // by step index
  std::vector<double> lawAmounts_;  // with rules: the amounts the laws read, 1-based
  bool rulesKeepLawJacobian_ = false;
  bool RulesKeepLawJacobian() const;
  std::vector<RateBatch> rateBatches_;
  std::vector<RateOperand> operands_;  // the storage the batches' steps point into
  std::vector<char> batched_;          // by step index: in one of the batches
  std::vector<double> fluxes_;         // by step index, EvaluateFluxes' batch rates
  std::vector<double> rates_;          // by step index, refreshed by every Derivs
  std::vector<double> volumes_;        // by position, 1-based
  // The conservation coefficients between amounts: for each dependent
  // position, one per independent position (row-major).
  std::vector<double> dependentCoefficients_;
  bool relationsSpanVolumes_ = false;
  double* DependentRow(int p) {
    return dependentCoefficients_.data() +
           static_cast<std::size_t>(p - nIndependent_ - 1) * nIndependent_;
  }
  const double* DependentRow(int p) const {
    return dependentCoefficients_.data() +
           static_cast<std::size_t>(p - nIndependent_ - 1) * nIndependent_;
  }
  std::vector<double> scratchPlus_, scratchMinus_, perturbed_;

  // The right-hand side's parts: every needed step's rate at the amounts x
  // into rates_, the independent rows from the rates, the dependent rows
  // from the independent ones.
  void ComputeRates(const double* x);
  void SumRows(double* ydot) const;
  void DependentRows(double* ydot) const;
  // With rules: Derivs over the integrator's state, and the amounts the
  // rate laws read at the amounts v (the rules evaluated, the amounts
  // scaled where a volume has changed, since a law divides by the volume
  // it was set up with).
  void DerivsWithRules(const double* y, double* ydot);
  const double* RateInput(const double* v);
  const double* ScaledForRates(const double* x);
  // The rates at the amounts x (the rules evaluated at them) and the rows
  // of the variable amounts in ydot; then the rules that read those rows.
  void AmountRates(const double* x, double* ydot);
  void LateRules(const double* x, const double* ydot);

  // The stoichiometries that rules set, at the current values the rules
  // give them: a term of the rows whose coefficient is rewritten before
  // every sum, or, where the equation gives the metabolite no coefficient
  // in that step, a term added after the sums.
  struct RuleTerm {
    Term* term;    // null for an added term
    int position;  // 1-based
    int step;      // step index
    int entry;     // the rule system's stoichiometry
  };
  std::vector<RuleTerm> ruleTerms_;
  void BindRuleTerms();
  void SetRuleCoefficients();
  void AddRuleTerms(double* ydot) const;

  std::unique_ptr<FastEquilibrium> fast_;
  // The fast steps' rates, left out of the rows.
  void ZeroFastRates();
  // The fast steps' rates at the amounts t (the rules evaluated at them).
  void FastRates(double* t, double* rates);
  // The fast steps' flux that keeps the amounts x at their equilibrium,
  // added to their rates ydot (FastEquilibrium::AddFastFlux); the rules
  // are left at x.
  void AddFastFlux(const double* x, double* ydot);
  // EquilibrateFastSteps, or an ArithmeticFault (an invalid operation)
  // that ends the task.
  void FastEquilibriumOrFault(double* amounts);

  RuleSystem* rules_ = nullptr;
  Model* ruleModel_ = nullptr;
  double time_ = 0.0;
  int nRate_ = 0;
  std::vector<int> compartmentOf_;             // by position, 1-based
  std::vector<double> ruleAmounts_, ruleScaled_;  // by position, 1-based
  std::vector<double> lateRows_;                  // by position, 1-based
  std::vector<double> reducedY_, reducedYdot_;  // the integrator's layout, 1-based
  std::vector<double> reducedPlus_, reducedMinus_, reducedPerturbed_;  // 1-based

  static std::size_t OperandCount(const Step& step);
  // Enters step k in the batch of its kinetic type; false when its type has
  // no batch or a metabolite of its lists is not in the model.
  bool AddToBatch(int k);
  // Whether the columns of a structure are differenced in groups.
  bool Grouped(const ColumnStructure& structure, int nColumns) const;
  void ComputeJacobianByColumns(const double* x, Matrix<double>& jacobian);
  bool ComputeJacobianByGroups(const double* x, Matrix<double>& jacobian);
  void ComputeElasticitiesByColumns(const double* x, Matrix<double>& elasticities);
  bool ComputeElasticitiesByGroups(const double* x, Matrix<double>& elasticities);
  // The grouped differences of both: evaluate(out) fills out[1 … width - 1]
  // at perturbed_, first at x into base; store(j, plus, minus, step) takes
  // column j's evaluations.
  template <class Evaluate, class Store>
  bool DifferenceByGroups(const double* x, const ColumnGroups& groups, int width, double* base,
                          Evaluate evaluate, Store store);

  bool useSparsity_ = true;
  NetworkStructure& structure_;  // kept in the engine state
  // Grouped differences: the base point and its F, per group the evaluations
  // at both perturbed points (group g at g × (nMetabolites + 1)).
  std::vector<double> baseF_, groupPlus_, groupMinus_, stepBase_;
};

}  // namespace vireon
