#pragma once
// Small models for the output tests, with their structural analysis filled
// in by hand, so that the tests do not depend on the analysis or the solver:
//
// - LinearChain: X -> S -> P with X and P fixed (one independent metabolite).
// - EnzymeMoiety: E + S = ES, ES -> E + P with S and P fixed; E + ES is
//   conserved (one independent, one dependent metabolite, one relation).
// - LongNames: Glc -> glucose-6-phosphate = fructose-6-phosphate -> FBP with
//   Glc and FBP fixed (two independent metabolites, names longer than 10).
//
// Each model owns the kinetic types its steps point to.

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "engine/task_settings.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"

namespace vireon::test {

inline std::unique_ptr<KineticType> MakeKineticType(const std::string& name,
                                                    const std::vector<std::string>& constants) {
  auto type =
      std::make_unique<KineticType>(name, 1, 1, 0, static_cast<int>(constants.size()), nullptr, 0);
  for (std::size_t k = 0; k < constants.size(); ++k) {
    type->SetConstantName(constants[k], static_cast<int>(k));
  }
  return type;
}

struct TestModel {
  Model model;
  std::vector<std::unique_ptr<KineticType>> types;
  EngineState engine;
  TaskSettings settings;

  // Gives step s a new kinetic type with these constants and values.
  void SetKinetics(int s, const std::string& typeName, const std::vector<std::string>& names,
                   const std::vector<double>& values) {
    types.push_back(MakeKineticType(typeName, names));
    Step& step = model.steps[static_cast<std::size_t>(s)];
    step.kineticType = types.back().get();
    step.kineticTypeName = typeName;
    step.constants = values;
  }

  void SetStoichiometry(int metabolite, int step, float coefficient) {
    model.stoichiometry[metabolite][step] = coefficient;
  }
};

inline void NameMetabolites(Model& model, const std::vector<std::string>& names,
                            const std::vector<std::int16_t>& types,
                            const std::vector<double>& initial) {
  for (std::size_t m = 0; m < names.size(); ++m) {
    model.metabolites[m].name = names[m];
    model.metabolites[m].type = types[m];
    model.metabolites[m].initialConcentration = initial[m];
  }
}

// X (fixed), S, P (fixed); steps R1: X -> S (constant flux v = 1), R2: S -> P
// (mass action k = 2).
inline std::unique_ptr<TestModel> LinearChain() {
  auto t = std::make_unique<TestModel>();
  Model& model = t->model;
  model.Allocate(2, 3, 1, 0, 1);
  model.title = "Linear chain";
  model.comments = "A linear chain.\r\nTwo steps.";
  NameMetabolites(model, {"X", "S", "P"}, {FIXED, INDEPENDENT, FIXED}, {1.0, 0.0, 0.0});
  model.steps[0].name = "R1";
  model.steps[1].name = "R2";
  t->SetKinetics(0, "Constant flux (irreversible)", {"v"}, {1.0});
  t->SetKinetics(1, "Mass action (irreversible)", {"k"}, {2.0});
  t->SetStoichiometry(0, 0, -1);
  t->SetStoichiometry(1, 0, 1);
  t->SetStoichiometry(1, 1, -1);
  t->SetStoichiometry(2, 1, 1);
  model.nVariable = 1;
  model.nIndependent = 1;
  model.nDependent = 0;
  model.nFixed = 2;
  model.metaboliteOrder = {1, 0, 2};
  model.metabolitePosition = {1, 0, 2};
  model.stepOrder = {0, 1};
  model.stepPosition = {0, 1};
  model.reducedStoichiometry[0][0] = 1;
  model.reducedStoichiometry[0][1] = -1;
  model.link[0][0] = 1;
  model.conservation[0][0] = 0;
  t->engine.Allocate(model);
  return t;
}

// E, S (fixed), ES, P (fixed); steps binding: E + S = ES (k1 = 10, k2 = 0.1),
// catalysis: ES -> E + P (k = 5). The relation "  E + ES " has total 1.
inline std::unique_ptr<TestModel> EnzymeMoiety() {
  auto t = std::make_unique<TestModel>();
  Model& model = t->model;
  model.Allocate(2, 4, 2, 1, 2);
  model.title = "Enzyme with a conserved moiety";
  NameMetabolites(model, {"E", "S", "ES", "P"}, {INDEPENDENT, FIXED, DEPENDENT, FIXED},
                  {1.0, 2.0, 0.0, 0.0});
  model.compartments[1].name = "cytosol";
  model.compartments[1].volume = 0.25;
  model.steps[0].name = "binding";
  model.steps[1].name = "catalysis";
  t->SetKinetics(0, "Mass action (reversible)", {"k1", "k2"}, {10.0, 0.1});
  t->SetKinetics(1, "Mass action (irreversible)", {"k"}, {5.0});
  t->SetStoichiometry(0, 0, -1);
  t->SetStoichiometry(1, 0, -1);
  t->SetStoichiometry(2, 0, 1);
  t->SetStoichiometry(0, 1, 1);
  t->SetStoichiometry(2, 1, -1);
  t->SetStoichiometry(3, 1, 1);
  model.nVariable = 2;
  model.nIndependent = 1;
  model.nDependent = 1;
  model.nFixed = 2;
  model.metaboliteOrder = {0, 2, 1, 3};
  model.metabolitePosition = {0, 2, 1, 3};
  model.stepOrder = {0, 1};
  model.stepPosition = {0, 1};
  model.reducedStoichiometry[0][0] = -1;
  model.reducedStoichiometry[0][1] = 1;
  model.link[0][0] = 1;
  model.link[1][0] = -1;
  model.link[1][1] = 1;
  model.conservation[1][0] = 1;
  model.conservation[1][1] = 1;
  model.moieties[0].name = "  E + ES ";
  model.moieties[0].type = MOIETY;
  model.moieties[0].initialConcentration = 1.0;
  t->engine.Allocate(model);
  return t;
}

// Glc (fixed), glucose-6-phosphate, fructose-6-phosphate, FBP (fixed); steps
// hexokinase: Glc -> glucose-6-phosphate, isomerase: glucose-6-phosphate =
// fructose-6-phosphate, pfk: fructose-6-phosphate -> FBP.
inline std::unique_ptr<TestModel> LongNames() {
  auto t = std::make_unique<TestModel>();
  Model& model = t->model;
  model.Allocate(3, 4, 2, 0, 1);
  model.title = "Upper glycolysis";
  NameMetabolites(model, {"Glc", "glucose-6-phosphate", "fructose-6-phosphate", "FBP"},
                  {FIXED, INDEPENDENT, INDEPENDENT, FIXED}, {5.0, 0.0, 0.0, 0.0});
  model.steps[0].name = "hexokinase";
  model.steps[1].name = "isomerase";
  model.steps[2].name = "pfk";
  t->SetKinetics(0, "Constant flux (irreversible)", {"v"}, {0.25});
  t->SetKinetics(1, "Mass action (reversible)", {"k1", "k2"}, {3.0, 1.5});
  t->SetKinetics(2, "Mass action (irreversible)", {"k"}, {0.5});
  t->SetStoichiometry(0, 0, -1);
  t->SetStoichiometry(1, 0, 1);
  t->SetStoichiometry(1, 1, -1);
  t->SetStoichiometry(2, 1, 1);
  t->SetStoichiometry(2, 2, -1);
  t->SetStoichiometry(3, 2, 1);
  model.nVariable = 2;
  model.nIndependent = 2;
  model.nDependent = 0;
  model.nFixed = 2;
  model.metaboliteOrder = {1, 2, 0, 3};
  model.metabolitePosition = {2, 0, 1, 3};
  model.stepOrder = {0, 1, 2};
  model.stepPosition = {0, 1, 2};
  model.reducedStoichiometry[0][0] = 1;
  model.reducedStoichiometry[0][1] = -1;
  model.reducedStoichiometry[1][1] = 1;
  model.reducedStoichiometry[1][2] = -1;
  model.link[0][0] = 1;
  model.link[1][1] = 1;
  t->engine.Allocate(model);
  return t;
}

}  // namespace vireon::test
