#pragma once
// A small network on which rate laws are evaluated: five metabolites A, B,
// P, Q, M spread over three compartments (volumes 1, 2.5 and 0.4), stored
// at positions that differ from their indices, so that a rate law that
// forgets the volume or the position gives a different value.

#include <string>
#include <vector>

#include "model/model.h"

namespace vireon::test {

enum RateTestMetabolite { kA = 0, kB = 1, kP = 2, kQ = 3, kM = 4 };

struct RateTestModel {
  Model model;
  std::vector<double> x;  // amounts by position

  // Concentrations chosen so that no two are equal.
  static constexpr double kConcentrations[5] = {1.3, 0.7, 0.45, 1.9, 0.35};

  RateTestModel() {
    model.Allocate(1, 5, 5, 0, 3);
    const char* names[5] = {"A", "B", "P", "Q", "M"};
    const int compartments[5] = {1, 0, 1, 2, 2};
    model.compartments[0].volume = 1.0;
    model.compartments[1].volume = 2.5;
    model.compartments[2].volume = 0.4;
    model.metabolitePosition = {3, 0, 4, 1, 2};
    model.metaboliteOrder = {1, 3, 4, 0, 2};
    x.assign(5, 0.0);
    for (int i = 0; i < 5; ++i) {
      model.metabolites[i].name = names[i];
      model.metabolites[i].compartment = compartments[i];
      SetConcentration(i, kConcentrations[i]);
    }
  }

  Step& step() { return model.steps[0]; }

  // Sets the metabolite's amount for a concentration in its compartment.
  void SetConcentration(int metabolite, double concentration) {
    const Metabolite& m = model.metabolites[metabolite];
    x[model.metabolitePosition[metabolite]] =
        concentration * model.compartments[m.compartment].volume;
  }

  void SetLists(std::vector<int> substrates, std::vector<int> products,
                std::vector<int> modifiers) {
    Step& s = step();
    s.SizeSubstrates(static_cast<int>(substrates.size()));
    for (int m : substrates) s.AppendSubstrate(m);
    s.SizeProducts(static_cast<int>(products.size()));
    for (int m : products) s.AppendProduct(m);
    s.modifiers = std::move(modifiers);
  }
};

}  // namespace vireon::test
