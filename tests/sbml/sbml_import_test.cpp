#include "sbml/sbml_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "document/model_file.h"
#include "document/time_course_table.h"
#include "engine/time_course.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "model/record_cursor.h"
#include "rules/rule_order.h"
#include "sbml/math_from_sbml.h"
#include "sbml/sbml_builder.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::SbmlBuilder;
using test::SpeciesOptions;
namespace lib = sbml::lib;

// Closed-form solutions are met to the integrator's tolerance.
constexpr double kAbs = 1e-9;
constexpr double kRel = 1e-7;
constexpr double kEnd = 2.0;
constexpr int kPoints = 8;

struct Imported {
  KineticCatalogue catalogue;
  Model model;
  SbmlImportResult result;
};

void Import(const std::string& text, Imported& imported) {
  if (imported.catalogue.size() == 0) BuildBuiltInKineticTypes(imported.catalogue);
  imported.result = ImportSbmlText(text, imported.catalogue, imported.model);
}

TimeCourseTable Simulate(Model& model) {
  TaskSettings settings;
  settings.endTime = kEnd;
  settings.points = kPoints;
  settings.solver.relativeTolerance = 1e-11;
  settings.solver.absoluteTolerance = 1e-15;
  return ComputeTimeCourseTable(model, settings);
}

// The expected concentration of each named metabolite at time t.
using ClosedForm = std::vector<std::pair<std::string, std::function<double(double)>>>;

struct MappingCase {
  const char* name;
  std::function<SbmlBuilder()> build;
  ClosedForm expected;
  int steps;  // the number of steps the model gets
};

constexpr double k = 0.7;

SbmlBuilder DecayIn(double volume, const std::string& law) {
  SbmlBuilder b;
  b.Compartment("c", volume).Species("A", "c", 2.0).Species("B", "c", 0.0).Parameter("k", k);
  b.Reaction("R", {{"A", 1}}, {{"B", 1}}, law);
  return b;
}

std::vector<MappingCase> MappingCases() {
  return {
      // X is in no reaction and not constant: the algebraic rule
      // determines it, A + X = 3.
      {"AlgebraicRuleFixesASum",
       [] {
         SbmlBuilder b = DecayIn(2.5, "k*A*c");
         b.Species("X", "c", 0.0).AlgebraicRule("A + X - 3");
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t); }},
        {"X", [](double t) { return 3.0 - 2.0 * std::exp(-k * t); }}},
       1},
      {"AmountPerTimeLawInAVolumeOtherThanOne",
       [] { return DecayIn(2.5, "k*A*c"); },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t); }},
        {"B", [](double t) { return 2.0 - 2.0 * std::exp(-k * t); }}},
       1},
      {"LawWithoutTheVolumeActsOnTheAmount",
       [] { return DecayIn(2.5, "k*A"); },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t / 2.5); }}},
       1},
      {"AmountOnlySpeciesEntersTheLawAsAnAmount",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 2.5).Parameter("k", k);
         b.Species("A", "c", 5.0, {.amount = true, .onlySubstanceUnits = true});
         b.Reaction("R", {{"A", 1}}, {}, "k*A");
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t); }}},
       1},
      {"LocalParameterShadowsTheGlobalOne",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 1.0).Species("A", "c", 2.0).Parameter("k", 1.0);
         b.Reaction("R", {{"A", 1}}, {}, "k*A", {{"k", 3.0}});
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-3.0 * t); }}},
       1},
      {"FunctionDefinitionIsInlined",
       [] {
         SbmlBuilder b = DecayIn(2.5, "f(k, A)*c");
         b.Function("f", "lambda(x, y, x*y)");
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t); }}},
       1},
      {"ReactionIdStandsForItsRate",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 2.5).Species("A", "c", 2.0).Species("B", "c", 0.0).Parameter("k", k);
         b.Reaction("R1", {{"A", 1}}, {}, "k*A*c").Reaction("R2", {}, {{"B", 1}}, "R1");
         return b;
       },
       {{"B", [](double t) { return 2.0 - 2.0 * std::exp(-k * t); }}},
       2},
      {"ReactionAcrossUnequalVolumesIsSplit",
       [] {
         SbmlBuilder b;
         b.Compartment("c1", 1.0).Compartment("c2", 4.0).Parameter("k", k);
         b.Species("A", "c1", 2.0).Species("B", "c2", 0.0);
         b.Reaction("R", {{"A", 1}}, {{"B", 1}}, "k*A*c1");
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-k * t); }},
        {"B", [](double t) { return (2.0 - 2.0 * std::exp(-k * t)) / 4.0; }}},
       2},
      {"NonIntegerStoichiometryIsScaled",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 1.0).Species("A", "c", 2.0).Species("B", "c", 0.0).Parameter("k", k);
         b.Reaction("R", {{"A", 0.5}}, {{"B", 1.5}}, "k*A");
         return b;
       },
       {{"A", [](double t) { return 2.0 * std::exp(-0.5 * k * t); }},
        {"B", [](double t) { return 6.0 * (1.0 - std::exp(-0.5 * k * t)); }}},
       1},
      {"ConditionalsAndRoundingFunctions",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 1.0).Species("S", "c", 1.0, {.boundary = true});
         b.Species("B", "c", 0.0).Species("C", "c", 0.0).Species("D", "c", 0.0);
         b.Reaction("R1", {}, {{"B", 1}}, "piecewise(2, S >= 1, 5)");
         b.Reaction("R2", {}, {{"C", 1}}, "factorial(3)*floor(2.7)*ceil(0.2)");
         b.Reaction("R3", {}, {{"D", 1}}, "piecewise(1, (S < 2) && (S > 0) && !(S == 3), 0)");
         return b;
       },
       {{"B", [](double t) { return 2.0 * t; }},
        {"C", [](double t) { return 12.0 * t; }},
        {"D", [](double t) { return t; }},
        {"S", [](double) { return 1.0; }}},
       3},
      {"InverseFunctionsThroughTheirIdentities",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 1.0).Species("B", "c", 0.0).Species("C", "c", 0.0);
         b.Species("D", "c", 0.0).Species("E", "c", 0.0);
         b.Reaction("R1", {}, {{"B", 1}}, "arcsin(0.5) + arccos(0.5) + arctan(1) + arcsec(2)");
         b.Reaction("R2", {}, {{"C", 1}}, "arcsech(0.5) + arccsch(2) + arccoth(3)");
         b.Reaction("R3", {}, {{"D", 1}}, "arccsc(2) + arccot(2)");
         b.Reaction("R4", {}, {{"E", 1}}, "arcsinh(2) + arccosh(2) + arctanh(0.5)");
         return b;
       },
       {{"B",
         [](double t) {
           return (std::asin(0.5) + std::acos(0.5) + std::atan(1.0) + std::acos(0.5)) * t;
         }},
        {"C",
         [](double t) { return (std::acosh(2.0) + std::asinh(0.5) + std::atanh(1.0 / 3.0)) * t; }},
        {"D", [](double t) { return (std::asin(0.5) + std::atan(0.5)) * t; }},
        {"E", [](double t) { return (std::asinh(2.0) + std::acosh(2.0) + std::atanh(0.5)) * t; }}},
       4},
      {"BoundarySpeciesStaysFixed",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 2.0).Parameter("k", k);
         b.Species("X", "c", 3.0, {.boundary = true}).Species("A", "c", 0.0);
         b.Reaction("R", {{"X", 1}}, {{"A", 1}}, "k*X*c");
         return b;
       },
       {{"X", [](double) { return 3.0; }}, {"A", [](double t) { return 3.0 * k * t; }}},
       1},
      {"ModelWithoutReactionsIsConstant",
       [] {
         SbmlBuilder b;
         b.Compartment("c", 2.0).Species("A", "c", 3.0);
         return b;
       },
       {{"A", [](double) { return 3.0; }}},
       0},
  };
}

class SbmlMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(SbmlMapping, TimeCourseMatchesTheClosedForm) {
  const MappingCase& c = GetParam();
  Imported imported;
  Import(c.build().Text(), imported);
  ASSERT_TRUE(imported.result.imported)
      << (imported.result.problems.empty() ? "" : imported.result.problems.front());
  EXPECT_EQ(imported.model.nSteps(), c.steps);
  const TimeCourseTable table = Simulate(imported.model);
  ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
  ASSERT_EQ(table.times.size(), static_cast<std::size_t>(kPoints + 1));
  for (const auto& [name, closedForm] : c.expected) {
    const int m = imported.model.FindMetabolite(name);
    ASSERT_GE(m, 0) << name;
    for (std::size_t row = 0; row < table.times.size(); ++row) {
      const double t = table.times[row];
      EXPECT_CLOSE(table.concentrations[row][m], closedForm(t), kAbs, kRel)
          << name << " at t = " << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ClosedForms, SbmlMapping, ::testing::ValuesIn(MappingCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SbmlMapping, ScaledAndSplitReactionsHaveWholeCoefficients) {
  Imported imported;
  SbmlBuilder b;
  b.Compartment("c1", 1.0).Compartment("c2", 4.0).Parameter("k", k);
  b.Species("A", "c1", 2.0).Species("B", "c1", 0.0).Species("C", "c2", 0.0);
  b.Reaction("R", {{"A", 0.5}}, {{"B", 1.5}, {"C", 2.0}}, "k*A");
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported);
  const Model& model = imported.model;
  ASSERT_EQ(model.nSteps(), 2);
  // A and B share a volume: 0.5 A -> 1.5 B is A -> 3 B at half the rate.
  EXPECT_EQ(model.steps[0].name, "R_c1");
  EXPECT_EQ(model.steps[0].equation, "A -> B + B + B");
  EXPECT_EQ(model.steps[1].name, "R_c2");
  EXPECT_EQ(model.steps[1].equation, " -> C + C");
}

TEST(SbmlMapping, ReactionsWithTheSameLawShareOneTypeAndAReimportAddsNone) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Species("B", "c", 1.0).Parameter("k", k);
  b.Reaction("R1", {{"A", 1}}, {{"B", 1}}, "k*A").Reaction("R2", {{"A", 1}}, {{"B", 1}}, "k*A");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported);
  const int types = imported.catalogue.size();
  EXPECT_EQ(imported.catalogue.UserDefinedCount(), 1);
  EXPECT_EQ(imported.model.steps[0].kineticType, imported.model.steps[1].kineticType);
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported);
  EXPECT_EQ(imported.catalogue.size(), types);
}

struct RefusalCase {
  const char* name;
  std::function<void(SbmlBuilder&)> add;
  const char* named;  // what the message must say
};

std::shared_ptr<lib::ASTNode> Formula(const char* text) {
  return std::shared_ptr<lib::ASTNode>(lib::SBML_parseL3Formula(text));
}

void AddEvent(SbmlBuilder& b, const std::string& id, bool withTrigger = true) {
  auto* event = b.model().createEvent();
  event->setId(id);
  event->setUseValuesFromTriggerTime(true);
  auto* trigger = event->createTrigger();
  if (withTrigger) trigger->setMath(Formula("A > 1").get());
  trigger->setPersistent(true);
  trigger->setInitialValue(false);
}

std::vector<RefusalCase> RefusalCases() {
  auto formula = Formula;
  return {
      // A and B are the reaction's: the constraint has nothing to move.
      {"HigherIndexAlgebraicRule",
       [=](SbmlBuilder& b) {
         b.model().createAlgebraicRule()->setMath(formula("A + B - 3").get());
       },
       "algebraic rule number 1, which reads no quantity that nothing else determines: an "
       "over-determined or higher-index system"},
      {"OverDeterminedAlgebraicRules",
       [](SbmlBuilder& b) {
         b.Parameter("p", 0.0).AlgebraicRule("p - 1").AlgebraicRule("p - A");
         b.model().getParameter("p")->setConstant(false);
       },
       "algebraic rules number 1 and 2, which can determine only \"p\": an over-determined or "
       "higher-index system"},
      {"AlgebraicRuleWithAChoice",
       [](SbmlBuilder& b) {
         b.Parameter("p", 0.0).Parameter("q", 0.0).AlgebraicRule("p + q - 1");
         b.model().getParameter("p")->setConstant(false);
         b.model().getParameter("q")->setConstant(false);
       },
       "algebraic rule number 1, which could determine \"p\" or \"q\""},
      // A kinetic law's delay becomes a rule, which reads no rate of what
      // changes.
      {"RateOfInADelayOfALaw",
       [](SbmlBuilder& b) {
         b.Reaction("R2", {{"A", 1}}, {}, "k*delay(rateOf(A), 1)");
       },
       "the kinetic law of \"R2\" that refers to its own rate"},
      // A law reads the rate of what it changes: its own rate.
      {"RateOfWhatTheLawChanges",
       [](SbmlBuilder& b) {
         b.Reaction("R2", {{"A", 1}}, {}, "rateOf(A)");
       },
       "the kinetic law of \"R2\" that refers to its own rate"},
      // A fast reaction is one balance with one extent: read as two steps,
      // one per volume, it would be two.
      {"FastReactionAcrossVolumes",
       [](SbmlBuilder& b) {
         b.Compartment("d", 5.0).Species("D", "d", 0.0);
         auto* product = b.model().getReaction("R")->createProduct();
         product->setSpecies("D");
         product->setStoichiometry(1.0);
         product->setConstant(true);
         b.model().getReaction("R")->setFast(true);
       },
       "the fast reaction \"R\", which is read as 2 steps"},
      {"ReactionWithoutKineticLaw",
       [](SbmlBuilder& b) { b.model().getReaction("R")->unsetKineticLaw(); },
       "reaction \"R\" without a kinetic law"},
      {"SpeciesWithoutInitialValue",
       [](SbmlBuilder& b) { b.model().getSpecies("B")->unsetInitialConcentration(); },
       "species \"B\" without an initial value"},
      {"Constraint",
       [=](SbmlBuilder& b) { b.model().createConstraint()->setMath(formula("A > 0").get()); },
       "constraint"},
      {"InitialAssignmentThatCannotBeRead",
       [=](SbmlBuilder& b) {
         auto* assignment = b.model().createInitialAssignment();
         assignment->setSymbol("B");
         assignment->setMath(formula("undefinedFunction(A)").get());
       },
       "the undefined function \"undefinedFunction\" in the initial assignment to \"B\""},
  };
}

class SbmlRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SbmlRefusal, NamesTheConstructAndChangesNothing) {
  const RefusalCase& c = GetParam();
  SbmlBuilder b = DecayIn(2.0, "k*A*c");
  c.add(b);
  Imported imported;
  BuildBuiltInKineticTypes(imported.catalogue);
  const int types = imported.catalogue.size();
  imported.model.title = "before";
  Import(b.Text(), imported);
  EXPECT_FALSE(imported.result.imported);
  bool named = false;
  for (const std::string& problem : imported.result.problems) {
    named = named || problem.find(c.named) != std::string::npos;
  }
  EXPECT_TRUE(named) << "no problem names " << c.named;
  EXPECT_EQ(imported.model.title, "before");
  EXPECT_EQ(imported.catalogue.size(), types);
}

INSTANTIATE_TEST_SUITE_P(Constructs, SbmlRefusal, ::testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Among them a <math> inside a <math>, found by fuzzing, which libSBML's
// MathML reader abandons half-way.
TEST(SbmlRefusal, TextThatIsNotSbmlIsRefusedWithTheReadersMessage) {
  for (const char* text :
       {"<sbml><model>",
        "<sbml><model><listOfReactions><reaction><kineticLaw><math><apply><n/><math>>l"}) {
    SCOPED_TRACE(text);
    Imported imported;
    BuildBuiltInKineticTypes(imported.catalogue);
    const int types = imported.catalogue.size();
    Import(text, imported);
    EXPECT_FALSE(imported.result.imported);
    ASSERT_FALSE(imported.result.problems.empty());
    EXPECT_NE(imported.result.problems.front().find("line"), std::string::npos);
    EXPECT_EQ(imported.catalogue.size(), types);
  }
}

// libSBML throws on a namespace that names one of its packages as the
// document's own (found by fuzzing); the import refuses the file instead of
// ending the program.
TEST(SbmlRefusal, AFileTheReaderThrowsOnIsRefusedWithItsMessage) {
  Imported imported;
  BuildBuiltInKineticTypes(imported.catalogue);
  const int types = imported.catalogue.size();
  imported.model.title = "before";
  Import(R"(<sbml xmlns="l3v2extendedmath" level="3" version="2"><model id="m"/></sbml>)",
         imported);
  EXPECT_FALSE(imported.result.imported);
  ASSERT_EQ(imported.result.problems.size(), 1u);
  EXPECT_NE(imported.result.problems[0].find("could not be read as SBML: Package"),
            std::string::npos)
      << imported.result.problems[0];
  EXPECT_EQ(imported.model.title, "before");
  EXPECT_EQ(imported.catalogue.size(), types);
}

TEST(SbmlRefusal, EveryRefusedConstructIsListed) {
  SbmlBuilder b = DecayIn(2.0, "k*A*c");
  b.InitialAssignment("nowhere", "1").InitialAssignment("elsewhere", "2");
  b.model().createConstraint()->setMath(Formula("A > 0").get());
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_FALSE(imported.result.imported);
  EXPECT_EQ(imported.result.problems.size(), 3u);
}

// An event whose trigger has no mathematics can never fire: the model reads
// as without it, and an assignment without mathematics sets nothing.
TEST(SbmlMapping, AnEventThatCannotFireAndAnAssignmentWithoutMathAreLeftOut) {
  SbmlBuilder b = DecayIn(2.0, "k*A*c");
  AddEvent(b, "E1", false);
  AddEvent(b, "E2");
  b.model().getEvent("E2")->createEventAssignment()->setVariable("A");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ::testing::PrintToString(imported.result.problems);
  ASSERT_EQ(imported.model.events.size(), 1u);
  EXPECT_EQ(imported.model.events[0].name, "E2");
  EXPECT_TRUE(imported.model.events[0].assignments.empty());
}

// Limits: every input below is refused or read within bounded time, memory
// and stack, whatever its size.

std::string ProblemsOf(const Imported& imported) {
  std::string all;
  for (const std::string& problem : imported.result.problems) all += problem + "\n";
  return all;
}

void ExpectRefusedNaming(const std::string& text, const std::string& named) {
  Imported imported;
  BuildBuiltInKineticTypes(imported.catalogue);
  const int types = imported.catalogue.size();
  imported.model.title = "before";
  Import(text, imported);
  EXPECT_FALSE(imported.result.imported);
  EXPECT_NE(ProblemsOf(imported).find(named), std::string::npos) << ProblemsOf(imported);
  EXPECT_EQ(imported.model.title, "before");
  EXPECT_EQ(imported.catalogue.size(), types);
}

// Reactions R1 ... Rn producing B; R1's law is "k", each other's `link`
// with "#" standing for the id of the reaction before it. `reversed` lists
// them last first, so that each law names one that follows it.
std::string ChainText(int n, const std::string& link, bool reversed) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("B", "c", 0.0).Parameter("k", 0.5);
  for (int j = 0; j < n; ++j) {
    const int i = reversed ? n - j : j + 1;
    std::string law = "k";
    if (i > 1) {
      law = link;
      law.replace(law.find('#'), 1, "R" + std::to_string(i - 1));
    }
    b.Reaction("R" + std::to_string(i), {}, {{"B", 1}}, law);
  }
  return b.Text();
}

// The rate of a step at the initial concentrations.
double InitialRate(Model& model, int step) {
  std::vector<double> amounts(static_cast<std::size_t>(model.nMetabolites()));
  for (int i = 0; i < model.nMetabolites(); ++i) {
    amounts[model.metabolitePosition[i]] = model.metabolites[i].initialConcentration * model.VolumeOf(i);
  }
  return model.steps[step].kineticType->rate(model, amounts.data(), step);
}

TEST(SbmlLimits, ALongChainOfReactionNamesIsResolvedOnceInAnyOrder) {
  // 3,000 laws each naming the next in the file: once a stack overflow (at
  // 6,000 without the sanitizers) and cubic in the length of the chain.
  Imported imported;
  Import(ChainText(3000, "#", true), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  ASSERT_EQ(imported.model.nSteps(), 3000);
  EXPECT_EQ(imported.catalogue.UserDefinedCount(), 1);
  const int last = imported.model.FindStep("R3000");
  ASSERT_GE(last, 0);
  EXPECT_CLOSE(InitialRate(imported.model, last), 0.5, kAbs, kRel);
}

TEST(SbmlLimits, ChainsThatGrowTheirLawsAreRefusedAtALimit) {
  // Each law a hundred levels deeper than the one it names.
  std::string deeper = "#";
  for (int i = 0; i < 100; ++i) deeper = "-(" + deeper + ")";
  ExpectRefusedNaming(ChainText(20, deeper, false),
                      "nested deeper than " + std::to_string(kMaxExpressionDepth) + " levels");
  // Each law fifty terms longer: flat, but quadratic in all.
  std::string longer = "#";
  for (int i = 0; i < 50; ++i) longer += "+k";
  ExpectRefusedNaming(ChainText(300, longer, true),
                      "more than " + std::to_string(kMaxSbmlImportNodes) + " nodes in all");
}

TEST(SbmlLimits, LawsThatNameEachOtherInACycleAreRefusedByName) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("B", "c", 0.0).Parameter("k", 0.5);
  b.Reaction("R1", {}, {{"B", 1}}, "k*R2").Reaction("R2", {}, {{"B", 1}}, "k*R3");
  b.Reaction("R3", {}, {{"B", 1}}, "R1").Reaction("R4", {}, {{"B", 1}}, "k*R4");
  b.Reaction("R5", {}, {{"B", 1}}, "R1 + k");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_FALSE(imported.result.imported);
  const std::string problems = ProblemsOf(imported);
  EXPECT_NE(problems.find("reactions \"R1\", \"R2\", \"R3\", which name each other's rates in a "
                          "cycle"),
            std::string::npos)
      << problems;
  EXPECT_NE(problems.find("the kinetic law of \"R4\" that refers to its own rate"),
            std::string::npos)
      << problems;
  // R5 names the cycle: its refusal is the cycle's, listed once.
  EXPECT_EQ(imported.result.problems.size(), 2u) << problems;
}

// A function definition that names a reaction's rate counts as the law that
// calls it naming it.
TEST(SbmlLimits, ReactionsNamedThroughFunctionDefinitionsAreReadFirst) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("B", "c", 0.0).Parameter("k", 0.5);
  b.Function("f", "lambda(x, x*g(R2))").Function("g", "lambda(y, y + R3)");
  b.Reaction("R1", {}, {{"B", 1}}, "f(2)").Reaction("R2", {}, {{"B", 1}}, "k");
  b.Reaction("R3", {}, {{"B", 1}}, "k*k");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  EXPECT_CLOSE(InitialRate(imported.model, imported.model.FindStep("R1")), 2 * (0.5 + 0.25), kAbs,
               kRel);
  // R3 naming R1 through the two functions closes a cycle.
  b.model().getReaction("R3")->getKineticLaw()->setMath(Formula("k*R1").get());
  ExpectRefusedNaming(b.Text(), "reactions \"R1\", \"R3\", which name each other's rates");
}

// Nested abs, max and min: the operands are not copied.
TEST(SbmlLimits, AbsMaxAndMinAreReadWithoutCopyingTheirOperands) {
  std::string law = "k - A";
  for (int i = 0; i < 12; ++i) law = "abs(" + law + ")";
  std::string many = "A";
  for (int i = 0; i < 19; ++i) many += ", " + std::to_string(i % 5) + ".5";
  law += " + max(" + many + ") + min(" + many + ")";
  SbmlBuilder b(3, 2);
  b.Compartment("c", 1.0).Species("A", "c", 3.0, {.boundary = true}).Species("B", "c", 0.0);
  b.Parameter("k", 0.5).Reaction("R", {}, {{"B", 1}}, law);
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  const KineticType* type = imported.model.steps[0].kineticType;
  ASSERT_TRUE(type != nullptr && type->function);
  EXPECT_LT(type->function->nodes().size(), 200u) << type->function->description();
  // |0.5 - 3| + max(3, ..., 4.5) + min(3, ..., 0.5) at A = 3.
  EXPECT_CLOSE(InitialRate(imported.model, 0), 2.5 + 4.5 + 0.5, kAbs, kRel);
}

// Identities that name an operand twice or more count every copy.
TEST(SbmlLimits, IdentitiesThatCopyTheirOperandsAreRefusedAtALimit) {
  for (const auto& [open, close] : std::vector<std::pair<std::string, std::string>>{
           {"tanh(", ")"}, {"lt(1, ", ", 2, 3)"}}) {
    SCOPED_TRACE(open);
    std::string law = "A";
    for (int i = 0; i < 30; ++i) law = open + law + close;
    SbmlBuilder b = DecayIn(1.0, law);
    ExpectRefusedNaming(b.Text(), "more than " + std::to_string(sbml::kMaxMathNodes) + " nodes");
  }
}

// The start of an SBML file with one reaction whose law is `math`.
std::string WithLawMathMl(const std::string& math, const std::string& notes = "") {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1">
<model id="m">)" + notes + R"(<listOfCompartments><compartment id="c" size="1" constant="true"/>
</listOfCompartments><listOfSpecies><species id="A" compartment="c" initialConcentration="1"
 hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/></listOfSpecies>
<listOfReactions><reaction id="R" reversible="false" fast="false"><listOfReactants><speciesReference
 species="A" stoichiometry="1" constant="true"/></listOfReactants><kineticLaw><math
 xmlns="http://www.w3.org/1998/Math/MathML">)" + math + R"(</math></kineticLaw></reaction>
</listOfReactions></model></sbml>)";
}

std::string NestedNegation(int levels) {
  std::string math;
  for (int i = 0; i < levels; ++i) math += "<apply><minus/>";
  math += "<ci> A </ci>";
  for (int i = 0; i < levels; ++i) math += "</apply>";
  return math;
}

TEST(SbmlLimits, DeeplyNestedXmlIsRefusedBeforeLibSbmlReadsIt) {
  const std::string limit = std::to_string(kMaxSbmlXmlDepth) + " levels";
  // Both once overflowed the stack inside libSBML's readers.
  ExpectRefusedNaming(WithLawMathMl(NestedNegation(6000)), limit);
  std::string notes = "<notes><body xmlns=\"http://www.w3.org/1999/xhtml\">";
  for (int i = 0; i < 20000; ++i) notes += "<div>";
  for (int i = 0; i < 20000; ++i) notes += "</div>";
  ExpectRefusedNaming(WithLawMathMl("<ci> A </ci>", notes + "</body></notes>"), limit);
  // Within the file's limit, beyond a rate law's: libSBML reads it, the
  // import refuses it.
  ExpectRefusedNaming(WithLawMathMl(NestedNegation(kMaxSbmlXmlDepth - 100)),
                      "nested deeper than " + std::to_string(kMaxExpressionDepth) + " levels");
  // As deep as a rate law may be, and notes nearly as deep as a file may be.
  Imported imported;
  Import(WithLawMathMl(NestedNegation(kMaxExpressionDepth - 2)), imported);
  EXPECT_TRUE(imported.result.imported) << ProblemsOf(imported);
  notes = "<notes><body xmlns=\"http://www.w3.org/1999/xhtml\">";
  for (int i = 0; i < kMaxSbmlXmlDepth - 10; ++i) notes += "<div>";
  notes += "deep";
  for (int i = 0; i < kMaxSbmlXmlDepth - 10; ++i) notes += "</div>";
  Imported annotated;
  Import(WithLawMathMl("<ci> A </ci>", notes + "</body></notes>"), annotated);
  ASSERT_TRUE(annotated.result.imported) << ProblemsOf(annotated);
  EXPECT_EQ(annotated.model.comments, "deep");
}

TEST(SbmlLimits, AModelTooLargeToBeLoadedIsRefusedBeforeItIsBuilt) {
  // 8,193 species: their square passes the 2^26 entries of a model file.
  SbmlBuilder b;
  b.Compartment("c", 1.0);
  for (int i = 0; i < 8193; ++i) b.Species("S" + std::to_string(i), "c", 1.0);
  ExpectRefusedNaming(b.Text(), std::to_string(kMaxModelMatrixEntries) + " entries");
}

// Equations name a species once per unit of its coefficient: a long id in
// large coefficients would make a model file beyond what the reader takes.
TEST(SbmlLimits, EquationsTooLongForAModelFileAreRefused) {
  const std::string id = "S" + std::string(999, 'x');
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species(id, "c", 1.0).Parameter("k", k);
  for (int i = 0; i < 600; ++i) b.Reaction("R" + std::to_string(i), {}, {{id, 1000}}, "k");
  ExpectRefusedNaming(b.Text(), std::to_string(kMaxRecordFileSize / 2) + " bytes");
}

TEST(SbmlLimits, AStoichiometryThatIsNotAModestNumberIsRefused) {
  for (double stoichiometry : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e7}) {
    SCOPED_TRACE(stoichiometry);
    SbmlBuilder b;
    b.Compartment("c", 1.0).Species("A", "c", 1.0).Species("B", "c", 0.0).Parameter("k", k);
    b.Reaction("R", {{"A", stoichiometry}}, {{"B", 1}}, "k*A");
    ExpectRefusedNaming(b.Text(), "stoichiometry");
    ExpectRefusedNaming(b.Text(), "of \"A\" in reaction \"R\"");
  }
  // A conversion factor counts too.
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Species("B", "c", 0.0).Parameter("k", k);
  b.Parameter("huge", 1e200).Reaction("R", {{"A", 1}}, {{"B", 1}}, "k*A");
  b.model().setConversionFactor("huge");
  ExpectRefusedNaming(b.Text(), "its conversion factor included");
}

// Rules, global quantities and compartments whose size changes: the
// model's structure, and time courses against closed forms.

const Rule* FindRule(const Model& model, RuleKind kind, RuleTargetKind target,
                     const std::string& name, const std::string& constant = "") {
  for (const Rule& rule : model.rules) {
    if (rule.kind == kind && rule.target.kind == target && rule.target.name == name &&
        rule.target.constant == constant) {
      return &rule;
    }
  }
  return nullptr;
}

// The concentrations of metabolite `name` against a closed form at every point.
void ExpectTimeCourse(Model& model, const std::string& name,
                      const std::function<double(double)>& closedForm) {
  const TimeCourseTable table = Simulate(model);
  ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
  const int m = model.FindMetabolite(name);
  ASSERT_GE(m, 0) << name;
  ASSERT_EQ(table.times.size(), static_cast<std::size_t>(kPoints + 1));
  for (std::size_t row = 0; row < table.times.size(); ++row) {
    const double t = table.times[row];
    EXPECT_CLOSE(table.concentrations[row][m], closedForm(t), kAbs, kRel)
        << name << " at t = " << t;
  }
}

TEST(SbmlRules, ParametersBecomeGlobalQuantitiesThatTheStepConstantsFollow) {
  Imported imported;
  Import(DecayIn(2.5, "k*A").Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  Model& model = imported.model;
  ASSERT_EQ(model.globalQuantities.size(), 1u);
  EXPECT_EQ(model.globalQuantities[0].name, "k");
  EXPECT_EQ(model.globalQuantities[0].value, k);
  // The law per unit volume is k*A/c: both constants follow their quantities.
  ASSERT_EQ(model.nSteps(), 1);
  ASSERT_EQ(model.rules.size(), 2u);
  const Rule* tiedToK =
      FindRule(model, RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R", "k");
  const Rule* tiedToC =
      FindRule(model, RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R", "c");
  ASSERT_NE(tiedToK, nullptr);
  ASSERT_NE(tiedToC, nullptr);
  EXPECT_EQ(tiedToK->expression, "k");
  EXPECT_EQ(tiedToC->expression, "c");
  const std::vector<double> constants = model.steps[0].constants;
  // A new value of the quantity reaches the step, whose own value stays.
  model.globalQuantities[0].value = 2.0 * k;
  ExpectTimeCourse(model, "A", [](double t) { return 2.0 * std::exp(-2.0 * k * t / 2.5); });
  EXPECT_EQ(model.steps[0].constants, constants);
}

TEST(SbmlRules, AnAssignmentRuleMakesItsSpeciesFixedAndFollowsTime) {
  SbmlBuilder b = DecayIn(1.0, "k*A");
  b.AssignmentRule("B", "2*A + time");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  Model& model = imported.model;
  EXPECT_EQ(model.metabolites[model.FindMetabolite("B")].type, FIXED);
  const Rule* rule = FindRule(model, RuleKind::kAssignment, RuleTargetKind::kMetabolite, "B");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->expression, "(2*A)+time");
  ExpectTimeCourse(model, "B", [](double t) { return 4.0 * std::exp(-k * t) + t; });
}

TEST(SbmlRules, ARateRuleOnAParameterDrivesTheLawsThatReadIt) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 2.0).Parameter("p", 0.0).RateRule("p", "1");
  b.Reaction("R", {{"A", 1}}, {}, "p*A");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  Model& model = imported.model;
  ASSERT_EQ(model.globalQuantities.size(), 1u);
  const Rule* rule = FindRule(model, RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "p");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->expression, "1");
  EXPECT_NE(FindRule(model, RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R", "p"),
            nullptr);
  // dA/dt = -t A.
  ExpectTimeCourse(model, "A", [](double t) { return 2.0 * std::exp(-t * t / 2.0); });
}

TEST(SbmlRules, AGrowingCompartmentKeepsAmountsAndItsLawsReadItsCurrentSize) {
  SbmlBuilder b;
  b.Compartment("V", 1.0).RateRule("V", "1").Parameter("k", k);
  b.Species("X", "V", 3.0).Species("B", "V", 0.0).Species("C", "V", 0.0);
  // Amounts per time: k V (the size cancels) and k V^2 (one V stays).
  b.Reaction("R1", {}, {{"B", 1}}, "k*V").Reaction("R2", {}, {{"C", 1}}, "k*V*V");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  Model& model = imported.model;
  ASSERT_NE(FindRule(model, RuleKind::kRate, RuleTargetKind::kCompartmentVolume, "V"), nullptr);
  EXPECT_EQ(FindRule(model, RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R1", "V"),
            nullptr);
  const Rule* tie =
      FindRule(model, RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R2", "V");
  ASSERT_NE(tie, nullptr);
  EXPECT_EQ(tie->expression, "V");
  // V = 1 + t; X keeps its amount, B and C gain k V and k V^2 per time.
  TaskSettings settings;
  settings.endTime = kEnd;
  settings.points = kPoints;
  settings.solver.relativeTolerance = 1e-11;
  settings.solver.absoluteTolerance = 1e-15;
  test::EngineRig rig(model, settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, /*write=*/true);
  ASSERT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(kPoints + 1));
  for (std::size_t row = 0; row < rig.hooks.rowTimes.size(); ++row) {
    const double t = rig.hooks.rowTimes[row];
    const std::vector<double>& amounts = rig.hooks.rowAmounts[row];
    EXPECT_CLOSE(rig.AmountOf(amounts, "X"), 3.0, kAbs, kRel) << t;
    EXPECT_CLOSE(rig.AmountOf(amounts, "B"), k * (t + t * t / 2.0), kAbs, kRel) << t;
    EXPECT_CLOSE(rig.AmountOf(amounts, "C"), k * (std::pow(1.0 + t, 3.0) - 1.0) / 3.0, kAbs, kRel)
        << t;
  }
}

TEST(SbmlRules, AnInitialAssignmentReadsAnotherWhateverTheirOrder) {
  SbmlBuilder b = DecayIn(1.0, "k*A");
  b.Parameter("p1", 2.0);
  auto* p2 = b.model().createParameter();
  p2->setId("p2");
  p2->setConstant(true);
  b.InitialAssignment("A", "p2").InitialAssignment("p2", "3*p1");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  Model& model = imported.model;
  EXPECT_GE(model.FindGlobalQuantity("p2"), 0);
  const Rule* rule =
      FindRule(model, RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity, "p2");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->expression, "3*p1");
  ExpectTimeCourse(model, "A", [](double t) { return 6.0 * std::exp(-k * t); });
}

TEST(SbmlRules, ARuleOnAnAmountSetsTheConcentration) {
  SbmlBuilder b;
  b.Compartment("c", 2.0);
  b.Species("A", "c", 0.0, {.amount = true, .boundary = true, .onlySubstanceUnits = true});
  b.Species("B", "c", 1.0, {.amount = true, .boundary = true, .onlySubstanceUnits = true});
  b.AssignmentRule("A", "4 + B").RateRule("B", "1");
  b.Species("D", "c", 1.0).Reaction("R", {{"D", 1}}, {}, "D");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  // Amounts: B = 1 + t, A = 5 + t, in a compartment of size 2.
  ExpectTimeCourse(imported.model, "B", [](double t) { return (1.0 + t) / 2.0; });
  ExpectTimeCourse(imported.model, "A", [](double t) { return (5.0 + t) / 2.0; });
}

// The rate of an amount in a compartment that grows: the concentration
// follows the amount over the size.
TEST(SbmlRules, ARateRuleOnAnAmountInAGrowingCompartmentKeepsTheAmountsRate) {
  SbmlBuilder b;
  b.Compartment("V", 1.0).RateRule("V", "1");
  b.Species("B", "V", 1.0, {.amount = true, .boundary = true, .onlySubstanceUnits = true});
  b.RateRule("B", "2").Species("D", "V", 1.0).Reaction("R", {{"D", 1}}, {}, "D");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  TaskSettings settings;
  settings.endTime = kEnd;
  settings.points = kPoints;
  settings.solver.relativeTolerance = 1e-11;
  settings.solver.absoluteTolerance = 1e-15;
  test::EngineRig rig(imported.model, settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, /*write=*/true);
  ASSERT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(kPoints + 1));
  for (std::size_t row = 0; row < rig.hooks.rowTimes.size(); ++row) {
    const double t = rig.hooks.rowTimes[row];
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[row], "B"), 1.0 + 2.0 * t, kAbs, kRel) << t;
  }
}

TEST(SbmlRules, NamesThatRulesReadBecomeSymbolsOfTheirExpressions) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Species("S_1", "c", 1.0).Parameter("k_1", k).Parameter("q_1", 0.0);
  b.Parameter("time", 5.0).Reaction("R", {{"S_1", 1}}, {}, "k_1*S_1");
  b.AssignmentRule("q_1", "2*S_1");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  const Model& model = imported.model;
  // A rule reads S_1 and k_1; q_1 is only set, and "time" is reserved.
  EXPECT_EQ(model.FindMetabolite("S_1"), -1);
  EXPECT_GE(model.FindMetabolite("S1"), 0);
  EXPECT_GE(model.FindGlobalQuantity("k1"), 0);
  EXPECT_GE(model.FindGlobalQuantity("q_1"), 0);
  EXPECT_EQ(model.FindGlobalQuantity("time"), -1);
  EXPECT_EQ(model.globalQuantities.size(), 3u);
  EXPECT_TRUE(CheckRules(model).ok()) << CheckRules(model).message;
  // The result says what became of each renamed id.
  const std::map<std::string, std::string>& renamed = imported.result.renamedIds;
  ASSERT_EQ(renamed.size(), 3u);
  EXPECT_EQ(renamed.at("S_1"), "S1");
  EXPECT_EQ(renamed.at("k_1"), "k1");
  EXPECT_GE(model.FindGlobalQuantity(renamed.at("time")), 0);
}

TEST(SbmlRules, RulesInACycleAreRefusedNamingIt) {
  SbmlBuilder b = DecayIn(1.0, "k*A");
  b.Parameter("p", 1.0).Parameter("q", 1.0).AssignmentRule("p", "q + 1").AssignmentRule("q", "p");
  ExpectRefusedNaming(b.Text(), "depend on each other in a cycle");
}

TEST(SbmlRules, ARuleReadingAReactionReadsItsLaw) {
  SbmlBuilder b = DecayIn(2.0, "k*A*c");
  b.Parameter("v", 0.0).AssignmentRule("v", "R");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  const Rule* rule =
      FindRule(imported.model, RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "v");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->expression, "k*A*c");
}

TEST(SbmlRules, ASpeciesInACompartmentOfNoDimensionsIsAnAmount) {
  SbmlBuilder b;
  b.Compartment("c", 1.0).Parameter("k", k);
  b.model().getCompartment("c")->unsetSize();
  b.model().getCompartment("c")->setSpatialDimensions(0u);
  b.Species("A", "c", 2.0, {.amount = true, .onlySubstanceUnits = true});
  b.Reaction("R", {{"A", 1}}, {}, "k*A");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  EXPECT_EQ(imported.model.compartments[0].volume, 1.0);
  ExpectTimeCourse(imported.model, "A", [](double t) { return 2.0 * std::exp(-k * t); });
  // Its size is no number that mathematics may read.
  b.Reaction("R2", {{"A", 1}}, {}, "k*A*c");
  ExpectRefusedNaming(b.Text(),
                      "the compartment \"c\" of no spatial dimensions read in the kinetic law of "
                      "\"R2\"");
}

// A stoichiometry that an initial assignment gives is a number from time 0
// on, read where the mathematics names it; one that a rule changes is
// refused.
TEST(SbmlRules, AStoichiometryGivenAtTimeZeroIsANumber) {
  SbmlBuilder b = DecayIn(1.0, "k*A");
  b.model().getReaction("R")->getProduct(0)->setId("n");
  b.Parameter("two", 2.0);
  b.InitialAssignment("n", "1 + two").InitialAssignment("two", "2*k/k");
  b.Parameter("v", 0.0).AssignmentRule("v", "n*A");
  Imported imported;
  Import(b.Text(), imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  const Model& model = imported.model;
  ASSERT_EQ(model.nSteps(), 1);
  EXPECT_EQ(model.steps[0].equation, "A -> B + B + B");
  const Rule* rule = FindRule(model, RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "v");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->expression, "3*A");
  SbmlBuilder itself = DecayIn(1.0, "k*A");
  itself.model().getReaction("R")->getProduct(0)->setId("n");
  itself.InitialAssignment("n", "n + 1");
  ExpectRefusedNaming(itself.Text(), "the stoichiometry \"n\", which changes or has no value");

  // A rule over time makes the stoichiometry a quantity of the reference's
  // id, which the step's stoichiometry follows and the rules read.
  SbmlBuilder changing = DecayIn(1.0, "k*A");
  changing.model().getReaction("R")->getProduct(0)->setId("n");
  changing.model().getReaction("R")->getProduct(0)->setConstant(false);
  changing.AssignmentRule("n", "1 + time").Parameter("v", 0.0).AssignmentRule("v", "n*A");
  Imported varying;
  Import(changing.Text(), varying);
  ASSERT_TRUE(varying.result.imported) << ProblemsOf(varying);
  const Rule* stoichiometry =
      FindRule(varying.model, RuleKind::kAssignment, RuleTargetKind::kStoichiometry, "R", "B");
  ASSERT_NE(stoichiometry, nullptr);
  EXPECT_EQ(stoichiometry->expression, "n");
  const Rule* reading =
      FindRule(varying.model, RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "v");
  ASSERT_NE(reading, nullptr);
  EXPECT_EQ(reading->expression, "n*A");

  // An initial assignment that reads a species is evaluated when the run
  // starts: n = [A](0) + 1 = 3, so B = 3 (2 - A) with A = 2 exp(-k t).
  SbmlBuilder start = DecayIn(1.0, "k*A");
  start.model().getReaction("R")->getProduct(0)->setId("n");
  start.InitialAssignment("n", "A + 1");
  Imported started;
  Import(start.Text(), started);
  ASSERT_TRUE(started.result.imported) << ProblemsOf(started);
  EXPECT_NE(FindRule(started.model, RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity,
                     "n"),
            nullptr);
  const TimeCourseTable course = Simulate(started.model);
  ASSERT_TRUE(course.errorLog.empty()) << course.errorLog;
  const int product = started.model.FindMetabolite("B");
  for (std::size_t row = 0; row < course.times.size(); ++row) {
    const double a = 2.0 * std::exp(-k * course.times[row]);
    EXPECT_CLOSE(course.concentrations[row][product], 3.0 * (2.0 - a), 1e-9, 1e-8);
  }
}

// A model of one submodel, whose species and reaction become the model's.
TEST(SbmlRules, AHierarchicalModelIsFlattened) {
  const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1"
      xmlns:comp="http://www.sbml.org/sbml/level3/version1/comp/version1" comp:required="true">
  <model id="top">
    <comp:listOfSubmodels>
      <comp:submodel comp:id="sub" comp:modelRef="decay"/>
    </comp:listOfSubmodels>
  </model>
  <comp:listOfModelDefinitions>
    <comp:modelDefinition id="decay">
      <listOfCompartments>
        <compartment id="c" size="1" spatialDimensions="3" constant="true"/>
      </listOfCompartments>
      <listOfSpecies>
        <species id="A" compartment="c" initialConcentration="2" hasOnlySubstanceUnits="false"
                 boundaryCondition="false" constant="false"/>
      </listOfSpecies>
      <listOfReactions>
        <reaction id="R" reversible="false" fast="false">
          <listOfReactants>
            <speciesReference species="A" stoichiometry="1" constant="true"/>
          </listOfReactants>
          <kineticLaw>
            <math xmlns="http://www.w3.org/1998/Math/MathML">
              <apply><times/><cn>0.7</cn><ci>A</ci></apply>
            </math>
          </kineticLaw>
        </reaction>
      </listOfReactions>
    </comp:modelDefinition>
  </comp:listOfModelDefinitions>
</sbml>
)";
  Imported imported;
  Import(text, imported);
  ASSERT_TRUE(imported.result.imported) << ProblemsOf(imported);
  ASSERT_EQ(imported.model.nSteps(), 1);
  ASSERT_EQ(imported.model.nMetabolites(), 1);
  const std::string species = imported.model.metabolites[0].name;
  ExpectTimeCourse(imported.model, species, [](double t) { return 2.0 * std::exp(-k * t); });
}

}  // namespace
}  // namespace vireon

// Two leaks inside libSBML 5.19, which the program cannot free (a few hundred
// bytes to a few kilobytes per file): its MathML reader loses the nodes of a
// <math> element that it abandons in a malformed file, and a reader that
// throws loses the document it was building. LeakSanitizer overlooks what
// those two functions allocate, and nothing else.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:readMathML\nleak:SBMLReader::readInternal\n";
}
