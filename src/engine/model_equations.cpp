#include "engine/model_equations.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>

#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_type.h"

namespace vireon {

ModelEquations::ModelEquations(const Model& model, EngineState& state, double derivationFactor,
                               double resolution)
    : model_(model),
      state_(state),
      derivationFactor_(derivationFactor),
      resolution_(resolution),
      nIndependent_(model.nIndependent),
      nVariable_(model.nVariable),
      nMetabolites_(model.nMetabolites()),
      structure_(state.structure.For(model)) {
  const int nSteps = model.nSteps();
  volumes_.assign(nMetabolites_ + 1, 1.0);
  for (int p = 1; p <= nMetabolites_; ++p) {
    volumes_[p] = model.VolumeOf(model.metaboliteOrder[p - 1]);
  }

  // The right-hand side visits, for every independent metabolite, only the
  // steps with a non-zero stoichiometric entry, in step order.
  std::vector<char> needed(nSteps, 0);
  std::vector<std::pair<int, int>> found;  // step position, step index
  std::vector<Term> row;
  longStart_.assign(1, 0);
  for (int p = 1; p <= nIndependent_; ++p) {
    const float* stoichiometry = model.stoichiometry[model.metaboliteOrder[p - 1]];
    found.clear();
    ForEachEntryWithBits(stoichiometry, nSteps, [&](int k) {
      if (stoichiometry[k] != 0.0f) found.push_back({model.stepPosition[k], k});
    });
    std::sort(found.begin(), found.end());
    row.clear();
    for (const auto& [position, k] : found) {
      // The product is formed in double precision from the single-precision entry.
      row.push_back({k, static_cast<double>(stoichiometry[k]) * volumes_[p]});
      needed[k] = 1;
    }
    if (row.size() <= static_cast<std::size_t>(kShortRow)) {
      ShortRows& rows = shortRows_[row.size()];
      rows.positions.push_back(p);
      rows.terms.insert(rows.terms.end(), row.begin(), row.end());
    } else {
      longPositions_.push_back(p);
      longTerms_.insert(longTerms_.end(), row.begin(), row.end());
      longStart_.push_back(static_cast<int>(longTerms_.size()));
    }
  }
  // The batches' steps point into operands_, which therefore never grows
  // beyond what is reserved here.
  std::size_t operandCount = 0;
  for (int k = 0; k < nSteps; ++k) {
    if (needed[k]) operandCount += OperandCount(model.steps[k]);
  }
  operands_.reserve(operandCount);
  batched_.assign(nSteps, 0);
  for (int k = 0; k < nSteps; ++k) {
    if (!needed[k] || AddToBatch(k)) continue;
    const KineticType* type = model.steps[k].kineticType;
    if (tape_.AddStep(model, k)) {
      // Its rate comes with the batches' (EvaluateFluxes reads it there).
      tapedSteps_.push_back({k, type->rate});
      batched_[static_cast<std::size_t>(k)] = 1;
    } else {
      activeSteps_.push_back({k, type != nullptr ? type->rate : nullptr});
    }
  }
  // The relations hold between concentrations (a step changes each of its
  // metabolites' concentrations by rate x coefficient), so in amounts a
  // coefficient of the dependent metabolite at p on the one at l is scaled
  // by the ratio of their volumes; it stays as it is where they agree.
  const int nDependent = nVariable_ - nIndependent_;
  dependentCoefficients_.assign(static_cast<std::size_t>(std::max(nDependent, 0)) * nIndependent_,
                                0.0);
  for (int p = nIndependent_ + 1; p <= nVariable_; ++p) {
    const float* g = model.conservation[p - 1];
    double* row = DependentRow(p);
    for (int l = 1; l <= nIndependent_; ++l) {
      row[l - 1] = static_cast<double>(g[l - 1]);
      if (row[l - 1] != 0.0 && volumes_[p] != volumes_[l]) {
        row[l - 1] *= volumes_[p] / volumes_[l];
        relationsSpanVolumes_ = true;
      }
    }
  }
  rates_.assign(nSteps, 0.0);
  fluxes_.assign(nSteps, 0.0);
  scratchPlus_.assign(nMetabolites_ + 1, 0.0);
  scratchMinus_.assign(nMetabolites_ + 1, 0.0);
  perturbed_.assign(nMetabolites_ + 1, 0.0);
}

namespace {

// The two points of a central difference in an amount x, (1 + f)·b and
// (1 - f)·b, 2·f·b apart, where f is the derivation factor. Amounts below
// the resolution r are perturbed around b = r·(1 + f), so that a zero
// amount still gives a finite difference; b = x otherwise.
class PerturbationBase {
 public:
  PerturbationBase(double amount, double factor, double resolution)
      : factor_(factor), base_(amount >= resolution ? amount : resolution * (1.0 + factor)) {}
  double Plus() const { return (1.0 + factor_) * base_; }
  double Minus() const { return (1.0 - factor_) * base_; }
  double Step() const { return 2.0 * factor_ * base_; }

 private:
  double factor_;
  double base_;
};

// Fills row[1 … n] with (base[i] - base[i]) / step, the difference quotient
// of a row that the perturbation leaves untouched, written the quick way when
// it can only be zero.
void FillUntouched(double* row, int n, const double* base, double step) {
  bool allFinite = step > 0.0 && std::isfinite(step);
  for (int i = 1; i <= n && allFinite; ++i) allFinite = std::isfinite(base[i]);
  if (allFinite) {
    std::fill(row + 1, row + n + 1, 0.0);
    return;
  }
  for (int i = 1; i <= n; ++i) row[i] = (base[i] - base[i]) / step;
}

// The modifiers a built-in law reads: those its type has roles for. Any
// further entries of the step's list may be unassigned (-1).
std::span<const int> ModifiersRead(const Step& step) {
  const int count = std::clamp(step.kineticType->modifiers, 0, step.ModifierCount());
  return {step.modifiers.data(), static_cast<std::size_t>(count)};
}

}  // namespace

std::size_t ModelEquations::OperandCount(const Step& step) {
  if (step.kineticType == nullptr) return 0;
  return step.substrates.size() + step.products.size() + ModifiersRead(step).size();
}

bool ModelEquations::AddToBatch(int k) {
  const Step& step = model_.steps[static_cast<std::size_t>(k)];
  const KineticType* type = step.kineticType;
  // A step its law cannot read is left to the model-based call, as it was.
  if (type == nullptr || type->batch == nullptr || !CanEvaluateRate(model_, k)) return false;
  const std::span<const int> modifiers = ModifiersRead(step);
  const auto known = [this](int m) { return m >= 0 && m < nMetabolites_; };
  if (!std::all_of(step.substrates.begin(), step.substrates.end(), known) ||
      !std::all_of(step.products.begin(), step.products.end(), known) ||
      !std::all_of(modifiers.begin(), modifiers.end(), known) ||
      operands_.size() + OperandCount(step) > operands_.capacity()) {
    return false;
  }
  StepOperands operands;
  operands.step = k;
  operands.substrates = static_cast<int>(step.substrates.size());
  operands.products = static_cast<int>(step.products.size());
  operands.modifiers = static_cast<int>(modifiers.size());
  operands.operands = operands_.data() + operands_.size();
  operands.constants = step.constants.data();
  for (std::span<const int> list :
       {std::span<const int>(step.substrates), std::span<const int>(step.products), modifiers}) {
    for (int m : list) {
      operands_.push_back(
          {model_.metabolitePosition[static_cast<std::size_t>(m)], model_.VolumeOf(m)});
    }
  }
  auto batch = std::find_if(rateBatches_.begin(), rateBatches_.end(),
                            [type](const RateBatch& b) { return b.evaluate == type->batch; });
  if (batch == rateBatches_.end()) {
    rateBatches_.push_back({type->batch, {}});
    batch = rateBatches_.end() - 1;
  }
  batch->steps.push_back(operands);
  batched_[static_cast<std::size_t>(k)] = 1;
  return true;
}

double ModelEquations::StepRate(const double* v, int stepPosition) const {
  const int k = model_.stepOrder[stepPosition - 1];
  const KineticType* type = model_.steps[k].kineticType;
  if (type == nullptr || type->rate == nullptr) return 0.0;
  return type->rate(model_, v + 1, k);
}

// Every sum starts from +0 and adds its terms in step order.
template <int kCount>
void ModelEquations::SumShortRows(const ShortRows& rows, const double* rates, double* ydot) {
  const Term* t = rows.terms.data();
  for (int p : rows.positions) {
    double sum = 0.0;
    for (int j = 0; j < kCount; ++j) sum += rates[t[j].step] * t[j].coefficient;
    ydot[p] = sum;
    t += kCount;
  }
}

void ModelEquations::EvaluateTapedSteps(const double* x, double* rates) {
  if (useTape_) {
    tape_.Evaluate(x + 1, rates);
    return;
  }
  for (const RateCall& call : tapedSteps_) rates[call.step] = call.rate(model_, x + 1, call.step);
}

void ModelEquations::ComputeRates(const double* x) {
  // Each step's rate is evaluated once per call and used for every
  // metabolite it touches.
  for (const RateBatch& batch : rateBatches_) {
    batch.evaluate(batch.steps.data(), batch.steps.size(), x + 1, rates_.data());
  }
  if (!tapedSteps_.empty()) EvaluateTapedSteps(x, rates_.data());
  for (const RateCall& call : activeSteps_) {
    rates_[call.step] = call.rate != nullptr ? call.rate(model_, x + 1, call.step) : 0.0;
  }
}

void ModelEquations::SumRows(double* ydot) const {
  const double* rates = rates_.data();
  SumShortRows<0>(shortRows_[0], rates, ydot);
  SumShortRows<1>(shortRows_[1], rates, ydot);
  SumShortRows<2>(shortRows_[2], rates, ydot);
  SumShortRows<3>(shortRows_[3], rates, ydot);
  SumShortRows<4>(shortRows_[4], rates, ydot);
  // Local copies, as ydot might alias the vectors' storage for all the
  // compiler knows.
  const Term* terms = longTerms_.data();
  const int* start = longStart_.data();
  const int* positions = longPositions_.data();
  for (std::size_t r = 0; r < longPositions_.size(); ++r) {
    double sum = 0.0;
    for (int t = start[r]; t < start[r + 1]; ++t) {
      sum += rates[terms[t].step] * terms[t].coefficient;
    }
    ydot[positions[r]] = sum;
  }
}

void ModelEquations::DependentRows(double* ydot) const {
  for (int p = nIndependent_ + 1; p <= nVariable_; ++p) {
    const double* g = DependentRow(p);
    double sum = 0.0;
    for (int l = 1; l <= nIndependent_; ++l) sum += g[l - 1] * ydot[l];
    ydot[p] = -sum;
  }
}

void ModelEquations::Derivs(const double* y, double* ydot) {
  if (rules_ != nullptr) {
    DerivsWithRules(y, ydot);
    return;
  }
  ComputeRates(y);
  SumRows(ydot);
  DependentRows(ydot);
}

void ModelEquations::DependentAmounts(double* x) const {
  for (int p = nIndependent_ + 1; p <= nVariable_; ++p) {
    const double* g = DependentRow(p);
    double value = model_.moieties[p - nIndependent_ - 1].initialConcentration;
    for (int l = 1; l <= nIndependent_; ++l) value -= g[l - 1] * x[l];
    x[p] = value;
  }
}

bool ModelEquations::Grouped(const ColumnStructure& structure, int nColumns) const {
  return useSparsity_ && structure.groups().Pays(nColumns);
}

void ModelEquations::ComputeJacobian(const double* x, Matrix<double>& jacobian) {
  if (!Grouped(structure_.reduced, nIndependent_) || !ComputeJacobianByGroups(x, jacobian)) {
    ComputeJacobianByColumns(x, jacobian);
  }
}

void ModelEquations::ComputeJacobianByColumns(const double* x, Matrix<double>& jacobian) {
  for (int p = 1; p <= nMetabolites_; ++p) perturbed_[p] = x[p];
  for (int j = 1; j <= nIndependent_; ++j) {
    const PerturbationBase around(x[j], derivationFactor_, resolution_);
    perturbed_[j] = around.Plus();
    DependentAmounts(perturbed_.data());
    Derivs(perturbed_.data(), scratchPlus_.data());
    ++state_.newtonFEvals;
    perturbed_[j] = around.Minus();
    DependentAmounts(perturbed_.data());
    Derivs(perturbed_.data(), scratchMinus_.data());
    ++state_.newtonFEvals;
    const double step = around.Step();
    double* row = jacobian[j];
    for (int i = 1; i <= nIndependent_; ++i) row[i] = (scratchPlus_[i] - scratchMinus_[i]) / step;
    perturbed_[j] = x[j];
  }
  ++state_.newtonJEvals;
  // The rules' current values are those at x again.
  if (rules_ != nullptr) RateInput(x);
}

void ModelEquations::ComputeReducedJacobian(const double* u, Matrix<double>& jacobian) {
  const int n = nReduced();
  reducedPerturbed_.assign(u, u + n + 1);
  reducedPlus_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  reducedMinus_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  for (int j = 1; j <= n; ++j) {
    const PerturbationBase around(u[j], derivationFactor_, resolution_);
    reducedPerturbed_[j] = around.Plus();
    ReducedResidual(reducedPerturbed_.data(), reducedPlus_.data());
    reducedPerturbed_[j] = around.Minus();
    ReducedResidual(reducedPerturbed_.data(), reducedMinus_.data());
    state_.newtonFEvals += 2;
    const double step = around.Step();
    double* row = jacobian[j];
    for (int i = 1; i <= n; ++i) row[i] = (reducedPlus_[i] - reducedMinus_[i]) / step;
    reducedPerturbed_[j] = u[j];
  }
  ++state_.newtonJEvals;
  // The rules' current values are those at u again.
  ReducedResidual(u, reducedPlus_.data());
}

void ModelEquations::ComputeRateRuleElasticities(const double* x, Matrix<double>& elasticities) {
  const int nSteps = model_.nSteps();
  std::vector<double> plus(nSteps + 1), minus(nSteps + 1);
  std::vector<double> u(static_cast<std::size_t>(nReduced()) + 1);
  ReducedPoint(x, u.data());
  std::vector<double> amounts(x, x + nMetabolites_ + 1);
  for (int r = 0; r < nRate_; ++r) {
    double& value = u[static_cast<std::size_t>(nIndependent_ + 1 + r)];
    const double at = value;
    const PerturbationBase around(at, derivationFactor_, resolution_);
    for (auto [target, rates] : {std::pair{around.Plus(), plus.data()},
                                 std::pair{around.Minus(), minus.data()}}) {
      value = target;
      SetReducedPoint(u.data(), amounts.data());
      const double* input = RateInput(amounts.data());
      for (int s = 1; s <= nSteps; ++s) rates[s] = StepRate(input, s);
    }
    value = at;
    const double step = around.Step();
    for (int s = 1; s <= nSteps; ++s) {
      elasticities[s - 1][nMetabolites_ + r] = (plus[s] - minus[s]) / step;
    }
  }
  SetReducedPoint(u.data(), amounts.data());
}

// The columns of one group move together: every evaluation sees x with one
// group's columns at their upper, then their lower points. When an
// evaluation throws, nothing has been written and the result is false.
template <class Evaluate, class Store>
bool ModelEquations::DifferenceByGroups(const double* x, const ColumnGroups& groups, int width,
                                        double* base, Evaluate evaluate, Store store) {
  const int nGroups = groups.size();
  const std::size_t size = static_cast<std::size_t>(nGroups) * width;
  groupPlus_.resize(std::max(groupPlus_.size(), size));
  groupMinus_.resize(std::max(groupMinus_.size(), size));
  auto around = [&](int j) { return PerturbationBase(x[j], derivationFactor_, resolution_); };
  for (int p = 1; p <= nMetabolites_; ++p) perturbed_[p] = x[p];
  try {
    evaluate(base);
    for (int g = 0; g < nGroups; ++g) {
      const int* first = groups.columns.data() + groups.groupStart[g];
      const int* last = groups.columns.data() + groups.groupStart[g + 1];
      for (const int* j = first; j != last; ++j) perturbed_[*j] = around(*j).Plus();
      evaluate(groupPlus_.data() + static_cast<std::size_t>(g) * width);
      for (const int* j = first; j != last; ++j) perturbed_[*j] = around(*j).Minus();
      evaluate(groupMinus_.data() + static_cast<std::size_t>(g) * width);
      for (const int* j = first; j != last; ++j) perturbed_[*j] = x[*j];
    }
  } catch (...) {
    return false;
  }
  for (int g = 0; g < nGroups; ++g) {
    const double* plus = groupPlus_.data() + static_cast<std::size_t>(g) * width;
    const double* minus = groupMinus_.data() + static_cast<std::size_t>(g) * width;
    for (int c = groups.groupStart[g]; c < groups.groupStart[g + 1]; ++c) {
      const int j = groups.columns[c];
      store(j, plus, minus, around(j).Step());
    }
  }
  return true;
}

// A row of column j is touched by no other column of its group, so its
// rates read exactly the amounts they read when x_j moves alone; a row
// outside column j's pattern keeps its value at x. Two conditions keep the
// dependent amounts bit for bit the same: finite independent amounts (0 ×
// an infinite amount is not 0) and no moiety total of -0 (where the sign of
// a zero term could show). Without them, or when a rate law throws, nothing
// has been written and the caller differences column by column, which then
// fails exactly as it always has.
bool ModelEquations::ComputeJacobianByGroups(const double* x, Matrix<double>& jacobian) {
  for (int p = 1; p <= nIndependent_; ++p) {
    if (!std::isfinite(x[p])) return false;
  }
  for (const Metabolite& moiety : model_.moieties) {
    if (moiety.initialConcentration == 0.0 && std::signbit(moiety.initialConcentration)) {
      return false;
    }
  }
  const SparsityPattern& pattern = structure_.reduced.pattern();
  const int width = nMetabolites_ + 1;
  baseF_.resize(width);
  auto evaluate = [&](double* f) {
    DependentAmounts(perturbed_.data());
    Derivs(perturbed_.data(), f);
  };
  auto store = [&](int j, const double* plus, const double* minus, double step) {
    double* row = jacobian[j];
    FillUntouched(row, nIndependent_, baseF_.data(), step);
    for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) {
      row[*i] = (plus[*i] - minus[*i]) / step;
    }
  };
  const bool done =
      DifferenceByGroups(x, structure_.reduced.groups(), width, baseF_.data(), evaluate, store);
  // The rules' current values are those at x again.
  if (rules_ != nullptr) RateInput(x);
  if (!done) return false;
  state_.newtonFEvals += 2 * nIndependent_;
  ++state_.newtonJEvals;
  return true;
}

void ModelEquations::ComputeElasticities(const double* x, Matrix<double>& elasticities) {
  if (!Grouped(structure_.elasticity, nMetabolites_) ||
      !ComputeElasticitiesByGroups(x, elasticities)) {
    ComputeElasticitiesByColumns(x, elasticities);
  }
}

void ModelEquations::ComputeElasticitiesByColumns(const double* x, Matrix<double>& elasticities) {
  const int nSteps = model_.nSteps();
  std::vector<double> plus(nSteps + 1), minus(nSteps + 1);
  double* v = perturbed_.data();
  for (int p = 1; p <= nMetabolites_; ++p) v[p] = x[p];
  for (int i = 1; i <= nMetabolites_; ++i) {
    const PerturbationBase around(x[i], derivationFactor_, resolution_);
    v[i] = around.Plus();
    const double* input = RateInput(v);
    for (int s = 1; s <= nSteps; ++s) plus[s] = StepRate(input, s);
    v[i] = around.Minus();
    input = RateInput(v);
    for (int s = 1; s <= nSteps; ++s) minus[s] = StepRate(input, s);
    const double step = around.Step();
    for (int s = 1; s <= nSteps; ++s) elasticities[s - 1][i - 1] = (plus[s] - minus[s]) / step;
    v[i] = x[i];
  }
  // The rules' current values are those at x again.
  if (rules_ != nullptr) RateInput(v);
}

// As for the Jacobian: the rates of one column's steps read no other amount
// of its group, and every other rate keeps its value at x. Rate laws read
// amounts only, so no condition on x is needed; when a rate law throws,
// the caller goes column by column.
bool ModelEquations::ComputeElasticitiesByGroups(const double* x, Matrix<double>& elasticities) {
  const SparsityPattern& pattern = structure_.elasticity.pattern();
  const int nSteps = model_.nSteps();
  stepBase_.resize(nSteps + 1);
  auto evaluate = [&](double* rates) {
    const double* input = RateInput(perturbed_.data());
    for (int s = 1; s <= nSteps; ++s) rates[s] = StepRate(input, s);
  };
  auto store = [&](int i, const double* plus, const double* minus, double step) {
    for (int s = 1; s <= nSteps; ++s) {
      elasticities[s - 1][i - 1] = (stepBase_[s] - stepBase_[s]) / step;
    }
    for (const int* s = pattern.RowsBegin(i); s != pattern.RowsEnd(i); ++s) {
      elasticities[*s - 1][i - 1] = (plus[*s] - minus[*s]) / step;
    }
  };
  const bool done = DifferenceByGroups(x, structure_.elasticity.groups(), nSteps + 1,
                                       stepBase_.data(), evaluate, store);
  // The rules' current values are those at x again.
  if (rules_ != nullptr) RateInput(x);
  return done;
}

double ModelEquations::ResidualNorm(const double* f) const {
  if (nVariable_ < 1) return 0.0;
  // A residual that is not a number is never small: it must not pass for a
  // steady state because some other component is larger.
  double largest = std::fabs(f[1]);
  for (int p = 1; p <= nVariable_; ++p) {
    const double a = std::fabs(f[p]);
    if (std::isnan(a)) return a;
    if (a > largest) largest = a;
  }
  return largest;
}

void ModelEquations::SetInitialAmounts(double* v) const {
  for (int p = 1; p <= nMetabolites_; ++p) {
    const Metabolite& m = model_.metabolites[model_.metaboliteOrder[p - 1]];
    v[p] = m.initialConcentration * volumes_[p];
  }
}

void ModelEquations::StoreConcentrations(const double* v, Model& model) const {
  if (rules_ != nullptr) {
    for (int p = 1; p <= nMetabolites_; ++p) {
      model.metabolites[model.metaboliteOrder[p - 1]].concentration = v[p] / CurrentVolume(p);
    }
    return;
  }
  for (int p = 1; p <= nMetabolites_; ++p) {
    model.metabolites[model.metaboliteOrder[p - 1]].concentration = v[p] / volumes_[p];
  }
}

void ModelEquations::EvaluateFluxes(const double* amounts, Model& model) {
  const double* v = rules_ != nullptr ? ScaledForRates(amounts) : amounts;
  for (const RateBatch& batch : rateBatches_) {
    batch.evaluate(batch.steps.data(), batch.steps.size(), v + 1, fluxes_.data());
  }
  if (!tapedSteps_.empty()) EvaluateTapedSteps(v, fluxes_.data());
  for (int s = 1; s <= model.nSteps(); ++s) {
    const int k = model.stepOrder[s - 1];
    model.steps[k].flux = batched_[k] ? fluxes_[k] : StepRate(v, s);
  }
}

void ModelEquations::ComputeTransitionTimes(const double* x, Model& model) const {
  const int nSteps = model.nSteps();
  std::vector<double> magnitude(nSteps, 0.0);
  for (int s = 1; s <= nSteps; ++s) {
    magnitude[model.stepOrder[s - 1]] = std::fabs(StepRate(x, s));
  }
  model.totalTransitionTime = 0.0;
  bool infinite = false;
  for (int p = 1; p <= nMetabolites_; ++p) {
    const int m = model.metaboliteOrder[p - 1];
    Metabolite& metabolite = model.metabolites[m];
    metabolite.transitionTime = 0.0;
    if (metabolite.type == FIXED) continue;
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) {
      if (model.stoichiometry[m][k] > 0.0f) sum += magnitude[k];
    }
    if (sum == 0.0) {
      for (int k = 0; k < nSteps; ++k) {
        if (model.stoichiometry[m][k] < 0.0f) sum += magnitude[k];
      }
    }
    if (sum == 0.0) {
      metabolite.transitionTime = kInfiniteValue;
      infinite = true;
    } else {
      // Rates are per unit volume, so the time is the concentration (not the
      // amount) over the sum of the rates.
      metabolite.transitionTime = (x[p] / volumes_[p]) / sum;
      model.totalTransitionTime += metabolite.transitionTime;
    }
  }
  if (infinite) model.totalTransitionTime = kInfiniteValue;
}

}  // namespace vireon
