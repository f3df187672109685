#include "support/document_fixtures.h"

#include <gtest/gtest.h>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_function.h"
#include "model/structural_analysis.h"
#include "output/output_item.h"
#include "support/model_builder.h"

namespace vireon::test {

std::unique_ptr<KineticType> MakeUserType(const std::string& name, const std::string& text,
                                          const std::vector<std::pair<std::string, int>>& roles,
                                          int reversible) {
  auto function = std::make_unique<KineticFunction>(name, text);
  EXPECT_EQ(function->ParseKineticFunction(), 0) << text;
  function->ResetBindings();
  for (const auto& [symbol, role] : roles) {
    function->BindSymbol(symbol, static_cast<SymbolRole>(role));
  }
  function->set_reversible(reversible);
  return std::make_unique<KineticType>(std::move(function), 0, 0);
}

void FillCatalogue(KineticCatalogue& catalogue, bool withUserTypes) {
  BuildBuiltInKineticTypes(catalogue);
  if (!withUserTypes) return;
  catalogue.Insert(
      MakeUserType(kUserMichaelisMenten, "V*S/(Km+S)", {{"V", 3}, {"S", 0}, {"Km", 3}}, 0));
  catalogue.Insert(MakeUserType(kUserInhibited, "(kf*A-kr*P)/(1+I/Ki)",
                                {{"kf", 3}, {"A", 0}, {"kr", 3}, {"P", 1}, {"I", 2}, {"Ki", 3}},
                                1));
}

void SetKinetics(Step& step, const KineticCatalogue& catalogue, const std::string& type,
                 std::vector<double> constants, std::vector<int> modifiers) {
  step.kineticType = catalogue.Find(type);
  ASSERT_NE(step.kineticType, nullptr) << type;
  step.kineticTypeName = type;
  step.constants = std::move(constants);
  step.modifiers = std::move(modifiers);
}

namespace {

OutputItem Item(int type, const std::string& first = {}, const std::string& second = {}) {
  return MakeOutputItem(type, first, second);
}

ScanItem Scanned(const OutputItem& quantity, double min, double max, int density, int grid, int log,
                 int independent) {
  ScanItem item(quantity);
  item.min = min;
  item.max = max;
  item.density = density;
  item.grid = grid;
  item.log = log;
  item.independent = independent;
  return item;
}

}  // namespace

Document MakeRichDocument(const KineticCatalogue& catalogue) {
  Document d;
  NewDocument(d, DefaultValues());
  d.model = BuildModel({{"in", "X -> S"},
                        {"bind", "E + S = ES"},
                        {"cat", "ES -> E + P"},
                        {"out", "P = Q"},
                        {"leak", "2*S -> Q"}},
                       {"X", "Q"});
  Model& m = d.model;
  m.title = "Enzyme with a leak";
  m.comments = "First line\r\nSecond line = with an equals sign\r\n\r\nAfter a blank line";
  m.compartments = {{"cytosol", 1.5}, {"mitochondrion", 0.123456789}};
  const auto concentration = [&m](const std::string& name, double value) {
    m.metabolites[static_cast<std::size_t>(m.FindMetabolite(name))].initialConcentration = value;
  };
  concentration("X", 10.0);
  concentration("S", 1.0 / 3.0);
  concentration("E", 1e-20);
  concentration("ES", 0.0);
  concentration("P", 2.5);
  concentration("Q", 0.0);
  m.metabolites[static_cast<std::size_t>(m.FindMetabolite("P"))].compartment = 1;
  const int s = m.FindMetabolite("S");
  SetKinetics(m.steps[0], catalogue, kConstantFluxIrreversible, {0.75});
  SetKinetics(m.steps[1], catalogue, "Mass action (reversible)", {100.0, 1.25e-7});
  SetKinetics(m.steps[2], catalogue, kUserMichaelisMenten, {12.5, 0.042});
  SetKinetics(m.steps[3], catalogue, kUserInhibited, {3.0, 1.0 / 7.0, 0.5}, {s});
  SetKinetics(m.steps[4], catalogue, "Mass action (irreversible)", {1e-300});
  m.steps[2].flux = 0.123;
  StructuralAnalysis(m);

  TaskSettings& t = d.settings;
  t.endTime = 123.456789;
  t.points = 200;
  t.realTime = 1;
  t.sleepTime = 25;
  t.timeUnit = "min";
  t.concentrationUnit = "uM";
  t.volumeUnit = "l";
  t.dynamics = 1;
  t.steadyState = 1;
  t.report = 1;
  t.dynamicsData.titles = 1;
  t.steadyStateData.titles = 0;
  t.dynamicsData.quotes = 1;
  t.steadyStateData.quotes = 1;
  t.dynamicsData.columnWidth = 16;
  t.steadyStateData.columnWidth = 9;
  t.dynamicsData.separator = '\t';
  t.steadyStateData.separator = ',';
  t.mcaUnscaled = 1;
  t.solver.steadyStateStrategy = SteadyStateStrategy::kBackwardIntegration;
  t.solver.backIntegration = 0;
  t.reportStructuralAnalysis = 1;
  t.reportStabilityAnalysis = 1;
  t.reportMca = 0;
  t.solver.newtonLimit = 77;
  t.solver.steadyStateResolution = 2.5e-11;
  t.solver.relativeTolerance = 1e-8;
  t.solver.absoluteTolerance = 3e-14;
  t.solver.adamsMaxOrder = 7;
  t.solver.bdfMaxOrder = 3;
  t.solver.derivationFactor = 0.01;
  t.reportFile = "/data/enzyme.txt";
  t.dynamicsData.file = "enzyme time course.dat";
  t.steadyStateData.file = "enzyme=ss.dat";

  d.selections.interactive = {Item(kTime), Item(kTransientConcentration, "S"),
                              Item(kTransientFlux, "cat"), Item(kTransientConcentration, "P")};
  d.selections.timeCourse = {Item(kTime),
                             Item(kTransientConcentration, "S"),
                             Item(kTransientConcentration, "P"),
                             Item(kInitialConcentration, "X"),
                             Item(kTransientFlux, "bind"),
                             Item(kKineticConstant, "cat", "Km"),
                             Item(kVolume, "mitochondrion"),
                             Item(kMoietyTotal, m.moieties.empty() ? "E" : m.moieties[0].name),
                             Item(kStepCount),
                             Item(kFEvaluations),
                             Item(kJEvaluations),
                             Item(kStepSize),
                             Item(kRelativeTolerance),
                             Item(kAbsoluteTolerance),
                             Item(kSteadyStateResolution),
                             Item(kDerivationFactor),
                             Item(kRealTime),
                             Item(kUserFunction, "total flux"),
                             Item(kEndTime)};
  OutputItem oldType;  // a code no dialog makes any more, with both names
  oldType.title = "old";
  oldType.type = 11;
  oldType.i = "cat";
  oldType.j = "bind";
  d.selections.steadyState = {Item(kSteadyStateConcentration, "S"),
                              Item(kSteadyStateFlux, "cat"),
                              Item(kElasticity, "cat", "ES"),
                              Item(kConcentrationControl, "S", "bind"),
                              Item(kFluxControl, "out", "in"),
                              Item(kTransitionTime, "P"),
                              Item(kMaxRealPart),
                              Item(kMaxImagPart),
                              Item(kPositiveRealCount),
                              Item(kNegativeRealCount),
                              Item(kRealCount),
                              Item(kImaginaryCount),
                              Item(kComplexCount),
                              Item(kZeroCount),
                              oldType};

  OutputFunction total("total flux", "a+b*2");
  EXPECT_EQ(total.Parse(), 0);
  total.items()[0] = Item(kSteadyStateFlux, "in");
  total.items()[1] = Item(kSteadyStateFlux, "leak");
  OutputFunction square("noisy square", "a*a+gauss(b)");
  EXPECT_EQ(square.Parse(), 0);
  square.items()[0] = Item(kTransientConcentration, "S");
  square.items()[1] = Item(kKineticConstant, "bind", "k1");
  d.functions = {total, square};

  d.scan.enabled = 1;
  d.scan.items = {
      Scanned(Item(kKineticConstant, "bind", "k1"), 0.5, 5.0, 7, kScanRegularGrid, 1, 1),
      Scanned(Item(kInitialConcentration, "X"), 1.0, 0.1, 2, kScanNormal, 0, 0),
      Scanned(Item(kVolume, "cytosol"), 0.25, 4.0, 3, kScanUniform, 0, 1)};

  ParameterLink first;
  first.target = Item(kInitialConcentration, "X");
  first.source = Item(kInitialConcentration, "S");
  first.constant = 2.5;
  ParameterLink second;
  second.target = Item(kKineticConstant, "cat", "Km");
  second.source = Item(kVolume, "cytosol");
  second.constant = 1.0 / 3.0;
  d.links = {first, second};

  d.plot.plotDyn = 1;
  d.plot.plot3d = 1;
  d.plot.plotType = kPlotSplinesPoints;
  d.plot.plotGrid = 1;
  d.plot.plotKey = 1;
  d.plot.plotTitles = 0;
  d.plot.plotMultiplot = 1;
  d.plot.plotContour = 1;
  d.plot.plotHidden3d = 1;
  d.plot.plotLogX = 1;
  d.plot.plotLogY = 1;
  d.plot.plotLogZ = 1;
  d.plot.plotXEntry = 0;
  d.plot.plotY = {1, 2};
  d.plot.plotZ = {3, 4, 18};
  return d;
}

Document MakeSmallDocument(const KineticCatalogue& catalogue) {
  Document d;
  NewDocument(d, DefaultValues());
  d.model = BuildModel({{"v", "A -> B"}});
  d.model.title = "Small";
  SetKinetics(d.model.steps[0], catalogue, kConstantFluxIrreversible, {1.0});
  d.model.metabolites[0].initialConcentration = 1.0;
  StructuralAnalysis(d.model);
  return d;
}

}  // namespace vireon::test
