#include "sbml/sbml_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/model_file.h"
#include "document/time_course_table.h"
#include "engine/steady_state.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "model/message_sink.h"
#include "model/structural_analysis.h"
#include "sbml/libsbml.h"
#include "sbml/sbml_builder.h"
#include "sbml/sbml_import.h"
#include "settings/settings.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

namespace lib = sbml::lib;

std::shared_ptr<lib::ASTNode> Formula(const char* text) {
  return std::shared_ptr<lib::ASTNode>(lib::SBML_parseL3Formula(text));
}

// Import after export gives the same numbers to this relative precision;
// the integrator runs tighter still, so that only the models can differ.
constexpr double kRoundTripRel = 1e-10;
constexpr double kRoundTripAbs = 1e-14;

TaskSettings TightSettings() {
  TaskSettings settings;
  settings.endTime = 5.0;
  settings.points = 20;
  settings.solver.relativeTolerance = 1e-13;
  settings.solver.absoluteTolerance = 1e-16;
  return settings;
}

// A user-defined type from an expression with its symbols' roles.
const KineticType* UserType(KineticCatalogue& catalogue, const std::string& name,
                            const std::string& text, const std::vector<SymbolRole>& roles,
                            int reversible) {
  if (const KineticType* existing = catalogue.Find(name)) return existing;
  auto function = std::make_unique<KineticFunction>(name, text);
  EXPECT_EQ(function->ParseKineticFunction(), 0) << text;
  function->ResetBindings();
  const std::vector<std::string> symbols = function->SymbolNames();
  EXPECT_EQ(symbols.size(), roles.size()) << text;
  for (std::size_t i = 0; i < symbols.size() && i < roles.size(); ++i) {
    function->BindSymbol(symbols[i], roles[i]);
  }
  function->set_reversible(reversible);
  return catalogue.Insert(std::make_unique<KineticType>(std::move(function), 0, 0));
}

void Bind(Model& model, const std::string& step, const KineticType* type,
          std::vector<double> constants, std::vector<int> modifiers = {}) {
  Step& s = model.steps[model.FindStep(step)];
  s.kineticType = type;
  s.kineticTypeName = type->name;
  s.constants = std::move(constants);
  s.modifiers = std::move(modifiers);
}

KineticCatalogue& UserCatalogue() {
  static KineticCatalogue catalogue;
  return catalogue;
}

// A pathway through two compartments of unequal volume with a user-defined
// law full of conditionals, a modifier and fixed ends.
Model CompartmentsAndConditionals() {
  Model model = test::BuildModel({{"in", "S -> A"}, {"move", "A -> B"}, {"out", "B -> P"}},
                                 {"S", "P"});
  model.compartments = {{"cytosol", 1.0}, {"vacuole", 2.5}};
  test::SetInitial(model, "S", 2.0, 0);
  test::SetInitial(model, "A", 0.3, 0);
  test::SetInitial(model, "B", 0.1, 1);
  test::SetInitial(model, "P", 0.0, 1);
  KineticCatalogue& catalogue = UserCatalogue();
  const KineticType* gated = UserType(
      catalogue, "gated",
      "piecewise(V*X/(K+X), and(gt(X, T), not(eq(X, 0))), V*X/K/2) + floor(T)*ceiling(X)*0",
      {SymbolRole::kConstant, SymbolRole::kSubstrate, SymbolRole::kConstant,
       SymbolRole::kConstant},
      0);
  const KineticType* modulated = UserType(catalogue, "modulated", "k*A*(1 + M^2)/factorial(3)",
                                          {SymbolRole::kConstant, SymbolRole::kSubstrate,
                                           SymbolRole::kModifier},
                                          0);
  Bind(model, "in", test::BuiltInCatalogue().Find("Mass action (irreversible)"), {0.3});
  Bind(model, "move", gated, {1.5, 0.4, 0.2});
  Bind(model, "out", modulated, {0.6}, {model.FindMetabolite("S")});
  StructuralAnalysis(model);
  return model;
}

Model LoadExample(const std::string& file) {
  static KineticCatalogue catalogue;
  if (catalogue.size() == 0) BuildBuiltInKineticTypes(catalogue);
  static std::vector<std::unique_ptr<Document>> documents;
  documents.push_back(std::make_unique<Document>());
  Document& document = *documents.back();
  RecordingSink sink;
  const std::string path = std::string(VIREON_SOURCE_DIR) + "/examples/" + file;
  EXPECT_TRUE(ReadModelFile(document, path, catalogue, DefaultValues(), sink)) << path;
  return document.model;
}

struct RoundTripCase {
  const char* name;
  std::function<Model()> build;
};

std::vector<RoundTripCase> RoundTripCases() {
  return {
      {"MichaelisMentenExample", [] { return LoadExample("michaelis_menten.vrn"); }},
      {"BranchedPathwayExample", [] { return LoadExample("branched_pathway.vrn"); }},
      {"BrusselatorExample", [] { return LoadExample("brusselator.vrn"); }},
      {"LinearTwoStep", [] { return test::LinearTwoStep(); }},
      {"LinearMichaelisMenten", [] { return test::LinearMichaelisMenten(); }},
      {"BranchedPathway", [] { return test::BranchedPathway(); }},
      {"EnzymeWithMoiety", [] { return test::EnzymeWithMoiety(); }},
      {"Brusselator", [] { return test::Brusselator(); }},
      {"CompartmentsAndConditionals", CompartmentsAndConditionals},
  };
}

// The concentration of every metabolite at the steady state, or NaN when
// the search failed.
std::vector<double> SteadyConcentrations(const Model& model) {
  test::EngineRig rig(model, TightSettings());
  ComputeMoietyTotals(rig.model);
  const bool found = SteadyState(*rig.engine).outcome == SteadyStateOutcome::kFound;
  std::vector<double> result;
  for (int m = 0; m < rig.model.nMetabolites(); ++m) {
    result.push_back(!found
                         ? std::nan("")
                         : rig.state.ssAmounts[rig.model.metabolitePosition[m] + 1] /
                               rig.model.VolumeOf(m));
  }
  return result;
}

class SbmlRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(SbmlRoundTrip, ImportOfTheExportKeepsTimeCourseAndSteadyState) {
  Model original = GetParam().build();
  const SbmlExportResult exported = ExportSbml(original);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model imported;
  const SbmlImportResult result = ImportSbmlText(exported.text, catalogue, imported);
  ASSERT_TRUE(result.imported) << (result.problems.empty() ? "" : result.problems.front());
  ASSERT_EQ(imported.nMetabolites(), original.nMetabolites());

  const TimeCourseTable before = ComputeTimeCourseTable(original, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(imported, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < original.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << original.metabolites[m].name << " at t = " << before.times[row];
    }
  }

  const std::vector<double> steadyBefore = SteadyConcentrations(original);
  const std::vector<double> steadyAfter = SteadyConcentrations(imported);
  // Every one of these models has a steady state the search finds.
  for (int m = 0; m < original.nMetabolites(); ++m) {
    ASSERT_FALSE(std::isnan(steadyBefore[m])) << original.metabolites[m].name;
    EXPECT_CLOSE(steadyAfter[m], steadyBefore[m], kRoundTripAbs, kRoundTripRel)
        << original.metabolites[m].name;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, SbmlRoundTrip, ::testing::ValuesIn(RoundTripCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A model with global quantities and rules of every kind: import, export
// and import again give the same quantities, rules, metabolites and time
// course.
TEST(SbmlRoundTrip, QuantitiesAndRulesReadBackTheSame) {
  test::SbmlBuilder b;
  b.Compartment("V", 1.0).RateRule("V", "0.1*V").Parameter("k", 0.7).Parameter("p", 0.0);
  b.RateRule("p", "1").Parameter("q", 0.0).AssignmentRule("q", "2*A + time");
  auto* r = b.model().createParameter();
  r->setId("r");
  r->setConstant(true);
  b.InitialAssignment("r", "3*k");
  b.Species("A", "V", 2.0).Species("B", "V", 0.0).Species("X", "V", 1.0, {.boundary = true});
  b.AssignmentRule("X", "1 + q");
  // s is determined by the algebraic rule, through the assignment rule's q;
  // the constant Y stays constant when exported, or s would not be the
  // only quantity the rule could determine.
  b.Species("Y", "V", 1.0, {.boundary = true, .constant = true});
  b.Parameter("s", 0.0).AlgebraicRule("s + q*Y - 4");
  b.model().getParameter("s")->setConstant(false);
  b.Reaction("R1", {{"A", 1}}, {{"B", 1}}, "k*A*V*X/(1 + p)");
  b.Reaction("R2", {{"B", 1}}, {}, "r*B*V*V + time");

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model first;
  const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, first);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  ASSERT_EQ(first.globalQuantities.size(), 5u);
  ASSERT_TRUE(std::any_of(first.rules.begin(), first.rules.end(), [](const Rule& rule) {
    return rule.kind == RuleKind::kAlgebraic && rule.target.name == "s";
  }));
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());

  EXPECT_EQ(second.globalQuantities, first.globalQuantities);
  EXPECT_EQ(second.rules, first.rules);
  ASSERT_EQ(second.nMetabolites(), first.nMetabolites());
  for (int m = 0; m < first.nMetabolites(); ++m) {
    EXPECT_EQ(second.metabolites[m].name, first.metabolites[m].name);
    EXPECT_EQ(second.metabolites[m].type, first.metabolites[m].type);
  }
  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
  }
}

// Events with every flag, a delay and a priority: import, export and
// import again give the same events and the same time course, in which the
// dose at t = 1 and the delayed change of k show.
TEST(SbmlRoundTrip, EventsReadBackTheSame) {
  test::SbmlBuilder b;
  b.Compartment("V", 1.0).Parameter("k", 0.7).Parameter("doses", 0.0);
  b.Species("A", "V", 2.0).Species("B", "V", 0.0);
  b.Reaction("R1", {{"A", 1}}, {{"B", 1}}, "k*A*V");
  b.model().getParameter("k")->setConstant(false);
  b.model().getParameter("doses")->setConstant(false);
  const auto event = [&](const char* id, const char* trigger, bool initialValue, bool persistent,
                         bool triggerTimeValues) {
    auto* e = b.model().createEvent();
    e->setId(id);
    e->setUseValuesFromTriggerTime(triggerTimeValues);
    auto* t = e->createTrigger();
    t->setMath(Formula(trigger).get());
    t->setInitialValue(initialValue);
    t->setPersistent(persistent);
    return e;
  };
  auto* dose = event("dose", "time >= 1", true, true, true);
  auto* a = dose->createEventAssignment();
  a->setVariable("A");
  a->setMath(Formula("A + 3").get());
  auto* count = dose->createEventAssignment();
  count->setVariable("doses");
  count->setMath(Formula("doses + 1").get());
  dose->createPriority()->setMath(Formula("2").get());
  auto* slow = event("slow", "A < 1.5", false, false, false);
  slow->createDelay()->setMath(Formula("0.5").get());
  auto* k = slow->createEventAssignment();
  k->setVariable("k");
  k->setMath(Formula("k/2").get());

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model first;
  const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, first);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  ASSERT_EQ(first.events.size(), 2u);
  EXPECT_EQ(first.events[0].name, "dose");
  EXPECT_EQ(first.events[0].priority, "2");
  EXPECT_TRUE(first.events[0].delay.empty());
  EXPECT_EQ(first.events[1].delay, "0.5");
  EXPECT_FALSE(first.events[1].initialValue);
  EXPECT_FALSE(first.events[1].persistent);
  EXPECT_FALSE(first.events[1].useValuesFromTriggerTime);
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());
  EXPECT_EQ(second.events, first.events);

  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
  }
  // A and B together gain the dose of 3 at t = 1.
  const int ia = first.FindMetabolite("A"), ib = first.FindMetabolite("B");
  EXPECT_CLOSE(before.concentrations.back()[ia] + before.concentrations.back()[ib], 5.0, 1e-9,
               1e-9);
}

// Delays in a rule, a kinetic law and an event: the law's delay becomes a
// global quantity that a rule sets, every delay is written back as SBML's
// delay csymbol, and import, export and import again give the same time
// course, in which the delays show.
TEST(SbmlRoundTrip, DelaysReadBackTheSame) {
  test::SbmlBuilder b;
  b.Compartment("V", 1.0).Parameter("k", 0.7).Parameter("d", 0.0).Parameter("late", 0.0);
  b.model().getParameter("d")->setConstant(false);
  b.model().getParameter("late")->setConstant(false);
  b.Species("A", "V", 2.0).Species("B", "V", 0.0);
  b.AssignmentRule("d", "delay(A, 0.5) - A");
  b.Reaction("R1", {{"A", 1}}, {{"B", 1}}, "k*delay(A, 0.3)*V");
  auto* e = b.model().createEvent();
  e->setId("mark");
  e->setUseValuesFromTriggerTime(true);
  auto* t = e->createTrigger();
  t->setMath(Formula("delay(B, 1) > 0.5").get());
  t->setInitialValue(true);
  t->setPersistent(true);
  auto* a = e->createEventAssignment();
  a->setVariable("late");
  a->setMath(Formula("delay(A, 0.25)").get());

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model first;
  const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, first);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  EXPECT_NE(exported.text.find("http://www.sbml.org/sbml/symbols/delay"), std::string::npos);
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());
  EXPECT_EQ(second.events, first.events);

  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
  }
  // Until t = 0.3 the law reads A at its initial value: B = 0.7 * 2 * t.
  const int ib = first.FindMetabolite("B");
  ASSERT_GE(before.times.size(), 2u);
  ASSERT_LT(before.times[1], 0.3);
  EXPECT_CLOSE(before.concentrations[1][ib], 1.4 * before.times[1], 1e-9, 1e-9);
}

// Rules on step constants other than ties to one quantity: each becomes a
// parameter of its own that the law reads, and the time course stays.
TEST(SbmlRoundTrip, RulesOnStepConstantsReadBackAsParameters) {
  test::SbmlBuilder b;
  b.Compartment("c", 2.0).Parameter("k", 0.7).Parameter("r", 0.4);
  b.Species("A", "c", 2.0).Species("B", "c", 0.0);
  b.Reaction("R1", {{"A", 1}}, {{"B", 1}}, "k*A*c").Reaction("R2", {{"B", 1}}, {}, "r*B*c");
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model first;
  ASSERT_TRUE(ImportSbmlText(b.Text(), catalogue, first).imported);
  int changed = 0;
  for (Rule& rule : first.rules) {
    if (rule.target.kind != RuleTargetKind::kKineticConstant) continue;
    if (rule.target.constant == "k") {
      rule.expression = "k*(1 + time)";
      ++changed;
    } else if (rule.target.constant == "r") {
      rule.kind = RuleKind::kInitialAssignment;
      rule.expression = "3*r";
      ++changed;
    }
  }
  ASSERT_EQ(changed, 2);
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());
  // Two parameters more, one for each constant.
  EXPECT_EQ(second.globalQuantities.size(), first.globalQuantities.size() + 2);
  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
  }
  // The rules changed the time course.
  Model untouched;
  ASSERT_TRUE(ImportSbmlText(b.Text(), catalogue, untouched).imported);
  const TimeCourseTable plain = ComputeTimeCourseTable(untouched, TightSettings());
  EXPECT_GT(std::fabs(plain.concentrations.back()[1] - before.concentrations.back()[1]), 1e-3);
}

// Every built-in rate law, written as MathML and read back, gives the rate
// its C++ function gives, at concentrations and constants far from 1.
TEST(SbmlExport, EveryBuiltInLawKeepsItsRate) {
  const KineticCatalogue& builtIns = test::BuiltInCatalogue();
  int checked = 0;
  for (const KineticType* type : builtIns.Types()) {
    SCOPED_TRACE(type->name);
    const int substrates = type->substrates < 0 ? 2 : type->substrates;
    const int products = type->products < 0 ? 2 : type->products;
    std::string left, right;
    for (int i = 0; i < substrates; ++i) left += (i ? " + S" : "S") + std::to_string(i);
    for (int i = 0; i < products; ++i) right += (i ? " + P" : "P") + std::to_string(i);
    Model model = test::BuildModel(
        {{"v", left + (type->reversible ? " = " : " -> ") + right}, {"m", "M -> M"}});
    std::vector<double> constants;
    for (int i = 0; i < type->constants; ++i) constants.push_back(0.3 + 0.37 * i);
    std::vector<int> modifiers;
    if (type->modifiers > 0) modifiers.push_back(model.FindMetabolite("M"));
    Bind(model, "v", type, constants, modifiers);
    Bind(model, "m", builtIns.Find(kConstantFluxReversible), {0.0});
    double concentration = 0.45;
    for (Metabolite& m : model.metabolites) m.initialConcentration = concentration += 0.61;
    StructuralAnalysis(model);

    const SbmlExportResult exported = ExportSbml(model);
    ASSERT_TRUE(exported.exported);
    KineticCatalogue catalogue;
    BuildBuiltInKineticTypes(catalogue);
    Model imported;
    const SbmlImportResult result = ImportSbmlText(exported.text, catalogue, imported);
    ASSERT_TRUE(result.imported) << result.problems.front();
    auto rateOf = [](Model& m) {
      std::vector<double> amounts(m.nMetabolites());
      for (int i = 0; i < m.nMetabolites(); ++i) {
        amounts[m.metabolitePosition[i]] = m.metabolites[i].initialConcentration * m.VolumeOf(i);
      }
      const int step = m.FindStep("v");
      return m.steps[step].kineticType->rate(m, amounts.data(), step);
    };
    EXPECT_CLOSE(rateOf(imported), rateOf(model), 1e-15, 1e-13);
    ++checked;
  }
  EXPECT_EQ(checked, kBuiltInKineticTypeCount);
}

TEST(SbmlExport, NamesCommentsAndFixedMetabolitesAreKept) {
  // The dialogs take a step name of one word; a model file may hold any.
  Model model = test::BuildModel({{"uptake", "Glc-ext -> NAD(ox)"}}, {"Glc-ext"});
  model.steps[0].name = "glucose uptake";
  model.title = "A model: of names";
  model.comments = "First line & more\r\nSecond <line>";
  Bind(model, "glucose uptake", test::BuiltInCatalogue().Find("Mass action (irreversible)"),
       {1.0});
  StructuralAnalysis(model);
  const SbmlExportResult exported = ExportSbml(model);
  ASSERT_TRUE(exported.exported);

  std::unique_ptr<lib::SBMLDocument> document(lib::readSBMLFromString(exported.text.c_str()));
  const lib::Model* m = document->getModel();
  EXPECT_EQ(m->getName(), "A model: of names");
  const lib::Species* fixed = m->getSpecies(0);
  EXPECT_EQ(fixed->getName(), "Glc-ext");
  EXPECT_TRUE(fixed->getBoundaryCondition());
  EXPECT_FALSE(m->getSpecies(1)->getBoundaryCondition());
  EXPECT_EQ(m->getSpecies(1)->getName(), "NAD(ox)");
  EXPECT_EQ(m->getReaction(0)->getName(), "glucose uptake");

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model imported;
  ASSERT_TRUE(ImportSbmlText(exported.text, catalogue, imported).imported);
  EXPECT_EQ(imported.title, model.title);
  EXPECT_EQ(imported.comments, model.comments);
  EXPECT_EQ(imported.metabolites[0].type, FIXED);
}

TEST(SbmlExport, RefusesAStepWhoseRateCannotBeEvaluated) {
  Model model = test::BuildModel({{"R", "A -> B"}});
  Bind(model, "R", test::BuiltInCatalogue().Find("Competitive inhibition (irr)"), {1, 1, 1}, {-1});
  StructuralAnalysis(model);
  const SbmlExportResult exported = ExportSbml(model);
  EXPECT_FALSE(exported.exported);
  ASSERT_EQ(exported.problems.size(), 1u);
  EXPECT_NE(exported.problems.front().find("\"R\""), std::string::npos);
}

// What an export writes, Vireon's import reads: names and notes that XML
// cannot carry as they are become what it can.
TEST(SbmlExport, ControlCharactersAndInvalidUtf8ReadBack) {
  Model model = test::BuildModel({{"step", "S -> P"}});
  model.steps[0].name = "bad\x01step\xff";
  model.title = "Glucose\x01 \xc3\xa9t\xc3\xa9 \xe9\xff \xed\xa0\x80 \xf0\x9f\x98\x80";
  model.comments = "bell\x07\r\ntab\tline";
  model.metabolites[0].name = "S\x1b[0m";
  model.compartments[0].name = "cell\x7f\x80";
  Bind(model, "bad\x01step\xff", test::BuiltInCatalogue().Find("Mass action (irreversible)"), {1.0});
  StructuralAnalysis(model);
  const SbmlExportResult exported = ExportSbml(model);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model imported;
  const SbmlImportResult result = ImportSbmlText(exported.text, catalogue, imported);
  ASSERT_TRUE(result.imported) << (result.problems.empty() ? "" : result.problems.front());
  // Valid UTF-8 stays, a control character becomes U+FFFD, a byte outside
  // a valid sequence (an encoded surrogate among them) its Latin-1 character.
  EXPECT_EQ(imported.title,
            "Glucose\xef\xbf\xbd \xc3\xa9t\xc3\xa9 \xc3\xa9\xc3\xbf \xc3\xad\xc2\xa0\xc2\x80 "
            "\xf0\x9f\x98\x80");
  EXPECT_EQ(imported.comments, "bell\xef\xbf\xbd\r\ntab line");
  std::unique_ptr<lib::SBMLDocument> document(lib::readSBMLFromString(exported.text.c_str()));
  EXPECT_EQ(document->getModel()->getReaction(0)->getName(), "bad\xef\xbf\xbdstep\xc3\xbf");
  EXPECT_EQ(document->getModel()->getCompartment(0)->getName(), "cell\x7f\xc2\x80");
}

// The deepest rate law a model may hold, as a sum of differences nested to
// the left: "S-S-...-S", the tree as tall as its terms.
Model ChainOfDifferences(int terms) {
  std::string text = "S";
  for (int i = 1; i < terms; ++i) text += "-S";
  Model model = test::BuildModel({{"v", "S -> P"}});
  test::SetInitial(model, "S", 0.7, 0);
  static KineticCatalogue catalogue;
  Bind(model, "v",
       UserType(catalogue, "differences " + std::to_string(terms), text, {SymbolRole::kSubstrate}, 0),
       {});
  StructuralAnalysis(model);
  return model;
}

// Export and import keep one limit: a law the export writes reads back with
// its rate, however deep; one level more is refused by the export, naming
// the limit.
TEST(SbmlExport, RateLawsAsDeepAsTheImportReadsReadBackAndDeeperAreRefused) {
  // The kinetic law is the compartment's size times the rate: one level.
  Model deepest = ChainOfDifferences(kMaxExpressionDepth - 1);
  const SbmlExportResult exported = ExportSbml(deepest);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model imported;
  const SbmlImportResult result = ImportSbmlText(exported.text, catalogue, imported);
  ASSERT_TRUE(result.imported) << (result.problems.empty() ? "" : result.problems.front());
  auto rateOf = [](Model& m) {
    std::vector<double> amounts(m.nMetabolites());
    for (int i = 0; i < m.nMetabolites(); ++i) {
      amounts[m.metabolitePosition[i]] = m.metabolites[i].initialConcentration * m.VolumeOf(i);
    }
    return m.steps[0].kineticType->rate(m, amounts.data(), 0);
  };
  EXPECT_CLOSE(rateOf(imported), rateOf(deepest), 1e-15, 1e-13);
  EXPECT_CLOSE(rateOf(deepest), 0.7 * (2 - (kMaxExpressionDepth - 1)), 1e-15, 1e-13);

  const SbmlExportResult refused = ExportSbml(ChainOfDifferences(kMaxExpressionDepth));
  EXPECT_FALSE(refused.exported);
  ASSERT_EQ(refused.problems.size(), 1u);
  EXPECT_NE(refused.problems[0].find("\"v\""), std::string::npos) << refused.problems[0];
  EXPECT_NE(refused.problems[0].find(std::to_string(kMaxExpressionDepth) + " levels"),
            std::string::npos)
      << refused.problems[0];
}

// abs, max and min of an imported law are functions of the rate law: they
// stay so through the model file and through SBML.
TEST(SbmlExport, AbsMaxAndMinRoundTripThroughTheModelFileAndSbml) {
  test::SbmlBuilder b(3, 2);
  b.Compartment("c", 1.0).Species("A", "c", 1.5).Species("B", "c", 0.0).Parameter("k", 0.25);
  b.Reaction("R", {{"A", 1}}, {{"B", 1}}, "abs(k - A) + max(A, k, 2) * min(A, 4, k + 3)");
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Document document;
  ASSERT_TRUE(ImportSbmlText(b.Text(), catalogue, document.model).imported);
  auto rateOf = [](Model& m) {
    std::vector<double> amounts(m.nMetabolites());
    for (int i = 0; i < m.nMetabolites(); ++i) {
      amounts[m.metabolitePosition[i]] = m.metabolites[i].initialConcentration * m.VolumeOf(i);
    }
    return m.steps[0].kineticType->rate(m, amounts.data(), 0);
  };
  const double expected = 1.25 + 2.0 * 1.5;
  EXPECT_CLOSE(rateOf(document.model), expected, 1e-15, 1e-13);

  KineticCatalogue reloadedCatalogue;
  BuildBuiltInKineticTypes(reloadedCatalogue);
  Document reloaded;
  RecordingSink sink;
  ASSERT_EQ(ParseModelBuffer(reloaded, ModelFileText(document, catalogue), reloadedCatalogue,
                             DefaultValues(), sink),
            0);
  EXPECT_CLOSE(rateOf(reloaded.model), expected, 1e-15, 1e-13);

  const SbmlExportResult exported = ExportSbml(reloaded.model);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  for (const char* element : {"<abs/>", "<max/>", "<min/>"}) {
    EXPECT_NE(exported.text.find(element), std::string::npos) << element;
  }
  Model again;
  ASSERT_TRUE(ImportSbmlText(exported.text, reloadedCatalogue, again).imported);
  EXPECT_CLOSE(rateOf(again), expected, 1e-15, 1e-13);
}

// S -> nP P in a compartment of size 2 with P's conversion factor 3 and nP
// following a rate rule, nP' = 1/2 from 2; with k = 1, [S] = S0 exp(-t) and
// [P] = 3 S0 ∫0^t (2 + s/2) exp(-s) ds = 3 S0 (5/2 - (5/2 + t/2) exp(-t)).
// With `more`, P -> nothing by a reactant stoichiometry nQ = 1 + time/10
// whose law reads nP as well.
std::string VaryingStoichiometries(bool more) {
  test::SbmlBuilder b;
  b.Compartment("c", 2.0).Parameter("k", 1.0).Parameter("cf", 3.0);
  b.Species("S", "c", 2.0).Species("P", "c", 0.0);
  b.model().getSpecies("P")->setConversionFactor("cf");
  b.Reaction("R1", {{"S", 1}}, {{"P", 2}}, "k*S*c");
  lib::SpeciesReference* product = b.model().getReaction("R1")->getProduct(0);
  product->setId("nP");
  product->setConstant(false);
  b.RateRule("nP", "0.5");
  if (more) {
    b.Reaction("R2", {{"P", 1}}, {}, "0.2*P*c*nP/(1 + nP)");
    lib::SpeciesReference* reactant = b.model().getReaction("R2")->getReactant(0);
    reactant->setId("nQ");
    reactant->setConstant(false);
    b.AssignmentRule("nQ", "1 + time/10");
  }
  return b.Text();
}

TEST(SbmlRoundTrip, StoichiometriesThatChangeFollowTheirRulesAndReadBack) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model simple;
  const SbmlImportResult imported =
      ImportSbmlText(VaryingStoichiometries(false), catalogue, simple);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  const TimeCourseTable course = ComputeTimeCourseTable(simple, TightSettings());
  ASSERT_TRUE(course.errorLog.empty()) << course.errorLog;
  const int s = simple.FindMetabolite("S"), p = simple.FindMetabolite("P");
  for (std::size_t row = 0; row < course.times.size(); ++row) {
    const double t = course.times[row];
    EXPECT_CLOSE(course.concentrations[row][s], 2.0 * std::exp(-t), 1e-9, 1e-7);
    EXPECT_CLOSE(course.concentrations[row][p], 6.0 * (2.5 - (2.5 + t / 2) * std::exp(-t)), 1e-9,
                 1e-7)
        << "t = " << t;
  }

  Model first;
  ASSERT_TRUE(ImportSbmlText(VaryingStoichiometries(true), catalogue, first).imported);
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());
  const auto stoichiometryRules = [](const Model& model) {
    return std::count_if(model.rules.begin(), model.rules.end(), [](const Rule& rule) {
      return rule.target.kind == RuleTargetKind::kStoichiometry;
    });
  };
  EXPECT_EQ(stoichiometryRules(first), 2);
  EXPECT_EQ(stoichiometryRules(second), 2);
  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
  }
}

// A Level 2 stoichiometryMath that reads a parameter a rate rule changes
// gives the same course as the Level 3 rate rule on the reference above.
TEST(SbmlImport, AStoichiometryMathThatChangesFollowsWhatItReads) {
  test::SbmlBuilder b(2, 4);
  b.Compartment("c", 2.0).Parameter("k", 1.0).Parameter("n", 2.0);
  b.model().getParameter("n")->setConstant(false);
  b.RateRule("n", "0.5");
  b.Species("S", "c", 2.0).Species("P", "c", 0.0);
  b.Reaction("R1", {{"S", 1}}, {{"P", 1}}, "k*S*c");
  lib::SpeciesReference* product = b.model().getReaction("R1")->getProduct(0);
  product->unsetStoichiometry();
  std::unique_ptr<lib::ASTNode> math(lib::SBML_parseL3Formula("n"));
  product->createStoichiometryMath()->setMath(math.get());
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model model;
  const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, model);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  const TimeCourseTable course = ComputeTimeCourseTable(model, TightSettings());
  ASSERT_TRUE(course.errorLog.empty()) << course.errorLog;
  const int p = model.FindMetabolite("P");
  for (std::size_t row = 0; row < course.times.size(); ++row) {
    const double t = course.times[row];
    EXPECT_CLOSE(course.concentrations[row][p], 2.0 * (2.5 - (2.5 + t / 2) * std::exp(-t)), 1e-9,
                 1e-7)
        << "t = " << t;
  }
}

// A rate rule on the amount of a species in a compartment that an
// assignment rule sizes, c = 2 + t: the amount grows as n = n0 + t from its
// initial value (given as an amount, or as a concentration at the size at
// time 0) and from 1/2 after an event sets it at t = 2; the concentration is
// n / c. Exported and read again, the course is the same.
TEST(SbmlImport, ARateRuleOnAnAmountFollowsItWhileAnAssignmentRuleSizesTheCompartment) {
  for (const bool asAmount : {true, false}) {
    test::SbmlBuilder b;
    b.Compartment("c", 2.0);
    b.model().getCompartment("c")->setConstant(false);
    b.AssignmentRule("c", "2 + time");
    b.Species("A", "c", asAmount ? 1.2 : 0.6,
              {.amount = asAmount, .boundary = true, .onlySubstanceUnits = true});
    b.model().getSpecies("A")->setConstant(false);
    b.RateRule("A", "1");
    auto* event = b.model().createEvent();
    event->setId("reset");
    event->setUseValuesFromTriggerTime(true);
    auto* trigger = event->createTrigger();
    trigger->setMath(Formula("time >= 2").get());
    trigger->setInitialValue(true);
    trigger->setPersistent(true);
    auto* assignment = event->createEventAssignment();
    assignment->setVariable("A");
    assignment->setMath(Formula("0.5").get());

    KineticCatalogue catalogue;
    BuildBuiltInKineticTypes(catalogue);
    Model first;
    const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, first);
    ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
    const SbmlExportResult exported = ExportSbml(first);
    ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
    Model second;
    ASSERT_TRUE(ImportSbmlText(exported.text, catalogue, second).imported);
    for (Model* model : {&first, &second}) {
      const TimeCourseTable course = ComputeTimeCourseTable(*model, TightSettings());
      ASSERT_TRUE(course.errorLog.empty()) << course.errorLog;
      const int a = model->FindMetabolite("A");
      for (std::size_t row = 0; row < course.times.size(); ++row) {
        const double t = course.times[row];
        const double amount = t < 2.0 ? 1.2 + t : 0.5 + (t - 2.0);
        EXPECT_CLOSE(course.concentrations[row][a], amount / (2.0 + t), 1e-9, 1e-7)
            << (asAmount ? "amount" : "concentration") << " given, t = " << t;
      }
    }
  }
}

// A fast binding fed by a slow input: the import marks the step fast, the
// export writes the attribute back (at Level 3 version 1, which has it),
// and import after export gives the same flags and the same time course,
// whose every row holds the binding's balance kf A B = kr C.
TEST(SbmlRoundTrip, AFastReactionReadsBackFastWithTheSameTimeCourse) {
  constexpr double kf = 2.0, kr = 0.5;
  test::SbmlBuilder b;
  b.Compartment("V", 1.0).Parameter("kf", kf).Parameter("kr", kr).Parameter("J", 0.25);
  b.Species("A", "V", 1.0).Species("B", "V", 1.5).Species("C", "V", 0.0);
  b.Reaction("In", {}, {{"A", 1}}, "J*V");
  b.Reaction("Bind", {{"A", 1}, {"B", 1}}, {{"C", 1}}, "(kf*A*B - kr*C)*V", {}, true);
  b.model().getReaction("Bind")->setFast(true);

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Model first;
  const SbmlImportResult imported = ImportSbmlText(b.Text(), catalogue, first);
  ASSERT_TRUE(imported.imported) << (imported.problems.empty() ? "" : imported.problems.front());
  ASSERT_GE(first.FindStep("Bind"), 0);
  for (const Step& step : first.steps) EXPECT_EQ(step.fast, step.name == "Bind") << step.name;
  const SbmlExportResult exported = ExportSbml(first);
  ASSERT_TRUE(exported.exported) << (exported.problems.empty() ? "" : exported.problems.front());
  EXPECT_NE(exported.text.find("level=\"3\" version=\"1\""), std::string::npos);
  EXPECT_NE(exported.text.find("fast=\"true\""), std::string::npos);
  Model second;
  const SbmlImportResult again = ImportSbmlText(exported.text, catalogue, second);
  ASSERT_TRUE(again.imported) << (again.problems.empty() ? "" : again.problems.front());
  ASSERT_EQ(second.nSteps(), first.nSteps());
  for (int k = 0; k < first.nSteps(); ++k) EXPECT_EQ(second.steps[k].fast, first.steps[k].fast);

  const TimeCourseTable before = ComputeTimeCourseTable(first, TightSettings());
  const TimeCourseTable after = ComputeTimeCourseTable(second, TightSettings());
  ASSERT_TRUE(before.errorLog.empty()) << before.errorLog;
  ASSERT_TRUE(after.errorLog.empty()) << after.errorLog;
  ASSERT_EQ(before.times.size(), after.times.size());
  const int ia = first.FindMetabolite("A"), ib = first.FindMetabolite("B"),
            ic = first.FindMetabolite("C");
  for (std::size_t row = 0; row < before.times.size(); ++row) {
    for (int m = 0; m < first.nMetabolites(); ++m) {
      EXPECT_CLOSE(after.concentrations[row][m], before.concentrations[row][m], kRoundTripAbs,
                   kRoundTripRel)
          << first.metabolites[m].name << " at t = " << before.times[row];
    }
    const std::vector<double>& c = before.concentrations[row];
    EXPECT_CLOSE(kf * c[ia] * c[ib], kr * c[ic], 1e-9, 1e-9) << "at t = " << before.times[row];
    EXPECT_CLOSE(c[ia] + c[ic], 1.0 + 0.25 * before.times[row], 1e-9, 1e-9);
  }
}

}  // namespace
}  // namespace vireon
