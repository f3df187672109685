// Whole runs through the headless entry point, checked byte for byte: the
// time-course and steady-state data files and the report (all but its date
// line) are compared with texts built here from the documented line formats,
// with the values of S -> X -> P taken from its closed forms (TwoStepChain
// of the reference catalogue).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "document/headless_run.h"
#include "document/model_file.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "model/messages.h"
#include "model/structural_analysis.h"
#include "output/number_format.h"
#include "output/output_function.h"
#include "output/output_item.h"
#include "output/report.h"
#include "run_test_support.h"
#include "scan/parameter_link.h"
#include "scan/scan_item.h"
#include "support/document_fixtures.h"
#include "support/kinetic_models.h"
#include "support/reference_models.h"
#include "support/model_builder.h"

namespace vireon::test {
namespace {

// The numbers a run cannot pin down beyond rounding (the residual rate left
// at a steady state, a flux control coefficient that is 0 in exact
// arithmetic) are masked in both texts when they are below this.
constexpr double kTinyValue = 1e-7;
// The longest date line the banner can hold: "Wednesday, 30 September 2025, 23:59".
constexpr std::size_t kLongestDateLine = 35;

// The values in force at one task iteration of S -> X -> P, with the
// chain's closed forms.
struct Point : TwoStepChain {
  double p = 0.0;  // [P]i, a fixed product that nothing reads
};

// How one data file lays out its columns.
struct Columns {
  int width;
  char separator;
  bool quotes;
};

// A titles line: each title cut to the width and padded with blanks to it,
// quoted when quotes are on, the separator between columns.
std::string TitlesLine(const std::vector<std::string>& titles, const Columns& c) {
  std::string line;
  for (std::size_t k = 0; k < titles.size(); ++k) {
    if (k > 0) line += c.separator;
    if (c.quotes) line += '"';
    const int pad = std::max(0, c.width - static_cast<int>(titles[k].size()));
    line += Format("%.*s%*s", c.width, titles[k].c_str(), pad, "");
    if (c.quotes) line += '"';
  }
  return line + "\n";
}

// A values line: "% -*.*le" with the width and width - 8 decimals.
std::string ValuesLine(const std::vector<double>& values, const Columns& c) {
  std::string line;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k == 0) {
      line += Format("% -*.*le", c.width, c.width - 8, values[k]);
    } else {
      line += Format("%c% -*.*le", c.separator, c.width, c.width - 8, values[k]);
    }
  }
  return line + "\n";
}

// Masks every number below kTinyValue that follows "rate = " or ") = ".
std::string MaskTiny(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    for (const char* key : {"rate = ", ") = "}) {
      const std::size_t at = line.find(key);
      if (at == std::string::npos) continue;
      const std::size_t number = at + std::string(key).size();
      char* stop = nullptr;
      const double value = std::strtod(line.c_str() + number, &stop);
      if (stop == line.c_str() + number || !(std::fabs(value) < kTinyValue)) continue;
      line.replace(number, static_cast<std::size_t>(stop - line.c_str()) - number, "<tiny>");
    }
    out += line;
    if (end < text.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

// The report with its date line replaced by a mark, after checking that the
// line is a date centred in the box.
std::string MaskDate(const std::string& report) {
  std::size_t start = 0;
  for (int line = 0; line < 3 && start != std::string::npos; ++line) {
    start = report.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return report;
  const std::size_t end = report.find('\n', start);
  const std::string line = report.substr(start, end - start);
  EXPECT_TRUE(std::regex_match(
      line, std::regex(R"(\* +[A-Z][a-z]+day, \d\d [A-Z][a-z]+ \d{4}, \d\d:\d\d +\*)")))
      << line;
  return report.substr(0, start) + "<date>" + report.substr(end);
}

// The banner, title and comments of a report whose file name is longer than
// every banner line, so that the box does not depend on the date.
std::string ExpectedHeader(const std::string& reportFile, const std::string& title,
                           const std::string& comments) {
  const std::string version = ReportVersionLine(messages::kVersion);
  const std::string platform = "Intel Pentium executable";
  const std::size_t w = reportFile.size();
  EXPECT_GT(w, kLongestDateLine);
  EXPECT_GT(w, version.size());
  auto centred = [w](const std::string& text) {
    const std::size_t left = (w - text.size()) / 2;
    return "* " + std::string(left, ' ') + text + std::string(w - text.size() - left, ' ') + " *\n";
  };
  std::string out = std::string(w + 4, '*') + "\n";
  out += centred(version);
  out += centred(platform);
  out += "<date>\n";
  out += std::string(w + 4, '*') + "\n\n";
  out += title + "\n";
  out += "\n" + comments + "\n";
  return out;
}

// S -> X -> P: X is the one independent metabolite, R1 and R2 the columns.
std::string ExpectedStructure() {
  return "\nSTRUCTURAL ANALYSIS\n"
         "\nkey for step (column) numbers:"
         "\n 0 - R1"
         "\n 1 - R2"
         "\n\nREDUCED STOICHIOMETRY MATRIX\n"
         "               0   1  \n"
         "           ----------\n"
         "X          |   1  -1 \n"
         "\nINVERSE OF THE REDUCTION MATRIX\n\n"
         "               0  \n"
         "           ------\n"
         "X          |   1 \n";
}

std::string ExpectedParameters(const Point& q) {
  std::string out = "\nKINETIC PARAMETERS\n";
  out += "R1 (Mass action (irreversible))\n";
  out += Format(" k = % .4le\n", q.k1);
  out += "R2 (Mass action (irreversible))\n";
  out += Format(" k = % .4le\n", q.k2);
  out += "\nCOMPARTMENTS\n";
  out += "V(compartment) =  1.0000e+000\n";
  return out;
}

std::string ExpectedTimeCourse(const Point& q, double endTime) {
  const double x = q.X(endTime);
  std::string out = Format("\nRESULTS OF INTEGRATION (after %.2le s)\n", endTime);
  out += Format("[         S] initial = % .6le mM, final = % .6le mM\n", q.s, q.s);
  out += Format("[         X] initial = % .6le mM, final = % .6le mM\n", 0.0, x);
  out += Format("[         P] initial = % .6le mM, final = % .6le mM\n", q.p, q.p);
  out += Format("J(        R1) = % .6le mM/s\n", q.k1 * q.s);
  out += Format("J(        R2) = % .6le mM/s\n", q.k2 * x);
  return out;
}

std::string ExpectedSteadyState(const Point& q) {
  const double flux = q.k1 * q.s;
  std::string out = "\nSTEADY STATE SOLUTION\n";
  out += Format("[         S] = % .6le mM, tt = % .6le s, rate = % .3le mM/s\n", q.s, 0.0, 0.0);
  // The transition time of X is [X] over the flux that makes it: 1 / k2.
  out += Format("[         X] = % .6le mM, tt = % .6le s, rate = % .3le mM/s\n", q.SteadyX(),
                1.0 / q.k2, 0.0);
  out += Format("[         P] = % .6le mM, tt = % .6le s, rate = % .3le mM/s\n", q.p, 0.0, 0.0);
  out += Format("J(R1) = % .6le mM/s\n", flux);
  out += Format("J(R2) = % .6le mM/s\n", flux);
  return out;
}

// One real eigenvalue, -k2.
std::string ExpectedStability(const Point& q) {
  std::string out = "\nKINETIC STABILITY ANALYSIS\n\n";
  out += "Summary:\n This steady state is asymptotically stable.\n";
  out += Format("\nEigenvalue statistics:\n Largest real part: %+.6le\n", -q.k2);
  out += " Largest absolute imaginary part:  0.000000e+000\n";
  out += " 1 are purely real\n 0 are purely imaginary\n";
  out += " 0 are complex\n 0 are equal to zero\n";
  out += " 0 have positive real part\n 1 have negative real part\n";
  out += Format("\nJacobian matrix\n% .6le \n", -q.k2);
  out += Format("\nEigenvalues of the Jacobian matrix\n% .6le\n", -q.k2);
  return out;
}

// Scaled analysis: the elasticity towards the fixed S stays unscaled (k1);
// [X] follows R1 and R2 with +1 and -1; both fluxes follow R1 alone.
std::string ExpectedMca(const Point& q) {
  std::string out = "\nMETABOLIC CONTROL ANALYSIS\n";
  out += "\nELASTICITIES\n";
  out += Format("e(R1,[S]) =% .4le  \n", q.k1);
  out += Format("e(R2,[X]) =% .4le  \n", 1.0);
  out += "\nCONCENTRATION CONTROL COEFFICIENTS\n";
  out += "\nX\n";
  out += Format("C([X],R1) = % 6.4le\n", 1.0);
  out += Format("C([X],R2) = % 6.4le\n", -1.0);
  out += "\nFLUX CONTROL COEFFICIENTS\n";
  out += "\nR1\n";
  out += Format("C(J(R1),R1) = % 6.4le\n", 1.0);
  out += Format("C(J(R1),R2) = % 6.4le\n", 0.0);
  out += "\nR2\n";
  out += Format("C(J(R2),R1) = % 6.4le\n", 1.0);
  out += Format("C(J(R2),R2) = % 6.4le\n", 0.0);
  out += "\n";
  return out;
}

// The sections one task iteration adds to the report with every flag on.
std::string ExpectedIteration(const Point& q, double endTime) {
  return ExpectedParameters(q) + ExpectedTimeCourse(q, endTime) + ExpectedSteadyState(q) +
         ExpectedStability(q) + ExpectedMca(q);
}

const Columns kDynColumns{14, '\t', true};
const Columns kSsColumns{12, ',', false};

class RunControlEndToEndTest : public ::testing::Test {
 protected:
  // S -> X -> P (k1 = 2, k2 = 0.5, [S] = 1) with both tasks, both files and
  // every report section on, tight tolerances, and an output function
  // twiceX = 2 [X] in both files.
  Document ChainDocument() {
    Document d = MakeDocument(kTwoStepChain.Build(), folder_);
    d.model.title = "Two-step chain";
    d.model.comments = "first line\r\nsecond line";
    TaskSettings& s = d.settings;
    s.dynamics = 1;
    s.steadyState = 1;
    s.report = 1;
    s.reportStructuralAnalysis = 1;
    s.reportStabilityAnalysis = 1;
    s.reportMca = 1;
    s.reportComments = 1;
    s.mcaUnscaled = 0;
    s.timeUnit = "s";
    s.concentrationUnit = "mM";
    s.endTime = 2.0;
    s.points = 4;
    s.solver.relativeTolerance = 1e-12;
    s.solver.absoluteTolerance = 1e-14;
    s.dynamicsData.file = "run.dyn";
    s.steadyStateData.file = "run.ss";
    s.dynamicsData.titles = 1;
    s.dynamicsData.quotes = 1;
    s.dynamicsData.columnWidth = kDynColumns.width;
    s.dynamicsData.separator = kDynColumns.separator;
    s.steadyStateData.titles = 1;
    s.steadyStateData.quotes = 0;
    s.steadyStateData.columnWidth = kSsColumns.width;
    s.steadyStateData.separator = kSsColumns.separator;

    OutputFunction twice("twiceX", "2*a");
    EXPECT_EQ(twice.Parse(), 0);
    twice.items().at(0) = MakeOutputItem(kTransientConcentration, "X");
    d.functions = {twice};

    d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X"),
                               MakeOutputItem(kTransientFlux, "R2"),
                               MakeOutputItem(kUserFunction, "twiceX")};
    d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                                MakeOutputItem(kSteadyStateFlux, "R1"),
                                MakeOutputItem(kKineticConstant, "R1", "k"),
                                MakeOutputItem(kKineticConstant, "R2", "k"),
                                MakeOutputItem(kInitialConcentration, "P"),
                                MakeOutputItem(kUserFunction, "twiceX"),
                                MakeOutputItem(kMaxRealPart),
                                MakeOutputItem(kNegativeRealCount)};
    return d;
  }

  static std::string DynTitles() {
    return TitlesLine({"time", "[X]t", "J(R2)", "twiceX"}, kDynColumns);
  }
  static std::string SsTitles() {
    return TitlesLine({"[X]ss", "J(R1)", "R1(k)", "R2(k)", "[P]i", "twiceX",
                       "Max.real eigenvalue component", "Tot.w/neg.real part"},
                      kSsColumns);
  }

  // The rows of one time course: time 0 and every output point.
  static std::string DynRows(const Point& q, double endTime, int points) {
    std::string out;
    for (int k = 0; k <= points; ++k) {
      const double t = endTime / points * k;
      const double x = q.X(t);
      out += ValuesLine({t, x, q.k2 * x, 2.0 * x}, kDynColumns);
    }
    return out;
  }

  static std::string SsRow(const Point& q) {
    const double x = q.SteadyX();
    return ValuesLine({x, q.k1 * q.s, q.k1, q.k2, q.p, 2.0 * x, -q.k2, 1.0}, kSsColumns);
  }

  std::string Report() const { return ReadText(folder_.path() / "model.txt"); }
  std::string Dyn() const { return ReadText(folder_.path() / "run.dyn"); }
  std::string Ss() const { return ReadText(folder_.path() / "run.ss"); }

  void ExpectReport(const Document& d, const std::string& iterations) {
    const std::string expected =
        ExpectedHeader(d.settings.reportFile, "Two-step chain", "first line\nsecond line") +
        ExpectedStructure() + iterations;
    EXPECT_EQ(MaskTiny(MaskDate(Report())), MaskTiny(expected));
  }

  TemporaryFolder folder_;
  RandomGenerator random_{4242u};
  RecordingSink sink_;
};

TEST_F(RunControlEndToEndTest, OneIterationWritesEveryFileInFull) {
  Document d = ChainDocument();
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_EQ(result.iterations, 1);

  const Point q;
  EXPECT_EQ(Dyn(), DynTitles() + DynRows(q, 2.0, 4));
  EXPECT_EQ(Ss(), SsTitles() + SsRow(q));
  ExpectReport(d, ExpectedIteration(q, 2.0));
}

// An initial assignment onto R1's k (k = 2 q with q = 1.5) runs the chain
// with k1 = 3: the data files are that chain's closed form, the report's
// parameters are the values the run starts from, and the model keeps its
// own k = 2 after the run.
TEST_F(RunControlEndToEndTest, AnInitialAssignmentRunsTheChainFromTheValueItGives) {
  Document d = ChainDocument();
  d.model.globalQuantities = {{"q", 1.5}};
  d.model.rules = {Rule{RuleKind::kInitialAssignment,
                        RuleTarget{RuleTargetKind::kKineticConstant, "R1", "k"}, "2*q"}};
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  Point q;
  q.k1 = 3.0;
  EXPECT_EQ(Dyn(), DynTitles() + DynRows(q, 2.0, 4));
  EXPECT_EQ(Ss(), SsTitles() + SsRow(q));
  const std::string report = Report();
  const std::size_t parameters = report.find("\nKINETIC PARAMETERS\nR1 (");
  ASSERT_NE(parameters, std::string::npos) << report;
  const std::size_t r1 = report.find(" k = ", parameters);
  EXPECT_EQ(report.substr(r1, 18), " k =  3.0000e+000\n") << report;
  EXPECT_EQ(d.model.steps[d.model.FindStep("R1")].constants[0], 2.0);
}

// A dose of X at 0.75 s, between the points 0.5 and 1: the report lists
// it after the results of integration, and the steady state says that it
// ignores it; with rows at events the data file has the points' rows and,
// at 0.75 s, a row before the dose and one after it, X up by 1.
TEST_F(RunControlEndToEndTest, AnEventsExecutionIsReportedAndGetsItsRowsOnRequest) {
  Document d = ChainDocument();
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, 0.75)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "X", {}}, "X + 1"}};
  d.model.events = {dose};
  d.settings.eventRows = 1;
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  const std::string report = Report();
  const std::size_t integration = report.find("\nRESULTS OF INTEGRATION");
  const std::size_t executions =
      report.find("\nEVENT EXECUTIONS\ndose: carried out 1 time\n at  7.500000e-001 s\n");
  const std::size_t steady = report.find("\nSTEADY STATE SOLUTION\n(the events of the model");
  ASSERT_NE(integration, std::string::npos) << report;
  ASSERT_NE(executions, std::string::npos) << report;
  ASSERT_NE(steady, std::string::npos) << report;
  EXPECT_LT(integration, executions);
  EXPECT_LT(executions, steady);

  std::vector<std::vector<double>> rows;
  std::istringstream lines(Dyn());
  std::string line;
  std::getline(lines, line);  // the titles
  while (std::getline(lines, line)) rows.push_back(ParseRow(line));
  ASSERT_EQ(rows.size(), 5u + 2u);
  EXPECT_EQ(rows[2][0], 0.75);
  EXPECT_EQ(rows[3][0], 0.75);
  EXPECT_NEAR(rows[3][1] - rows[2][1], 1.0, 1e-9);
  EXPECT_EQ(rows[4][0], 1.0);
}

// The scan of the two-level tests: R1's k (1, 3) is the inner loop; [S]i
// (1, 2) the outer one, with R2's k (0.5, 2) following it; a link keeps
// [P]i at 10 [S]i.
void AddTwoLevelScan(Document& d) {
  ScanItem k1(MakeOutputItem(kKineticConstant, "R1", "k"));
  k1.min = 1.0;
  k1.max = 3.0;
  k1.density = 2;
  ScanItem s(MakeOutputItem(kInitialConcentration, "S"));
  s.min = 1.0;
  s.max = 2.0;
  s.density = 2;
  ScanItem k2(MakeOutputItem(kKineticConstant, "R2", "k"));
  k2.min = 0.5;
  k2.max = 2.0;
  k2.independent = 0;
  d.scan.enabled = 1;
  d.scan.items = {k1, s, k2};
  ParameterLink link;
  link.target = MakeOutputItem(kInitialConcentration, "P");
  link.source = MakeOutputItem(kInitialConcentration, "S");
  link.constant = 10.0;
  d.links = {link};
}

// The points of that scan in the order they run, item 0 fastest.
std::vector<Point> TwoLevelPoints() {
  std::vector<Point> points;
  for (const auto& [s, k2] : {std::pair{1.0, 0.5}, std::pair{2.0, 2.0}}) {
    for (double k1 : {1.0, 3.0}) points.push_back(Point{{k1, s, k2}, 10.0 * s});
  }
  return points;
}

void ExpectModelAsBefore(const Document& d) {
  const Model& m = d.model;
  EXPECT_EQ(m.steps[m.FindStep("R1")].constants[0], 2.0);
  EXPECT_EQ(m.steps[m.FindStep("R2")].constants[0], 0.5);
  EXPECT_EQ(m.metabolites[m.FindMetabolite("S")].initialConcentration, 1.0);
  EXPECT_EQ(m.metabolites[m.FindMetabolite("P")].initialConcentration, 0.0);
}

TEST_F(RunControlEndToEndTest, TwoLevelGridScanWritesBlocksPerOuterPoint) {
  Document d = ChainDocument();
  d.settings.points = 2;
  AddTwoLevelScan(d);

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_EQ(result.iterations, 4);

  const std::vector<Point> points = TwoLevelPoints();
  // One titles line per run; a blank line after each point of the outer
  // loop, in both files since the outer loop is not the first item.
  std::string dyn = DynTitles();
  std::string ss = SsTitles();
  std::string report;
  for (std::size_t k = 0; k < points.size(); ++k) {
    dyn += DynRows(points[k], 2.0, 2);
    ss += SsRow(points[k]);
    report += ExpectedIteration(points[k], 2.0);
    if (k % 2 == 1) {
      dyn += "\n";
      ss += "\n";
    }
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(), ss);
  ExpectReport(d, report);
  ExpectModelAsBefore(d);
}

// An outer loop of random draws separates its blocks with two blank lines.
// Its values are the scan's draws from the program's generator: one for
// point 0 before the loop, then a fresh one after every point.
TEST_F(RunControlEndToEndTest, RandomOuterLoopSeparatesBlocksWithTwoBlankLines) {
  Document d = ChainDocument();
  d.settings.points = 2;
  d.settings.report = 0;
  ScanItem k1(MakeOutputItem(kKineticConstant, "R1", "k"));
  k1.min = 1.0;
  k1.max = 3.0;
  k1.density = 2;
  ScanItem p(MakeOutputItem(kInitialConcentration, "P"));
  p.min = 5.0;
  p.max = 10.0;
  p.density = 2;
  p.grid = kScanUniform;
  d.scan.enabled = 1;
  d.scan.items = {k1, p};

  RandomGenerator replay(4242u);
  const double p0 = 5.0 + 5.0 * replay.Uniform();
  const double p1 = 5.0 + 5.0 * replay.Uniform();
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");

  std::string dyn = DynTitles();
  std::string ss = SsTitles();
  for (double pValue : {p0, p1}) {
    for (double k1Value : {1.0, 3.0}) {
      const Point q{{k1Value, 1.0, 0.5}, pValue};
      dyn += DynRows(q, 2.0, 2);
      ss += SsRow(q);
    }
    dyn += "\n\n";
    ss += "\n\n";
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(), ss);
  ExpectModelAsBefore(d);
}

// With a single loop the steady-state file stays a plain table, while the
// time-course file still gets a separator after every time course.
TEST_F(RunControlEndToEndTest, SingleLoopSeparatesOnlyTheTimeCourses) {
  Document d = ChainDocument();
  d.settings.points = 2;
  d.settings.report = 0;
  ScanItem k1(MakeOutputItem(kKineticConstant, "R1", "k"));
  k1.min = 1.0;
  k1.max = 3.0;
  k1.density = 3;
  d.scan.enabled = 1;
  d.scan.items = {k1};

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");

  std::string dyn = DynTitles();
  std::string ss = SsTitles();
  for (double k1Value : {1.0, 2.0, 3.0}) {
    const Point q{{k1Value, 1.0, 0.5}, 0.0};
    dyn += DynRows(q, 2.0, 2) + "\n";
    ss += SsRow(q);
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(), ss);
}

// S -> X alone has no steady state: every iteration still writes its row
// (concentrations -1, fluxes 0) and the report's two failure sentences.
TEST_F(RunControlEndToEndTest, AFailedSteadyStateStillWritesItsRowAndSentences) {
  Model model = BuildModel({{"R1", "S -> X"}}, {"S"});
  UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  SetInitial(model, "S", 1.0);
  SetInitial(model, "X", 0.0);
  StructuralAnalysis(model);
  Document d = MakeDocument(std::move(model), folder_);
  d.model.title = "No steady state";
  d.settings.steadyState = 1;
  d.settings.report = 1;
  d.settings.reportComments = 0;
  d.settings.reportStabilityAnalysis = 1;
  d.settings.reportMca = 1;
  d.settings.steadyStateData.file = "run.ss";
  d.settings.steadyStateData.titles = 0;
  d.settings.steadyStateData.columnWidth = kSsColumns.width;
  d.settings.steadyStateData.separator = kSsColumns.separator;
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                              MakeOutputItem(kSteadyStateFlux, "R1"),
                              MakeOutputItem(kKineticConstant, "R1", "k")};
  ScanItem k(MakeOutputItem(kKineticConstant, "R1", "k"));
  k.min = 1.0;
  k.max = 2.0;
  k.density = 2;
  d.scan.enabled = 1;
  d.scan.items = {k};

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_EQ(result.iterations, 2);

  EXPECT_EQ(Ss(),
            ValuesLine({-1.0, 0.0, 1.0}, kSsColumns) + ValuesLine({-1.0, 0.0, 2.0}, kSsColumns));
  const std::string reportFile = d.settings.reportFile;
  std::string expected = ExpectedHeader(reportFile, "No steady state", "");
  // The comments are off: the header ends with the title.
  expected = expected.substr(0, expected.size() - 2);
  for (double kValue : {1.0, 2.0}) {
    expected += "\nKINETIC PARAMETERS\nR1 (Mass action (irreversible))\n";
    expected += Format(" k = % .4le\n", kValue);
    expected += "\nCOMPARTMENTS\nV(compartment) =  1.0000e+000\n";
    expected += "\nA steady state could not be found.\n";
    expected +=
        "\nThe linear stability analysis based on the eigenvalues\nof the Jacobian matrix is only "
        "valid for steady states.\n";
  }
  EXPECT_EQ(MaskDate(Report()), expected);
}

// A stop during a scan: the files keep what was written up to the stop,
// with no separator after the unfinished point, and every scanned and linked
// quantity gets its value from before the run back.
TEST_F(RunControlEndToEndTest, AStopDuringAScanKeepsTheFilesAndRestoresTheModel) {
  Document d = ChainDocument();
  d.settings.points = 2;
  AddTwoLevelScan(d);
  d.selections.interactive = {MakeOutputItem(kTransientConcentration, "X")};
  d.settings.sleepTime = 0;

  QueueObserver observer;
  RunController controller(d, random_);
  controller.SetObserver(&observer);
  ASSERT_TRUE(controller.StartRun(sink_));
  // Points shown: 3 of the first time course, then time 0 and time 1 of the
  // second, after which the run is asked to stop.
  int shown = 0;
  for (bool done = false; !done;) {
    const Notification next = observer.Next();
    switch (next.note) {
      case Note::kRunStarting:
      case Note::kScanProgress:
        controller.Acknowledge();
        break;
      case Note::kPointReady:
        if (++shown == 5) controller.Stop();
        controller.Acknowledge();
        break;
      default:
        done = next.note == Note::kRunFinished || next.note == Note::kRunStopped;
        break;
    }
  }
  controller.Wait();
  ASSERT_EQ(controller.outcome(), RunOutcome::kStopped);
  EXPECT_EQ(d.engine.iteration, 1);

  const std::vector<Point> points = TwoLevelPoints();
  const std::string second = DynRows(points[1], 2.0, 2);
  const std::size_t twoRows = second.find('\n', second.find('\n') + 1) + 1;
  EXPECT_EQ(Dyn(), DynTitles() + DynRows(points[0], 2.0, 2) + second.substr(0, twoRows));
  EXPECT_EQ(Ss(), SsTitles() + SsRow(points[0]));
  ExpectReport(d, ExpectedIteration(points[0], 2.0) + ExpectedParameters(points[1]));
  ExpectModelAsBefore(d);
  EXPECT_EQ(d.engine.errorLog, "");
}

// The file a run starts from carries everything the run writes: the same
// document saved and read back writes the same data files and report.
TEST_F(RunControlEndToEndTest, AModelReadBackFromItsFileRunsTheSame) {
  Document original = ChainDocument();
  original.settings.points = 2;
  AddTwoLevelScan(original);
  KineticCatalogue catalogue;
  FillCatalogue(catalogue, /*withUserTypes=*/false);
  const std::string path = folder_.folder() + "model.vrn";
  ASSERT_TRUE(WriteModelFile(original, path, catalogue, sink_));

  Document d;
  DefaultValues defaults;
  defaults.reportComments = 1;
  ASSERT_TRUE(ReadModelFile(d, path, catalogue, defaults, sink_));
  EXPECT_TRUE(sink_.messages().empty());
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");

  std::string dyn = DynTitles();
  std::string ss = SsTitles();
  std::string report;
  const std::vector<Point> points = TwoLevelPoints();
  for (std::size_t k = 0; k < points.size(); ++k) {
    dyn += DynRows(points[k], 2.0, 2);
    ss += SsRow(points[k]);
    report += ExpectedIteration(points[k], 2.0);
    if (k % 2 == 1) {
      dyn += "\n";
      ss += "\n";
    }
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(), ss);
  ExpectReport(d, report);
  DestroyKineticCatalogue(catalogue);
}

// E + S = ES, ES -> E + P with [S] = 0.5: with T = [E] + [ES],
// [ES](t) = 5T/8 (1 - exp(-8t)) from [ES] = 0, and the steady state is
// [E] = 3T/8, [ES] = 5T/8, J(Cat) = 5T/4. A link sets [E]i = 4 [S]i = 2
// before the iteration: the conservation total is taken again after it, so
// the whole run follows T = 2.
TEST_F(RunControlEndToEndTest, ALinkOntoAnInitialConcentrationCountsInTheConservationTotal) {
  Document d = MakeDocument(EnzymeWithMoiety(), folder_);
  ASSERT_EQ(d.model.nMoieties(), 1);
  const std::string relation = d.model.moieties[0].name;
  TaskSettings& s = d.settings;
  s.dynamics = 1;
  s.steadyState = 1;
  s.endTime = 1.0;
  s.points = 4;
  s.solver.relativeTolerance = 1e-12;
  s.solver.absoluteTolerance = 1e-14;
  s.dynamicsData.file = "run.dyn";
  s.steadyStateData.file = "run.ss";
  s.dynamicsData.columnWidth = s.steadyStateData.columnWidth = 14;
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "ES"),
                             MakeOutputItem(kTransientConcentration, "E")};
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "E"),
                              MakeOutputItem(kSteadyStateConcentration, "ES"),
                              MakeOutputItem(kSteadyStateFlux, "Cat"),
                              MakeOutputItem(kMoietyTotal, relation)};
  ParameterLink link;
  link.target = MakeOutputItem(kInitialConcentration, "E");
  link.source = MakeOutputItem(kInitialConcentration, "S");
  link.constant = 4.0;
  d.links = {link};

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");

  const double total = 2.0;
  const Columns columns{14, ' ', false};
  std::string dyn;
  for (int k = 0; k <= 4; ++k) {
    const double t = 0.25 * k;
    const double es = 5.0 * total / 8.0 * (1.0 - std::exp(-8.0 * t));
    dyn += ValuesLine({t, es, total - es}, columns);
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(),
            ValuesLine({3.0 * total / 8.0, 5.0 * total / 8.0, 5.0 * total / 4.0, total}, columns));
  EXPECT_EQ(d.model.metabolites[d.model.FindMetabolite("E")].initialConcentration, 1.0);
}

// The output functions are evaluated at the row of time 0, at every output
// point and after every steady state, and the scan draws from the same
// generator: a function rand(1) shows the generator's numbers in the order
// the run asks for them.
TEST_F(RunControlEndToEndTest, OutputFunctionsAreEvaluatedAtEveryPointAndAfterEachSteadyState) {
  Document d = ChainDocument();
  d.settings.points = 2;
  d.settings.report = 0;
  OutputFunction noise("noise", "rand(1)");
  ASSERT_EQ(noise.Parse(), 0);
  d.functions = {noise};
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kUserFunction, "noise")};
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                              MakeOutputItem(kUserFunction, "noise")};
  ScanItem p(MakeOutputItem(kInitialConcentration, "P"));
  p.min = 0.0;
  p.max = 1.0;
  p.density = 2;
  p.grid = kScanUniform;
  d.scan.enabled = 1;
  d.scan.items = {p};

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");

  RandomGenerator replay(4242u);
  std::string dyn = TitlesLine({"time", "noise"}, kDynColumns);
  std::string ss = TitlesLine({"[X]ss", "noise"}, kSsColumns);
  replay.Uniform();  // [P]i of the first point
  for (int point = 0; point < 2; ++point) {
    for (double t : {0.0, 1.0, 2.0}) dyn += ValuesLine({t, replay.Uniform()}, kDynColumns);
    ss += ValuesLine({4.0, replay.Uniform()}, kSsColumns);
    replay.Uniform();  // [P]i of the next point
    dyn += "\n\n";
  }
  EXPECT_EQ(Dyn(), dyn);
  EXPECT_EQ(Ss(), ss);
}

// Zero tolerances are illegal input: the integrator's first real call (the
// initialising call with tout = t does nothing) returns -3, which ends the
// time course after its row of time 0 with its text in the error log; the
// report's time-course section (the state of time 0) and the steady state of
// the iteration still follow.
TEST_F(RunControlEndToEndTest, AnIntegratorErrorLeavesTheRowOfTimeZeroAndItsText) {
  Document d = ChainDocument();
  d.settings.solver.relativeTolerance = 0.0;
  d.settings.solver.absoluteTolerance = 0.0;
  CountingObserver observer;
  HeadlessRunOptions options;
  options.observer = &observer;

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_, options);

  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog.rfind(
                "Integration routine (LSODA) returned error -3.\r\n  aborting this iteration.\r\n"
                "  The integrator refused its settings (relative 0, absolute 0)",
                0),
            0u);
  EXPECT_EQ(observer.integratorErrors, 1);
  const Point q;
  EXPECT_EQ(Dyn(), DynTitles() + ValuesLine({0.0, 0.0, 0.0, 0.0}, kDynColumns));
  EXPECT_EQ(Ss(), SsTitles() + SsRow(q));
  // The section shows the state of time 0: [X] = 0, so R2 carries no flux.
  std::string timeCourse = ExpectedTimeCourse(q, 2.0);
  const std::size_t x = timeCourse.find("[         X]");
  timeCourse.replace(x, timeCourse.find('\n', x) + 1 - x,
                     Format("[         X] initial = % .6le mM, final = % .6le mM\n", 0.0, 0.0));
  const std::size_t j2 = timeCourse.find("J(        R2)");
  timeCourse.replace(j2, std::string::npos, Format("J(        R2) = % .6le mM/s\n", 0.0));
  ExpectReport(d, ExpectedParameters(q) + timeCourse + ExpectedSteadyState(q) +
                      ExpectedStability(q) + ExpectedMca(q));
}

}  // namespace
}  // namespace vireon::test
