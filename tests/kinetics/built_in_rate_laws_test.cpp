#include "kinetics/built_in_rate_laws.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "kinetics/rate_test_model.h"
#include "model/model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kA;
using test::kB;
using test::kM;
using test::kP;
using test::kQ;
using test::RateTestModel;

// A distinct value for every constant name, so that swapping two constants
// changes the rate.
const std::map<std::string, double> kConstantValues = {
    {"v", 1.234},   {"k", 1.3},    {"k1", 2.05},  {"k2", 0.85},  {"Km", 0.45},  {"V", 2.3},
    {"Kms", 0.62},  {"Kmp", 1.35}, {"Vf", 3.1},   {"Vr", 1.7},   {"Ki", 0.83},  {"Ksc", 0.57},
    {"Ksa", 1.9},   {"Kis", 0.71}, {"Kic", 2.6},  {"Ka", 0.38},  {"Kas", 0.93}, {"Kac", 1.45},
    {"Kd", 0.66},   {"a", 1.8},    {"b", 2.7},    {"Ks", 0.51},  {"n", 2.3},    {"L", 1.6},
    {"K0.5", 0.74}, {"Keq", 3.7},  {"Kii", 0.88}, {"Kma", 0.49}, {"Kmb", 1.15}, {"Kmq", 0.77},
    {"Kip", 2.2},   {"Kia", 0.64}, {"Kib", 1.75}, {"Kiq", 0.97},
};

// Concentrations as the laws see them: first substrate S (= A), first
// product P, second substrate B, second product Q, first modifier M.
struct Point {
  double S, P, A, B, Q, M;
};

using C = std::function<double(const char*)>;
using Formula = std::function<double(const Point&, const C&)>;

struct LawCase {
  const char* name;
  int reversible;
  int substrates;            // -1: any
  int products;              // -1: any
  const char* modifierRole;  // "" when none
  std::vector<std::string> constants;
  Formula rate;
};

std::vector<LawCase> LawCases() {
  return {
      {"Constant flux (irreversible)",
       0,
       -1,
       -1,
       "",
       {"v"},
       [](const Point&, const C& c) { return c("v"); }},
      {"Constant flux (reversible)",
       1,
       -1,
       -1,
       "",
       {"v"},
       [](const Point&, const C& c) { return c("v"); }},
      {"Mass action (irreversible)",
       0,
       -1,
       -1,
       "",
       {"k"},
       [](const Point& p, const C& c) { return c("k") * p.S; }},
      {"Mass action (reversible)",
       1,
       -1,
       -1,
       "",
       {"k1", "k2"},
       [](const Point& p, const C& c) { return c("k1") * p.S - c("k2") * p.P; }},
      {"Henri-Michaelis-Menten (irreversible)",
       0,
       1,
       -1,
       "",
       {"Km", "V"},
       [](const Point& p, const C& c) { return c("V") * p.S / (c("Km") + p.S); }},
      {"Reversible Michaelis-Menten",
       1,
       1,
       1,
       "",
       {"Kms", "Kmp", "Vf", "Vr"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) / (1 + s + q);
       }},
      {"Substrate inhibition (rev)",
       1,
       1,
       1,
       "",
       {"Kms", "Kmp", "Vf", "Vr", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) / (1 + s + q + std::pow(p.S, 2) / c("Ki"));
       }},
      {"Substrate inhibition (irr)",
       0,
       1,
       -1,
       "",
       {"Km", "V", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km");
         return c("V") * s / (1 + s + std::pow(p.S, 2) / c("Ki"));
       }},
      {"Substrate activation (irr)",
       0,
       1,
       -1,
       "",
       {"V", "Ksc", "Ksa"},
       [](const Point& p, const C& c) {
         double sa = p.S / c("Ksa");
         return c("V") * std::pow(sa, 2) / (1 + p.S / c("Ksc") + sa + std::pow(sa, 2));
       }},
      {"Competitive inhibition (rev)",
       1,
       1,
       1,
       "Inhibitor",
       {"Kms", "Kmp", "Vf", "Vr", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp"), i = p.M / c("Ki");
         return (c("Vf") * s - c("Vr") * q) / (1 + s + q + i);
       }},
      {"Competitive inhibition (irr)",
       0,
       1,
       -1,
       "Inhibitor",
       {"Km", "V", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km"), i = p.M / c("Ki");
         return c("V") * s / (1 + s + i);
       }},
      {"Uncompetitive inhibition (rev)",
       1,
       1,
       1,
       "Inhibitor",
       {"Kms", "Kmp", "Vf", "Vr", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp"), i = p.M / c("Ki");
         return (c("Vf") * s - c("Vr") * q) / (1 + s + q + s * i + q * i);
       }},
      {"Uncompetitive inhibition (irr)",
       0,
       1,
       -1,
       "Inhibitor",
       {"Km", "V", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km"), i = p.M / c("Ki");
         return c("V") * s / (1 + s + s * i);
       }},
      {"Noncompetitive inhibition (rev)",
       1,
       1,
       1,
       "Inhibitor",
       {"Kms", "Kmp", "Vf", "Vr", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp"), i = p.M / c("Ki");
         return (c("Vf") * s - c("Vr") * q) / ((1 + i) * (1 + s + q));
       }},
      {"Noncompetitive inhibition (irr)",
       0,
       1,
       -1,
       "Inhibitor",
       {"Km", "V", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km"), i = p.M / c("Ki");
         return c("V") * s / ((1 + i) * (1 + s));
       }},
      {"Mixed inhibition (rev)",
       1,
       1,
       1,
       "Inhibitor",
       {"Kms", "Kmp", "Vf", "Vr", "Kis", "Kic"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) /
                (1 + p.M / c("Kis") + s + q + (s + q) * p.M / c("Kic"));
       }},
      {"Mixed inhibition (irr)",
       0,
       1,
       -1,
       "Inhibitor",
       {"Km", "V", "Kis", "Kic"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km");
         return c("V") * s / (1 + p.M / c("Kis") + s + s * p.M / c("Kic"));
       }},
      // The activation laws, divided through by Kms*Kmp (or Kms), are the
      // forms with S/Kms and P/Kmp.
      {"Specific activation (rev)",
       1,
       1,
       1,
       "Activator",
       {"Kms", "Kmp", "Vf", "Vr", "Ka"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) / (1 + s + q + c("Ka") / p.M);
       }},
      {"Specific activation (irrev)",
       0,
       1,
       1,
       "Activator",
       {"Kms", "V", "Ka"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms");
         return c("V") * s / (1 + s + c("Ka") / p.M);
       }},
      {"Catalytic activation (rev)",
       1,
       1,
       1,
       "Activator",
       {"Kms", "Kmp", "Vf", "Vr", "Ka"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) / ((1 + c("Ka") / p.M) * (1 + s + q));
       }},
      {"Catalytic activation (irrev)",
       0,
       1,
       1,
       "Activator",
       {"Kms", "V", "Ka"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms");
         return c("V") * s / ((1 + c("Ka") / p.M) * (1 + s));
       }},
      {"Mixed activation (rev)",
       1,
       1,
       1,
       "Activator",
       {"Kms", "Kmp", "Vf", "Vr", "Kas", "Kac"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) / ((1 + c("Kac") / p.M) * (s + q) + 1 + c("Kas") / p.M);
       }},
      {"Mixed activation (irrev)",
       0,
       1,
       1,
       "Activator",
       {"Kms", "V", "Kas", "Kac"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms");
         return c("V") * s / ((1 + c("Kac") / p.M) * s + 1 + c("Kas") / p.M);
       }},
      {"Hyperbolic modifier (irrev)",
       0,
       1,
       1,
       "Modifier",
       {"Km", "V", "Kd", "a", "b"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Km"), m = p.M / c("Kd");
         return c("V") * s * (1 + c("b") * m / c("a")) / (1 + m + s + s * m / c("a"));
       }},
      {"Hyperbolic modifier (rev)",
       1,
       1,
       1,
       "Modifier",
       {"Kms", "Kmp", "Vf", "Vr", "Kd", "a", "b"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp"), m = p.M / c("Kd");
         return (c("Vf") * s - c("Vr") * q) * (1 + c("b") * m / c("a")) /
                (1 + m + (s + q) + (s + q) * m / c("a"));
       }},
      {"Allosteric inhibition (MWC)",
       0,
       1,
       -1,
       "Inhibitor",
       {"V", "Ks", "n", "L", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Ks"), n = c("n");
         double free = std::exp(n * std::log1p(s));
         double inhibited = c("L") * std::exp(n * std::log1p(p.M / c("Ki")));
         return c("V") * s * free / (1 + s) / (free + inhibited);
       }},
      {"Allosteric inhibition (empirical)",
       1,
       1,
       1,
       "Inhibitor",
       {"Vf", "Vr", "Kms", "Kmp", "n", "Ki"},
       [](const Point& p, const C& c) {
         double s = p.S / c("Kms"), q = p.P / c("Kmp");
         return (c("Vf") * s - c("Vr") * q) /
                (1 + s + q + std::exp(c("n") * std::log(p.M)) / c("Ki"));
       }},
      {"Hill Cooperativity",
       0,
       1,
       -1,
       "",
       {"K0.5", "V", "n"},
       [](const Point& p, const C& c) {
         // V / (1 + (K0.5/S)^n)
         return c("V") / (1 + std::exp(c("n") * std::log(c("K0.5") / p.S)));
       }},
      {"Uni Uni",
       1,
       1,
       1,
       "",
       {"Kms", "Kmp", "Vf", "Keq"},
       [](const Point& p, const C& c) {
         return c("Vf") * (p.S - p.P / c("Keq")) / (p.S + c("Kms") + c("Kms") * p.P / c("Kmp"));
       }},
      {"Iso Uni Uni",
       1,
       1,
       1,
       "",
       {"Kms", "Kmp", "Kii", "Vf", "Keq"},
       [](const Point& p, const C& c) {
         // The substrate, not the product, in both brackets of the denominator.
         double denominator = p.S + p.S * p.S / c("Kii") + c("Kms") + c("Kms") * p.S / c("Kmp");
         return c("Vf") * (p.S - p.P / c("Keq")) / denominator;
       }},
      {"Ordered Uni Bi",
       1,
       1,
       2,
       "",
       {"Kma", "Kmp", "Kmq", "Kip", "Keq", "Vf", "Vr"},
       [](const Point& p, const C& c) {
         double f = c("Vf") / (c("Keq") * c("Vr"));
         double denominator = c("Kma") + p.A + p.A * p.P / c("Kip") + f * c("Kmq") * p.P +
                              f * c("Kmp") * p.Q + f * p.P * p.Q;
         return c("Vf") * (p.A - p.P * p.Q / c("Keq")) / denominator;
       }},
      {"Ordered Bi Uni",
       1,
       2,
       1,
       "",
       {"Kma", "Kmb", "Kmp", "Kia", "Keq", "Vf", "Vr"},
       [](const Point& p, const C& c) {
         // No constant Kia*Kmb term in the denominator.
         double f = c("Vf") / (c("Keq") * c("Vr"));
         double denominator = c("Kma") * p.B + c("Kmb") * p.A + p.A * p.B + f * c("Kmp") + f * p.P +
                              f * p.P * p.A / c("Kia");
         return c("Vf") * (p.A * p.B - p.P / c("Keq")) / denominator;
       }},
      {"Ordered Bi Bi",
       1,
       2,
       2,
       "",
       {"Keq", "Vf", "Vr", "Kma", "Kmb", "Kmp", "Kmq", "Kia", "Kib", "Kip"},
       [](const Point& p, const C& c) {
         // Only the Kmp*Q and P*Q terms of the last bracket are divided by Vr.
         double g = c("Vf") / c("Keq");
         double denominator =
             c("Kia") * c("Kmb") + c("Kmb") * p.A + c("Kma") * p.B + p.A * p.B +
             p.A * p.B * p.P / c("Kip") +
             g / c("Vr") * c("Kmp") * p.Q * (1 + c("Kma") * p.B / (c("Kia") * c("Kmb"))) +
             g / c("Vr") * p.P * p.Q * (1 + p.B / c("Kib")) + g * c("Kmq") * p.P +
             g * c("Kmq") * p.P * p.A / c("Kia");
         return c("Vf") * (p.A * p.B - p.P * p.Q / c("Keq")) / denominator;
       }},
      {"Ping Pong Bi Bi",
       1,
       2,
       2,
       "",
       {"Keq", "Vf", "Vr", "Kma", "Kmb", "Kmp", "Kmq", "Kia", "Kiq"},
       [](const Point& p, const C& c) {
         // Vr times the textbook form.
         double f = c("Vf") / (c("Keq") * c("Vr"));
         double textbook = c("Vf") * (p.A * p.B - p.P * p.Q / c("Keq")) /
                           (c("Kmb") * p.A + c("Kma") * p.B + c("Kma") * p.B * p.Q / c("Kiq") +
                            p.A * p.B + f * c("Kmq") * p.P + f * c("Kmq") * p.P * p.A / c("Kia") +
                            f * c("Kmp") * p.Q + f * p.P * p.Q);
         return c("Vr") * textbook;
       }},
  };
}

void PrintTo(const LawCase& law, std::ostream* os) {
  *os << law.name;
}

// The test network's step under the law: substrate A (and B), product P
// (and Q), modifier M when the law has one, constants from kConstantValues.
RateTestModel ModelFor(const LawCase& law, const KineticType& type) {
  RateTestModel t;
  const bool hasModifier = law.modifierRole[0] != '\0';
  t.SetLists(law.substrates == 2 ? std::vector<int>{kA, kB} : std::vector<int>{kA},
             law.products == 2 ? std::vector<int>{kP, kQ} : std::vector<int>{kP},
             hasModifier ? std::vector<int>{kM} : std::vector<int>{});
  for (const std::string& name : law.constants) {
    t.step().constants.push_back(kConstantValues.at(name));
  }
  t.step().kineticType = &type;
  t.step().kineticTypeName = type.name;
  return t;
}

const LawCase& FindLaw(const std::vector<LawCase>& laws, const std::string& name) {
  for (const LawCase& law : laws) {
    if (law.name == name) return law;
  }
  ADD_FAILURE() << "no law " << name;
  return laws.front();
}

class BuiltInRateLawTest : public ::testing::TestWithParam<LawCase> {};

std::string CaseName(const ::testing::TestParamInfo<LawCase>& info) {
  std::string name;
  for (const char* c = info.param.name; *c != '\0'; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  }
  return name;
}

TEST_P(BuiltInRateLawTest, MatchesItsFormula) {
  const LawCase& law = GetParam();
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  const KineticType* type = catalogue.Find(law.name);
  ASSERT_NE(type, nullptr);

  EXPECT_EQ(type->reversible, law.reversible);
  EXPECT_EQ(type->substrates, law.substrates);
  EXPECT_EQ(type->products, law.products);
  EXPECT_EQ(type->userDefined, 0);
  EXPECT_EQ(type->function, nullptr);
  EXPECT_EQ(type->constantNames, law.constants);
  EXPECT_EQ(type->constants, static_cast<int>(law.constants.size()));
  const bool hasModifier = law.modifierRole[0] != '\0';
  EXPECT_EQ(type->modifiers, hasModifier ? 1 : 0);
  if (hasModifier) {
    EXPECT_EQ(type->modifierNames, std::vector<std::string>{law.modifierRole});
  }

  RateTestModel t = ModelFor(law, *type);
  const double* conc = RateTestModel::kConcentrations;
  const Point point{conc[kA], conc[kP], conc[kA], conc[kB], conc[kQ], conc[kM]};
  const C constant = [](const char* name) { return kConstantValues.at(name); };
  const double expected = law.rate(point, constant);
  const double rate = type->rate(t.model, t.x.data(), 0);
  EXPECT_CLOSE(rate, expected, 1e-14, 1e-12);

  // The batch entry point, fed the operands the engine looks up once, gives
  // the same bits; its rate lands at the step's index among the others.
  std::vector<RateOperand> operands;
  const Step& step = t.step();
  for (const std::vector<int>* list : {&step.substrates, &step.products, &step.modifiers}) {
    for (int m : *list) operands.push_back({t.model.metabolitePosition[m], t.model.VolumeOf(m)});
  }
  constexpr int kStepIndex = 2;
  StepOperands batch;
  batch.step = kStepIndex;
  batch.substrates = static_cast<int>(step.substrates.size());
  batch.products = static_cast<int>(step.products.size());
  batch.modifiers = static_cast<int>(step.modifiers.size());
  batch.operands = operands.data();
  batch.constants = step.constants.data();
  ASSERT_NE(type->batch, nullptr);
  std::vector<double> rates(kStepIndex + 2, -1.0);
  type->batch(&batch, 1, t.x.data(), rates.data());
  EXPECT_EQ(std::bit_cast<std::uint64_t>(rates[kStepIndex]), std::bit_cast<std::uint64_t>(rate));
  EXPECT_EQ(rates[kStepIndex - 1], -1.0);
  EXPECT_EQ(rates[kStepIndex + 1], -1.0);

  // A batch may take two steps at a time: in one of three steps, the middle
  // one with other constants, each step still gets its own rate's bits.
  const std::vector<double> constants = t.step().constants;
  std::vector<double> other = constants;
  for (double& k : other) k *= 1.5;
  t.step().constants = other;
  const double otherRate = type->rate(t.model, t.x.data(), 0);
  t.step().constants = constants;
  StepOperands three[] = {batch, batch, batch};
  three[0].step = 0;
  three[1].step = 3;
  three[1].constants = other.data();
  three[2].step = 1;
  std::vector<double> threeRates(4, -1.0);
  type->batch(three, 3, t.x.data(), threeRates.data());
  const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
  EXPECT_EQ(bits(threeRates[0]), bits(rate));
  EXPECT_EQ(bits(threeRates[1]), bits(rate));
  EXPECT_EQ(bits(threeRates[3]), bits(otherRate));
  EXPECT_EQ(threeRates[2], -1.0);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, BuiltInRateLawTest, ::testing::ValuesIn(LawCases()), CaseName);

TEST(BuiltInKineticTypes, CatalogueHoldsAllTypesInTableOrder) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  const std::vector<LawCase> cases = LawCases();
  ASSERT_EQ(catalogue.size(), kBuiltInKineticTypeCount);
  ASSERT_EQ(cases.size(), static_cast<std::size_t>(kBuiltInKineticTypeCount));
  for (int i = 0; i < catalogue.size(); ++i) EXPECT_EQ(catalogue.at(i)->name, cases[i].name);
  EXPECT_EQ(catalogue.UserDefinedCount(), 0);
}

// Concentrations at which a modifier has no effect: no inhibitor, or an
// activator far above its constants.
constexpr double kNoInhibitor = 0.0;
constexpr double kSaturatingActivator = 1e12;
// A substrate concentration far above every Km of kConstantValues.
constexpr double kSaturatingSubstrate = 1e9;

// With the substrates far above their constants, no product and a neutral
// modifier, every saturable law runs at its limiting rate.
TEST(BuiltInKineticTypes, SaturableLawsReachTheirLimitingRate) {
  struct Case {
    const char* name;
    double modifier;
    const char* limit;  // the constant the rate tends to
  };
  const Case cases[] = {
      {"Henri-Michaelis-Menten (irreversible)", kNoInhibitor, "V"},
      {"Reversible Michaelis-Menten", kNoInhibitor, "Vf"},
      {"Substrate activation (irr)", kNoInhibitor, "V"},
      {"Competitive inhibition (rev)", kNoInhibitor, "Vf"},
      {"Competitive inhibition (irr)", kNoInhibitor, "V"},
      {"Uncompetitive inhibition (rev)", kNoInhibitor, "Vf"},
      {"Uncompetitive inhibition (irr)", kNoInhibitor, "V"},
      {"Noncompetitive inhibition (rev)", kNoInhibitor, "Vf"},
      {"Noncompetitive inhibition (irr)", kNoInhibitor, "V"},
      {"Mixed inhibition (rev)", kNoInhibitor, "Vf"},
      {"Mixed inhibition (irr)", kNoInhibitor, "V"},
      {"Specific activation (rev)", kSaturatingActivator, "Vf"},
      {"Specific activation (irrev)", kSaturatingActivator, "V"},
      {"Catalytic activation (rev)", kSaturatingActivator, "Vf"},
      {"Catalytic activation (irrev)", kSaturatingActivator, "V"},
      {"Mixed activation (rev)", kSaturatingActivator, "Vf"},
      {"Mixed activation (irrev)", kSaturatingActivator, "V"},
      {"Hyperbolic modifier (irrev)", kNoInhibitor, "V"},
      {"Hyperbolic modifier (rev)", kNoInhibitor, "Vf"},
      {"Allosteric inhibition (MWC)", kNoInhibitor, "V"},
      {"Allosteric inhibition (empirical)", kNoInhibitor, "Vf"},
      {"Hill Cooperativity", kNoInhibitor, "V"},
      {"Uni Uni", kNoInhibitor, "Vf"},
      {"Ordered Uni Bi", kNoInhibitor, "Vf"},
      {"Ordered Bi Uni", kNoInhibitor, "Vf"},
      {"Ordered Bi Bi", kNoInhibitor, "Vf"},
  };
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  const std::vector<LawCase> laws = LawCases();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const KineticType* type = catalogue.Find(c.name);
    ASSERT_NE(type, nullptr);
    RateTestModel t = ModelFor(FindLaw(laws, c.name), *type);
    t.SetConcentration(kA, kSaturatingSubstrate);
    t.SetConcentration(kB, kSaturatingSubstrate);
    t.SetConcentration(kP, 0.0);
    t.SetConcentration(kQ, 0.0);
    t.SetConcentration(kM, c.modifier);
    EXPECT_CLOSE(type->rate(t.model, t.x.data(), 0), kConstantValues.at(c.limit), 0.0, 1e-6);
  }
}

// Every reversible law but the constant flux has no net rate where its
// mass-action ratio equals its equilibrium constant (for the laws written
// with Vf and Vr, the Haldane relation Keq = Vf Kmp / (Vr Kms)); a little
// more product runs it backwards, a little less forwards.
TEST(BuiltInKineticTypes, ReversibleLawsStandStillAtEquilibrium) {
  using Product = std::function<double(const C& c, double a, double b, double q)>;
  const Product haldane = [](const C& c, double a, double, double) {
    return a * c("Vf") * c("Kmp") / (c("Vr") * c("Kms"));
  };
  const std::map<std::string, Product> equilibrium = {
      {"Mass action (reversible)",
       [](const C& c, double a, double, double) { return a * c("k1") / c("k2"); }},
      {"Reversible Michaelis-Menten", haldane},
      {"Substrate inhibition (rev)", haldane},
      {"Competitive inhibition (rev)", haldane},
      {"Uncompetitive inhibition (rev)", haldane},
      {"Noncompetitive inhibition (rev)", haldane},
      {"Mixed inhibition (rev)", haldane},
      {"Specific activation (rev)", haldane},
      {"Catalytic activation (rev)", haldane},
      {"Mixed activation (rev)", haldane},
      {"Hyperbolic modifier (rev)", haldane},
      {"Allosteric inhibition (empirical)", haldane},
      {"Uni Uni", [](const C& c, double a, double, double) { return c("Keq") * a; }},
      {"Iso Uni Uni", [](const C& c, double a, double, double) { return c("Keq") * a; }},
      {"Ordered Uni Bi", [](const C& c, double a, double, double q) { return c("Keq") * a / q; }},
      {"Ordered Bi Uni", [](const C& c, double a, double b, double) { return c("Keq") * a * b; }},
      {"Ordered Bi Bi",
       [](const C& c, double a, double b, double q) { return c("Keq") * a * b / q; }},
      {"Ping Pong Bi Bi",
       [](const C& c, double a, double b, double q) { return c("Keq") * a * b / q; }},
  };
  const C constant = [](const char* name) { return kConstantValues.at(name); };
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  for (const LawCase& law : LawCases()) {
    if (!law.reversible || law.name == std::string(kConstantFluxReversible)) continue;
    SCOPED_TRACE(law.name);
    const auto found = equilibrium.find(law.name);
    ASSERT_NE(found, equilibrium.end()) << "a reversible law without its equilibrium";
    const KineticType* type = catalogue.Find(law.name);
    RateTestModel t = ModelFor(law, *type);
    const double* conc = RateTestModel::kConcentrations;
    const double p = found->second(constant, conc[kA], conc[kB], conc[kQ]);
    const auto rateAt = [&](double product) {
      t.SetConcentration(kP, product);
      return type->rate(t.model, t.x.data(), 0);
    };
    // The forward term alone sets the scale against which zero is judged.
    const double scale = std::fabs(rateAt(0.0));
    ASSERT_GT(scale, 0.0);
    EXPECT_CLOSE(rateAt(p), 0.0, 1e-12 * scale, 0.0);
    EXPECT_LT(rateAt(p * 1.01), 0.0);
    EXPECT_GT(rateAt(p * 0.99), 0.0);
  }
}

TEST(BuiltInKineticTypes, MassActionRunsOverRepeatedSubstratesAndProducts) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  RateTestModel t;
  t.SetLists({kA, kA, kB}, {kP, kQ, kQ}, {});
  const double* c = RateTestModel::kConcentrations;

  t.step().constants = {2.05, 0.85};
  const KineticType* reversible = catalogue.Find("Mass action (reversible)");
  EXPECT_CLOSE(reversible->rate(t.model, t.x.data(), 0),
               2.05 * c[kA] * c[kA] * c[kB] - 0.85 * c[kP] * c[kQ] * c[kQ], 1e-14, 1e-12);

  t.step().constants = {1.3};
  const KineticType* irreversible = catalogue.Find("Mass action (irreversible)");
  EXPECT_CLOSE(irreversible->rate(t.model, t.x.data(), 0), 1.3 * c[kA] * c[kA] * c[kB], 1e-14,
               1e-12);
}

TEST(BuiltInKineticTypes, MassActionWithEmptyListsLeavesTheConstants) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  RateTestModel t;
  t.SetLists({}, {}, {});
  t.step().constants = {1.3};
  EXPECT_CLOSE(catalogue.Find("Mass action (irreversible)")->rate(t.model, t.x.data(), 0), 1.3, 0.0,
               1e-15);
  t.SetLists({kA, kB}, {}, {});
  t.step().constants = {2.05, 0.85};
  const double* c = RateTestModel::kConcentrations;
  EXPECT_CLOSE(catalogue.Find("Mass action (reversible)")->rate(t.model, t.x.data(), 0),
               2.05 * c[kA] * c[kB] - 0.85, 1e-14, 1e-12);
}

TEST(BuiltInKineticTypes, ConcentrationIsAmountOverCompartmentVolume) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model model;
  model.Allocate(1, 1, 1, 0, 1);
  model.compartments[0].volume = 2.0;
  model.metabolitePosition = {0};
  model.steps[0].SizeSubstrates(1);
  model.steps[0].AppendSubstrate(0);
  model.steps[0].constants = {1.0, 1.0};
  const double x[1] = {2.0};
  EXPECT_CLOSE(catalogue.Find("Henri-Michaelis-Menten (irreversible)")->rate(model, x, 0), 0.5, 0.0,
               1e-15);
}

TEST(BuiltInKineticTypes, ConstantFluxIgnoresConcentrations) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  RateTestModel t;
  t.SetLists({kA}, {kP}, {});
  t.step().constants = {4.25};
  for (const char* name : {kConstantFluxIrreversible, kConstantFluxReversible}) {
    for (double amount : {0.0, 1.0, 1e6}) {
      std::fill(t.x.begin(), t.x.end(), amount);
      EXPECT_EQ(catalogue.Find(name)->rate(t.model, t.x.data(), 0), 4.25);
    }
  }
}

TEST(BuiltInKineticTypes, HillAndAllostericLawsTakeRealExponents) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  RateTestModel t;
  t.SetLists({kA}, {kP}, {});
  const double S = RateTestModel::kConcentrations[kA];
  // A negative exponent: V*S^n/(K^n+S^n) = V/(1+(K/S)^n).
  t.step().constants = {0.74, 2.3, -0.5};
  EXPECT_CLOSE(catalogue.Find("Hill Cooperativity")->rate(t.model, t.x.data(), 0),
               2.3 / (1 + std::sqrt(S / 0.74)), 1e-14, 1e-12);
}

}  // namespace
}  // namespace vireon
