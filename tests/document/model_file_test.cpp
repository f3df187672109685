#include "document/model_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_function.h"
#include "model/file_access.h"
#include "model/messages.h"
#include "model/record_cursor.h"
#include "output/number_format.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"
#include "support/files.h"
#include "support/hostile_files.h"

namespace vireon {
namespace {

using test::FillCatalogue;
using test::JoinLines;
using test::MakeRichDocument;
using test::MakeSmallDocument;
using test::ReadText;
using test::SplitLines;

// ------------------------------------------------------------ text helpers

// The 1-based number of the occurrence-th line that starts with `prefix`.
int LineOf(const std::string& text, const std::string& prefix, int occurrence = 0) {
  const std::vector<std::string> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0 && occurrence-- == 0) return static_cast<int>(i) + 1;
  }
  ADD_FAILURE() << "no line " << prefix;
  return 0;
}

// The text with that line replaced.
std::string WithLine(const std::string& text, const std::string& prefix, const std::string& line,
                     int occurrence = 0) {
  std::vector<std::string> lines = SplitLines(text);
  const int n = LineOf(text, prefix, occurrence);
  if (n > 0) lines[static_cast<std::size_t>(n - 1)] = line;
  return JoinLines(lines);
}

std::string ErrorInLine(int line) {
  return "Error in line " + std::to_string(line);
}

struct Loaded {
  int line = 0;
  RecordingSink sink;
  Document document;
};

Loaded Parse(const std::string& text, KineticCatalogue& catalogue,
             const DefaultValues& defaults = DefaultValues()) {
  Loaded loaded;
  NewDocument(loaded.document, defaults);
  loaded.line = ParseModelBuffer(loaded.document, text, catalogue, defaults, loaded.sink);
  return loaded;
}

class ModelFile : public ::testing::Test {
 protected:
  void SetUp() override { FillCatalogue(catalogue_); }
  std::string SmallText() { return ModelFileText(MakeSmallDocument(catalogue_), catalogue_); }
  std::string RichText() { return ModelFileText(MakeRichDocument(catalogue_), catalogue_); }

  KineticCatalogue catalogue_;
};

// ------------------------------------------------------------ round trips

void ExpectSameDocument(const Document& read, const Document& written) {
  EXPECT_EQ(read.model, written.model);
  EXPECT_EQ(read.settings, written.settings);
  EXPECT_EQ(read.plot, written.plot);
  EXPECT_EQ(read.selections, written.selections);
  EXPECT_EQ(read.functions, written.functions);
  EXPECT_EQ(read.scan, written.scan);
  EXPECT_EQ(read.links, written.links);
}

TEST_F(ModelFile, EveryRecordKindReadsBackToTheSameDocument) {
  const Document written = MakeRichDocument(catalogue_);
  const std::string text = ModelFileText(written, catalogue_);
  const int typesBefore = catalogue_.size();
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0) << ::testing::PrintToString(loaded.sink.Texts());
  EXPECT_TRUE(loaded.sink.messages().empty());
  EXPECT_EQ(catalogue_.size(), typesBefore);  // the file's copies matched the catalogue's
  ExpectSameDocument(loaded.document, written);
  EXPECT_EQ(loaded.document.model.comments,
            "First line\r\nSecond line = with an equals sign\r\n\r\nAfter a blank line");
  EXPECT_EQ(ModelFileText(loaded.document, catalogue_), text);
}

TEST_F(ModelFile, AnotherInstallationLearnsTheUserDefinedTypesFromTheFile) {
  const std::string text = RichText();
  KineticCatalogue elsewhere;
  FillCatalogue(elsewhere, false);
  Loaded loaded = Parse(text, elsewhere);
  ASSERT_EQ(loaded.line, 0) << ::testing::PrintToString(loaded.sink.Texts());
  const KineticType* mm = elsewhere.Find(test::kUserMichaelisMenten);
  const KineticType* inhibited = elsewhere.Find(test::kUserInhibited);
  ASSERT_NE(mm, nullptr);
  ASSERT_NE(inhibited, nullptr);
  EXPECT_EQ(elsewhere.UserDefinedCount(), 2);
  EXPECT_EQ(mm->function->description(), "V*S/(Km+S)");
  EXPECT_EQ(inhibited->modifierNames, (std::vector<std::string>{"I"}));
  EXPECT_EQ(loaded.document.model.steps[2].kineticType, mm);
  EXPECT_EQ(loaded.document.model.steps[3].kineticType, inhibited);
  EXPECT_EQ(ModelFileText(loaded.document, elsewhere), text);
}

TEST_F(ModelFile, SmallModelIsWrittenExactlyAsTheGoldenFile) {
  const std::string golden = ReadText(VIREON_TEST_DATA_DIR "/small_model.vrn");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(SmallText(), golden);
  Loaded loaded = Parse(golden, catalogue_);
  EXPECT_EQ(loaded.line, 0);
  ExpectSameDocument(loaded.document, MakeSmallDocument(catalogue_));
}

TEST_F(ModelFile, FirstLineIsTheVersion) {
  EXPECT_EQ(SplitLines(SmallText())[0], "Version=3.00301");
}

TEST_F(ModelFile, RealsThatTheirFormatWouldRoundAreWrittenInFull) {
  const std::string text = RichText();
  // Values the formats keep are written in them.
  EXPECT_EQ(SplitLines(text)[LineOf(text, "SSResoltion=") - 1], "SSResoltion=2.500000e-11");
  EXPECT_NE(text.find("\nConcentration=0.3333333333333333\n"), std::string::npos);
  // Values they would change are not.
  EXPECT_EQ(SplitLines(text)[LineOf(text, "EndTime=") - 1], "EndTime=1.2345678900000000e+02");
  EXPECT_NE(text.find("\nConcentration=9.9999999999999995e-21\n"), std::string::npos);
  EXPECT_NE(text.find("\nParam0=1.0000000000000000e-300\n"), std::string::npos);
}

TEST_F(ModelFile, StoichiometryRowsHaveSixDecimalsAndATrailingBlank) {
  const std::vector<std::string> lines = SplitLines(RichText());
  const int header = LineOf(RichText(), "Stoichiometry");
  EXPECT_EQ(lines[static_cast<std::size_t>(header)],
            "-1.000000 0.000000 0.000000 0.000000 0.000000 ");
  EXPECT_EQ(lines[static_cast<std::size_t>(header + 1)],
            "1.000000 -1.000000 0.000000 0.000000 -2.000000 ");
}

TEST_F(ModelFile, ModelWithoutStepsWritesBareRowsAndEmptyComments) {
  Document d;
  NewDocument(d, DefaultValues());
  d.model.Reset(0, 2, 0, 1, 1, "No steps");
  d.model.metabolites[0].name = "A";
  d.model.metabolites[1].name = "B";
  d.model.moieties[0] = Metabolite("T", MOIETY, 0, -5.0);
  const std::string text = ModelFileText(d, catalogue_);
  EXPECT_NE(text.find("Stoichiometry\n\n\nTotalUDKinetics=0\n"), std::string::npos);
  EXPECT_NE(text.find("Comments\n\nEndComments\n"), std::string::npos);
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.document.model.comments, "");
  // Without steps the moiety records stay as read, a negative total included.
  ASSERT_EQ(loaded.document.model.nMoieties(), 1);
  EXPECT_EQ(loaded.document.model.moieties[0].initialConcentration, -5.0);
  EXPECT_TRUE(loaded.sink.messages().empty());
}

TEST_F(ModelFile, LineBreaksInOneLineValuesBecomeBlanks) {
  Document d = MakeSmallDocument(catalogue_);
  d.model.title = "two\nlines\r";
  d.settings.timeUnit = "m\ns";
  const std::string text = ModelFileText(d, catalogue_);
  EXPECT_NE(text.find("\nTitle=two lines \n"), std::string::npos);
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.document.model.title, "two lines ");
  EXPECT_EQ(loaded.document.settings.timeUnit, "m s");
}

TEST_F(ModelFile, StalePlotEntriesAreWrittenAndReadAsHeld) {
  Document d = MakeRichDocument(catalogue_);
  d.plot.plotXEntry = 40;
  d.plot.plotY = {1, 99};
  const std::string text = ModelFileText(d, catalogue_);
  EXPECT_NE(text.find("\nPlotXEntry=40\n"), std::string::npos);
  EXPECT_NE(text.find("\nPlotY0=1\nPlotY1=99\n"), std::string::npos);
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.messages().empty());
  EXPECT_EQ(loaded.document.plot, d.plot);
}

// ------------------------------------------------------------ settings lines

TEST_F(ModelFile, FirstLineThatIsNoVersionFailsAtLineOne) {
  Loaded loaded = Parse(WithLine(SmallText(), "Version=", "Title=Small"), catalogue_);
  EXPECT_EQ(loaded.line, 1);
  EXPECT_EQ(
      loaded.sink.Texts(),
      (std::vector<std::string>{"Failed to read one or more fields at line 1", ErrorInLine(1)}));
  EXPECT_EQ(loaded.sink.messages()[0].title, messages::kFileErrorTitle);
}

TEST_F(ModelFile, NewerVersionWarnsOnceAndReadsOn) {
  Loaded loaded = Parse(WithLine(SmallText(), "Version=", "Version=3.10000"), catalogue_);
  EXPECT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(), std::vector<std::string>{messages::kNewerVersion});
  EXPECT_EQ(loaded.sink.messages()[0].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(loaded.document.model.title, "Small");
  EXPECT_TRUE(
      Parse(WithLine(SmallText(), "Version=", "Version=2.5"), catalogue_).sink.messages().empty());
}

struct SettingCase {
  const char* line;
  const char* message;
  double (*value)(const TaskSettings&);      // the setting read
  double (*fallback)(const DefaultValues&);  // the default that replaces it
};

void PrintTo(const SettingCase& c, std::ostream* out) {
  *out << c.line;
}

class SettingWarning : public ::testing::TestWithParam<SettingCase> {};

TEST_P(SettingWarning, InvalidValueIsReplacedByTheDefaultAfterAnInformation) {
  KineticCatalogue catalogue;
  FillCatalogue(catalogue);
  const SettingCase& c = GetParam();
  const std::string text = ModelFileText(MakeSmallDocument(catalogue), catalogue);
  const std::string key = std::string(c.line).substr(0, std::string(c.line).find('=') + 1);
  // Defaults that differ from the built-in ones, so that the replacement is
  // seen to come from them.
  const DefaultValues defaults = test::EditedDefaults();
  Loaded loaded = Parse(WithLine(text, key, c.line), catalogue, defaults);
  ASSERT_EQ(loaded.line, 0);
  ASSERT_EQ(loaded.sink.messages().size(), 1u);
  EXPECT_EQ(loaded.sink.messages()[0].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(loaded.sink.messages()[0].text, c.message);
  EXPECT_EQ(c.value(loaded.document.settings), c.fallback(defaults));
}

INSTANTIATE_TEST_SUITE_P(
    AllChecks, SettingWarning,
    ::testing::Values(
        SettingCase{"Points=-1", messages::kPointsReset,
                    [](const TaskSettings& s) -> double { return s.points; },
                    [](const DefaultValues& d) -> double { return d.points; }},
        SettingCase{"NewtonLimit=1", messages::kNewtonLimitReset,
                    [](const TaskSettings& s) -> double { return s.solver.newtonLimit; },
                    [](const DefaultValues& d) -> double { return d.newtonLimit; }},
        SettingCase{"SSResoltion=-1.000000e-009", messages::kResolutionReset,
                    [](const TaskSettings& s) { return s.solver.steadyStateResolution; },
                    [](const DefaultValues& d) { return d.steadyStateResolution; }},
        SettingCase{"SSResoltion=nan", messages::kResolutionReset,
                    [](const TaskSettings& s) { return s.solver.steadyStateResolution; },
                    [](const DefaultValues& d) { return d.steadyStateResolution; }},
        SettingCase{"RelativeTolerance=-1e-6", messages::kRelativeToleranceReset,
                    [](const TaskSettings& s) { return s.solver.relativeTolerance; },
                    [](const DefaultValues& d) { return d.relativeTolerance; }},
        SettingCase{"AbsoluteTolerance=-1e-12", messages::kAbsoluteToleranceReset,
                    [](const TaskSettings& s) { return s.solver.absoluteTolerance; },
                    [](const DefaultValues& d) { return d.absoluteTolerance; }},
        // Infinity is beyond every range: it was kept before the
        // solver options had one check.
        SettingCase{"AbsoluteTolerance=inf", messages::kAbsoluteToleranceReset,
                    [](const TaskSettings& s) { return s.solver.absoluteTolerance; },
                    [](const DefaultValues& d) { return d.absoluteTolerance; }},
        SettingCase{"AdamsMaxOrder=13", messages::kAdamsOrderReset,
                    [](const TaskSettings& s) -> double { return s.solver.adamsMaxOrder; },
                    [](const DefaultValues& d) -> double { return d.adamsMaxOrder; }},
        SettingCase{"AdamsMaxOrder=0", messages::kAdamsOrderReset,
                    [](const TaskSettings& s) -> double { return s.solver.adamsMaxOrder; },
                    [](const DefaultValues& d) -> double { return d.adamsMaxOrder; }},
        SettingCase{"BDFMaxOrder=6", messages::kBdfOrderReset,
                    [](const TaskSettings& s) -> double { return s.solver.bdfMaxOrder; },
                    [](const DefaultValues& d) -> double { return d.bdfMaxOrder; }},
        SettingCase{"BDFMaxOrder=0", messages::kBdfOrderReset,
                    [](const TaskSettings& s) -> double { return s.solver.bdfMaxOrder; },
                    [](const DefaultValues& d) -> double { return d.bdfMaxOrder; }},
        SettingCase{"DerivationFactor=0.3", messages::kDerivationFactorReset,
                    [](const TaskSettings& s) { return s.solver.derivationFactor; },
                    [](const DefaultValues& d) { return d.derivationFactor; }},
        SettingCase{"DerivationFactor=0.000009", messages::kDerivationFactorReset,
                    [](const TaskSettings& s) { return s.solver.derivationFactor; },
                    [](const DefaultValues& d) { return d.derivationFactor; }}));

TEST_F(ModelFile, BoundaryValuesOfTheSettingsAreAccepted) {
  std::string text = SmallText();
  text = WithLine(text, "Points=", "Points=0");
  text = WithLine(text, "NewtonLimit=", "NewtonLimit=2");
  text = WithLine(text, "AdamsMaxOrder=", "AdamsMaxOrder=1");
  text = WithLine(text, "BDFMaxOrder=", "BDFMaxOrder=5");
  text = WithLine(text, "DerivationFactor=", "DerivationFactor=0.25");
  text = WithLine(text, "SSResoltion=", "SSResoltion=0");
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_EQ(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.messages().empty());
  EXPECT_EQ(loaded.document.settings.solver.derivationFactor, 0.25);
}

TEST_F(ModelFile, StrategiesTheProgramDoesNotKnowReadAndWriteBackUnchanged) {
  // A file from another version may hold a strategy number this one has no
  // name for; saving the model must not change it.
  for (const int stored : {-1, 4, 77}) {
    SCOPED_TRACE(stored);
    const std::string line = "SSStrategy=" + std::to_string(stored);
    const std::string text = WithLine(SmallText(), "SSStrategy=", line);
    Loaded loaded = Parse(text, catalogue_);
    ASSERT_EQ(loaded.line, 0);
    EXPECT_TRUE(loaded.sink.messages().empty());
    EXPECT_EQ(ModelFileText(loaded.document, catalogue_), text);
  }
}

// LSODA is the integrator of a file that names none, so every file written
// before there was a choice reads and writes back as it was; CVODE adds one
// line at the end, after the event rows'.
TEST_F(ModelFile, TheIntegratorIsWrittenOnlyWhenItIsCvode) {
  const std::string small = SmallText();
  EXPECT_EQ(small.find("Integrator="), std::string::npos);
  Loaded old = Parse(small, catalogue_);
  ASSERT_EQ(old.line, 0);
  EXPECT_EQ(old.document.settings.solver.integrator, Integrator::kLsoda);

  Document cvode = MakeSmallDocument(catalogue_);
  cvode.settings.solver.integrator = Integrator::kCvode;
  cvode.settings.eventRows = 1;
  const std::string text = ModelFileText(cvode, catalogue_);
  ASSERT_GT(text.size(), small.size());
  EXPECT_EQ(text.substr(text.size() - 32), "DynEventRows=1\nIntegrator=CVODE\n");
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0) << ::testing::PrintToString(loaded.sink.Texts());
  EXPECT_TRUE(loaded.sink.messages().empty());
  ExpectSameDocument(loaded.document, cvode);
  EXPECT_EQ(ModelFileText(loaded.document, catalogue_), text);

  // Without the event rows, and in any case.
  Loaded lower = Parse(small + "Integrator=cvode\n", catalogue_);
  ASSERT_EQ(lower.line, 0);
  EXPECT_EQ(lower.document.settings.solver.integrator, Integrator::kCvode);
  EXPECT_EQ(ModelFileText(lower.document, catalogue_), small + "Integrator=CVODE\n");

  // A name this program does not know: LSODA, after a message.
  Loaded unknown = Parse(small + "Integrator=RK45\n", catalogue_);
  ASSERT_EQ(unknown.line, 0);
  EXPECT_EQ(unknown.sink.Texts(), std::vector<std::string>{messages::kIntegratorReset});
  EXPECT_EQ(unknown.document.settings.solver.integrator, Integrator::kLsoda);
  EXPECT_EQ(ModelFileText(unknown.document, catalogue_), small);
}

TEST_F(ModelFile, SeparatorCodesAreKeptInOneByte) {
  Loaded loaded = Parse(WithLine(SmallText(), "DynSeparator=", "DynSeparator=300"), catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(static_cast<unsigned char>(loaded.document.settings.dynamicsData.separator), 300 - 256);
}

TEST_F(ModelFile, StringLineWithoutEqualsIsAFieldFailure) {
  const std::string text = SmallText();
  const int line = LineOf(text, "TimeUnit=");
  Loaded loaded = Parse(WithLine(text, "TimeUnit=", "TimeUnit s"), catalogue_);
  EXPECT_EQ(loaded.line, line);
  EXPECT_EQ(
      loaded.sink.Texts(),
      (std::vector<std::string>{"Failed to read one or more fields at line " + std::to_string(line),
                                ErrorInLine(line)}));
}

TEST_F(ModelFile, NumberThatIsNotANumberFailsItsLine) {
  const std::string text = SmallText();
  const int line = LineOf(text, "Points=");
  Loaded loaded = Parse(WithLine(text, "Points=", "Points=many"), catalogue_);
  EXPECT_EQ(loaded.line, line);
  EXPECT_EQ(loaded.sink.Texts().back(), ErrorInLine(line));
}

// ------------------------------------------------------------ model section

struct ModelErrorCase {
  const char* line;
  const char* message;
};

void PrintTo(const ModelErrorCase& c, std::ostream* out) {
  *out << c.line;
}

class ModelCountError : public ::testing::TestWithParam<ModelErrorCase> {};

TEST_P(ModelCountError, ReportsAndStopsAtTheStartOfTheModel) {
  KineticCatalogue catalogue;
  FillCatalogue(catalogue);
  const std::string text = ModelFileText(MakeSmallDocument(catalogue), catalogue);
  const std::string line = GetParam().line;
  const int title = LineOf(text, "Title=");
  Loaded loaded = Parse(WithLine(text, line.substr(0, line.find('=') + 1), line), catalogue);
  EXPECT_EQ(loaded.line, title);
  ASSERT_EQ(loaded.sink.messages().size(), 2u);
  EXPECT_EQ(loaded.sink.messages()[0].text, GetParam().message);
  EXPECT_EQ(loaded.sink.messages()[0].title, messages::kFileErrorTitle);
  EXPECT_EQ(loaded.sink.messages()[1].text, ErrorInLine(title));
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ModelCountError,
    ::testing::Values(ModelErrorCase{"TotalMetabolites=-1", kNegativeMetabolites},
                      ModelErrorCase{"TotalSteps=-2", kNegativeSteps},
                      ModelErrorCase{"TotalMoieties=-1", kInvalidMoieties},
                      ModelErrorCase{"TotalMoieties=3", kInvalidMoieties},
                      ModelErrorCase{"TotalCompartments=0", kInvalidCompartments},
                      ModelErrorCase{"TotalMetabolites=100000", kModelLongerThanFile},
                      ModelErrorCase{"TotalSteps=2147483647", kModelLongerThanFile},
                      ModelErrorCase{"TotalCompartments=40000", kModelLongerThanFile}));

TEST_F(ModelFile, LargestCountsTogetherAreRefused) {
  std::string text = WithLine(SmallText(), "TotalMetabolites=", "TotalMetabolites=2147483647");
  text = WithLine(text, "TotalSteps=", "TotalSteps=2147483647");
  text = WithLine(text, "TotalMoieties=", "TotalMoieties=2147483647");
  text = WithLine(text, "TotalCompartments=", "TotalCompartments=2147483647");
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_EQ(loaded.line, LineOf(text, "Title="));
  EXPECT_EQ(loaded.sink.Texts()[0], kModelLongerThanFile);
}

TEST_F(ModelFile, StoichiometryRowsMustFitTheFile) {
  // Lines enough for the records, but not the characters of 3000 rows of
  // 3000 values.
  std::string text = WithLine(SmallText(), "TotalMetabolites=", "TotalMetabolites=3000");
  text = WithLine(text, "TotalSteps=", "TotalSteps=3000");
  text += std::string(50000, '\n');
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_EQ(loaded.sink.Texts()[0], kModelLongerThanFile);
}

TEST_F(ModelFile, ModelTooLargeForItsMatricesIsRefusedBeforeAllocation) {
  // Enough lines for 9000 metabolites, but 81 million entries per matrix.
  std::string text = WithLine(SmallText(), "TotalMetabolites=", "TotalMetabolites=9000");
  text += std::string(50000, '\n');
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_EQ(loaded.line, LineOf(text, "Title="));
  EXPECT_EQ(loaded.sink.Texts()[0], kModelTooLarge);
}

TEST_F(ModelFile, MetaboliteOfUnknownTypeBecomesInternal) {
  Loaded loaded = Parse(WithLine(SmallText(), "Type=", "Type=9"), catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(),
            std::vector<std::string>{
                "Warning: the file specifies a non-existing type for A.\nReset to internal "
                "metabolite."});
  EXPECT_EQ(loaded.sink.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_EQ(loaded.sink.messages()[0].title, messages::kFileWarningTitle);
  EXPECT_EQ(loaded.document.model.metabolites[0].type, INDEPENDENT);
}

TEST_F(ModelFile, NegativeConcentrationTakesTheDefault) {
  DefaultValues defaults;
  defaults.concentration = 0.25;
  Loaded loaded =
      Parse(WithLine(SmallText(), "Concentration=", "Concentration=-2.0"), catalogue_, defaults);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(),
            std::vector<std::string>{
                "Warning: the file specifies a negative concentration for A.\nReset to default."});
  EXPECT_EQ(loaded.document.model.metabolites[0].initialConcentration, 0.25);
}

TEST_F(ModelFile, NonExistingCompartmentIsTheDefaultOne) {
  Loaded loaded = Parse(WithLine(SmallText(), "Compartment=", "Compartment=1", 1), catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(),
            std::vector<std::string>{"Warning: the file specifies a non-existing compartment for "
                                     "B.\nReset to the default compartment."});
  EXPECT_EQ(loaded.document.model.metabolites[1].compartment, 0);
}

TEST_F(ModelFile, VolumeZeroBecomesOne) {
  Loaded loaded = Parse(WithLine(SmallText(), "Volume=", "Volume=0.000000e+000"), catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(),
            std::vector<std::string>{"Warning: the file specifies a negative or null volume for "
                                     "compartment compartment.\nReset to unity."});
  EXPECT_EQ(loaded.document.model.compartments[0].volume, 1.0);
}

TEST_F(ModelFile, UndefinedStoichiometryFailsItsRow) {
  const std::string text = SmallText();
  const int row = LineOf(text, "Stoichiometry") + 1;
  Loaded loaded = Parse(WithLine(text, "-1.000000", "nan "), catalogue_);
  EXPECT_EQ(loaded.line, LineOf(text, "Title="));
  EXPECT_EQ(loaded.sink.Texts()[0],
            "Failed to read one or more fields at line " + std::to_string(row));
}

TEST_F(ModelFile, CommentsWithoutTheirEndFailAtTheEnd) {
  std::string text = SmallText();
  text = text.substr(0, text.find("EndComments"));
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_NE(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts()[0].rfind("Unexpected end of file at line ", 0), 0u);
}

struct StepErrorCase {
  const char* prefix;
  int occurrence;  // the two user-defined type records come first, then steps in, bind, ...
  const char* line;
  const char* message;
};

void PrintTo(const StepErrorCase& c, std::ostream* out) {
  *out << c.line;
}

class StepError : public ::testing::TestWithParam<StepErrorCase> {};

TEST_P(StepError, StopsTheLoadWithItsMessage) {
  KineticCatalogue catalogue;
  FillCatalogue(catalogue);
  const StepErrorCase& c = GetParam();
  const std::string text = ModelFileText(MakeRichDocument(catalogue), catalogue);
  Loaded loaded = Parse(WithLine(text, c.prefix, c.line, c.occurrence), catalogue);
  EXPECT_EQ(loaded.line, LineOf(text, "Title="));
  ASSERT_EQ(loaded.sink.messages().size(), 2u);
  EXPECT_EQ(loaded.sink.messages()[0].text, c.message);
  EXPECT_EQ(loaded.sink.messages()[0].kind, RecordingSink::Kind::kError);
  EXPECT_EQ(loaded.sink.messages()[1].text, ErrorInLine(LineOf(text, "Title=")));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepError,
    ::testing::Values(
        StepErrorCase{"KineticType=", 0, "KineticType=No such law",
                      "Error: the file specifies a kinetic type that does not exist in the "
                      "database\nLoad aborted."},
        StepErrorCase{"Substrates=", 2, "Substrates=-1",
                      "Error: the file specifies a negative number of substrates for in.\nLoad "
                      "aborted."},
        StepErrorCase{"Products=", 3, "Products=-1",
                      "Error: the file specifies a negative number of products for bind.\nLoad "
                      "aborted."},
        StepErrorCase{"Modifiers=", 2, "Modifiers=-3",
                      "Error: the file specifies a negative number of modifiers for in.\nLoad "
                      "aborted."},
        StepErrorCase{"Constants=", 2, "Constants=-1",
                      "Error: the file specifies a negative number of constants for in.\nLoad "
                      "aborted."},
        StepErrorCase{"Subs1=", 0, "Subs1=-1",
                      "Error: the file specifies a negative number for substrate 1 of bind.\nLoad "
                      "aborted."},
        StepErrorCase{"Prod1=", 0, "Prod1=-4",
                      "Error: the file specifies a negative number for product 1 of cat.\nLoad "
                      "aborted."},
        StepErrorCase{"Modf0=", 0, "Modf0=-2",
                      "Error: the file specifies a negative number for modifier 0 of out.\nLoad "
                      "aborted."},
        StepErrorCase{"Subs0=", 0, "Subs0=6",
                      "Error: the file specifies a non-existing metabolite for substrate 0 of "
                      "in.\nLoad aborted."},
        StepErrorCase{"Prod0=", 3, "Prod0=2147483647",
                      "Error: the file specifies a non-existing metabolite for product 0 of "
                      "out.\nLoad aborted."},
        StepErrorCase{"Modf0=", 0, "Modf0=6",
                      "Error: the file specifies a non-existing metabolite for modifier 0 of "
                      "out.\nLoad aborted."},
        StepErrorCase{"Constants=", 6, "Constants=2000000000",
                      "Error: the file specifies more constants for leak than it holds.\nLoad "
                      "aborted."},
        StepErrorCase{"Substrates=", 2, "Substrates=100000",
                      "Error: the file specifies more substrates for in than it holds.\nLoad "
                      "aborted."}));

TEST_F(ModelFile, StepErrorBoxesHaveNoTitleOfTheirOwn) {
  Loaded loaded = Parse(WithLine(SmallText(), "KineticType=", "KineticType=?"), catalogue_);
  ASSERT_FALSE(loaded.sink.messages().empty());
  EXPECT_EQ(loaded.sink.messages()[0].title, "");
}

TEST_F(ModelFile, UnassignedModifierReadsBack) {
  Document d = MakeRichDocument(catalogue_);
  d.model.steps[3].modifiers = {-1};
  const std::string text = ModelFileText(d, catalogue_);
  EXPECT_NE(text.find("\nModf0=-1\n"), std::string::npos);
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.document.model.steps[3].modifiers, std::vector<int>{-1});
}

TEST_F(ModelFile, ListsAreReadAsStoredNotRebuiltFromTheStoichiometry) {
  Loaded loaded = Parse(WithLine(RichText(), "Subs1=", "Subs1=1", 1), catalogue_);  // leak: S, S
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.document.model.steps[4].substrates, (std::vector<int>{1, 1}));
  Loaded changed = Parse(WithLine(RichText(), "Subs0=", "Subs0=5", 4), catalogue_);
  ASSERT_EQ(changed.line, 0);
  EXPECT_EQ(changed.document.model.steps[4].substrates, (std::vector<int>{5, 1}));
}

TEST_F(ModelFile, StructuralAnalysisRunsAfterLoading) {
  // The file's moiety record and types are replaced by what the analysis finds.
  std::string text = WithLine(RichText(), "Metabolite=  E + ES", "Metabolite=stale name");
  text = WithLine(text, "Type=", "Type=2", 1);  // S, which is independent
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  const Document expected = MakeRichDocument(catalogue_);
  EXPECT_EQ(loaded.document.model.moieties, expected.model.moieties);
  EXPECT_EQ(loaded.document.model.metabolites[1].type, INDEPENDENT);
  EXPECT_EQ(loaded.document.model.nDependent, 1);
}

// ------------------------------------------------------------ user-defined kinetic types

TEST_F(ModelFile, NegativeNumberOfUserDefinedTypesAborts) {
  const std::string text = SmallText();
  Loaded loaded = Parse(WithLine(text, "TotalUDKinetics=", "TotalUDKinetics=-1"), catalogue_);
  EXPECT_EQ(loaded.line, LineOf(text, "Title="));
  ASSERT_EQ(loaded.sink.messages().size(), 2u);
  EXPECT_EQ(loaded.sink.messages()[0].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(loaded.sink.messages()[0].text, messages::kNegativeUserKinetics);
  EXPECT_EQ(loaded.sink.messages()[1].text, ErrorInLine(LineOf(text, "Title=")));
}

TEST_F(ModelFile, UserTypeNamedLikeABuiltInOneClashes) {
  std::string text = WithLine(RichText(), "UDKType=", "UDKType=Mass action (irreversible)");
  const int before = catalogue_.size();
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_NE(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.Said(messages::kUserKineticsClash));
  EXPECT_TRUE(
      loaded.sink.Said("Suggestion: Delete the kinetic type 'Mass action (irreversible)' "
                       "from the database before loading this file."));
  EXPECT_EQ(catalogue_.size(), before);
}

TEST_F(ModelFile, UserTypeWithAnotherExpressionClashes) {
  // V*S/(Km-S), its text and its nodes alike.
  std::string text = WithLine(RichText(), "Description=V*S/(Km+S)", "Description=V*S/(Km-S)");
  const std::size_t plus = text.find("Node=79,43\n", text.find("Description=V*S/(Km-S)"));
  ASSERT_NE(plus, std::string::npos);
  text.replace(plus, 10, "Node=79,45");
  Loaded loaded = Parse(text, catalogue_);
  EXPECT_NE(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.Said(messages::kUserKineticsClash));
}

TEST_F(ModelFile, TypesEnteredByAFailedLoadAreTakenOutAgain) {
  KineticCatalogue elsewhere;
  FillCatalogue(elsewhere, false);
  const int before = elsewhere.size();
  // The types read fine, then the first step fails.
  Loaded loaded = Parse(WithLine(RichText(), "Flux=", "Flux=?"), elsewhere);
  EXPECT_NE(loaded.line, 0);
  EXPECT_EQ(elsewhere.size(), before);
  EXPECT_EQ(elsewhere.Find(test::kUserMichaelisMenten), nullptr);
}

// ------------------------------------------------------------ plot lines and sections

TEST_F(ModelFile, PlotValuesOutsideTheirRangeAreMended) {
  std::string text = RichText();
  text = WithLine(text, "PlotType=", "PlotType=9");
  text = WithLine(text, "PlotGrid=", "PlotGrid=5");
  text = WithLine(text, "PlotTitles=", "PlotTitles=-3");
  text = WithLine(text, "PlotXEntry=", "PlotXEntry=-3");
  text = WithLine(text, "PlotY1=", "PlotY1=-7");
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.messages().empty());
  EXPECT_EQ(loaded.document.plot.plotType, kPlotDots);
  EXPECT_EQ(loaded.document.plot.plotGrid, 1);
  EXPECT_EQ(loaded.document.plot.plotTitles, 1);
  EXPECT_EQ(loaded.document.plot.plotXEntry, kNoPlotEntry);
  EXPECT_EQ(loaded.document.plot.plotY, (std::vector<int>{1, kNoPlotEntry}));
}

TEST_F(ModelFile, NegativePlotEntryCountFails) {
  const std::string text = RichText();
  for (const char* key : {"PlotYTotal=", "PlotZTotal="}) {
    const int line = LineOf(text, key);
    Loaded loaded = Parse(WithLine(text, key, std::string(key) + "-1"), catalogue_);
    EXPECT_EQ(loaded.line, line);
    EXPECT_EQ(loaded.sink.Texts(), std::vector<std::string>{ErrorInLine(line)});
  }
  Loaded huge = Parse(WithLine(text, "PlotYTotal=", "PlotYTotal=2147483647"), catalogue_);
  EXPECT_EQ(huge.line, LineOf(text, "PlotYTotal="));
}

TEST_F(ModelFile, PlotEntryBeyondTheSelectionIsKept) {
  // Only a negative entry is mended; one beyond the 19 items of the plotted
  // selection reads as it stands and is written back so.
  const std::string text = WithLine(RichText(), "PlotZ2=", "PlotZ2=19");
  Loaded loaded = Parse(text, catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_TRUE(loaded.sink.messages().empty());
  EXPECT_EQ(loaded.document.plot.plotZ.back(), 19);
  EXPECT_EQ(ModelFileText(loaded.document, catalogue_), text);
}

struct SectionCase {
  const char* header;
  const char* countKey;
};

void PrintTo(const SectionCase& c, std::ostream* out) {
  *out << c.header;
}

class SectionCount : public ::testing::TestWithParam<SectionCase> {};

TEST_P(SectionCount, NegativeCountFailsAtItsLine) {
  KineticCatalogue catalogue;
  FillCatalogue(catalogue);
  const std::string text = ModelFileText(MakeRichDocument(catalogue), catalogue);
  std::vector<std::string> lines = SplitLines(text);
  const int header = LineOf(text, GetParam().header);
  int countLine = header + 1;
  while (lines[static_cast<std::size_t>(countLine - 1)].rfind(GetParam().countKey, 0) != 0) {
    ++countLine;
  }
  lines[static_cast<std::size_t>(countLine - 1)] = std::string(GetParam().countKey) + "-1";
  Loaded loaded = Parse(JoinLines(lines), catalogue);
  EXPECT_EQ(loaded.line, countLine);
  EXPECT_EQ(loaded.sink.Texts(), std::vector<std::string>{ErrorInLine(countLine)});
}

INSTANTIATE_TEST_SUITE_P(Sections, SectionCount,
                         ::testing::Values(SectionCase{"User-defined functions", "Items="},
                                           SectionCase{"Interactive time course", "Items="},
                                           SectionCase{"Time-course output", "Items="},
                                           SectionCase{"Steady-state output", "Items="},
                                           SectionCase{"Scan", "Dimension="},
                                           SectionCase{"Parameter Links", "Items="}));

TEST_F(ModelFile, FailedRecordReportsItselfWithoutErrorInLine) {
  const std::string text = RichText();
  const int header = LineOf(text, "Time-course output");
  std::vector<std::string> lines = SplitLines(text);
  lines[static_cast<std::size_t>(header + 2)] = "Type=three";  // first item's type
  Loaded loaded = Parse(JoinLines(lines), catalogue_);
  EXPECT_EQ(loaded.line, header + 3);
  EXPECT_EQ(loaded.sink.Texts(),
            std::vector<std::string>{"Failed to read one or more fields at line " +
                                     std::to_string(header + 3)});
}

TEST_F(ModelFile, ScanItemRepairsAreReportedAndKept) {
  Loaded loaded = Parse(WithLine(RichText(), "Density=", "Density=1"), catalogue_);
  ASSERT_EQ(loaded.line, 0);
  EXPECT_EQ(loaded.sink.Texts(), std::vector<std::string>{messages::kScanDensityReset});
  EXPECT_EQ(loaded.document.scan.items[0].density, 2);
}

// ------------------------------------------------------------ files

class ModelFileOnDisk : public ModelFile {
 protected:
  test::TemporaryFolder temporary_;
  const std::string folder_ = temporary_.folder();
};

TEST_F(ModelFileOnDisk, SavedDocumentLoadsBackWithItsPathAndFolder) {
  Document d = MakeRichDocument(catalogue_);
  RecordingSink sink;
  const std::string path = folder_ + "enzyme.model.vrn";
  ASSERT_TRUE(WriteModelFile(d, path, catalogue_, sink));
  EXPECT_TRUE(sink.messages().empty());
  // A never-saved document names its report after the file it is saved as.
  EXPECT_EQ(d.settings.reportFile, folder_ + "enzyme.model.txt");
  EXPECT_EQ(d.pathName, path);
  EXPECT_EQ(d.folder, folder_);
  EXPECT_EQ(ReadText(path), ModelFileText(d, catalogue_));

  Document loaded;
  ASSERT_TRUE(ReadModelFile(loaded, path, catalogue_, DefaultValues(), sink));
  EXPECT_TRUE(sink.messages().empty());
  ExpectSameDocument(loaded, d);
  EXPECT_EQ(loaded.pathName, path);
  EXPECT_EQ(loaded.folder, folder_);
}

TEST_F(ModelFileOnDisk, ReportNameComesFromThePathBeforeTheSave) {
  Document d = MakeSmallDocument(catalogue_);
  d.pathName = folder_ + "old.vrn";
  RecordingSink sink;
  ASSERT_TRUE(WriteModelFile(d, folder_ + "new.vrn", catalogue_, sink));
  EXPECT_NE(ReadText(folder_ + "new.vrn").find("\nReportFile=" + folder_ + "old.txt\n"),
            std::string::npos);
  EXPECT_EQ(d.pathName, folder_ + "new.vrn");
}

TEST_F(ModelFileOnDisk, MissingFileCannotBeOpenedAndLeavesANewDocument) {
  Document d = MakeRichDocument(catalogue_);
  RecordingSink sink;
  EXPECT_FALSE(ReadModelFile(d, folder_ + "absent.vrn", catalogue_, DefaultValues(), sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].title, messages::kFileErrorTitle);
  EXPECT_EQ(sink.messages()[0].text,
            "The file could not be located.\nThe file could not be opened.");
  Document fresh;
  NewDocument(fresh, DefaultValues());
  ExpectSameDocument(d, fresh);
}

TEST_F(ModelFileOnDisk, FailedLoadLeavesANewDocument) {
  const std::string path = folder_ + "broken.vrn";
  std::ofstream(path, std::ios::binary) << WithLine(RichText(), "Prod0=", "Prod0=-1");
  DefaultValues defaults;
  defaults.endTime = 99.0;
  Document d = MakeRichDocument(catalogue_);
  RecordingSink sink;
  EXPECT_FALSE(ReadModelFile(d, path, catalogue_, defaults, sink));
  Document fresh;
  NewDocument(fresh, defaults);
  ExpectSameDocument(d, fresh);
  EXPECT_EQ(d.pathName, "");
}

TEST_F(ModelFileOnDisk, SaveIntoAMissingFolderFailsWithTheFileError) {
  Document d = MakeSmallDocument(catalogue_);
  RecordingSink sink;
  EXPECT_FALSE(WriteModelFile(d, folder_ + "no/such/folder/m.vrn", catalogue_, sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].text,
            "The file could not be located.\nThe file could not be saved.");
  EXPECT_EQ(d.pathName, "");
}

TEST_F(ModelFileOnDisk, FailedSaveKeepsThePreviousFile) {
  const std::string path = folder_ + "keep.vrn";
  Document d = MakeSmallDocument(catalogue_);
  RecordingSink sink;
  ASSERT_TRUE(WriteModelFile(d, path, catalogue_, sink));
  const std::string before = ReadText(path);
  // Renaming over a folder fails after the new text has been written.
  std::filesystem::create_directory(folder_ + "folder.vrn");
  EXPECT_FALSE(WriteModelFile(d, folder_ + "folder.vrn", catalogue_, sink));
  EXPECT_TRUE(std::filesystem::is_directory(folder_ + "folder.vrn"));
  // Nothing but the two entries is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++entries;
  EXPECT_EQ(entries, 2);
  EXPECT_EQ(ReadText(path), before);
}

TEST_F(ModelFileOnDisk, SavingThroughALinkReplacesItsTarget) {
  const std::string target = folder_ + "target.vrn";
  const std::string link = folder_ + "link.vrn";
  std::ofstream(target) << "old\n";
  std::filesystem::create_symlink(target, link);
  Document d = MakeSmallDocument(catalogue_);
  RecordingSink sink;
  ASSERT_TRUE(WriteModelFile(d, link, catalogue_, sink));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(target), ModelFileText(d, catalogue_));
}

// ------------------------------------------------------------ broken files

TEST_F(ModelFile, EveryTruncationAtALineFails) {
  const std::vector<std::string> lines = SplitLines(RichText());
  const int before = catalogue_.size();
  for (std::size_t kept = 0; kept < lines.size(); ++kept) {
    const std::string text =
        JoinLines(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(kept)));
    Loaded loaded = Parse(text, catalogue_);
    EXPECT_NE(loaded.line, 0) << "kept " << kept << " lines";
    EXPECT_FALSE(loaded.sink.messages().empty()) << "kept " << kept << " lines";
  }
  EXPECT_EQ(catalogue_.size(), before);
}

TEST_F(ModelFile, EveryTruncationAtACharacterIsSafe) {
  const std::string text = SmallText();
  int failed = 0;
  for (std::size_t size = 0; size < text.size(); ++size) {
    if (Parse(text.substr(0, size), catalogue_).line != 0) ++failed;
  }
  // Only cuts inside or after the last line can still read.
  EXPECT_GE(failed, static_cast<int>(text.size()) - 12);
}

// A small deterministic generator, so that failures can be replayed.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t state_;
};

TEST_F(ModelFile, RandomBytesFailCleanly) {
  Lcg random(12345);
  for (int trial = 0; trial < 300; ++trial) {
    std::string text(random.Below(4000), '\0');
    for (char& c : text) c = static_cast<char>(random.Below(256));
    if (trial % 3 == 0) text = "Version=3.00301\n" + text;
    Loaded loaded = Parse(text, catalogue_);
    EXPECT_NE(loaded.line, 0);
  }
}

TEST_F(ModelFile, DamagedLinesNeverCrash) {
  const std::vector<std::string> lines = SplitLines(RichText());
  const char* replacements[] = {"",     "=",     "x=2147483647", "x=-2147483648", "x=99999999999",
                                "x=-1", "x=nan", "x=1e999",      "x=0",           "EndComments",
                                "x=3"};
  Lcg random(777);
  const int before = catalogue_.size();
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::string> damaged = lines;
    const int edits = 1 + static_cast<int>(random.Below(3));
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random.Below(static_cast<std::uint32_t>(damaged.size()));
      switch (random.Below(4)) {
        case 0:  // keep the key, change the value
        {
          const std::string value = replacements[random.Below(std::size(replacements))];
          const std::size_t equals = damaged[at].find('=');
          const std::size_t cut = value.find('=');
          if (equals != std::string::npos && cut != std::string::npos) {
            damaged[at] = damaged[at].substr(0, equals) + value.substr(cut);
          } else {
            damaged[at] = value;
          }
          break;
        }
        case 1:
          damaged.erase(damaged.begin() + static_cast<long>(at));
          break;
        case 2:
          damaged.insert(damaged.begin() + static_cast<long>(at), damaged[at]);
          break;
        default:
          damaged[at] = replacements[random.Below(std::size(replacements))];
          break;
      }
    }
    Loaded loaded = Parse(JoinLines(damaged), catalogue_);
    if (loaded.line != 0) {
      EXPECT_FALSE(loaded.sink.messages().empty());
      EXPECT_EQ(catalogue_.size(), before);
    }
  }
}

// ------------------------------------------------------------ hostile files

TEST_F(ModelFileOnDisk, AFifoADeviceOrAFolderIsRefusedAtOnce) {
  ASSERT_TRUE(test::MakeFifo(folder_ + "fifo.vrn"));
  for (const std::string& path : {folder_ + "fifo.vrn", std::string("/dev/zero"), folder_}) {
    SCOPED_TRACE(path);
    Document d;
    RecordingSink sink;
    bool loaded = true;
    ASSERT_TRUE(test::FinishesWithin(
        std::chrono::seconds(10),
        [&] { loaded = ReadModelFile(d, path, catalogue_, DefaultValues(), sink); },
        [&] { test::ReleaseFifo(path); }));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"The file is not a regular file.\nThe file "
                                                     "could not be opened."});
  }
}

// Beyond the file size limit (ulimit -f) a save fails with its own words and
// leaves the saved model as it was.
TEST_F(ModelFileOnDisk, ASaveBeyondTheFileSizeLimitSaysTheFileIsTooLarge) {
  const std::string path = folder_ + "m.vrn";
  Document d = MakeSmallDocument(catalogue_);
  RecordingSink sink;
  ASSERT_TRUE(WriteModelFile(d, path, catalogue_, sink));
  const std::string before = ReadText(path);
  d.model.comments = std::string(1 << 20, 'x');
  const int status = test::RunInChild([&] {
    IgnoreFileSizeLimitSignal();
    const rlimit limit{1 << 16, 1 << 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    RecordingSink child;
    const bool saved = WriteModelFile(d, path, catalogue_, child);
    return !saved && child.Texts() == std::vector<std::string>{"The file is too large.\nThe file "
                                                               "could not be saved."}
               ? 0
               : 1;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadText(path), before);
}

struct DataFileNameCase {
  const char* dynamicsFile;
  const char* steadyStateFile;
  std::vector<const char*> problems;  // what each warning says, in order
};

TEST_F(ModelFileOnDisk, DataFileNamesThatLeaveTheFolderOrHitAnotherFileAreNamedAtLoad) {
  const std::vector<DataFileNameCase> cases = {
      {"run.dat", "run.ss", {}},
      {"../../x.dat",
       "",
       {"time-course data file (DynamicsFile), \"../../x.dat\", is not a plain"}},
      {"/etc/passwd", "sub/x", {"(DynamicsFile), \"/etc/passwd\", is not", "(SSFile), \"sub/x\""}},
      {"..",
       "a\x1b"
       "b",
       {"(DynamicsFile), \"..\", is not", "(SSFile), \"a\\x1Bb\", is not a"}},
      {"m.vrn", "", {"(DynamicsFile), \"m.vrn\", is the name of the model file itself."}},
      {"", "m.txt", {"(SSFile), \"m.txt\", is the name of the model's report file."}},
      {"same.dat", "same.dat", {"(SSFile), \"same.dat\", is also the name of the time-course"}},
  };
  for (const DataFileNameCase& row : cases) {
    SCOPED_TRACE(row.dynamicsFile + std::string(" | ") + row.steadyStateFile);
    Document d = MakeSmallDocument(catalogue_);
    d.settings.dynamicsData.file = row.dynamicsFile;
    d.settings.steadyStateData.file = row.steadyStateFile;
    const std::string path = folder_ + "m.vrn";
    std::ofstream(path, std::ios::binary) << ModelFileText(d, catalogue_);

    Document loaded;
    RecordingSink sink;
    ASSERT_TRUE(ReadModelFile(loaded, path, catalogue_, DefaultValues(), sink));
    ASSERT_EQ(sink.messages().size(), row.problems.size())
        << ::testing::PrintToString(sink.Texts());
    for (std::size_t i = 0; i < row.problems.size(); ++i) {
      EXPECT_EQ(sink.messages()[i].title, messages::kFileWarningTitle);
      EXPECT_NE(sink.messages()[i].text.find(row.problems[i]), std::string::npos)
          << sink.messages()[i].text;
      EXPECT_NE(sink.messages()[i].text.find(kDataFileNotWritten), std::string::npos);
    }
    // The names stay as the file has them: a save gives the file back.
    EXPECT_EQ(loaded.settings.dynamicsData.file, row.dynamicsFile);
    EXPECT_EQ(loaded.settings.steadyStateData.file, row.steadyStateFile);
  }
}

}  // namespace
}  // namespace vireon
