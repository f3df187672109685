#include "support/kinetic_models.h"

#include <gtest/gtest.h>

#include "kinetics/built_in_rate_laws.h"
#include "model/structural_analysis.h"
#include "support/model_builder.h"

namespace vireon::test {

const KineticCatalogue& BuiltInCatalogue() {
  static const KineticCatalogue* catalogue = [] {
    auto* c = new KineticCatalogue;
    BuildBuiltInKineticTypes(*c);
    return c;
  }();
  return *catalogue;
}

void UseKinetics(Model& model, const std::string& step, const std::string& type,
                 std::vector<double> constants, const std::vector<std::string>& modifiers) {
  const int k = model.FindStep(step);
  ASSERT_GE(k, 0) << "no step " << step;
  const KineticType* kineticType = BuiltInCatalogue().Find(type);
  ASSERT_NE(kineticType, nullptr) << "no kinetic type " << type;
  ASSERT_EQ(static_cast<int>(constants.size()), kineticType->constants) << type;
  Step& s = model.steps[k];
  s.kineticType = kineticType;
  s.kineticTypeName = type;
  s.constants = std::move(constants);
  s.modifiers.clear();
  for (const std::string& name : modifiers) {
    const int m = model.FindMetabolite(name);
    ASSERT_GE(m, 0) << "no metabolite " << name;
    s.modifiers.push_back(m);
  }
}

void SetInitial(Model& model, const std::string& metabolite, double concentration,
                int compartment) {
  const int m = model.FindMetabolite(metabolite);
  ASSERT_GE(m, 0) << "no metabolite " << metabolite;
  model.metabolites[m].initialConcentration = concentration;
  if (compartment >= 0) model.metabolites[m].compartment = compartment;
}

Model RateRuleFeedback() {
  Model model = BuildModel({{"R1", "X -> S"}, {"R2", "S -> P"}}, {"X", "P"});
  UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  UseKinetics(model, "R2", "Mass action (irreversible)", {1.0});
  SetInitial(model, "X", 1.0);
  SetInitial(model, "S", 0.6);
  SetInitial(model, "P", 0.0);
  StructuralAnalysis(model);
  model.globalQuantities = {{"q", 1.7}};
  model.rules = {Rule{RuleKind::kAssignment, RuleTarget{RuleTargetKind::kKineticConstant, "R1", "k"},
                      "q"},
                 Rule{RuleKind::kRate, RuleTarget{RuleTargetKind::kGlobalQuantity, "q", {}},
                      "1-q*S"}};
  return model;
}

Model LinearTwoStep(double k1, double k2, double s) {
  Model model = BuildModel({{"R1", "S -> X"}, {"R2", "X -> P"}}, {"S", "P"});
  UseKinetics(model, "R1", "Mass action (irreversible)", {k1});
  UseKinetics(model, "R2", "Mass action (irreversible)", {k2});
  SetInitial(model, "S", s);
  SetInitial(model, "X", 0.0);
  SetInitial(model, "P", 0.0);
  StructuralAnalysis(model);
  return model;
}

Model ReversibleTwoStep(double k1, double km1, double k2, double s) {
  Model model = BuildModel({{"R1", "S = X"}, {"R2", "X -> P"}}, {"S", "P"});
  UseKinetics(model, "R1", "Mass action (reversible)", {k1, km1});
  UseKinetics(model, "R2", "Mass action (irreversible)", {k2});
  SetInitial(model, "S", s);
  StructuralAnalysis(model);
  return model;
}

Model LinearMichaelisMenten() {
  Model model = BuildModel({{"E1", "S -> A"}, {"E2", "A -> B"}, {"E3", "B -> P"}}, {"S", "P"});
  UseKinetics(model, "E1", "Henri-Michaelis-Menten (irreversible)", {0.5, 2.0});
  UseKinetics(model, "E2", "Henri-Michaelis-Menten (irreversible)", {1.0, 3.0});
  UseKinetics(model, "E3", "Henri-Michaelis-Menten (irreversible)", {2.0, 4.0});
  SetInitial(model, "S", 1.0);
  SetInitial(model, "A", 0.1);
  SetInitial(model, "B", 0.1);
  StructuralAnalysis(model);
  return model;
}

Model BranchedPathway() {
  Model model = BuildModel({{"In", "S -> X"}, {"Out1", "X -> P1"}, {"Out2", "X -> P2"}},
                           {"S", "P1", "P2"});
  UseKinetics(model, "In", "Henri-Michaelis-Menten (irreversible)", {1.0, 3.0});
  UseKinetics(model, "Out1", "Henri-Michaelis-Menten (irreversible)", {0.5, 2.0});
  UseKinetics(model, "Out2", "Henri-Michaelis-Menten (irreversible)", {2.0, 1.5});
  SetInitial(model, "S", 2.0);
  SetInitial(model, "X", 0.2);
  StructuralAnalysis(model);
  return model;
}

Model EnzymeWithMoiety() {
  Model model = BuildModel({{"Bind", "E + S = ES"}, {"Cat", "ES -> E + P"}}, {"S", "P"});
  UseKinetics(model, "Bind", "Mass action (reversible)", {10.0, 1.0});
  UseKinetics(model, "Cat", "Mass action (irreversible)", {2.0});
  SetInitial(model, "E", 1.0);
  SetInitial(model, "S", 0.5);
  SetInitial(model, "ES", 0.0);
  StructuralAnalysis(model);
  return model;
}

Model ReversibleMichaelisMentenStep() {
  Model model = BuildModel({{"E1", "S = X"}, {"E2", "X -> P"}}, {"S", "P"});
  UseKinetics(model, "E1", "Reversible Michaelis-Menten", {1.0, 1.0, 4.0, 1.0});
  UseKinetics(model, "E2", "Mass action (irreversible)", {1.0});
  SetInitial(model, "S", 1.0);
  SetInitial(model, "X", 0.5);
  StructuralAnalysis(model);
  return model;
}

Model UnequalVolumesCycle() {
  Model model = BuildModel({{"R1", "A -> B"}, {"R2", "B -> C"}, {"R3", "C -> A"}});
  UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  UseKinetics(model, "R2", "Mass action (irreversible)", {2.0});
  UseKinetics(model, "R3", "Mass action (irreversible)", {0.5});
  if (model.SetCompartmentCount(2) != 0) ADD_FAILURE() << "two compartments refused";
  model.compartments[0].volume = 0.5;
  model.compartments[1].volume = 2.0;
  SetInitial(model, "A", 1.0, 0);
  SetInitial(model, "B", 0.5, 1);
  SetInitial(model, "C", 0.25, 0);
  StructuralAnalysis(model);
  return model;
}

Model Brusselator(double a, double b) {
  Model model = BuildModel({{"R1", "A -> X"},
                            {"R2", "2*X + Y -> 3*X"},
                            {"R3", "B + X -> Y + D"},
                            {"R4", "X -> E"}},
                           {"A", "B", "D", "E"});
  for (const char* step : {"R1", "R2", "R3", "R4"}) {
    UseKinetics(model, step, "Mass action (irreversible)", {1.0});
  }
  SetInitial(model, "A", a);
  SetInitial(model, "B", b);
  SetInitial(model, "X", 1.2 * a);
  SetInitial(model, "Y", 0.9 * b / a);
  StructuralAnalysis(model);
  return model;
}

}  // namespace vireon::test
