#include "kinetics/built_in_rate_laws.h"

#include <cmath>
#include <iterator>
#include <memory>

#include "model/double_pair.h"
#include "model/model.h"

namespace vireon {
namespace {

// Dividing by a volume of exactly 1 leaves the amount as it is, bit for bit;
// the division, the slowest operation of most laws, is skipped then.
double ConcentrationOf(double amount, double volume) {
  return volume == 1.0 ? amount : amount / volume;
}

// What a built-in rate law reads of one step, found through the model. The
// laws read only the list entries their type promises (first substrate,
// first product, first modifier, the second substrate or product of the
// bi-substrate mechanisms); only mass action runs over whole lists. No law
// guards a division: a zero constant or volume yields an infinite or
// undefined rate, as it should.
class StepValues {
 public:
  StepValues(const Model& model, const double* x, int step)
      : model_(model), x_(x), step_(model.steps[static_cast<std::size_t>(step)]) {}

  double Substrate(int i) const { return Concentration(step_.substrates[i]); }
  double Product(int i) const { return Concentration(step_.products[i]); }
  double Modifier(int i) const { return Concentration(step_.modifiers[i]); }
  double K(int i) const { return step_.constants[i]; }
  int SubstrateCount() const { return static_cast<int>(step_.substrates.size()); }
  int ProductCount() const { return static_cast<int>(step_.products.size()); }

 private:
  double Concentration(int metabolite) const {
    return ConcentrationOf(x_[model_.metabolitePosition[static_cast<std::size_t>(metabolite)]],
                           model_.VolumeOf(metabolite));
  }

  const Model& model_;
  const double* x_;
  const Step& step_;
};

// The same, from the operands the engine has looked up once for a run.
class OperandValues {
 public:
  OperandValues(const StepOperands& step, const double* x) : step_(step), x_(x) {}

  double Substrate(int i) const { return Concentration(step_.operands[i]); }
  double Product(int i) const { return Concentration(step_.operands[step_.substrates + i]); }
  double Modifier(int i) const {
    return Concentration(step_.operands[step_.substrates + step_.products + i]);
  }
  double K(int i) const { return step_.constants[i]; }
  int SubstrateCount() const { return step_.substrates; }
  int ProductCount() const { return step_.products; }

 private:
  double Concentration(const RateOperand& operand) const {
    return ConcentrationOf(x_[operand.position], operand.volume);
  }

  const StepOperands& step_;
  const double* x_;
};

// Two steps side by side, each lane holding what OperandValues gives for
// its step: a law made only of arithmetic computes both rates at once.

class OperandPairValues {
 public:
  OperandPairValues(const StepOperands& first, const StepOperands& second, const double* x)
      : first_(first, x), second_(second, x) {}

  Pair Substrate(int i) const { return Pair{first_.Substrate(i), second_.Substrate(i)}; }
  Pair Product(int i) const { return Pair{first_.Product(i), second_.Product(i)}; }
  Pair Modifier(int i) const { return Pair{first_.Modifier(i), second_.Modifier(i)}; }
  Pair K(int i) const { return Pair{first_.K(i), second_.K(i)}; }

 private:
  OperandValues first_, second_;
};

// One law, written once over any kind of values, as the two entry points
// a kinetic type offers; kPairs: the law takes OperandPairValues too.
template <auto law>
double RateThroughModel(const Model& model, const double* x, int step) {
  return law(StepValues(model, x, step));
}

template <auto law, bool kPairs>
void RatesOfSteps(const StepOperands* steps, std::size_t count, const double* x, double* rates) {
  std::size_t i = 0;
  if constexpr (kPairs) {
    for (; i + 1 < count; i += 2) {
      const Pair rate = law(OperandPairValues(steps[i], steps[i + 1], x));
      rates[steps[i].step] = rate[0];
      rates[steps[i + 1].step] = rate[1];
    }
  }
  for (; i < count; ++i) rates[steps[i].step] = law(OperandValues(steps[i], x));
}

struct LawFunctions {
  RateFunction rate;
  RateBatchFunction batch;
};

template <auto law>
constexpr LawFunctions Law() {
  return {RateThroughModel<law>, RatesOfSteps<law, false>};
}

// A law of arithmetic alone: no branch, loop or library function.
template <auto law>
constexpr LawFunctions ArithmeticLaw() {
  return {RateThroughModel<law>, RatesOfSteps<law, true>};
}

constexpr auto ConstantFlux = [](const auto& v) { return v.K(0); };

constexpr auto MassActionIrreversible = [](const auto& v) {
  double rate = v.K(0);
  for (int i = 0; i < v.SubstrateCount(); ++i) rate *= v.Substrate(i);
  return rate;
};

constexpr auto MassActionReversible = [](const auto& v) {
  double forward = v.K(0);
  for (int i = 0; i < v.SubstrateCount(); ++i) forward *= v.Substrate(i);
  double backward = v.K(1);
  for (int j = 0; j < v.ProductCount(); ++j) backward *= v.Product(j);
  return forward - backward;
};

constexpr auto HenriMichaelisMenten = [](const auto& v) {
  const auto S = v.Substrate(0), Km = v.K(0), V = v.K(1);
  return V * S / (Km + S);
};

constexpr auto ReversibleMichaelisMenten = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + S / Kms + P / Kmp);
};

constexpr auto SubstrateInhibitionReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ki = v.K(4);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + S / Kms + P / Kmp + S * S / Ki);
};

constexpr auto SubstrateInhibitionIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), Km = v.K(0), V = v.K(1), Ki = v.K(2);
  return (V * S / Km) / (1 + S / Km + S * S / Ki);
};

constexpr auto SubstrateActivationIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), V = v.K(0), Ksc = v.K(1), Ksa = v.K(2);
  const auto ratio = S / Ksa;
  return V * ratio * ratio / (1 + S / Ksc + S / Ksa + ratio * ratio);
};

constexpr auto CompetitiveInhibitionReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), I = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ki = v.K(4);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + S / Kms + P / Kmp + I / Ki);
};

constexpr auto CompetitiveInhibitionIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), I = v.Modifier(0);
  const auto Km = v.K(0), V = v.K(1), Ki = v.K(2);
  return (V * S / Km) / (1 + S / Km + I / Ki);
};

constexpr auto UncompetitiveInhibitionReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), I = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ki = v.K(4);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + (S / Kms + P / Kmp) * (1 + I / Ki));
};

constexpr auto UncompetitiveInhibitionIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), I = v.Modifier(0);
  const auto Km = v.K(0), V = v.K(1), Ki = v.K(2);
  return (V * S / Km) / (1 + (S / Km) * (1 + I / Ki));
};

constexpr auto NoncompetitiveInhibitionReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), I = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ki = v.K(4);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + I / Ki + (S / Kms + P / Kmp) * (1 + I / Ki));
};

constexpr auto NoncompetitiveInhibitionIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), I = v.Modifier(0);
  const auto Km = v.K(0), V = v.K(1), Ki = v.K(2);
  return (V * S / Km) / (1 + I / Ki + (S / Km) * (1 + I / Ki));
};

constexpr auto MixedInhibitionReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), I = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Kis = v.K(4), Kic = v.K(5);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + I / Kis + (S / Kms + P / Kmp) * (1 + I / Kic));
};

constexpr auto MixedInhibitionIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), I = v.Modifier(0);
  const auto Km = v.K(0), V = v.K(1), Kis = v.K(2), Kic = v.K(3);
  return (V * S / Km) / (1 + I / Kis + (S / Km) * (1 + I / Kic));
};

constexpr auto SpecificActivationReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ka = v.K(4);
  return (Vf * S * Kmp - Vr * P * Kms) * Ac /
         ((Kms * Kmp + S * Kmp + P * Kms) * Ac + Ka * Kms * Kmp);
};

constexpr auto SpecificActivationIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), V = v.K(1), Ka = v.K(2);
  return V * S * Ac / ((Kms + S) * Ac + Ka * Kms);
};

constexpr auto CatalyticActivationReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Ka = v.K(4);
  return (Vf * S * Kmp - Vr * P * Kms) * Ac / ((Ac + Ka) * (Kms * Kmp + S * Kmp + P * Kms));
};

constexpr auto CatalyticActivationIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), V = v.K(1), Ka = v.K(2);
  return V * S * Ac / ((Ac + Ka) * (Kms + S));
};

constexpr auto MixedActivationReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3), Kas = v.K(4), Kac = v.K(5);
  return (Vf * S * Kmp - Vr * P * Kms) * Ac /
         ((Ac + Kac) * (S * Kmp + P * Kms) + (Ac + Kas) * Kms * Kmp);
};

constexpr auto MixedActivationIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), Ac = v.Modifier(0);
  const auto Kms = v.K(0), V = v.K(1), Kas = v.K(2), Kac = v.K(3);
  return V * S * Ac / ((Ac + Kac) * S + (Ac + Kas) * Kms);
};

constexpr auto HyperbolicModifierIrreversible = [](const auto& v) {
  const auto S = v.Substrate(0), M = v.Modifier(0);
  const auto Km = v.K(0), V = v.K(1), Kd = v.K(2), a = v.K(3), b = v.K(4);
  return V * (S / Km) * (1 + b * M / (a * Kd)) / (1 + M / Kd + (S / Km) * (1 + M / (a * Kd)));
};

constexpr auto HyperbolicModifierReversible = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), M = v.Modifier(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Vr = v.K(3);
  const auto Kd = v.K(4), a = v.K(5), b = v.K(6);
  return (Vf * S / Kms - Vr * P / Kmp) * (1 + b * M / (a * Kd)) /
         (1 + M / Kd + (S / Kms + P / Kmp) * (1 + M / (a * Kd)));
};

constexpr auto AllostericInhibitionMwc = [](const auto& v) {
  const auto S = v.Substrate(0), I = v.Modifier(0);
  const auto V = v.K(0), Ks = v.K(1), n = v.K(2), L = v.K(3), Ki = v.K(4);
  return V * (S / Ks) * std::pow(1 + S / Ks, n - 1) /
         (std::pow(1 + S / Ks, n) + L * std::pow(1 + I / Ki, n));
};

// The velocities come first among this law's constants.
constexpr auto AllostericInhibitionEmpirical = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0), I = v.Modifier(0);
  const auto Vf = v.K(0), Vr = v.K(1), Kms = v.K(2), Kmp = v.K(3), n = v.K(4), Ki = v.K(5);
  return (Vf * S / Kms - Vr * P / Kmp) / (1 + S / Kms + P / Kmp + std::pow(I, n) / Ki);
};

constexpr auto HillCooperativity = [](const auto& v) {
  const auto S = v.Substrate(0), K05 = v.K(0), V = v.K(1), n = v.K(2);
  const auto Sn = std::pow(S, n);
  return V * Sn / (std::pow(K05, n) + Sn);
};

constexpr auto UniUni = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Vf = v.K(2), Keq = v.K(3);
  return Vf * (S - P / Keq) / (S + Kms * (1 + P / Kmp));
};

// The substrate stands in both brackets of the denominator; the product
// enters only the numerator.
constexpr auto IsoUniUni = [](const auto& v) {
  const auto S = v.Substrate(0), P = v.Product(0);
  const auto Kms = v.K(0), Kmp = v.K(1), Kii = v.K(2), Vf = v.K(3), Keq = v.K(4);
  return Vf * (S - P / Keq) / (S * (1 + S / Kii) + Kms * (1 + S / Kmp));
};

constexpr auto OrderedUniBi = [](const auto& v) {
  const auto A = v.Substrate(0), P = v.Product(0), Q = v.Product(1);
  const auto Kma = v.K(0), Kmp = v.K(1), Kmq = v.K(2), Kip = v.K(3);
  const auto Keq = v.K(4), Vf = v.K(5), Vr = v.K(6);
  return Vf * (A - P * Q / Keq) /
         (Kma + A * (1 + P / Kip) + (Vf / (Keq * Vr)) * (Kmq * P + Kmp * Q + P * Q));
};

// The denominator has no constant term.
constexpr auto OrderedBiUni = [](const auto& v) {
  const auto A = v.Substrate(0), B = v.Substrate(1), P = v.Product(0);
  const auto Kma = v.K(0), Kmb = v.K(1), Kmp = v.K(2), Kia = v.K(3);
  const auto Keq = v.K(4), Vf = v.K(5), Vr = v.K(6);
  return Vf * (A * B - P / Keq) /
         (Kma * B + Kmb * A + A * B + (Vf / (Keq * Vr)) * (Kmp + P * (1 + A / Kia)));
};

// Inside the bracket multiplied by Vf/Keq only the Kmp and P*Q terms are
// divided by Vr.
constexpr auto OrderedBiBi = [](const auto& v) {
  const auto A = v.Substrate(0), B = v.Substrate(1), P = v.Product(0), Q = v.Product(1);
  const auto Keq = v.K(0), Vf = v.K(1), Vr = v.K(2), Kma = v.K(3), Kmb = v.K(4);
  const auto Kmp = v.K(5), Kmq = v.K(6), Kia = v.K(7), Kib = v.K(8), Kip = v.K(9);
  return Vf * (A * B - P * Q / Keq) /
         (Kia * Kmb + Kmb * A + Kma * B + A * B * (1 + P / Kip) +
          (Vf / Keq) * ((Kmp * Q * (1 + Kma * B / (Kia * Kmb)) + P * Q * (1 + B / Kib)) / Vr +
                        Kmq * P * (1 + A / Kia)));
};

// The numerator carries Vf*Vr while the first terms of the denominator are
// normalised to Vr = 1: the rate is Vr times the textbook form.
constexpr auto PingPongBiBi = [](const auto& v) {
  const auto A = v.Substrate(0), B = v.Substrate(1), P = v.Product(0), Q = v.Product(1);
  const auto Keq = v.K(0), Vf = v.K(1), Vr = v.K(2), Kma = v.K(3), Kmb = v.K(4);
  const auto Kmp = v.K(5), Kmq = v.K(6), Kia = v.K(7), Kiq = v.K(8);
  return Vf * Vr * (A * B - P * Q / Keq) /
         (Kmb * A + Kma * B * (1 + Q / Kiq) + A * B +
          (Vf / (Keq * Vr)) * (Kmq * P * (1 + A / Kia) + Kmp * Q + P * Q));
};

constexpr int kAny = -1;
// The most constants any built-in law has ("Ordered Bi Bi").
constexpr int kMaxBuiltInConstants = 10;

struct BuiltInType {
  const char* name;
  std::int16_t reversible;
  int substrates;
  int products;
  const char* modifierRole;                         // null: no modifier
  const char* constantNames[kMaxBuiltInConstants];  // unused entries are null
  LawFunctions functions;
};

const BuiltInType kBuiltInTypes[] = {
    {kConstantFluxIrreversible, 0, kAny, kAny, nullptr, {"v"}, Law<ConstantFlux>()},
    {kConstantFluxReversible, 1, kAny, kAny, nullptr, {"v"}, Law<ConstantFlux>()},
    {"Mass action (irreversible)", 0, kAny, kAny, nullptr, {"k"}, Law<MassActionIrreversible>()},
    {"Mass action (reversible)", 1, kAny, kAny, nullptr, {"k1", "k2"}, Law<MassActionReversible>()},
    {"Henri-Michaelis-Menten (irreversible)",
     0,
     1,
     kAny,
     nullptr,
     {"Km", "V"},
     ArithmeticLaw<HenriMichaelisMenten>()},
    {"Reversible Michaelis-Menten",
     1,
     1,
     1,
     nullptr,
     {"Kms", "Kmp", "Vf", "Vr"},
     ArithmeticLaw<ReversibleMichaelisMenten>()},
    {"Substrate inhibition (rev)",
     1,
     1,
     1,
     nullptr,
     {"Kms", "Kmp", "Vf", "Vr", "Ki"},
     ArithmeticLaw<SubstrateInhibitionReversible>()},
    {"Substrate inhibition (irr)",
     0,
     1,
     kAny,
     nullptr,
     {"Km", "V", "Ki"},
     ArithmeticLaw<SubstrateInhibitionIrreversible>()},
    {"Substrate activation (irr)",
     0,
     1,
     kAny,
     nullptr,
     {"V", "Ksc", "Ksa"},
     ArithmeticLaw<SubstrateActivationIrreversible>()},
    {"Competitive inhibition (rev)",
     1,
     1,
     1,
     "Inhibitor",
     {"Kms", "Kmp", "Vf", "Vr", "Ki"},
     ArithmeticLaw<CompetitiveInhibitionReversible>()},
    {"Competitive inhibition (irr)",
     0,
     1,
     kAny,
     "Inhibitor",
     {"Km", "V", "Ki"},
     ArithmeticLaw<CompetitiveInhibitionIrreversible>()},
    {"Uncompetitive inhibition (rev)",
     1,
     1,
     1,
     "Inhibitor",
     {"Kms", "Kmp", "Vf", "Vr", "Ki"},
     ArithmeticLaw<UncompetitiveInhibitionReversible>()},
    {"Uncompetitive inhibition (irr)",
     0,
     1,
     kAny,
     "Inhibitor",
     {"Km", "V", "Ki"},
     ArithmeticLaw<UncompetitiveInhibitionIrreversible>()},
    {"Noncompetitive inhibition (rev)",
     1,
     1,
     1,
     "Inhibitor",
     {"Kms", "Kmp", "Vf", "Vr", "Ki"},
     ArithmeticLaw<NoncompetitiveInhibitionReversible>()},
    {"Noncompetitive inhibition (irr)",
     0,
     1,
     kAny,
     "Inhibitor",
     {"Km", "V", "Ki"},
     ArithmeticLaw<NoncompetitiveInhibitionIrreversible>()},
    {"Mixed inhibition (rev)",
     1,
     1,
     1,
     "Inhibitor",
     {"Kms", "Kmp", "Vf", "Vr", "Kis", "Kic"},
     ArithmeticLaw<MixedInhibitionReversible>()},
    {"Mixed inhibition (irr)",
     0,
     1,
     kAny,
     "Inhibitor",
     {"Km", "V", "Kis", "Kic"},
     ArithmeticLaw<MixedInhibitionIrreversible>()},
    {"Specific activation (rev)",
     1,
     1,
     1,
     "Activator",
     {"Kms", "Kmp", "Vf", "Vr", "Ka"},
     ArithmeticLaw<SpecificActivationReversible>()},
    {"Specific activation (irrev)",
     0,
     1,
     1,
     "Activator",
     {"Kms", "V", "Ka"},
     ArithmeticLaw<SpecificActivationIrreversible>()},
    {"Catalytic activation (rev)",
     1,
     1,
     1,
     "Activator",
     {"Kms", "Kmp", "Vf", "Vr", "Ka"},
     ArithmeticLaw<CatalyticActivationReversible>()},
    {"Catalytic activation (irrev)",
     0,
     1,
     1,
     "Activator",
     {"Kms", "V", "Ka"},
     ArithmeticLaw<CatalyticActivationIrreversible>()},
    {"Mixed activation (rev)",
     1,
     1,
     1,
     "Activator",
     {"Kms", "Kmp", "Vf", "Vr", "Kas", "Kac"},
     ArithmeticLaw<MixedActivationReversible>()},
    {"Mixed activation (irrev)",
     0,
     1,
     1,
     "Activator",
     {"Kms", "V", "Kas", "Kac"},
     ArithmeticLaw<MixedActivationIrreversible>()},
    {"Hyperbolic modifier (irrev)",
     0,
     1,
     1,
     "Modifier",
     {"Km", "V", "Kd", "a", "b"},
     ArithmeticLaw<HyperbolicModifierIrreversible>()},
    {"Hyperbolic modifier (rev)",
     1,
     1,
     1,
     "Modifier",
     {"Kms", "Kmp", "Vf", "Vr", "Kd", "a", "b"},
     ArithmeticLaw<HyperbolicModifierReversible>()},
    {"Allosteric inhibition (MWC)",
     0,
     1,
     kAny,
     "Inhibitor",
     {"V", "Ks", "n", "L", "Ki"},
     Law<AllostericInhibitionMwc>()},
    {"Allosteric inhibition (empirical)",
     1,
     1,
     1,
     "Inhibitor",
     {"Vf", "Vr", "Kms", "Kmp", "n", "Ki"},
     Law<AllostericInhibitionEmpirical>()},
    {"Hill Cooperativity", 0, 1, kAny, nullptr, {"K0.5", "V", "n"}, Law<HillCooperativity>()},
    {"Uni Uni", 1, 1, 1, nullptr, {"Kms", "Kmp", "Vf", "Keq"}, ArithmeticLaw<UniUni>()},
    {"Iso Uni Uni",
     1,
     1,
     1,
     nullptr,
     {"Kms", "Kmp", "Kii", "Vf", "Keq"},
     ArithmeticLaw<IsoUniUni>()},
    {"Ordered Uni Bi",
     1,
     1,
     2,
     nullptr,
     {"Kma", "Kmp", "Kmq", "Kip", "Keq", "Vf", "Vr"},
     ArithmeticLaw<OrderedUniBi>()},
    {"Ordered Bi Uni",
     1,
     2,
     1,
     nullptr,
     {"Kma", "Kmb", "Kmp", "Kia", "Keq", "Vf", "Vr"},
     ArithmeticLaw<OrderedBiUni>()},
    {"Ordered Bi Bi",
     1,
     2,
     2,
     nullptr,
     {"Keq", "Vf", "Vr", "Kma", "Kmb", "Kmp", "Kmq", "Kia", "Kib", "Kip"},
     ArithmeticLaw<OrderedBiBi>()},
    {"Ping Pong Bi Bi",
     1,
     2,
     2,
     nullptr,
     {"Keq", "Vf", "Vr", "Kma", "Kmb", "Kmp", "Kmq", "Kia", "Kiq"},
     ArithmeticLaw<PingPongBiBi>()},
};

static_assert(std::size(kBuiltInTypes) == kBuiltInKineticTypeCount);

}  // namespace

void BuildBuiltInKineticTypes(KineticCatalogue& catalogue) {
  for (const BuiltInType& entry : kBuiltInTypes) {
    const int modifiers = entry.modifierRole != nullptr ? 1 : 0;
    int constants = 0;
    while (constants < kMaxBuiltInConstants && entry.constantNames[constants] != nullptr) {
      ++constants;
    }
    auto type =
        std::make_unique<KineticType>(entry.name, entry.substrates, entry.products, modifiers,
                                      constants, entry.functions.rate, entry.reversible);
    type->batch = entry.functions.batch;
    type->readsOwnStepOnly = true;
    if (modifiers > 0) type->SetModifierName(entry.modifierRole, 0);
    for (int i = 0; i < constants; ++i) type->SetConstantName(entry.constantNames[i], i);
    catalogue.Insert(std::move(type));
  }
}

}  // namespace vireon
