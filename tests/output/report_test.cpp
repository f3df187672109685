#include "output/report.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/messages.h"
#include "model/structural_analysis.h"
#include "output_test_models.h"
#include "support/files.h"

namespace vireon {
namespace {

using test::TestModel;

// The report with its date line (the fourth line of the banner) replaced by
// a mark, so that a report written at any time compares with a stored one.
std::string MaskDate(const std::string& report) {
  std::size_t start = 0;
  for (int line = 0; line < 3 && start != std::string::npos; ++line) {
    start = report.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return report;
  std::size_t end = report.find('\n', start);
  return report.substr(0, start) + "<date>" + report.substr(end);
}

std::tm MakeDate(int weekday, int day, int month, int year, int hour, int minute) {
  std::tm date{};
  date.tm_wday = weekday;
  date.tm_mday = day;
  date.tm_mon = month;
  date.tm_year = year - 1900;
  date.tm_hour = hour;
  date.tm_min = minute;
  return date;
}

ReportContext Context(const TestModel& t, const std::string& version) {
  return ReportContext{t.model, t.engine, t.settings, version, std::string(kPlatformLine)};
}

void ExpectGolden(const std::string& report, const std::string& goldenName) {
  std::string expected = test::ReadText(std::filesystem::path(VIREON_TEST_DATA_DIR) / goldenName);
  ASSERT_FALSE(expected.empty()) << goldenName;
  EXPECT_EQ(MaskDate(report), MaskDate(expected)) << goldenName;
}

// The run of a linear chain: time course, then steady state, stability and
// scaled control analysis, with every section reported.
std::string LinearChainReport(TestModel& t, const std::string& version) {
  Model& model = t.model;
  EngineState& engine = t.engine;
  t.settings.reportFile = "chain.txt";
  t.settings.reportComments = 1;
  ReportContext context = Context(t, version);
  std::string report = ReportHeaderText(context, MakeDate(2, 8, 11, 2026, 14, 43));
  report += ReportStructureText(context);
  report += ReportParametersText(context);

  model.metabolites[0].concentration = 1.0;
  model.metabolites[1].concentration = 0.49999999897;
  model.metabolites[2].concentration = 0.0;
  model.steps[0].flux = 1.0;
  model.steps[1].flux = 0.99999999794;  // rounds up into the next decade
  report += ReportTimeCourseText(context);

  model.metabolites[1].concentration = 0.5;
  model.metabolites[1].transitionTime = 0.5;
  model.steps[1].flux = 1.0;
  engine.derivatives[1] = -2.5e-17;
  engine.jacobian[1][1] = -2.0;
  engine.eigenReal[0] = -2.0;
  engine.maxRealPart = -2.0;
  engine.nReal = 1;
  engine.nNegativeReal = 1;
  engine.elasticities[1][0] = 1.0;
  engine.concControl[0][0] = 1.0;
  engine.concControl[0][1] = -1.0;
  engine.fluxControl[0][0] = 1.0;
  engine.fluxControl[1][0] = 1.0;
  report += ReportSteadyStateText(context);
  report += ReportStabilityText(context);
  report += ReportMcaText(context);
  return report;
}

TEST(ReportGoldenTest, LinearChainWithEverySection) {
  auto t = test::LinearChain();
  ExpectGolden(LinearChainReport(*t, ReportVersionLine(messages::kVersion)),
               "linear_chain_report.txt");
}

// A time course by CVODE says so in one line under the heading; by LSODA
// the section is what it always was.
TEST(ReportTest, TheTimeCourseNamesCvodeOnlyWhenItWasUsed) {
  auto t = test::LinearChain();
  const std::string byLsoda = ReportTimeCourseText(Context(*t, "v"));
  EXPECT_EQ(byLsoda.find("Integrator"), std::string::npos);
  t->settings.solver.integrator = Integrator::kCvode;
  const std::string byCvode = ReportTimeCourseText(Context(*t, "v"));
  const std::size_t heading = byLsoda.find('\n', 1) + 1;
  EXPECT_EQ(byCvode, byLsoda.substr(0, heading) +
                         "Integrator: CVODE (backward differentiation formulas, Newton's "
                         "iteration)\n" +
                         byLsoda.substr(heading));
}

TEST(ReportGoldenTest, EnzymeWithMoietyUnscaledAndUndeterminedStability) {
  auto t = test::EnzymeMoiety();
  Model& model = t->model;
  EngineState& engine = t->engine;
  t->settings.reportFile = "enzyme.txt";
  t->settings.reportComments = 0;
  t->settings.mcaUnscaled = 1;
  model.comments = "not printed";
  ReportContext context = Context(*t, ReportVersionLine(messages::kVersion));
  std::string report = ReportHeaderText(context, MakeDate(5, 1, 4, 2026, 9, 5));
  report += ReportStructureText(context);
  report += ReportParametersText(context);

  const double concentrations[] = {0.2, 2.0, 0.8, 0.0};
  const double transitionTimes[] = {0.05, 0.0, 0.2, 0.0};
  for (int m = 0; m < 4; ++m) {
    model.metabolites[m].concentration = concentrations[m];
    model.metabolites[m].transitionTime = transitionTimes[m];
  }
  model.steps[0].flux = 4.0;
  model.steps[1].flux = 4.0;
  engine.derivatives[1] = 1.25e-16;   // E, position 0
  engine.derivatives[2] = -1.25e-16;  // ES, position 1
  engine.derivatives[3] = 7.0;        // S is fixed: its rate is printed as 0
  engine.jacobian[1][1] = 4e-10;
  engine.eigenReal[0] = 4e-10;
  engine.maxRealPart = 4e-10;
  engine.nZero = 1;
  // Elasticities by (step position, metabolite position): E 0, ES 1, S 2, P 3.
  engine.elasticities[0][0] = 20.0;
  engine.elasticities[0][2] = 2.0;
  engine.elasticities[0][1] = -0.1;
  engine.elasticities[1][1] = 5.0;
  engine.concControl[0][0] = -0.04;
  engine.concControl[0][1] = 0.04;
  engine.concControl[1][0] = 0.04;
  engine.concControl[1][1] = -0.04;
  engine.fluxControl[0][0] = 0.2;
  engine.fluxControl[0][1] = 0.8;
  engine.fluxControl[1][0] = 0.2;
  engine.fluxControl[1][1] = 0.8;
  report += ReportSteadyStateText(context);
  report += ReportStabilityText(context);
  report += ReportMcaText(context);
  ExpectGolden(report, "enzyme_moiety_report.txt");
}

TEST(ReportGoldenTest, LongNamesEquilibriumScaledAndOscillations) {
  auto t = test::LongNames();
  Model& model = t->model;
  EngineState& engine = t->engine;
  t->settings.reportFile = "/home/user/vireon/models/glycolysis/upper-glycolysis.txt";
  t->settings.reportComments = 1;
  t->settings.timeUnit = "min";
  t->settings.concentrationUnit = "uM";
  t->settings.endTime = 100.0;
  model.comments.clear();
  ReportContext context = Context(*t, ReportVersionLine(messages::kVersion));
  std::string report = ReportHeaderText(context, MakeDate(3, 30, 8, 2026, 23, 59));
  report += ReportStructureText(context);
  report += ReportParametersText(context);

  model.metabolites[0].concentration = 5.0;
  model.metabolites[1].concentration = 1.0 / 3.0;
  model.metabolites[2].concentration = -1.5e-3;
  model.steps[0].flux = 0.25;
  model.steps[1].flux = 0.123456789;
  model.steps[2].flux = -7.5e-4;
  report += ReportTimeCourseText(context);

  model.metabolites[1].concentration = 2.5;
  model.metabolites[2].concentration = -1e-12;
  model.metabolites[1].transitionTime = 10.0;
  model.metabolites[2].transitionTime = DBL_MAX;
  model.steps[0].flux = 1e-10;
  model.steps[1].flux = 0.0;
  model.steps[2].flux = 0.0;
  engine.equilibrium = 1;
  engine.derivatives[2] = 3e-20;
  engine.jacobian[1][1] = 0.5;
  engine.jacobian[1][2] = -2.0;
  engine.jacobian[2][1] = 2.0;
  engine.jacobian[2][2] = 0.5;
  engine.eigenReal[0] = 0.5;
  engine.eigenImag[0] = 2.0;
  engine.eigenReal[1] = 0.5;
  engine.eigenImag[1] = -2.0;
  engine.maxRealPart = 0.5;
  engine.maxImagPart = 2.0;
  engine.nComplex = 2;
  engine.nPositiveReal = 2;
  engine.elasticities[0][0] = 1.0;  // not printed: all are infinite at equilibrium
  report += ReportSteadyStateText(context);
  report += ReportStabilityText(context);
  report += ReportMcaText(context);
  ExpectGolden(report, "long_names_report.txt");
}

// The file writers write what the text builders build: the header creates
// the file anew, every other section is appended.
TEST(ReportFileTest, WritersAppendTheSectionsInCallOrder) {
  auto t = test::LinearChain();
  const test::TemporaryFolder folder;
  // A name longer than any date line, so that the box does not depend on the date.
  const std::filesystem::path path = folder / "report-written-by-the-file-writers-of-the-test.txt";
  test::WriteText(path, "left over from an earlier run\n");
  const std::string version = ReportVersionLine(messages::kVersion);
  std::string expected = LinearChainReport(*t, version);
  t->settings.reportFile = path.string();
  // The banner's box is as wide as the file name; rebuild the expected header for it.
  ReportContext context = Context(*t, version);
  std::string expectedHeader = ReportHeaderText(context, MakeDate(2, 8, 11, 2026, 14, 43));
  expected = expectedHeader + expected.substr(expected.find("\nSTRUCTURAL ANALYSIS\n"));

  std::string errorLog;
  EXPECT_TRUE(WriteReportHeader(context, errorLog));
  EXPECT_TRUE(WriteReportStructure(context, errorLog));
  EXPECT_TRUE(WriteReportParameters(context, errorLog));
  EXPECT_TRUE(WriteReportTimeCourse(context, errorLog));
  EXPECT_TRUE(WriteReportSteadyState(context, errorLog));
  EXPECT_TRUE(WriteReportStability(context, errorLog));
  EXPECT_TRUE(WriteReportMCA(context, errorLog));
  EXPECT_EQ(errorLog, "");
  // The time course section was built from the values of the time course;
  // the writers above saw the steady-state values, so compare the rest.
  std::string written = test::ReadText(path);
  EXPECT_EQ(MaskDate(written).substr(0, written.find("\nRESULTS OF INTEGRATION")),
            MaskDate(expected).substr(0, expected.find("\nRESULTS OF INTEGRATION")));
  EXPECT_EQ(written.substr(written.find("\nSTEADY STATE SOLUTION")),
            expected.substr(expected.find("\nSTEADY STATE SOLUTION")));
  EXPECT_EQ(written.find("left over"), std::string::npos);
}

TEST(ReportFileTest, AFileThatCannotBeWrittenIsNamedInTheErrorLog) {
  auto t = test::LinearChain();
  t->settings.reportFile = "/nonexistent-folder-of-the-test/report.txt";
  const std::string version = ReportVersionLine(messages::kVersion);
  std::string errorLog;
  EXPECT_FALSE(WriteReportHeader(Context(*t, version), errorLog));
  EXPECT_NE(errorLog.find("/nonexistent-folder-of-the-test/report.txt"), std::string::npos);
  EXPECT_NE(errorLog.find("No such file or directory"), std::string::npos);
  errorLog.clear();
  EXPECT_FALSE(WriteReportParameters(Context(*t, version), errorLog));
  EXPECT_FALSE(errorLog.empty());
}

TEST(ReportBannerTest, VersionLineFromTheVersionNumber) {
  EXPECT_EQ(ReportVersionLine("3.00301"), "Vireon version 3.00");
  EXPECT_EQ(ReportVersionLine("3.00"), "Vireon version 3.00");
  // The third decimal marks the release kind, the next two its number.
  EXPECT_EQ(ReportVersionLine("2.01115"), "Vireon version 2.01 alpha 15");
  EXPECT_EQ(ReportVersionLine("2.01227"), "Vireon version 2.01 beta 27");
  EXPECT_EQ(ReportVersionLine("2.01350"), "Vireon version 2.01");
}

TEST(ReportBannerTest, DateLineUsesEnglishNamesAndTwoDigitFields) {
  EXPECT_EQ(ReportDateLine(MakeDate(0, 7, 0, 2029, 8, 3)), "Sunday, 07 January 2029, 08:03");
  EXPECT_EQ(ReportDateLine(MakeDate(6, 31, 9, 2026, 0, 0)), "Saturday, 31 October 2026, 00:00");
}

TEST(ReportBannerTest, AnOddRemainderGoesToTheRightOfTheText) {
  auto t = test::LinearChain();
  t->settings.reportFile = "r.txt";
  t->settings.reportComments = 0;
  ReportContext context{t->model, t->engine, t->settings, "abc", "abcd"};
  // Date "Friday, 01 May 2026, 09:05" is 26 characters: the box is 30 wide.
  std::string header = ReportHeaderText(context, MakeDate(5, 1, 4, 2026, 9, 5));
  EXPECT_EQ(header,
            "******************************\n"
            "*            abc             *\n"
            "*            abcd            *\n"
            "* Friday, 01 May 2026, 09:05 *\n"
            "******************************\n"
            "\n"
            "Linear chain\n");
}

TEST(ReportBannerTest, TheFileNameWidensTheBoxByItsCharactersNotItsBytes) {
  auto t = test::LinearChain();
  // 31 characters, 34 bytes in UTF-8.
  t->settings.reportFile = "/home/jos\u00e9/mod\u00e8les/r\u00e9action.txt";
  t->settings.reportComments = 0;
  ReportContext context{t->model, t->engine, t->settings, "abc", "abcd"};
  std::string header = ReportHeaderText(context, MakeDate(5, 1, 4, 2026, 9, 5));
  // w = 31: "abc" gets 14 blanks each side, "abcd" 13 and 14, the 26
  // characters of the date 2 and 3.
  EXPECT_EQ(header,
            "***********************************\n"
            "*               abc               *\n"
            "*              abcd               *\n"
            "*   Friday, 01 May 2026, 09:05    *\n"
            "***********************************\n"
            "\n"
            "Linear chain\n");
}

TEST(ReportBannerTest, CommentsLoseTheirCarriageReturns) {
  auto t = test::LinearChain();
  t->settings.reportComments = 1;
  t->model.comments = "line one\r\n\r\nline three\r";
  ReportContext context = Context(*t, "v");
  std::string header = ReportHeaderText(context, MakeDate(5, 1, 4, 2026, 9, 5));
  EXPECT_EQ(header.substr(header.find("Linear chain")), "Linear chain\n\nline one\n\nline three\n");
}

TEST(ReportSectionTest, FailedSteadyStateGivesTheTwoSentencesAndNoControlAnalysis) {
  auto t = test::LinearChain();
  t->engine.ssFailure = SteadyStateOutcome::kNotFound;
  ReportContext context = Context(*t, "v");
  EXPECT_EQ(ReportSteadyStateText(context), "\nA steady state could not be found.\n");
  EXPECT_EQ(ReportStabilityText(context),
            "\nThe linear stability analysis based on the eigenvalues\n"
            "of the Jacobian matrix is only valid for steady states.\n");
  EXPECT_EQ(ReportMcaText(context), "");
}

TEST(ReportSectionTest, UnscaledAnalysisAtEquilibriumPrintsTheValues) {
  auto t = test::LinearChain();
  t->engine.equilibrium = 1;
  t->settings.mcaUnscaled = 1;
  t->engine.concControl[0][0] = 0.5;
  std::string text = ReportMcaText(Context(*t, "v"));
  EXPECT_EQ(text.find("infinity"), std::string::npos);
  EXPECT_NE(text.find("C([S],R1) =  5.0000e-001\n"), std::string::npos);
}

TEST(ReportSectionTest, LargestDoubleIsPrintedAsANumber) {
  auto t = test::LinearChain();
  t->engine.fluxControl[0][1] = DBL_MAX;
  std::string text = ReportMcaText(Context(*t, "v"));
  EXPECT_NE(text.find("C(J(R1),R2) =  1.7977e+308\n"), std::string::npos);
}

TEST(ReportSectionTest, StabilityVerdictAtTheResolutionBoundary) {
  struct Case {
    double maxReal, maxImag;
    const char* summary;
  };
  const Case cases[] = {
      {1e-9, 0.0, " This steady state stability is undetermined.\n"},
      {-1e-9, 0.0, " This steady state stability is undetermined.\n"},
      {2e-9, 0.0, " This steady state is unstable.\n"},
      {-2e-9, 0.0, " This steady state is asymptotically stable.\n"},
      {0.0, 1e-9, " This steady state stability is undetermined.\n"},
      {0.0, 1.0,
       " This steady state stability is undetermined,\n transient states in its vicinity have "
       "oscillatory components.\n"},
  };
  for (const Case& c : cases) {
    auto t = test::LinearChain();
    t->settings.solver.steadyStateResolution = 1e-9;
    t->engine.maxRealPart = c.maxReal;
    t->engine.maxImagPart = c.maxImag;
    std::string text = ReportStabilityText(Context(*t, "v"));
    EXPECT_NE(text.find(std::string("Summary:\n") + c.summary), std::string::npos)
        << c.maxReal << " " << c.maxImag;
  }
}

TEST(ReportSectionTest, KeyNamesTheStepOfEachColumnAfterAColumnSwap) {
  auto t = test::LinearChain();
  t->model.stepOrder = {1, 0};
  t->model.stepPosition = {1, 0};
  std::string text = ReportStructureText(Context(*t, "v"));
  EXPECT_NE(text.find("key for step (column) numbers:\n 0 - R2\n 1 - R1\n"), std::string::npos);
}

// The engine's control matrices are indexed by step position; the report
// lists the steps in model order and looks each one up by its position.
TEST(ReportSectionTest, ControlAnalysisLooksStepsUpByPosition) {
  auto t = test::LinearChain();
  t->model.stepOrder = {1, 0};  // position 0 holds R2, position 1 holds R1
  t->model.stepPosition = {1, 0};
  t->engine.elasticities[0][0] = 1.0;   // e(R2,[S])
  t->engine.concControl[0][0] = 0.5;    // C([S],R2)
  t->engine.concControl[0][1] = -0.25;  // C([S],R1)
  t->engine.fluxControl[0][1] = 0.75;   // C(J(R2),R1)
  EXPECT_EQ(ReportMcaText(Context(*t, "v")),
            "\nMETABOLIC CONTROL ANALYSIS\n"
            "\nELASTICITIES\n"
            "\n"
            "e(R2,[S]) = 1.0000e+000  \n"
            "\nCONCENTRATION CONTROL COEFFICIENTS\n"
            "\nS\n"
            "C([S],R1) = -2.5000e-001\n"
            "C([S],R2) =  5.0000e-001\n"
            "\nFLUX CONTROL COEFFICIENTS\n"
            "\nR1\n"
            "C(J(R1),R1) =  0.0000e+000\n"
            "C(J(R1),R2) =  0.0000e+000\n"
            "\nR2\n"
            "C(J(R2),R1) =  7.5000e-001\n"
            "C(J(R2),R2) =  0.0000e+000\n"
            "\n");
}

TEST(ReportSectionTest, NoConservationHeadingWithoutRelations) {
  auto chain = test::LinearChain();
  EXPECT_EQ(ReportStructureText(Context(*chain, "v")).find("CONSERVATION"), std::string::npos);
  auto enzyme = test::EnzymeMoiety();
  EXPECT_NE(ReportStructureText(Context(*enzyme, "v")).find("\nCONSERVATION RELATIONSHIPS\n"),
            std::string::npos);
}

// The model description lists the global quantities and the rules after
// the compartments; a model without them has neither heading (the golden
// reports above).
TEST(ReportSectionTest, GlobalQuantitiesAndRulesFollowTheCompartments) {
  auto t = test::EnzymeMoiety();
  const std::string without = ReportParametersText(Context(*t, "v"));
  EXPECT_EQ(without.find("GLOBAL QUANTITIES"), std::string::npos);
  EXPECT_EQ(without.find("RULES"), std::string::npos);

  t->model.globalQuantities = {{"Vmax", 2.5}, {"K_m", -1e-300}};
  t->model.rules = {
      Rule{RuleKind::kAssignment, {RuleTargetKind::kGlobalQuantity, "Vmax", {}}, "2 * K_m"},
      Rule{RuleKind::kRate, {RuleTargetKind::kCompartmentVolume, "cytosol", {}}, "0.1"},
      Rule{RuleKind::kInitialAssignment, {RuleTargetKind::kMetabolite, "E", {}}, "Vmax / 2"},
      Rule{RuleKind::kAssignment, {RuleTargetKind::kKineticConstant, "binding", "k1"}, "Vmax"},
  };
  const std::string with = ReportParametersText(Context(*t, "v"));
  ASSERT_EQ(with.substr(0, without.size()), without);
  EXPECT_EQ(with.substr(without.size()),
            "\nGLOBAL QUANTITIES\n"
            "Vmax =  2.5000e+000\n"
            "K_m = -1.0000e-300\n"
            "\nRULES\n"
            "assignment         Vmax = 2 * K_m\n"
            "rate               d/dt V(cytosol) = 0.1\n"
            "initial assignment [E] = Vmax / 2\n"
            "assignment         binding(k1) = Vmax\n");

  // Rules alone give their list without the quantities' heading.
  t->model.globalQuantities.clear();
  const std::string rulesOnly = ReportParametersText(Context(*t, "v"));
  EXPECT_EQ(rulesOnly.find("GLOBAL QUANTITIES"), std::string::npos);
  EXPECT_NE(rulesOnly.find("\nRULES\nassignment         Vmax = 2 * K_m\n"), std::string::npos);
}

TEST(ReportSectionTest, EventsFollowTheRules) {
  auto t = test::EnzymeMoiety();
  const std::string without = ReportParametersText(Context(*t, "v"));
  EXPECT_EQ(without.find("EVENTS"), std::string::npos);
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, 10)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "E", {}}, "E + 1"}};
  Event late = dose;
  late.name = "late";
  late.delay = "2";
  late.priority = "1";
  late.initialValue = late.persistent = late.useValuesFromTriggerTime = false;
  late.assignments = {{{RuleTargetKind::kCompartmentVolume, "cytosol", {}}, "cytosol/2"},
                      {{RuleTargetKind::kKineticConstant, "binding", "k1"}, "0"}};
  t->model.events = {dose, late};
  const std::string with = ReportParametersText(Context(*t, "v"));
  ASSERT_EQ(with.substr(0, without.size()), without);
  EXPECT_EQ(with.substr(without.size()),
            "\nEVENTS\n"
            "dose: when geq(time, 10)\n"
            " [E] = E + 1\n"
            "late: when geq(time, 10), after 2, priority 1, may fire at time 0, not persistent, "
            "values at execution\n"
            " V(cytosol) = cytosol/2\n"
            " binding(k1) = 0\n");
}

TEST(ReportSectionTest, EmptyModelWritesHeadingsOnly) {
  Model model;
  EngineState engine;
  TaskSettings settings;
  ReportContext context{model, engine, settings, "v", std::string(kPlatformLine)};
  EXPECT_EQ(ReportStructureText(context),
            "\nSTRUCTURAL ANALYSIS\n\nkey for step (column) numbers:\n\nREDUCED STOICHIOMETRY "
            "MATRIX\n              \n           --\n\nINVERSE OF THE REDUCTION MATRIX\n\n"
            "              \n           --\n");
  EXPECT_EQ(ReportMcaText(context),
            "\nMETABOLIC CONTROL ANALYSIS\n\nELASTICITIES\n\nCONCENTRATION CONTROL "
            "COEFFICIENTS\n\nFLUX CONTROL COEFFICIENTS\n\n");
  EXPECT_EQ(ReportStabilityText(context).find("Jacobian matrix\n\n"),
            ReportStabilityText(context).find("Jacobian matrix\n"));
}

// The structural data filled in by hand in the test models is what the
// structural analysis computes from their stoichiometry, so the golden
// reports hold for analysed models too.
TEST(ReportSectionTest, TestModelsAgreeWithTheStructuralAnalysis) {
  using Factory = std::unique_ptr<TestModel> (*)();
  for (Factory factory : {&test::LinearChain, &test::EnzymeMoiety, &test::LongNames}) {
    auto byHand = factory();
    auto analysed = factory();
    Model& model = analysed->model;
    for (Metabolite& metabolite : model.metabolites) {
      if (metabolite.type == DEPENDENT) metabolite.type = INDEPENDENT;
    }
    model.reducedStoichiometry.Fill(0.0f);
    model.link.Fill(0.0f);
    model.moieties.clear();
    model.nIndependent = model.nDependent = 0;
    StructuralAnalysis(model);
    const Model& expected = byHand->model;
    EXPECT_EQ(model.nVariable, expected.nVariable) << expected.title;
    EXPECT_EQ(model.nIndependent, expected.nIndependent) << expected.title;
    EXPECT_EQ(model.metaboliteOrder, expected.metaboliteOrder) << expected.title;
    EXPECT_EQ(model.metabolitePosition, expected.metabolitePosition) << expected.title;
    EXPECT_EQ(model.stepOrder, expected.stepOrder) << expected.title;
    EXPECT_EQ(ReportStructureText(Context(*analysed, "v")),
              ReportStructureText(Context(*byHand, "v")))
        << expected.title;
  }
}

}  // namespace
}  // namespace vireon

#include "engine/control_analysis.h"
#include "engine/steady_state.h"
#include "engine/time_course.h"
#include "support/engine_fixture.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

// The model of RateRuleFeedback (q = [S] = 1 at the steady state): the
// report gives q its steady-state value, a row and column in the Jacobian
// and its eigenvalues, an elasticity and a block of concentration control
// coefficients.
TEST(ReportRulesTest, ARateRuleTargetIsReportedWithTheSteadyState) {
  const Model model = test::RateRuleFeedback();
  test::EngineRig rig(model);
  ASSERT_EQ(SteadyState(*rig.engine).outcome, SteadyStateOutcome::kFound);
  ControlAnalysis(*rig.engine);
  const ReportContext context{rig.model, rig.state, rig.settings, "version", "platform"};
  const std::string steady = ReportSteadyStateText(context);
  // The report writes three-digit exponents.
  EXPECT_NE(steady.find("q =  1.000000e+000"), std::string::npos) << steady;
  const std::string stability = ReportStabilityText(context);
  const std::size_t jacobian = stability.find("Jacobian matrix\n");
  const std::size_t eigenvalues = stability.find("\nEigenvalues of the Jacobian matrix\n");
  ASSERT_NE(jacobian, std::string::npos);
  ASSERT_NE(eigenvalues, std::string::npos);
  const std::string rows = stability.substr(jacobian, eigenvalues - jacobian);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3) << rows;  // the title and two rows
  EXPECT_NE(stability.find("-1.000000e+000 +1.000000e+000*i\n-1.000000e+000 -1.000000e+000*i"),
            std::string::npos)
      << stability;
  const std::string mca = ReportMcaText(context);
  EXPECT_NE(mca.find("e(R1,q) = 1.0000e+000  "), std::string::npos) << mca;
  EXPECT_NE(mca.find("\nq\nC(q,R1) = -5.0000e-001\nC(q,R2) =  5.0000e-001\n"), std::string::npos)
      << mca;
}

// Doses of 3 of A every 1.5 s (a global quantity holds the next dose's
// time) over 29 s: 19 doses at 1.5 k, of which the report lists the first
// ten and the last; an event that never fires says so.
TEST(ReportRulesTest, EventExecutionsListTheirTimesWithinABound) {
  Model model = test::BuildModel({{"R1", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "A", 1.0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  model.globalQuantities = {{"next", 1.5}};
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, next)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "A", {}}, "A + 3"},
                      {{RuleTargetKind::kGlobalQuantity, "next", {}}, "next + 1.5"}};
  Event never;
  never.name = "never";
  never.trigger = "gt(time, 100)";
  never.assignments = {{{RuleTargetKind::kMetabolite, "A", {}}, "0"}};
  model.events = {dose, never};
  TaskSettings settings;
  settings.endTime = 29.0;
  settings.points = 29;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/false);
  ASSERT_EQ(result.outcome, TimeCourseOutcome::kCompleted);
  const ReportContext context{rig.model, rig.state, rig.settings, "version", "platform"};
  EXPECT_EQ(ReportEventExecutionsText(context, result.eventExecutions),
            "\nEVENT EXECUTIONS\n"
            "dose: carried out 19 times\n"
            " at  1.500000e+000 s\n"
            " at  3.000000e+000 s\n"
            " at  4.500000e+000 s\n"
            " at  6.000000e+000 s\n"
            " at  7.500000e+000 s\n"
            " at  9.000000e+000 s\n"
            " at  1.050000e+001 s\n"
            " at  1.200000e+001 s\n"
            " at  1.350000e+001 s\n"
            " at  1.500000e+001 s\n"
            " ... 8 more ...\n"
            " at  2.850000e+001 s\n"
            "never: not carried out\n");
}

// The same model with a delay in its rate rule has the same steady state
// and control coefficients, since a delayed value is the value now there;
// the report says how the delay was read.
TEST(ReportRulesTest, ADelayIsReadAsTheValueNowAndTheReportSaysSo) {
  Model model = test::RateRuleFeedback();
  model.rules[1].expression = "1-q*delay(S, 2)";
  test::EngineRig rig(model);
  ASSERT_EQ(SteadyState(*rig.engine).outcome, SteadyStateOutcome::kFound);
  ControlAnalysis(*rig.engine);
  const ReportContext context{rig.model, rig.state, rig.settings, "version", "platform"};
  const std::string steady = ReportSteadyStateText(context);
  EXPECT_NE(steady.find("(each delay of the model reads its argument's value now; the "
                        "eigenvalues are those without the delays)\n"),
            std::string::npos)
      << steady;
  EXPECT_NE(steady.find("q =  1.000000e+000"), std::string::npos) << steady;
  const std::string mca = ReportMcaText(context);
  EXPECT_NE(mca.find("\nq\nC(q,R1) = -5.0000e-001\nC(q,R2) =  5.0000e-001\n"), std::string::npos)
      << mca;

  // Without a delay the line is not there.
  test::EngineRig plain(test::RateRuleFeedback());
  ASSERT_EQ(SteadyState(*plain.engine).outcome, SteadyStateOutcome::kFound);
  const ReportContext plainContext{plain.model, plain.state, plain.settings, "version", "platform"};
  EXPECT_EQ(ReportSteadyStateText(plainContext).find("each delay"), std::string::npos);
}

}  // namespace
}  // namespace vireon
