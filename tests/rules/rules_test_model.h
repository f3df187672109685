#pragma once
// A small model for the rules tests: S -> P in compartment "cell", with the
// global quantities k and V, and rules added by the tests.

#include <string>
#include <vector>

#include "model/model.h"
#include "support/model_builder.h"

namespace vireon::test {

inline Model RulesTestModel() {
  Model model = BuildModel({{"conversion", "S -> P"}});
  model.compartments[0].name = "cell";
  model.globalQuantities = {{"k", 2.0}, {"V", 3.0}, {"a", 0.0}, {"b", 0.0}, {"c", 0.0}};
  return model;
}

inline Rule MakeRule(RuleKind kind, const std::string& target, const std::string& expression,
                     RuleTargetKind targetKind = RuleTargetKind::kGlobalQuantity) {
  return Rule{kind, RuleTarget{targetKind, target, {}}, expression};
}

inline Rule Assignment(const std::string& target, const std::string& expression) {
  return MakeRule(RuleKind::kAssignment, target, expression);
}

}  // namespace vireon::test
