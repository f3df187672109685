// The gallery of example models, each run with `vireon run` as a user runs
// it, and its key numbers checked against what the source publication or a
// closed form says: steady states solved by hand from the rate laws,
// eigenvalues of the Jacobian at a known steady state, oscillation periods
// and conserved quantities, published values of a stiff benchmark, and the
// theorems of metabolic control analysis.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/example_definitions.h"
#include "support/expect_close.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

// Data files of columns that are 22 wide carry about fourteen digits; the
// three older examples write columns of 12, which carry five.
constexpr double kWideRel = 1e-7;
constexpr double kNarrowRel = 2e-4;
constexpr double kAbs = 1e-12;

// The rows of numbers of a data file: the titles line and the blank lines
// between scan points are left out.
std::vector<std::vector<double>> ReadRows(const fs::path& file) {
  std::vector<std::vector<double>> rows;
  std::istringstream text(ReadText(file));
  std::string line;
  bool titles = true;
  while (std::getline(text, line)) {
    if (titles) {
      titles = false;
      continue;
    }
    std::istringstream fields(line);
    std::vector<double> row;
    for (std::string field; fields >> field;) row.push_back(std::strtod(field.c_str(), nullptr));
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

// The position of the item titled `title` in a selection.
std::size_t Column(const std::vector<OutputItem>& selection, std::string_view title) {
  for (std::size_t k = 0; k < selection.size(); ++k) {
    if (selection[k].title == title) return k;
  }
  ADD_FAILURE() << "no column " << title;
  return 0;
}

// The value that follows `label` in the report (the last such line).
double ReportValue(const std::string& report, const std::string& label) {
  const std::size_t at = report.rfind(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "the report has no " << label;
    return std::nan("");
  }
  return std::strtod(report.c_str() + at + label.size(), nullptr);
}

class ExampleGallery : public CliFolder {
 protected:
  // Runs the example on a copy with `vireon run`; the results stay in the folder.
  void Run(const ExampleModel& example, std::vector<std::string> options = {}) {
    example_ = example;
    const fs::path model = CopyExample(example.fileName);
    std::vector<std::string> arguments = {"run", "--quiet"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(model.string());
    const ProgramResult result = RunVireon(arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_EQ(result.err.find("Errors in this simulation"), std::string::npos) << result.err;
    steadyState_ = ReadRows(folder() / (ExampleBaseName(example.fileName) + "-steadystate.dat"));
    timeCourse_ = ReadRows(folder() / (ExampleBaseName(example.fileName) + "-timecourse.dat"));
    report_ = ReadText(folder() / (ExampleBaseName(example.fileName) + ".txt"));
    ASSERT_FALSE(steadyState_.empty());
    ASSERT_FALSE(timeCourse_.empty());
  }

  // A value of the steady-state file's row `row`, by its column's title.
  double SteadyState(std::string_view title, std::size_t row = 0) const {
    return steadyState_.at(row).at(Column(example_.steadyState, title));
  }
  // A time-course column, by its title.
  std::vector<double> TimeCourse(std::string_view title) const {
    const std::size_t column = Column(example_.timeCourse, title);
    std::vector<double> values;
    for (const std::vector<double>& row : timeCourse_) values.push_back(row.at(column));
    return values;
  }
  // A kinetic constant of a step of the example, by the constant's position.
  double Constant(std::string_view step, std::size_t k) const {
    for (const ExampleStep& s : example_.steps) {
      if (s.name == step) return s.constants.at(k);
    }
    ADD_FAILURE() << "no step " << step;
    return std::nan("");
  }
  double Initial(std::string_view metabolite) const {
    for (const auto& [name, value] : example_.initialConcentrations) {
      if (name == metabolite) return value;
    }
    return 0.0;
  }

  ExampleModel example_;
  std::vector<std::vector<double>> steadyState_;
  std::vector<std::vector<double>> timeCourse_;
  std::string report_;
};

// S solves (k1*Sx - k2*S)(Km + S) = kcat*Et*S, with Km = (k-1 + kcat)/k+1:
// the supply equals the catalysis of the quasi-steady complex.
TEST_F(ExampleGallery, MichaelisMentenSteadyStateSolvesTheBriggsHaldaneBalance) {
  Run(MichaelisMenten());
  const double supply = Constant("supply", 0) * Initial("Sx");
  const double back = Constant("supply", 1);
  const double kcat = Constant("catalysis", 0);
  const double km = (Constant("binding", 1) + kcat) / Constant("binding", 0);
  const double total = Initial("E");
  const double b = supply - back * km - kcat * total;
  const double s = (b + std::sqrt(b * b + 4.0 * back * supply * km)) / (2.0 * back);
  const double flux = kcat * total * s / (km + s);
  EXPECT_CLOSE(SteadyState("[S]ss"), s, kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("[ES]ss"), total * s / (km + s), kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("J(catalysis)"), flux, kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("[P]ss"), flux / Constant("removal", 0), kAbs, kNarrowRel);
}

TEST_F(ExampleGallery, BranchedPathwayBalancesItsBranchPointAndSumsItsControl) {
  Run(BranchedPathway());
  EXPECT_CLOSE(SteadyState("J(E1)"), SteadyState("J(E4)") + SteadyState("J(E5)"), kAbs,
               kNarrowRel);
  double sum = 0.0;
  for (const char* step : {"E1", "E2", "E3", "E4", "E5"}) {
    sum += ReportValue(report_, std::string("C(J(E4),") + step + ") = ");
  }
  // Five values of five significant digits each.
  EXPECT_CLOSE(sum, 1.0, 3e-4, 0.0);
}

// The Jacobian at X = A, Y = B/A is [[B - 1, A^2], [-B, -A^2]].
TEST_F(ExampleGallery, BrusselatorIsAnUnstableFocusInsideALimitCycle) {
  Run(Brusselator());
  const double a = Initial("A");
  const double b = Initial("B");
  const double trace = b - 1.0 - a * a;
  const double determinant = a * a;
  EXPECT_CLOSE(SteadyState("[X]ss"), a, kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("[Y]ss"), b / a, kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("Max.real eigenvalue component"), trace / 2.0, kAbs, kNarrowRel);
  EXPECT_CLOSE(SteadyState("Max.imag.eigenvalue component"),
               std::sqrt(determinant - trace * trace / 4.0), kAbs, kNarrowRel);
  // Away from the unstable focus, and bounded: the oscillation keeps its
  // amplitude over the second half of the run.
  const std::vector<double> x = TimeCourse("[X]t");
  const auto half = x.begin() + static_cast<std::ptrdiff_t>(x.size() / 2);
  EXPECT_GT(*std::max_element(half, x.end()) - *std::min_element(half, x.end()), 1.0);
}

// Around the centre X = k3/k2, Y = k1*A/k2 small cycles last
// 2*pi/sqrt(k1*A*k3), and k2*X - k3*ln X + k2*Y - k1*A*ln Y is conserved.
TEST_F(ExampleGallery, LotkaVolterraCyclesWithThePeriodOfItsCentre) {
  Run(LotkaVolterra());
  const double growth = Constant("growth", 0) * Initial("A");
  const double predation = Constant("predation", 0);
  const double decay = Constant("decay", 0);
  const double xCentre = decay / predation;
  EXPECT_CLOSE(SteadyState("[X]ss"), xCentre, 1e-9, 1e-9);
  EXPECT_CLOSE(SteadyState("[Y]ss"), growth / predation, 1e-9, 1e-9);
  EXPECT_CLOSE(SteadyState("Max.real eigenvalue component"), 0.0, 1e-9, 0.0);
  EXPECT_CLOSE(SteadyState("Max.imag.eigenvalue component"), std::sqrt(growth * decay), 1e-9,
               1e-9);

  const std::vector<double> t = TimeCourse("time");
  const std::vector<double> x = TimeCourse("[X]t");
  const std::vector<double> y = TimeCourse("[Y]t");
  // Upward crossings of the centre, interpolated between output points.
  std::vector<double> crossings;
  for (std::size_t k = 1; k < t.size(); ++k) {
    if (x[k - 1] < xCentre && x[k] >= xCentre) {
      crossings.push_back(t[k - 1] + (t[k] - t[k - 1]) * (xCentre - x[k - 1]) / (x[k] - x[k - 1]));
    }
  }
  ASSERT_GE(crossings.size(), 4u);
  const double period = (crossings.back() - crossings.front()) / double(crossings.size() - 1);
  // The start lies 10% off the centre: the period is longer than the small
  // cycles' by a fraction of the order of the amplitude squared.
  EXPECT_CLOSE(period, 2.0 * std::numbers::pi / std::sqrt(growth * decay), 0.0, 5e-3);

  auto invariant = [&](std::size_t k) {
    return predation * x[k] - decay * std::log(x[k]) + predation * y[k] - growth * std::log(y[k]);
  };
  for (std::size_t k = 0; k < t.size(); ++k) {
    EXPECT_CLOSE(invariant(k), invariant(0), 0.0, 1e-5) << "at t = " << t[k];
  }
}

// The steady state from the three balances: Z = 2*k3*A*X/(k5*B),
// Y = 2*f*k3*A*X/(k1*A + k2*X), and X the positive root of
// 2*k2*k4*X^2 + A*(2*k1*k4 + k2*k3*(2f - 1))*X - k1*k3*A^2*(1 + 2f) = 0 (f = 1).
TEST_F(ExampleGallery, OregonatorSteadyStateIsUnstableAndTheBurstsReachTheirCeiling) {
  Run(Oregonator());
  const double a = Initial("A");
  const double b = Initial("B");
  const double k1 = Constant("O1", 0), k2 = Constant("O2", 0), k3 = Constant("O3", 0);
  const double k4 = Constant("O4", 0), k5 = Constant("O5", 0);
  const double f = 1.0;
  const double quadratic = 2.0 * k2 * k4;
  const double linear = a * (2.0 * k1 * k4 + k2 * k3 * (2.0 * f - 1.0));
  const double constant = -k1 * k3 * a * a * (1.0 + 2.0 * f);
  const double x =
      (-linear + std::sqrt(linear * linear - 4.0 * quadratic * constant)) / (2.0 * quadratic);
  EXPECT_CLOSE(SteadyState("[X]ss"), x, kAbs, 1e-6);
  EXPECT_CLOSE(SteadyState("[Y]ss"), 2.0 * f * k3 * a * x / (k1 * a + k2 * x), kAbs, 1e-6);
  EXPECT_CLOSE(SteadyState("[Z]ss"), 2.0 * k3 * a * x / (k5 * b), kAbs, 1e-6);
  EXPECT_GT(SteadyState("Max.real eigenvalue component"), 0.0);
  EXPECT_EQ(SteadyState("Tot.w/pos.real part"), 2.0);

  // In a burst bromide is gone and dX/dt = k3*A*X - 2*k4*X^2: X rises to
  // nearly k3*A/(2*k4). Between bursts it falls orders of magnitude below.
  const double ceiling = k3 * a / (2.0 * k4);
  const std::vector<double> t = TimeCourse("time");
  const std::vector<double> burst = TimeCourse("[X]t");
  double highest = 0.0, lowest = ceiling;
  int bursts = 0;
  for (std::size_t k = 1; k < t.size(); ++k) {
    if (t[k] < 100.0) continue;
    highest = std::max(highest, burst[k]);
    lowest = std::min(lowest, burst[k]);
    if (burst[k - 1] < ceiling / 2 && burst[k] >= ceiling / 2) ++bursts;
  }
  EXPECT_CLOSE(highest, ceiling, 0.0, 0.02);
  EXPECT_LT(lowest, ceiling * 1e-3);
  EXPECT_GE(bursts, 4);
}

// The reference solution at t = 40, as the published LSODA demonstration
// prints it, and A + B + C = 1 at every point.
TEST_F(ExampleGallery, RobertsonReachesThePublishedValuesAtFortySeconds) {
  Run(Robertson());
  EXPECT_CLOSE(TimeCourse("time").back(), 40.0, kAbs, kWideRel);
  EXPECT_CLOSE(TimeCourse("[A]t").back(), 7.158271e-01, 0.0, 1e-6);
  EXPECT_CLOSE(TimeCourse("[B]t").back(), 9.185535e-06, 0.0, 1e-5);
  EXPECT_CLOSE(TimeCourse("[C]t").back(), 2.841637e-01, 0.0, 1e-6);
  const std::vector<double> a = TimeCourse("[A]t"), b = TimeCourse("[B]t"), c = TimeCourse("[C]t");
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_CLOSE(a[k] + b[k] + c[k], 1.0, 1e-10, 0.0);
}

// Goldbeter and Koshland's function: the steady-state fraction of the
// modified form for the rates v1 (modifying), v2 (demodifying) and the
// Michaelis constants over the total, J1 and J2.
double GoldbeterKoshland(double v1, double v2, double j1, double j2) {
  const double b = v2 - v1 + j1 * v2 + j2 * v1;
  return 2.0 * v1 * j2 / (b + std::sqrt(b * b - 4.0 * (v2 - v1) * v1 * j2));
}

TEST_F(ExampleGallery, PhosphorylationCycleFollowsTheGoldbeterKoshlandFunction) {
  Run(PhosphorylationCycle());
  ASSERT_EQ(steadyState_.size(), 11u);
  const double total = Initial("W") + Initial("Wp");
  const double j1 = Constant("kinase", 0) / total;
  const double j2 = Constant("phosphatase", 0) / total;
  const double v2 = Constant("phosphatase", 1);
  for (std::size_t row = 0; row < steadyState_.size(); ++row) {
    const double v1 = SteadyState("kinase(V)", row);
    EXPECT_CLOSE(v1, 0.5 + 0.1 * double(row), kAbs, kWideRel);
    EXPECT_CLOSE(SteadyState("[Wp]ss", row) / total, GoldbeterKoshland(v1, v2, j1, j2), kAbs,
                 1e-6)
        << "kinase V = " << v1;
    EXPECT_CLOSE(SteadyState("[W]ss", row) + SteadyState("[Wp]ss", row), total, 1e-10, 0.0);
  }
  // Where the two enzymes are mirror images (V1 = V2, equal Km) half of W
  // is modified; the ends of the scan lie near 0 and near 1.
  EXPECT_CLOSE(SteadyState("[Wp]ss", 5), total / 2.0, 1e-9, 0.0);
  EXPECT_LT(SteadyState("[Wp]ss", 0), 0.1 * total);
  EXPECT_GT(SteadyState("[Wp]ss", 10), 0.9 * total);
}

// Along the chain one flux J runs through every step. Hexokinase gives
// G6P = Ki*(V*Glc/((Km + Glc)*J) - 1), phosphofructokinase
// F6P = K0.5*(J/(V - J))^(1/n); the isomerase's rate at these two levels
// must equal J, one equation in J solved here by bisection.
TEST_F(ExampleGallery, UpperGlycolysisCarriesTheFluxItsRateLawsBalance) {
  Run(UpperGlycolysis());
  const double glucose = Initial("Glc");
  const double hexokinase = Constant("HK", 1) * glucose / (Constant("HK", 0) + glucose);
  const double ki = Constant("HK", 2);
  const double kms = Constant("PGI", 0), kmp = Constant("PGI", 1), vf = Constant("PGI", 2),
               keq = Constant("PGI", 3);
  const double halfSaturation = Constant("PFK", 0), vPfk = Constant("PFK", 1),
               hill = Constant("PFK", 2);
  auto g6p = [&](double j) { return ki * (hexokinase / j - 1.0); };
  auto f6p = [&](double j) { return halfSaturation * std::pow(j / (vPfk - j), 1.0 / hill); };
  auto excess = [&](double j) {
    return vf * (g6p(j) - f6p(j) / keq) / (g6p(j) + kms * (1.0 + f6p(j) / kmp)) - j;
  };
  double low = 1e-12, high = std::min({hexokinase, vPfk, Constant("ALD", 1)}) * (1 - 1e-12);
  for (int i = 0; i < 200; ++i) {
    const double middle = (low + high) / 2.0;
    (excess(middle) > 0.0 ? low : high) = middle;
  }
  const double flux = (low + high) / 2.0;
  EXPECT_CLOSE(SteadyState("J(HK)"), flux, kAbs, 1e-6);
  EXPECT_CLOSE(SteadyState("[G6P]ss"), g6p(flux), kAbs, 1e-6);
  EXPECT_CLOSE(SteadyState("[F6P]ss"), f6p(flux), kAbs, 1e-6);
  const double aldolase = Constant("ALD", 1);
  EXPECT_CLOSE(SteadyState("[FBP]ss"), Constant("ALD", 0) * flux / (aldolase - flux), kAbs, 1e-6);

  double sum = 0.0;
  for (const char* step : {"HK", "PGI", "PFK", "ALD"}) {
    sum += SteadyState(std::string("C(J(ALD),") + step + ")");
  }
  EXPECT_CLOSE(sum, 1.0, 1e-9, 1e-9);
  EXPECT_CLOSE(SteadyState("C(J(ALD),ALD)"), 0.0, 1e-9, 0.0);
}

// With q(i) = k+(i)/k-(i), J = (X0*q1*q2*q3*q4 - X4)/sum(i) t(i) and the flux
// control coefficient of step i is t(i)/sum, where t(i) = q(i)*...*q(4)/k+(i).
TEST_F(ExampleGallery, LinearPathwayControlHasItsClosedFormAndSumsToOne) {
  Run(LinearPathway());
  const std::vector<std::string> steps = {"E1", "E2", "E3", "E4"};
  std::vector<double> terms(steps.size());
  double product = 1.0, sum = 0.0;
  for (std::size_t i = steps.size(); i-- > 0;) {
    product *= Constant(steps[i], 0) / Constant(steps[i], 1);
    terms[i] = product / Constant(steps[i], 0);
    sum += terms[i];
  }
  EXPECT_CLOSE(SteadyState("J(E4)"), (Initial("X0") * product - Initial("X4")) / sum, kAbs,
               kWideRel);
  double reported = 0.0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::string title = "C(J(E4)," + steps[i] + ")";
    EXPECT_CLOSE(SteadyState(title), terms[i] / sum, kAbs, 1e-6) << title;
    // The report shows the coefficients the theorem sums.
    reported += ReportValue(report_, title + " = ");
  }
  EXPECT_CLOSE(reported, 1.0, 3e-4, 0.0);  // four values of five significant digits
  EXPECT_CLOSE(SteadyState("Summation"), 1.0, 1e-9, 1e-9);
}

// Whatever the draw: one flux through the chain, control coefficients that
// sum to 1, and for each metabolite a connectivity sum of 0.
TEST_F(ExampleGallery, RandomScanObeysTheTheoremsOfControlAtEveryDraw) {
  Run(RandomScan(), {"--seed", "20250101"});
  ASSERT_EQ(steadyState_.size(), 20u);
  std::vector<double> draws;
  for (std::size_t row = 0; row < steadyState_.size(); ++row) {
    SCOPED_TRACE("draw " + std::to_string(row));
    for (const char* step : {"E1", "E2", "E3"}) {
      const double vf = SteadyState(std::string(step) + "(Vf)", row);
      EXPECT_GE(vf, 1.0);
      EXPECT_LE(vf, 10.0);
      draws.push_back(vf);
    }
    EXPECT_CLOSE(SteadyState("J(E1)", row), SteadyState("J(E3)", row), kAbs, 1e-8);
    const double c1 = SteadyState("C(J(E3),E1)", row);
    const double c2 = SteadyState("C(J(E3),E2)", row);
    const double c3 = SteadyState("C(J(E3),E3)", row);
    EXPECT_CLOSE(c1 + c2 + c3, 1.0, 1e-8, 0.0);
    EXPECT_CLOSE(SteadyState("Summation", row), 1.0, 1e-8, 0.0);
    EXPECT_CLOSE(c1 * SteadyState("e(E1,[S1])", row) + c2 * SteadyState("e(E2,[S1])", row), 0.0,
                 1e-6, 0.0);
    EXPECT_CLOSE(c2 * SteadyState("e(E2,[S2])", row) + c3 * SteadyState("e(E3,[S2])", row), 0.0,
                 1e-6, 0.0);
  }
  std::sort(draws.begin(), draws.end());
  EXPECT_EQ(std::unique(draws.begin(), draws.end()), draws.end()) << "the draws repeat";
}

// The value after `key` in the fit's JSON, from the first place `after` is
// found on.
double JsonNumber(const std::string& json, const std::string& after, const std::string& key) {
  const std::size_t from = json.find(after);
  const std::size_t at = from == std::string::npos ? from : json.find(key, from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "the result has no " << key << " after " << after;
    return std::nan("");
  }
  return std::strtod(json.c_str() + at + key.size(), nullptr);
}

// The stored fit of the puromycin data, from the guesses V = 200 and
// Km = 0.1, finds the published least-squares values with their standard
// deviations (sd scaled by the residual variance, as no sd columns are
// given) and correlation.
TEST_F(ExampleGallery, PuromycinFitFindsThePublishedEstimates) {
  const fs::path model = CopyExample("puromycin.vrn");
  CopyExample("puromycin.csv");
  const std::string before = ReadText(model);
  const fs::path result = folder() / "result.json";
  const ProgramResult fit = RunVireon({"fit", "--quiet", model.string(), "-o", result.string()});
  ASSERT_EQ(fit.exitStatus, 0) << fit.err;
  EXPECT_EQ(ReadText(model), before);
  const std::string json = ReadText(result);
  constexpr double kPublished = 5e-4;  // the publication's four significant digits
  EXPECT_NEAR_REL(JsonNumber(json, "\"velocity(V)\"", "\"value\": "), 212.7, kPublished);
  EXPECT_NEAR_REL(JsonNumber(json, "\"velocity(V)\"", "\"sd\": "), 6.947, kPublished);
  EXPECT_NEAR_REL(JsonNumber(json, "\"velocity(Km)\"", "\"value\": "), 0.06412, kPublished);
  EXPECT_NEAR_REL(JsonNumber(json, "\"velocity(Km)\"", "\"sd\": "), 0.008281, kPublished);
  // The residual standard deviation 10.93 on 12 - 2 degrees of freedom.
  EXPECT_NEAR_REL(std::sqrt(JsonNumber(json, "{", "\"objective\": ") / 10.0), 10.93, kPublished);
  EXPECT_NEAR_REL(JsonNumber(json, "\"correlation\"", "[[1, "), 0.765, 1e-3);
  EXPECT_NE(fit.out.find("velocity(V)"), std::string::npos) << fit.out;
}

}  // namespace
}  // namespace vireon::test
