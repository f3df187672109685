#pragma once
// A small model for the scan and link tests: metabolites A (internal) and B
// (fixed) in compartment "cell", step R1 with a kinetic type of two
// constants (Km = 0.5, V = 10) and step R2 without a kinetic type. Only the
// records binding looks at are filled in.

#include <memory>
#include <string>

#include "engine/engine_state.h"
#include "engine/task_settings.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "output/output_item_binding.h"

namespace vireon::test {

struct ScanTestModel {
  Model model;
  std::unique_ptr<KineticType> michaelis;
  EngineState engine;
  TaskSettings settings;

  ScanTestModel() {
    model.Allocate(2, 2, 1, 0, 1);
    model.metabolites[0] = Metabolite("A", INDEPENDENT, 0, 1.0);
    model.metabolites[1] = Metabolite("B", FIXED, 0, 3.0);
    model.compartments[0].name = "cell";
    model.compartments[0].volume = 2.0;
    model.steps[0].name = "R1";
    model.steps[1].name = "R2";
    michaelis = std::make_unique<KineticType>("Michaelis", 1, 1, 0, 2, nullptr, 0);
    michaelis->SetConstantName("Km", 0);
    michaelis->SetConstantName("V", 1);
    model.steps[0].kineticType = michaelis.get();
    model.steps[0].kineticTypeName = "Michaelis";
    model.steps[0].constants = {0.5, 10.0};
  }

  BindingContext Context(UserFunctionLookup functions = {}) {
    return BindingContext{model, engine, settings, std::move(functions)};
  }
};

}  // namespace vireon::test
