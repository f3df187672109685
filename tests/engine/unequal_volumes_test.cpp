// Conservation relations between metabolites in compartments of unequal
// volume. A step changes the concentration of each of its metabolites by
// rate x coefficient, whatever the volumes, so what a relation conserves is
// its sum over concentrations. The engine's reduced system (independent
// amounts, dependent ones from the moiety totals) must follow the same
// trajectory as the full equations, and reach the same steady state.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/control_analysis.h"
#include "engine/steady_state.h"
#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

using test::EngineRig;
using Concentrations = std::map<std::string, double>;

struct Case {
  std::string name;
  Model model;
  Concentrations steadyState;                     // closed form
  std::vector<std::complex<double>> eigenvalues;  // of the reduced system, closed form
  // Closed-form time course, where there is one.
  std::function<Concentrations(double)> timeCourse;
};

// volumes[c] for compartment c; where[name] = {compartment, initial concentration}.
void Place(Model& model, const std::vector<double>& volumes,
           const std::map<std::string, std::pair<int, double>>& where) {
  ASSERT_EQ(model.SetCompartmentCount(static_cast<int>(volumes.size())), 0);
  for (std::size_t c = 0; c < volumes.size(); ++c) model.compartments[c].volume = volumes[c];
  for (const auto& [name, place] : where) test::SetInitial(model, name, place.second, place.first);
  StructuralAnalysis(model);
}

// A -> B with A in a volume of 1 and B in a volume of 2.
Case Transfer() {
  const double k = 0.7, a0 = 2.0, b0 = 0.5;
  Case c{"transfer", test::BuildModel({{"R", "A -> B"}}), {{"A", 0.0}, {"B", a0 + b0}}, {-k}, {}};
  test::UseKinetics(c.model, "R", "Mass action (irreversible)", {k});
  Place(c.model, {1.0, 2.0}, {{"A", {0, a0}}, {"B", {1, b0}}});
  c.timeCourse = [=](double t) {
    const double a = a0 * std::exp(-k * t);
    return Concentrations{{"A", a}, {"B", b0 + a0 - a}};
  };
  return c;
}

// A -> B -> C -> A, B alone in the larger compartment, with its answers
// from the reference catalogue.
Case Cycle() {
  const test::ReferenceModel& r = test::FindReferenceModel("UnequalVolumesCycle");
  return Case{"cycle", r.model, r.concentrations, r.eigenvalues, {}};
}

// E + S = ES, ES -> E + P with S and P fixed, each of E, ES and S in a
// compartment of its own volume: ES = Et q / (1 + q), q = k1 S / (k2 + kcat).
Case Enzyme() {
  const double k1 = 10.0, k2 = 1.0, kcat = 2.0, s = 0.5, total = 1.2;
  const double q = k1 * s / (k2 + kcat);
  Case c{"enzyme",
         test::BuildModel({{"Bind", "E + S = ES"}, {"Cat", "ES -> E + P"}}, {"S", "P"}),
         {{"E", total / (1.0 + q)}, {"ES", total * q / (1.0 + q)}, {"S", s}},
         {-(k1 * s + k2 + kcat)},
         {}};
  test::UseKinetics(c.model, "Bind", "Mass action (reversible)", {k1, k2});
  test::UseKinetics(c.model, "Cat", "Mass action (irreversible)", {kcat});
  Place(c.model, {1.0, 2.5, 0.4},
        {{"E", {0, 1.0}}, {"ES", {1, 0.2}}, {"S", {2, s}}, {"P", {0, 0.0}}});
  return c;
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  cases.push_back(Transfer());
  cases.push_back(Cycle());
  cases.push_back(Enzyme());
  return cases;
}

double Concentration(const Model& model, const std::string& name) {
  return model.metabolites[model.FindMetabolite(name)].concentration;
}

// The full equations, with no conservation relation: d amount_m / dt =
// volume_m x sum over steps of coefficient x rate. Amounts by position.
std::vector<double> FullDerivatives(EngineRig& rig, const std::vector<double>& x) {
  const Model& model = rig.model;
  std::vector<double> rate(model.nSteps());
  for (int s = 1; s <= model.nSteps(); ++s) {
    rate[model.stepOrder[s - 1]] = rig.engine->equations.StepRate(x.data(), s);
  }
  std::vector<double> dx(x.size(), 0.0);
  for (int m = 0; m < model.nMetabolites(); ++m) {
    if (model.metabolites[m].type == FIXED) continue;
    double sum = 0.0;
    for (int k = 0; k < model.nSteps(); ++k) sum += model.stoichiometry[m][k] * rate[k];
    dx[rig.PositionOf(model.metabolites[m].name)] = sum * model.VolumeOf(m);
  }
  return dx;
}

// Classical Runge-Kutta over the full equations from x to time t.
std::vector<double> IntegrateFull(EngineRig& rig, std::vector<double> x, double t) {
  const int n = 500;
  const double h = t / n;
  auto axpy = [](const std::vector<double>& a, double f, const std::vector<double>& b) {
    std::vector<double> r(a);
    for (std::size_t i = 0; i < r.size(); ++i) r[i] += f * b[i];
    return r;
  };
  for (int i = 0; i < n; ++i) {
    const std::vector<double> k1 = FullDerivatives(rig, x);
    const std::vector<double> k2 = FullDerivatives(rig, axpy(x, h / 2, k1));
    const std::vector<double> k3 = FullDerivatives(rig, axpy(x, h / 2, k2));
    const std::vector<double> k4 = FullDerivatives(rig, axpy(x, h, k3));
    for (std::size_t p = 0; p < x.size(); ++p)
      x[p] += h / 6 * (k1[p] + 2 * k2[p] + 2 * k3[p] + k4[p]);
  }
  return x;
}

std::vector<double> Totals(const Model& model) {
  std::vector<double> totals;
  for (const Metabolite& moiety : model.moieties) totals.push_back(moiety.initialConcentration);
  return totals;
}

// The totals a model would have if it started from its current concentrations.
std::vector<double> TotalsNow(Model model) {
  for (Metabolite& m : model.metabolites) m.initialConcentration = m.concentration;
  ComputeMoietyTotals(model);
  return Totals(model);
}

TEST(UnequalVolumesTest, TheReducedTimeCourseFollowsTheFullEquations) {
  for (Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.model.nMoieties(), 1);
    TaskSettings settings;
    settings.endTime = 3.0;
    settings.points = 6;
    settings.solver.relativeTolerance = 1e-9;
    EngineRig rig(c.model, settings);
    SetUpTimeCourse(*rig.engine);
    TimeCourse(*rig.engine, /*write=*/true);
    ASSERT_EQ(rig.hooks.rowTimes.size(), 7u);

    std::vector<double> full(rig.model.nMetabolites() + 1);
    rig.engine->equations.SetInitialAmounts(full.data());
    double reached = 0.0;
    for (std::size_t i = 1; i < rig.hooks.rowTimes.size(); ++i) {
      const double t = rig.hooks.rowTimes[i];
      full = IntegrateFull(rig, full, t - reached);
      reached = t;
      for (const Metabolite& m : rig.model.metabolites) {
        const double volume = rig.model.VolumeOf(rig.model.FindMetabolite(m.name));
        const double reduced = rig.AmountOf(rig.hooks.rowAmounts[i], m.name) / volume;
        EXPECT_CLOSE(reduced, rig.AmountOf(full, m.name) / volume, 1e-8, 1e-6)
            << m.name << " at " << t;
        if (c.timeCourse) {
          EXPECT_CLOSE(reduced, c.timeCourse(t).at(m.name), 1e-8, 1e-6) << m.name << " at " << t;
        }
      }
    }
    // The moiety total is what stays constant along the way.
    const std::vector<double> totals = Totals(rig.model);
    const std::vector<double> now = TotalsNow(rig.model);
    for (std::size_t k = 0; k < totals.size(); ++k) EXPECT_CLOSE(now[k], totals[k], 1e-9, 1e-7);
  }
}

TEST(UnequalVolumesTest, SteadyStateAndStabilityMatchTheClosedForms) {
  for (Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    EngineRig rig(c.model);
    const std::vector<double> totals = Totals(rig.model);
    SteadyState(*rig.engine);
    ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
    for (const auto& [name, expected] : c.steadyState) {
      EXPECT_CLOSE(Concentration(rig.model, name), expected, 1e-9, 1e-7) << name;
    }
    // The full equations vanish there, and the totals are those of the start.
    for (double d : FullDerivatives(rig, rig.state.ssAmounts)) EXPECT_CLOSE(d, 0.0, 1e-9, 0.0);
    const std::vector<double> now = TotalsNow(rig.model);
    for (std::size_t k = 0; k < totals.size(); ++k) EXPECT_CLOSE(now[k], totals[k], 1e-9, 1e-7);

    ASSERT_EQ(rig.model.nIndependent, static_cast<int>(c.eigenvalues.size()));
    std::complex<double> sum = 0.0, product = 1.0, expectedSum = 0.0, expectedProduct = 1.0;
    for (int i = 0; i < rig.model.nIndependent; ++i) {
      const std::complex<double> l(rig.state.eigenReal[i], rig.state.eigenImag[i]);
      sum += l;
      product *= l;
      expectedSum += c.eigenvalues[i];
      expectedProduct *= c.eigenvalues[i];
    }
    EXPECT_CLOSE(sum.real(), expectedSum.real(), 1e-6, 1e-5);
    EXPECT_CLOSE(product.real(), expectedProduct.real(), 1e-6, 1e-5);
    EXPECT_CLOSE(product.imag(), 0.0, 1e-6, 0.0);
  }
}

// Scaled control coefficients against the response of the steady state to a
// small change of every constant of one step (which scales its mass-action
// rate), by central differences.
TEST(UnequalVolumesTest, ControlCoefficientsAreTheSteadyStateResponses) {
  for (Case& c : Cases()) {
    if (c.name == "transfer") continue;  // no flux at its steady state
    SCOPED_TRACE(c.name);
    EngineRig rig(c.model);
    SteadyState(*rig.engine);
    ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
    ControlAnalysis(*rig.engine);

    const double h = 1e-3;
    const int nSteps = rig.model.nSteps();
    for (int s = 0; s < nSteps; ++s) {
      const int k = rig.model.stepOrder[s];
      std::vector<Model> shifted;
      for (double f : {1.0 + h, 1.0 - h}) {
        EngineRig moved(c.model);
        for (double& constant : moved.model.steps[k].constants) constant *= f;
        SteadyState(*moved.engine);
        ASSERT_EQ(moved.state.ssFailure, SteadyStateOutcome::kFound);
        shifted.push_back(moved.model);
      }
      const double dlnv = std::log((1.0 + h) / (1.0 - h));
      for (int i = 0; i < rig.model.nVariable; ++i) {
        const int m = rig.model.metaboliteOrder[i];
        const double response = std::log(shifted[0].metabolites[m].concentration /
                                         shifted[1].metabolites[m].concentration) /
                                dlnv;
        EXPECT_CLOSE(rig.state.concControl[i][s], response, 1e-5, 0.0)
            << rig.model.metabolites[m].name << " / " << rig.model.steps[k].name;
      }
      for (int j = 0; j < nSteps; ++j) {
        const int kj = rig.model.stepOrder[j];
        const double response =
            std::log(shifted[0].steps[kj].flux / shifted[1].steps[kj].flux) / dlnv;
        EXPECT_CLOSE(rig.state.fluxControl[j][s], response, 1e-5, 0.0)
            << rig.model.steps[kj].name << " / " << rig.model.steps[k].name;
      }
    }
  }
}

}  // namespace
}  // namespace vireon
