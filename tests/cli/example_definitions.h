#pragma once
// The bundled example models, as a user builds them in the dialogs
// (reactions, metabolites, kinetics, tasks, output, scan). The writer test
// (example_models_test.cpp) saves each through the model-file writer and
// compares it with the file in examples/; the gallery test
// (example_gallery_test.cpp) runs each with `vireon run` and checks its key
// numbers against the literature or a closed form.
//
// Each model's comments cite the publication it comes from; the comments
// travel in the file and open the model's report.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "document/document.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetics_editor.h"
#include "model/message_sink.h"
#include "model/metabolite_editor.h"
#include "model/reaction_editor.h"
#include "model/structural_analysis.h"
#include "model/working_copy.h"
#include "output/output_function.h"
#include "output/output_item.h"
#include "scan/scan_item.h"

namespace vireon::test {

struct ExampleStep {
  std::string name;
  std::string equation;
  std::string kineticType;
  std::vector<double> constants;       // in the order of the type's constant names
  std::vector<std::string> modifiers;  // metabolite names, in the order of the type's roles
};

// An output function: its name, its expression and the item of each letter
// in the order the letters first appear.
struct ExampleFunction {
  std::string name;
  std::string expression;
  std::vector<OutputItem> items;
};

struct ExampleModel {
  std::string fileName;
  std::string title;
  std::string comments;  // lines joined by CR LF, as the comments box holds them
  std::vector<ExampleStep> steps;
  std::vector<std::pair<std::string, double>> initialConcentrations;
  std::vector<std::string> fixed;
  std::string compartment;
  std::string concentrationUnit = "mM";
  int minimumColumnWidth = 12;  // wider columns carry more digits
  double endTime = 10.0;
  int points = 50;
  double relativeTolerance = 1e-6;
  double absoluteTolerance = 1e-12;
  std::vector<ExampleFunction> functions;
  std::vector<OutputItem> timeCourse;
  std::vector<OutputItem> steadyState;
  std::vector<OutputItem> interactive;
  std::vector<ScanItem> scan;  // enabled when not empty
  std::vector<int> plotY;      // positions in the time-course selection; x is time, position 0
  FitSettings fit;             // stored in the model when not empty
};

inline std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

inline OutputItem Item(int type, std::string_view first = {}, std::string_view second = {}) {
  return MakeOutputItem(type, first, second);
}

inline ScanItem Scan(OutputItem quantity, int kind, double min, double max, int density,
                     bool master) {
  ScanItem item(quantity);
  item.grid = kind;
  item.min = min;
  item.max = max;
  item.density = density;
  item.independent = master ? 1 : 0;
  return item;
}

// An enzyme that binds its substrate before it converts it, fed from a
// fixed pool and drained into a fixed sink: the free and the bound enzyme
// form one conserved moiety.
inline ExampleModel MichaelisMenten() {
  ExampleModel m;
  m.fileName = "michaelis_menten.vrn";
  m.title = "Michaelis-Menten enzyme with explicit binding steps";
  m.comments = Lines({
      "The enzyme E binds its substrate S to the complex ES, which releases the",
      "product P and the free enzyme. S is supplied from the fixed pool Sx and P",
      "is removed into the fixed sink Px. E and ES form a conserved moiety: their",
      "sum stays 1 mM. The complex is quasi-steady for Km = (k2 + k3)/k1 = 0.7 mM.",
      "",
      "Sources: L. Michaelis and M. L. Menten (1913) Die Kinetik der",
      "Invertinwirkung. Biochem. Z. 49, 333-369; G. E. Briggs and J. B. S. Haldane",
      "(1925) A note on the kinetics of enzyme action. Biochem. J. 19, 338-339.",
  });
  m.steps = {
      {"supply", "Sx = S", "Mass action (reversible)", {0.5, 0.1}, {}},
      {"binding", "E + S = ES", "Mass action (reversible)", {10.0, 5.0}, {}},
      {"catalysis", "ES -> E + P", "Mass action (irreversible)", {2.0}, {}},
      {"removal", "P -> Px", "Mass action (irreversible)", {0.3}, {}},
  };
  m.initialConcentrations = {{"Sx", 5.0}, {"E", 1.0}};
  m.fixed = {"Sx", "Px"};
  m.compartment = "cell";
  m.endTime = 30.0;
  m.points = 150;
  m.timeCourse = {Item(kTime),
                  Item(kTransientConcentration, "S"),
                  Item(kTransientConcentration, "E"),
                  Item(kTransientConcentration, "ES"),
                  Item(kTransientConcentration, "P"),
                  Item(kTransientFlux, "catalysis")};
  m.steadyState = {
      Item(kSteadyStateConcentration, "S"),      Item(kSteadyStateConcentration, "ES"),
      Item(kSteadyStateConcentration, "P"),      Item(kSteadyStateFlux, "catalysis"),
      Item(kFluxControl, "catalysis", "supply"), Item(kFluxControl, "catalysis", "catalysis"),
      Item(kFluxControl, "catalysis", "removal")};
  m.interactive = {Item(kTransientConcentration, "S"), Item(kTransientConcentration, "ES"),
                   Item(kTransientConcentration, "P")};
  m.plotY = {1, 2, 3, 4};
  return m;
}

// A pathway from the fixed source X0 that branches at S2 into two fixed
// sinks; its end product S3 inhibits the first enzyme cooperatively.
inline ExampleModel BranchedPathway() {
  ExampleModel m;
  m.fileName = "branched_pathway.vrn";
  m.title = "Branched pathway with end-product inhibition";
  m.comments = Lines({
      "X0 -> S1 -> S2 -> S3 -> X4, with a branch S2 -> X5. The end product S3",
      "inhibits the first enzyme E1 (allosteric inhibition, n = 2), so most of the",
      "control over the flux to X4 moves from E1 to the demand for S3 (E4).",
      "At the steady state the flux into the branch point equals the two fluxes",
      "out of it, J(E1) = J(E4) + J(E5), and the flux control coefficients over",
      "J(E4) sum to 1.",
      "",
      "Sources: H. E. Umbarger (1956) Evidence for a negative-feedback mechanism in",
      "the biosynthesis of isoleucine. Science 123, 848; H. Kacser and J. A. Burns",
      "(1973) The control of flux. Symp. Soc. Exp. Biol. 27, 65-104.",
  });
  m.steps = {
      {"E1",
       "X0 = S1",
       "Allosteric inhibition (empirical)",
       {10.0, 1.0, 1.0, 1.0, 2.0, 1.0},
       {"S3"}},
      {"E2", "S1 = S2", "Reversible Michaelis-Menten", {1.0, 1.0, 8.0, 1.0}, {}},
      {"E3", "S2 = S3", "Reversible Michaelis-Menten", {1.0, 2.0, 6.0, 1.0}, {}},
      {"E4", "S3 -> X4", "Henri-Michaelis-Menten (irreversible)", {1.0, 3.0}, {}},
      {"E5", "S2 -> X5", "Henri-Michaelis-Menten (irreversible)", {2.0, 2.0}, {}},
  };
  m.initialConcentrations = {{"X0", 10.0}};
  m.fixed = {"X0", "X4", "X5"};
  m.compartment = "cytosol";
  m.endTime = 20.0;
  m.points = 100;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "S1"),
                  Item(kTransientConcentration, "S2"), Item(kTransientConcentration, "S3"),
                  Item(kTransientFlux, "E1")};
  m.steadyState = {Item(kSteadyStateConcentration, "S1"),
                   Item(kSteadyStateConcentration, "S2"),
                   Item(kSteadyStateConcentration, "S3"),
                   Item(kSteadyStateFlux, "E1"),
                   Item(kSteadyStateFlux, "E4"),
                   Item(kSteadyStateFlux, "E5"),
                   Item(kFluxControl, "E4", "E1"),
                   Item(kFluxControl, "E4", "E4"),
                   Item(kConcentrationControl, "S3", "E1"),
                   Item(kElasticity, "E1", "S3")};
  m.interactive = {Item(kTransientConcentration, "S1"), Item(kTransientConcentration, "S2"),
                   Item(kTransientConcentration, "S3"), Item(kTransientFlux, "E1")};
  m.plotY = {1, 2, 3};
  return m;
}

// The Brusselator with mass-action steps: for B > 1 + A^2 its steady state
// X = A, Y = B/A is an unstable focus surrounded by a limit cycle.
inline ExampleModel Brusselator() {
  ExampleModel m;
  m.fileName = "brusselator.vrn";
  m.title = "Brusselator chemical oscillator";
  m.comments = Lines({
      "A -> X, 2X + Y -> 3X, B + X -> Y + D, X -> E, all mass action with k = 1.",
      "With A = 1 and B = 3 (B > 1 + A^2) the steady state X = 1, Y = 3 is unstable",
      "(eigenvalues 0.5 +/- 0.866i) and X and Y oscillate on a limit cycle.",
      "",
      "Source: I. Prigogine and R. Lefever (1968) Symmetry breaking instabilities",
      "in dissipative systems. II. J. Chem. Phys. 48, 1695-1700.",
  });
  m.steps = {
      {"inflow", "A -> X", "Mass action (irreversible)", {1.0}, {}},
      {"autocatalysis", "2*X + Y -> 3*X", "Mass action (irreversible)", {1.0}, {}},
      {"conversion", "B + X -> Y + D", "Mass action (irreversible)", {1.0}, {}},
      {"outflow", "X -> E", "Mass action (irreversible)", {1.0}, {}},
  };
  m.initialConcentrations = {{"A", 1.0}, {"B", 3.0}, {"X", 1.0}, {"Y", 1.0}};
  m.fixed = {"A", "B", "D", "E"};
  m.compartment = "reactor";
  m.endTime = 50.0;
  m.points = 1000;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "X"),
                  Item(kTransientConcentration, "Y")};
  m.steadyState = {Item(kSteadyStateConcentration, "X"),
                   Item(kSteadyStateConcentration, "Y"),
                   Item(kMaxRealPart),
                   Item(kMaxImagPart),
                   Item(kPositiveRealCount),
                   Item(kComplexCount)};
  m.interactive = {Item(kTransientConcentration, "X"), Item(kTransientConcentration, "Y")};
  m.plotY = {1, 2};
  return m;
}

// Lotka's autocatalytic pair: X grows on the fixed food A, Y grows on X and
// decays. The steady state X = k3/k2, Y = k1*A/k2 is a centre: small cycles
// around it last 2*pi/sqrt(k1*A*k3), and the quantity
// k2*X - k3*ln X + k2*Y - k1*A*ln Y stays constant along every cycle.
inline ExampleModel LotkaVolterra() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "lotka_volterra.vrn";
  m.title = "Lotka-Volterra oscillator";
  m.comments = Lines({
      "A + X -> 2X, X + Y -> 2Y, Y -> B, mass action with k1 = k2 = k3 = 1 and the",
      "food A fixed at 1. The steady state X = Y = 1 is a centre (eigenvalues +/- i):",
      "every start lies on a closed cycle of its own, along which",
      "X - ln X + Y - ln Y stays constant; small cycles last 2*pi time units.",
      "",
      "Sources: A. J. Lotka (1920) Undamped oscillations derived from the law of",
      "mass action. J. Am. Chem. Soc. 42, 1595-1599; V. Volterra (1926)",
      "Nature 118, 558-560.",
  });
  m.steps = {
      {"growth", "A + X -> 2*X", "Mass action (irreversible)", {1.0}, {}},
      {"predation", "X + Y -> 2*Y", "Mass action (irreversible)", {1.0}, {}},
      {"decay", "Y -> B", "Mass action (irreversible)", {1.0}, {}},
  };
  m.initialConcentrations = {{"A", 1.0}, {"X", 1.1}, {"Y", 1.0}};
  m.fixed = {"A", "B"};
  m.compartment = "habitat";
  m.endTime = 30.0;
  m.points = 3000;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "X"),
                  Item(kTransientConcentration, "Y")};
  m.steadyState = {Item(kSteadyStateConcentration, "X"), Item(kSteadyStateConcentration, "Y"),
                   Item(kMaxRealPart), Item(kMaxImagPart)};
  m.interactive = {Item(kTransientConcentration, "X"), Item(kTransientConcentration, "Y")};
  m.plotY = {1, 2};
  return m;
}

// The Oregonator, the skeleton of the Belousov-Zhabotinsky reaction: bromous
// acid X, bromide Y and the oxidised catalyst Z, with bromate A and the
// organic substrate B held fixed. Concentrations in micromolar.
inline ExampleModel Oregonator() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "oregonator.vrn";
  m.title = "Oregonator (Belousov-Zhabotinsky reaction)";
  m.comments = Lines({
      "A + Y -> X + P, X + Y -> 2P, A + X -> 2X + 2Z, 2X -> A + P, B + Z -> f Y",
      "with the rate constants of Field and Noyes in micromolar units",
      "(k1 = 1.34e-6, k2 = 1.6e3, k3 = 8e-3, k4 = 40 per uM per s), A = B = 60 mM,",
      "f = 1 and k5*B = 0.1 per s. The steady state is unstable and the",
      "concentrations relax through sharp bursts: in each, X climbs to nearly",
      "k3*A/(2*k4) = 6 uM before bromide Y switches the autocatalysis off.",
      "",
      "Source: R. J. Field and R. M. Noyes (1974) Oscillations in chemical",
      "systems. IV. Limit cycle behavior in a model of a real chemical reaction.",
      "J. Chem. Phys. 60, 1877-1884.",
  });
  m.steps = {
      {"O1", "A + Y -> X + P", "Mass action (irreversible)", {1.34e-6}, {}},
      {"O2", "X + Y -> 2*P", "Mass action (irreversible)", {1.6e3}, {}},
      {"O3", "A + X -> 2*X + 2*Z", "Mass action (irreversible)", {8e-3}, {}},
      {"O4", "2*X -> A + P", "Mass action (irreversible)", {40.0}, {}},
      {"O5", "B + Z -> Y", "Mass action (irreversible)", {0.1 / 6e4}, {}},
  };
  m.initialConcentrations = {{"A", 6e4}, {"B", 6e4}, {"X", 1e-4}, {"Y", 1.0}, {"Z", 1.0}};
  m.fixed = {"A", "B", "P"};
  m.compartment = "beaker";
  m.concentrationUnit = "uM";
  m.endTime = 600.0;
  m.points = 3000;
  m.relativeTolerance = 1e-8;
  m.absoluteTolerance = 1e-14;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "X"),
                  Item(kTransientConcentration, "Y"), Item(kTransientConcentration, "Z")};
  m.steadyState = {Item(kSteadyStateConcentration, "X"), Item(kSteadyStateConcentration, "Y"),
                   Item(kSteadyStateConcentration, "Z"), Item(kMaxRealPart),
                   Item(kPositiveRealCount)};
  m.interactive = {Item(kTransientConcentration, "X"), Item(kTransientConcentration, "Y"),
                   Item(kTransientConcentration, "Z")};
  m.plotY = {1, 2, 3};
  return m;
}

// Robertson's stiff system: rate constants spanning nine orders of
// magnitude, the classic test of stiff integrators.
inline ExampleModel Robertson() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "robertson.vrn";
  m.title = "Robertson's stiff reaction system";
  m.comments = Lines({
      "A -> B (k1 = 0.04), 2B -> B + C (k2 = 3e7), B + C -> A + C (k3 = 1e4),",
      "starting from A = 1. B stays near 1e-5 while A turns into C over a time",
      "scale a million times longer than B's; A + B + C = 1 throughout. At t = 40",
      "the solution is A = 0.7158271, B = 9.185535e-6, C = 0.2841637.",
      "",
      "Source: H. H. Robertson (1966) The solution of a set of reaction rate",
      "equations. In J. Walsh (ed.) Numerical Analysis: An Introduction,",
      "pp. 178-182. Academic Press, London.",
  });
  m.steps = {
      {"R1", "A -> B", "Mass action (irreversible)", {0.04}, {}},
      {"R2", "2*B -> B + C", "Mass action (irreversible)", {3e7}, {}},
      {"R3", "B + C -> A + C", "Mass action (irreversible)", {1e4}, {}},
  };
  m.initialConcentrations = {{"A", 1.0}};
  m.compartment = "vessel";
  m.endTime = 40.0;
  m.points = 40;
  m.relativeTolerance = 1e-8;
  m.absoluteTolerance = 1e-14;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "A"),
                  Item(kTransientConcentration, "B"), Item(kTransientConcentration, "C")};
  m.steadyState = {Item(kSteadyStateConcentration, "A"), Item(kSteadyStateConcentration, "B"),
                   Item(kSteadyStateConcentration, "C")};
  m.interactive = {Item(kTransientConcentration, "A"), Item(kTransientConcentration, "B"),
                   Item(kTransientConcentration, "C")};
  m.plotY = {1, 3};
  return m;
}

// A protein W switched between its two forms by a kinase and a phosphatase
// that both work near saturation: the phosphorylated fraction responds to
// the ratio of the two maximal rates like a switch.
inline ExampleModel PhosphorylationCycle() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "phosphorylation_cycle.vrn";
  m.title = "Phosphorylation-dephosphorylation cycle (zero-order ultrasensitivity)";
  m.comments = Lines({
      "W -> Wp by a kinase and Wp -> W by a phosphatase, both Michaelis-Menten with",
      "Km = 0.05 mM, small beside the total W + Wp = 1 mM, which is a conserved",
      "moiety. The scan raises the kinase's V from 0.5 to 1.5 times the",
      "phosphatase's V (1 mM/s): the steady-state fraction of Wp switches from",
      "nearly 0 to nearly 1 around V1 = V2, following the Goldbeter-Koshland",
      "function G(V1, V2, Km1/WT, Km2/WT).",
      "",
      "Source: A. Goldbeter and D. E. Koshland Jr. (1981) An amplified sensitivity",
      "arising from covalent modification in biological systems.",
      "Proc. Natl. Acad. Sci. USA 78, 6840-6844.",
  });
  m.steps = {
      {"kinase", "W -> Wp", "Henri-Michaelis-Menten (irreversible)", {0.05, 1.0}, {}},
      {"phosphatase", "Wp -> W", "Henri-Michaelis-Menten (irreversible)", {0.05, 1.0}, {}},
  };
  m.initialConcentrations = {{"W", 1.0}};
  m.compartment = "cell";
  m.endTime = 20.0;
  m.points = 40;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "W"),
                  Item(kTransientConcentration, "Wp")};
  m.steadyState = {Item(kKineticConstant, "kinase", "V"), Item(kSteadyStateConcentration, "Wp"),
                   Item(kSteadyStateConcentration, "W"), Item(kSteadyStateFlux, "kinase"),
                   Item(kConcentrationControl, "Wp", "kinase")};
  m.interactive = {Item(kTransientConcentration, "W"), Item(kTransientConcentration, "Wp")};
  m.scan = {Scan(Item(kKineticConstant, "kinase", "V"), kScanRegularGrid, 0.5, 1.5, 11, true)};
  m.plotY = {1, 2};
  return m;
}

// Upper glycolysis from a fixed glucose supply to the two trioses, with the
// feedback of glucose 6-phosphate on hexokinase.
inline ExampleModel UpperGlycolysis() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "upper_glycolysis.vrn";
  m.title = "Upper glycolysis with feedback inhibition of hexokinase";
  m.comments = Lines({
      "Glc -> G6P (hexokinase, noncompetitively inhibited by its product G6P),",
      "G6P = F6P (phosphoglucose isomerase, near equilibrium), F6P -> FBP",
      "(phosphofructokinase, cooperative, Hill n = 2.5), FBP -> DHAP + GAP",
      "(aldolase). Glucose is held at 5 mM; the trioses are drained. The",
      "inhibition ties the hexokinase rate to the G6P level, which the isomerase",
      "and phosphofructokinase set: the flux control is shared by hexokinase and",
      "phosphofructokinase. Aldolase, irreversible and read by no earlier step,",
      "has no control over the flux; it only sets the FBP level.",
      "",
      "Sources: R. K. Crane and A. Sols (1954) The non-competitive inhibition of",
      "brain hexokinase by glucose-6-phosphate and related compounds.",
      "J. Biol. Chem. 210, 597-606; A. V. Hill (1910) The possible effects of the",
      "aggregation of the molecules of haemoglobin on its dissociation curves.",
      "J. Physiol. 40, iv-vii.",
  });
  m.steps = {
      {"HK", "Glc -> G6P", "Noncompetitive inhibition (irr)", {0.1, 1.0, 0.5}, {"G6P"}},
      {"PGI", "G6P = F6P", "Uni Uni", {1.4, 0.3, 10.0, 0.3}, {}},
      {"PFK", "F6P -> FBP", "Hill Cooperativity", {0.5, 2.0, 2.5}, {}},
      {"ALD", "FBP -> DHAP + GAP", "Henri-Michaelis-Menten (irreversible)", {0.3, 3.0}, {}},
  };
  m.initialConcentrations = {{"Glc", 5.0}};
  m.fixed = {"Glc", "DHAP", "GAP"};
  m.compartment = "cytosol";
  m.endTime = 50.0;
  m.points = 100;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "G6P"),
                  Item(kTransientConcentration, "F6P"), Item(kTransientConcentration, "FBP"),
                  Item(kTransientFlux, "HK")};
  m.steadyState = {Item(kSteadyStateConcentration, "G6P"),
                   Item(kSteadyStateConcentration, "F6P"),
                   Item(kSteadyStateConcentration, "FBP"),
                   Item(kSteadyStateFlux, "HK"),
                   Item(kFluxControl, "ALD", "HK"),
                   Item(kFluxControl, "ALD", "PGI"),
                   Item(kFluxControl, "ALD", "PFK"),
                   Item(kFluxControl, "ALD", "ALD")};
  m.interactive = {Item(kTransientConcentration, "G6P"), Item(kTransientConcentration, "F6P"),
                   Item(kTransientConcentration, "FBP")};
  m.plotY = {1, 2, 3};
  return m;
}

// The sum of the four flux control coefficients over J(E4), as an output
// function of the steady-state file.
inline ExampleFunction FluxControlSum(const char* flux, std::initializer_list<const char*> steps) {
  ExampleFunction function{"Summation", "", {}};
  char letter = 'a';
  for (const char* step : steps) {
    if (!function.expression.empty()) function.expression += "+";
    function.expression += letter++;
    function.items.push_back(Item(kFluxControl, flux, step));
  }
  return function;
}

// A linear chain of four first-order reversible steps: its flux control
// coefficients have a closed form, and they sum to 1.
inline ExampleModel LinearPathway() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "linear_pathway.vrn";
  m.title = "Linear pathway: the summation theorem of flux control";
  m.comments = Lines({
      "X0 -> S1 -> S2 -> S3 -> X4, each step first-order and reversible,",
      "v = k1*S(i-1) - k2*S(i), with X0 = 10 mM and X4 = 1 mM fixed. With",
      "q(i) = k1/k2 of step i, the flux control coefficient of step i is",
      "(1/k1(i)) q(i)...q(4) divided by the sum of that term over the four steps,",
      "so the coefficients below, in METABOLIC CONTROL ANALYSIS, sum to 1 (the",
      "summation theorem); the steady-state file shows their sum as Summation.",
      "",
      "Sources: H. Kacser and J. A. Burns (1973) The control of flux. Symp. Soc.",
      "Exp. Biol. 27, 65-104; R. Heinrich and T. A. Rapoport (1974) A linear",
      "steady-state treatment of enzymatic chains. Eur. J. Biochem. 42, 89-95.",
  });
  m.steps = {
      {"E1", "X0 = S1", "Mass action (reversible)", {2.0, 1.0}, {}},
      {"E2", "S1 = S2", "Mass action (reversible)", {3.0, 1.0}, {}},
      {"E3", "S2 = S3", "Mass action (reversible)", {1.5, 0.5}, {}},
      {"E4", "S3 = X4", "Mass action (reversible)", {2.0, 0.2}, {}},
  };
  m.initialConcentrations = {{"X0", 10.0}, {"X4", 1.0}};
  m.fixed = {"X0", "X4"};
  m.compartment = "cell";
  m.endTime = 20.0;
  m.points = 100;
  m.functions = {FluxControlSum("E4", {"E1", "E2", "E3", "E4"})};
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "S1"),
                  Item(kTransientConcentration, "S2"), Item(kTransientConcentration, "S3")};
  m.steadyState = {Item(kSteadyStateFlux, "E4"),     Item(kFluxControl, "E4", "E1"),
                   Item(kFluxControl, "E4", "E2"),   Item(kFluxControl, "E4", "E3"),
                   Item(kFluxControl, "E4", "E4"),   Item(kUserFunction, "Summation")};
  m.interactive = {Item(kTransientConcentration, "S1"), Item(kTransientConcentration, "S2"),
                   Item(kTransientConcentration, "S3")};
  m.plotY = {1, 2, 3};
  return m;
}

// A three-step Michaelis-Menten pathway whose maximal rates are drawn at
// random: whatever the draw, the control coefficients obey the summation
// and connectivity theorems.
inline ExampleModel RandomScan() {
  ExampleModel m;
  m.minimumColumnWidth = 22;
  m.fileName = "random_scan.vrn";
  m.title = "Random scan of a pathway's enzyme activities";
  m.comments = Lines({
      "X0 -> S1 -> S2 -> X3 with reversible Michaelis-Menten steps. The scan draws",
      "the forward maximal rate Vf of each enzyme uniformly between 1 and 10 mM/s,",
      "twenty times; each row of the steady-state file holds one draw, the flux,",
      "the flux control coefficients and the elasticities. In every row the",
      "control coefficients sum to 1 (Summation) and each metabolite's",
      "connectivity sum C1*e1 + C2*e2 + C3*e3 is 0.",
      "",
      "Source: H. Kacser and J. A. Burns (1973) The control of flux. Symp. Soc.",
      "Exp. Biol. 27, 65-104.",
  });
  m.steps = {
      {"E1", "X0 = S1", "Reversible Michaelis-Menten", {1.0, 1.0, 5.0, 1.0}, {}},
      {"E2", "S1 = S2", "Reversible Michaelis-Menten", {1.0, 1.0, 5.0, 1.0}, {}},
      {"E3", "S2 = X3", "Reversible Michaelis-Menten", {1.0, 1.0, 5.0, 1.0}, {}},
  };
  m.initialConcentrations = {{"X0", 2.0}, {"X3", 0.1}};
  m.fixed = {"X0", "X3"};
  m.compartment = "cell";
  m.endTime = 10.0;
  m.points = 20;
  m.functions = {FluxControlSum("E3", {"E1", "E2", "E3"})};
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "S1"),
                  Item(kTransientConcentration, "S2")};
  m.steadyState = {Item(kKineticConstant, "E1", "Vf"), Item(kKineticConstant, "E2", "Vf"),
                   Item(kKineticConstant, "E3", "Vf"), Item(kSteadyStateFlux, "E1"),
                   Item(kSteadyStateFlux, "E3"),       Item(kFluxControl, "E3", "E1"),
                   Item(kFluxControl, "E3", "E2"),     Item(kFluxControl, "E3", "E3"),
                   Item(kElasticity, "E1", "S1"),      Item(kElasticity, "E2", "S1"),
                   Item(kElasticity, "E2", "S2"),      Item(kElasticity, "E3", "S2"),
                   Item(kUserFunction, "Summation")};
  m.interactive = {Item(kTransientConcentration, "S1"), Item(kTransientConcentration, "S2")};
  m.scan = {Scan(Item(kKineticConstant, "E1", "Vf"), kScanUniform, 1.0, 10.0, 20, true),
            Scan(Item(kKineticConstant, "E2", "Vf"), kScanUniform, 1.0, 10.0, 20, false),
            Scan(Item(kKineticConstant, "E3", "Vf"), kScanUniform, 1.0, 10.0, 20, false)};
  m.plotY = {1, 2};
  return m;
}

// The initial velocities of puromycin-treated cells against the substrate
// concentration, in steady states: the substrate S is fixed at each row's
// concentration and its product P drained by a first-order step, so that
// the flux of the enzyme is its initial velocity. The model stores the fit
// of Vm and K to the published measurements, from rough first guesses.
inline ExampleModel Puromycin() {
  ExampleModel m;
  m.fileName = "puromycin.vrn";
  m.title = "Initial velocities of an enzyme in puromycin-treated cells";
  m.comments = Lines({
      "The velocity of an enzymatic reaction (counts/min/min) at substrate",
      "concentrations from 0.02 to 1.10 ppm, in cells treated with puromycin",
      "(puromycin.csv, two measurements at each concentration). The step",
      "velocity is Henri-Michaelis-Menten, V S / (Km + S); S is fixed, and at the",
      "steady state J(velocity) is the velocity at [S]. vireon fit puromycin.vrn",
      "fits V and Km to the measurements; the published least-squares values",
      "are Vm = 212.7 (sd 6.947) and K = 0.06412 (sd 0.008281), with a residual",
      "standard deviation of 10.93 on 10 degrees of freedom.",
      "",
      "Sources: M. A. Treloar (1974) Effects of puromycin on",
      "galactosyltransferase in Golgi membranes. M.Sc. thesis, University of",
      "Toronto; D. M. Bates and D. G. Watts (1988) Nonlinear Regression Analysis",
      "and Its Applications. Wiley, New York, sections 2.1-2.3 and appendix 1.",
  });
  m.steps = {
      {"velocity", "S -> P", "Henri-Michaelis-Menten (irreversible)", {0.1, 200.0}, {}},
      {"drain", "P -> Pout", "Mass action (irreversible)", {1.0}, {}},
  };
  m.initialConcentrations = {{"S", 0.02}};
  m.fixed = {"S", "Pout"};
  m.compartment = "cell";
  m.concentrationUnit = "ppm";
  m.endTime = 10.0;
  m.points = 50;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "P"),
                  Item(kTransientFlux, "velocity")};
  m.steadyState = {Item(kSteadyStateConcentration, "P"), Item(kSteadyStateFlux, "velocity")};
  m.plotY = {1};
  m.fit.dataFiles = {"puromycin.csv"};
  m.fit.parameters = {{"velocity(V)"}, {"velocity(Km)"}};
  return m;
}

inline std::vector<ExampleModel> AllExamples() {
  return {MichaelisMenten(),      BranchedPathway(), Brusselator(),
          LotkaVolterra(),        Oregonator(),      Robertson(),
          PhosphorylationCycle(), UpperGlycolysis(), LinearPathway(),
          RandomScan(),           Puromycin()};
}

// Columns wide enough for every title of the selection, so that no title
// is cut short.
inline int ColumnWidth(const std::vector<OutputItem>& selection, int narrowest) {
  int width = narrowest;
  for (const OutputItem& item : selection)
    width = std::max(width, static_cast<int>(item.title.size()));
  return width;
}

inline std::string ExampleBaseName(const std::string& fileName) {
  return fileName.substr(0, fileName.rfind('.'));
}

// The document of an example, as a user would make it in a new document of
// the built-in default values.
inline void BuildDocument(const ExampleModel& example, const KineticCatalogue& catalogue,
                   Document& document) {
  const DefaultValues defaults;
  NewDocument(document, defaults);
  RecordingSink sink;

  ReactionEditor reactions(document.model, sink, defaults.concentration);
  for (const ExampleStep& step : example.steps) {
    EXPECT_TRUE(reactions.AddOrChange(step.name, step.equation)) << step.equation;
  }
  ASSERT_TRUE(reactions.Commit(
      [&](Step& step) { ApplyConstantFlux(step, catalogue, defaults.kineticConstant); }));
  ApplyWorkingCopy(document.model, reactions.working(), StructuralAnalysis);

  MetaboliteEditor metabolites(document.model, sink);
  for (MetaboliteRow& row : metabolites.rows()) {
    for (const auto& [name, value] : example.initialConcentrations) {
      if (row.name == name) row.initialConcentration = FormatConcentration(value);
    }
    for (const std::string& name : example.fixed) {
      if (row.name == name) row.fixed = true;
    }
  }
  ASSERT_TRUE(metabolites.Commit(document.model, StructuralAnalysis));

  KineticsEditor kinetics(document.model, catalogue, defaults.kineticConstant);
  for (int s = 0; s < static_cast<int>(example.steps.size()); ++s) {
    const ExampleStep& step = example.steps[static_cast<std::size_t>(s)];
    ASSERT_TRUE(kinetics.SelectStep(s, sink)) << step.name;
    ASSERT_TRUE(kinetics.ApplyType(step.kineticType)) << step.name << ": " << step.kineticType;
    ASSERT_EQ(static_cast<int>(step.constants.size()), kinetics.CurrentType()->constants)
        << step.name;
    for (int k = 0; k < static_cast<int>(step.constants.size()); ++k) {
      kinetics.SetConstant(k, step.constants[static_cast<std::size_t>(k)]);
    }
    ASSERT_EQ(static_cast<int>(step.modifiers.size()), kinetics.CurrentType()->modifiers);
    for (int k = 0; k < static_cast<int>(step.modifiers.size()); ++k) {
      const int metabolite =
          document.model.FindMetabolite(step.modifiers[static_cast<std::size_t>(k)]);
      ASSERT_GE(metabolite, 0) << step.modifiers[static_cast<std::size_t>(k)];
      kinetics.SetModifier(k, metabolite);
    }
  }
  ASSERT_TRUE(kinetics.Commit(document.model, sink));
  EXPECT_TRUE(sink.messages().empty()) << sink.Texts().front();

  Model& model = document.model;
  model.title = example.title;
  model.comments = example.comments;
  model.compartments[0].name = example.compartment;

  TaskSettings& settings = document.settings;
  settings.concentrationUnit = example.concentrationUnit;
  settings.solver.relativeTolerance = example.relativeTolerance;
  settings.solver.absoluteTolerance = example.absoluteTolerance;
  settings.endTime = example.endTime;
  settings.points = example.points;
  settings.dynamics = 1;
  settings.steadyState = 1;
  settings.report = 1;
  settings.reportStructuralAnalysis = 1;
  settings.reportStabilityAnalysis = 1;
  settings.reportMca = 1;
  settings.dynamicsData.titles = settings.steadyStateData.titles = 1;
  settings.dynamicsData.columnWidth = ColumnWidth(example.timeCourse, example.minimumColumnWidth);
  settings.steadyStateData.columnWidth =
      ColumnWidth(example.steadyState, example.minimumColumnWidth);
  settings.dynamicsData.file = ExampleBaseName(example.fileName) + "-timecourse.dat";
  settings.steadyStateData.file = ExampleBaseName(example.fileName) + "-steadystate.dat";

  for (const ExampleFunction& function : example.functions) {
    OutputFunction made(function.name, function.expression);
    ASSERT_EQ(made.Parse(), 0) << function.expression;
    ASSERT_EQ(made.items().size(), function.items.size()) << function.name;
    for (std::size_t k = 0; k < function.items.size(); ++k) made.items()[k] = function.items[k];
    document.functions.push_back(made);
  }
  document.scan.items = example.scan;
  document.scan.enabled = example.scan.empty() ? 0 : 1;

  document.selections.timeCourse = example.timeCourse;
  document.selections.steadyState = example.steadyState;
  document.selections.interactive = example.interactive;
  document.fit = example.fit;

  PlotSettings& plot = document.plot;
  plot.plotDyn = 1;
  plot.plotType = kPlotLines;
  plot.plotGrid = 1;
  plot.plotKey = 1;
  plot.plotTitles = 1;
  plot.plotXEntry = 0;
  plot.plotY = example.plotY;

  // Saved from its own folder, so that the report name it stores is the
  // model's name and no folder of the machine that made it.
  document.pathName = example.fileName;
}

}  // namespace vireon::test
