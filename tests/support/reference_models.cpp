#include "support/reference_models.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/kinetic_models.h"

namespace vireon::test {

Model TwoStepChain::Build() const {
  return LinearTwoStep(k1, k2, s);
}

std::vector<std::string> ReferenceModel::Internal() const {
  std::vector<std::string> names = independent;
  names.insert(names.end(), dependent.begin(), dependent.end());
  return names;
}

std::vector<int> ReferenceModel::MetabolitePositions(const Model& m) const {
  std::vector<int> positions;
  for (const std::string& metabolite : Internal()) {
    const int index = m.FindMetabolite(metabolite);
    EXPECT_GE(index, 0) << "no metabolite " << metabolite;
    positions.push_back(index < 0 ? 0 : m.metabolitePosition[index]);
  }
  return positions;
}

std::vector<int> ReferenceModel::StepPositions(const Model& m) const {
  std::vector<int> positions;
  for (const std::string& step : steps) {
    const int index = m.FindStep(step);
    EXPECT_GE(index, 0) << "no step " << step;
    positions.push_back(index < 0 ? 0 : m.stepPosition[index]);
  }
  return positions;
}

namespace {

// Notation below: v_k the rate of step k, J the steady-state flux, X* a
// steady-state concentration, e_k = dv_k/dx the unscaled elasticity,
// C^J_k and C^X_k the scaled control coefficients of step k, F the rate of
// change of an independent amount. For one independent metabolite X with
// dX/dt = sum_k n_k v_k the matrix method gives the unscaled
// C^X_k = -n_k / (sum_l n_l e_l) and C^J_jk = delta_jk + e_j C^X_k; scaling
// multiplies by v_k / X* and v_k / v_j.

ReferenceModel LinearTwoStepEntry() {
  // dX/dt = k1 S - k2 X: X* = k1 S / k2 = 4, J = k1 S = 2 through both
  // steps, Jacobian -k2. v1 does not read X: e_1 = 0, so C^J_1 = 1,
  // C^J_2 = 0 for both fluxes, C^X_1 = 1, C^X_2 = -1 (X* is proportional to
  // v1 and inversely to v2); scaled elasticity of v2 = k2 X to X: 1.
  const TwoStepChain c = kTwoStepChain;
  ReferenceModel r;
  r.name = "LinearTwoStep";
  r.model = c.Build();
  r.independent = {"X"};
  r.link = {{1.0}};
  r.concentrations = {{"X", c.SteadyX()}};
  r.fluxes = {{"R1", c.Flux()}, {"R2", c.Flux()}};
  r.jacobian = {{-c.k2}};
  r.eigenvalues = {-c.k2};
  r.steps = {"R1", "R2"};
  r.elasticities = {{0.0}, {1.0}};
  r.fluxControl = {{1.0, 0.0}, {1.0, 0.0}};
  r.concControl = {{1.0, -1.0}};
  return r;
}

ReferenceModel ReversibleTwoStepEntry() {
  // v1 = k1 S - km1 X, v2 = k2 X with k1 = 2, km1 = 1, k2 = 0.5, S = 1:
  // X* = k1 S / (km1 + k2) = 4/3, J = k2 X* = 2/3, Jacobian -(km1 + k2).
  // e_1 = -km1, e_2 = k2: C^J_1 = k2 / (k2 + km1) = 1/3,
  // C^J_2 = km1 / (k2 + km1) = 2/3 for both fluxes (they are equal),
  // C^X_1 = J / (X* (k2 + km1)) = k2 / (k2 + km1) = 1/3 = -C^X_2. Scaled
  // elasticities: -km1 X* / J = -2 and 1.
  const double k1 = 2.0, km1 = 1.0, k2 = 0.5, s = 1.0;
  const double x = k1 * s / (km1 + k2), j = k2 * x;
  const double c1 = k2 / (k2 + km1), c2 = km1 / (k2 + km1);
  ReferenceModel r;
  r.name = "ReversibleTwoStep";
  r.model = ReversibleTwoStep(k1, km1, k2, s);
  r.independent = {"X"};
  r.link = {{1.0}};
  r.concentrations = {{"X", x}};
  r.fluxes = {{"R1", j}, {"R2", j}};
  r.jacobian = {{-(km1 + k2)}};
  r.eigenvalues = {-(km1 + k2)};
  r.steps = {"R1", "R2"};
  r.elasticities = {{-km1 * x / j}, {1.0}};
  r.fluxControl = {{c1, c2}, {c1, c2}};
  r.concControl = {{c1, -c1}};
  return r;
}

ReferenceModel LinearMichaelisMentenEntry() {
  // v_i = V_i x / (Km_i + x): E1 (Km 0.5, V 2) on S = 1, E2 (Km 1, V 3) on
  // A, E3 (Km 2, V 4) on B. E1 reads only the fixed S, so
  // J = 2 / 1.5 = 4/3 whatever A and B are; A* = J Km_2 / (V_2 - J) = 4/5,
  // B* = J Km_3 / (V_3 - J) = 1. e = V Km / (Km + x)^2: 25/27 for E2,
  // 8/9 for E3; Jacobian over (A, B): [[-e2, 0], [e2, -e3]], eigenvalues
  // -e2, -e3. Only E1 controls the flux: C^J = (1, 0, 0) for every step.
  // ln A* = ln J + ln Km_2 - ln(V_2 - J): C^A = (V_2 / (V_2 - J), -V_2 /
  // (V_2 - J), 0) = (9/5, -9/5, 0); likewise C^B = (3/2, 0, -3/2). Scaled
  // elasticities Km / (Km + x): 5/9 (E2 to A), 2/3 (E3 to B).
  const double j = 4.0 / 3.0, a = 0.8, b = 1.0, e2 = 25.0 / 27.0, e3 = 8.0 / 9.0;
  ReferenceModel r;
  r.name = "LinearMichaelisMenten";
  r.model = LinearMichaelisMenten();
  r.independent = {"A", "B"};
  r.link = {{1.0, 0.0}, {0.0, 1.0}};
  r.concentrations = {{"A", a}, {"B", b}};
  r.fluxes = {{"E1", j}, {"E2", j}, {"E3", j}};
  r.jacobian = {{-e2, 0.0}, {e2, -e3}};
  r.eigenvalues = {-e2, -e3};
  r.steps = {"E1", "E2", "E3"};
  r.elasticities = {{0.0, 0.0}, {5.0 / 9.0, 0.0}, {0.0, 2.0 / 3.0}};
  r.fluxControl = {{1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}};
  r.concControl = {{9.0 / 5.0, -9.0 / 5.0, 0.0}, {3.0 / 2.0, 0.0, -3.0 / 2.0}};
  return r;
}

ReferenceModel BranchedPathwayEntry() {
  // In = 3 S / (1 + S) = 2 with S = 2; Out1 = 2 X / (0.5 + X),
  // Out2 = 1.5 X / (2 + X). Out1 + Out2 = 2 clears to 6 X^2 - X - 8 = 0:
  // X* = (1 + sqrt(193)) / 12. In reads no X (e_0 = 0), so the In flux is
  // all its own: C^J_In = (1, 0, 0). With E = e1 + e2 the unscaled
  // C^X = (1, -1, -1) / E, and the outflows' rows are
  // Out1: (e1, e2, -e1) / E, Out2: (e2, -e2, e1) / E, each scaled by
  // v_k / v_j. Jacobian -E. Scaled elasticities Km / (Km + X*).
  const double x = (1.0 + std::sqrt(193.0)) / 12.0;
  const double v0 = 2.0, v1 = 2.0 * x / (0.5 + x), v2 = 1.5 * x / (2.0 + x);
  const double e1 = 2.0 * 0.5 / ((0.5 + x) * (0.5 + x)), e2 = 1.5 * 2.0 / ((2.0 + x) * (2.0 + x));
  const double e = e1 + e2;
  ReferenceModel r;
  r.name = "BranchedPathway";
  r.model = BranchedPathway();
  r.independent = {"X"};
  r.link = {{1.0}};
  r.concentrations = {{"X", x}};
  r.fluxes = {{"In", v0}, {"Out1", v1}, {"Out2", v2}};
  r.jacobian = {{-e}};
  r.eigenvalues = {-e};
  r.steps = {"In", "Out1", "Out2"};
  r.elasticities = {{0.0}, {0.5 / (0.5 + x)}, {2.0 / (2.0 + x)}};
  r.fluxControl = {{1.0, 0.0, 0.0},
                   {e1 / e * v0 / v1, e2 / e, -e1 / e * v2 / v1},
                   {e2 / e * v0 / v2, -e2 / e * v1 / v2, e1 / e}};
  r.concControl = {{v0 / (e * x), -v1 / (e * x), -v2 / (e * x)}};
  return r;
}

ReferenceModel EnzymeWithMoietyEntry() {
  // Bind: k1 E S - k2 ES (k1 = 10, k2 = 1, S = 0.5), Cat: kcat ES (kcat = 2),
  // from E = 1, ES = 0: T = E + ES = 1 is conserved. E is independent, ES
  // = T - E follows: L = (1, -1). With q = k1 S / (k2 + kcat) = 5/3:
  // ES* = T q / (1 + q) = 5/8, E* = T / (1 + q) = 3/8, J = kcat ES* = 5/4
  // through both steps. dE/dt = -k1 S E + (k2 + kcat)(T - E): the Jacobian
  // is -(k1 S + k2 + kcat) = -8 at every E. Scaling Bind multiplies q by
  // lambda^(kcat / (k2 + kcat)) = lambda^(2/3), scaling Cat by
  // lambda^(-2/3) and J by lambda besides; d ln ES / d ln q = 1 / (1 + q)
  // = 3/8, d ln E / d ln q = -q / (1 + q) = -5/8. So C^J = (1/4, 3/4),
  // C^E = (-5/12, 5/12), C^ES = (1/4, -1/4). Scaled elasticities: Bind to
  // E k1 S E* / J = 3/2, to ES -k2 ES* / J = -1/2; Cat to ES 1.
  ReferenceModel r;
  r.name = "EnzymeWithMoiety";
  r.model = EnzymeWithMoiety();
  r.independent = {"E"};
  r.dependent = {"ES"};
  r.link = {{1.0}, {-1.0}};
  r.moieties = {{"  E + ES ", 1.0}};
  r.concentrations = {{"E", 3.0 / 8.0}, {"ES", 5.0 / 8.0}};
  r.fluxes = {{"Bind", 5.0 / 4.0}, {"Cat", 5.0 / 4.0}};
  r.jacobian = {{-8.0}};
  r.eigenvalues = {-8.0};
  r.steps = {"Bind", "Cat"};
  r.elasticities = {{1.5, -0.5}, {0.0, 1.0}};
  r.fluxControl = {{0.25, 0.75}, {0.25, 0.75}};
  r.concControl = {{-5.0 / 12.0, 5.0 / 12.0}, {0.25, -0.25}};
  return r;
}

ReferenceModel ReversibleMichaelisMentenEntry() {
  // E1 = (Vf S / Kms - Vr X / Kmp) / (1 + S / Kms + X / Kmp) = (4 - X) /
  // (2 + X) with S = 1, E2 = X: (4 - X) = X (2 + X) gives X* = 1, J = 1.
  // e_1 = (-Vr/Kmp (1 + S/Kms + X/Kmp) - (Vf S/Kms - Vr X/Kmp) / Kmp) / D^2
  // = (-3 - 3) / 9 = -2/3, e_2 = 1: Jacobian -5/3; C^J_1 = e2 / (e2 - e1)
  // = 3/5, C^J_2 = -e1 / (e2 - e1) = 2/5, C^X_1 = J / (X* (e2 - e1)) = 3/5
  // = -C^X_2. Scaled elasticities: -2/3 and 1.
  ReferenceModel r;
  r.name = "ReversibleMichaelisMenten";
  r.model = ReversibleMichaelisMentenStep();
  r.independent = {"X"};
  r.link = {{1.0}};
  r.concentrations = {{"X", 1.0}};
  r.fluxes = {{"E1", 1.0}, {"E2", 1.0}};
  r.jacobian = {{-5.0 / 3.0}};
  r.eigenvalues = {-5.0 / 3.0};
  r.steps = {"E1", "E2"};
  r.elasticities = {{-2.0 / 3.0}, {1.0}};
  r.fluxControl = {{0.6, 0.4}, {0.6, 0.4}};
  r.concControl = {{0.6, -0.6}};
  return r;
}

ReferenceModel UnequalVolumesCycleEntry() {
  // A -> B -> C -> A, v_i = k_i x (k1 = 1, k2 = 2, k3 = 0.5); A and C in
  // volume 0.5, B in volume 2. A step changes concentrations whatever the
  // volumes, so [A] + [B] + [C] = 1.75 is conserved; its total is kept as
  // an amount in the volume of the dependent C: 1.75 x 0.5. Elimination in
  // table order makes A and B independent and C dependent with
  // C row = -(B row after A's elimination): L = [[1, 0], [-1, 1], [0, -1]].
  // At the steady state k1 A = k2 B = k3 C = J with J (1/k1 + 1/k2 + 1/k3)
  // = 1.75: J = 0.5, A = 0.5, B = 0.25, C = 1. In concentrations, with
  // C = T - A - B: d[A]/dt = -k1 A + k3 C has derivatives (-k1 - k3, -k3),
  // d[B]/dt = k1 A - k2 B has (k1, -k2); in amounts dF_i/dx_j = V_i / V_j
  // times these: [[-1.5, -0.125], [4, -2]]. Eigenvalues: l^2 + s l + p with
  // s = k1 + k2 + k3 = 3.5, p = k1 k2 + k2 k3 + k3 k1 = 3.5. J is the total
  // over the sum of 1/k, so C^J_i = (1/k_i) / sum(1/k) = (2/7, 1/7, 4/7)
  // for every step; X = J / k_x gives C^X_i = C^J_i - delta(i, x).
  const double cj[] = {2.0 / 7.0, 1.0 / 7.0, 4.0 / 7.0};
  const double s = 3.5, p = 3.5;
  const std::complex<double> root = std::sqrt(std::complex<double>(s * s - 4.0 * p)) / 2.0;
  ReferenceModel r;
  r.name = "UnequalVolumesCycle";
  r.model = UnequalVolumesCycle();
  r.independent = {"A", "B"};
  r.dependent = {"C"};
  r.link = {{1.0, 0.0}, {-1.0, 1.0}, {0.0, -1.0}};
  r.moieties = {{"  A + B + C ", 1.75 * 0.5}};
  r.concentrations = {{"A", 0.5}, {"B", 0.25}, {"C", 1.0}};
  r.fluxes = {{"R1", 0.5}, {"R2", 0.5}, {"R3", 0.5}};
  r.jacobian = {{-1.5, -0.125}, {4.0, -2.0}};
  r.eigenvalues = {-s / 2.0 + root, -s / 2.0 - root};
  r.steps = {"R1", "R2", "R3"};
  r.elasticities = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  r.fluxControl = {{cj[0], cj[1], cj[2]}, {cj[0], cj[1], cj[2]}, {cj[0], cj[1], cj[2]}};
  r.concControl = {
      {cj[0] - 1.0, cj[1], cj[2]}, {cj[0], cj[1] - 1.0, cj[2]}, {cj[0], cj[1], cj[2] - 1.0}};
  return r;
}

ReferenceModel BrusselatorEntry() {
  // R1 = a, R2 = X^2 Y, R3 = b X, R4 = X with a = 1, b = 3:
  // dX/dt = a - (b + 1) X + X^2 Y, dY/dt = b X - X^2 Y, so X* = a = 1,
  // Y* = b / a = 3 and the fluxes are (1, 3, 3, 1). Jacobian
  // [[b - 1, a^2], [-b, -a^2]] = [[2, 1], [-3, -1]]: trace 1, determinant
  // 1, eigenvalues 1/2 +/- i sqrt(3)/2 (an unstable focus). Unscaled
  // elasticities to (X, Y): R1 (0, 0), R2 (2XY, X^2) = (6, 1), R3 (3, 0),
  // R4 (1, 0). C^S = -Jac^-1 N with -Jac^-1 = [[1, 1], [-3, -2]] and the
  // columns of N (1, 0), (1, -1), (-1, 1), (-1, 0): C^X = (1, 0, 0, -1),
  // C^Y = (-3, -1, 1, 3), scaled by v_k / (1, 3): C^Y = (-1, -1, 1, 1).
  // C^J = I + e C^S: R1 and R4 (1, 0, 0, 0), R2 and R3 (3, 0, 1, -3), the
  // latter scaled by v_k / 3: (1, 0, 1, -1). Scaled elasticities: R2
  // (2, 1), R3 and R4 (1, 0).
  ReferenceModel r;
  r.name = "Brusselator";
  r.model = Brusselator(1.0, 3.0);
  r.independent = {"X", "Y"};
  r.link = {{1.0, 0.0}, {0.0, 1.0}};
  r.concentrations = {{"X", 1.0}, {"Y", 3.0}};
  r.fluxes = {{"R1", 1.0}, {"R2", 3.0}, {"R3", 3.0}, {"R4", 1.0}};
  r.jacobian = {{2.0, 1.0}, {-3.0, -1.0}};
  r.eigenvalues = {{0.5, std::sqrt(3.0) / 2.0}, {0.5, -std::sqrt(3.0) / 2.0}};
  r.steps = {"R1", "R2", "R3", "R4"};
  r.elasticities = {{0.0, 0.0}, {2.0, 1.0}, {1.0, 0.0}, {1.0, 0.0}};
  r.fluxControl = {
      {1.0, 0.0, 0.0, 0.0}, {1.0, 0.0, 1.0, -1.0}, {1.0, 0.0, 1.0, -1.0}, {1.0, 0.0, 0.0, 0.0}};
  r.concControl = {{1.0, 0.0, 0.0, -1.0}, {-1.0, -1.0, 1.0, 1.0}};
  return r;
}

}  // namespace

const std::vector<ReferenceModel>& ReferenceModels() {
  static const std::vector<ReferenceModel>* models = [] {
    return new std::vector<ReferenceModel>{
        LinearTwoStepEntry(),       ReversibleTwoStepEntry(), LinearMichaelisMentenEntry(),
        BranchedPathwayEntry(),     EnzymeWithMoietyEntry(),  ReversibleMichaelisMentenEntry(),
        UnequalVolumesCycleEntry(), BrusselatorEntry()};
  }();
  return *models;
}

const ReferenceModel& FindReferenceModel(const std::string& name) {
  for (const ReferenceModel& r : ReferenceModels()) {
    if (r.name == name) return r;
  }
  ADD_FAILURE() << "no reference model " << name;
  return ReferenceModels().front();
}

}  // namespace vireon::test
