// A model file written line by line by hand, not by the program: a model
// with a conserved moiety, a user-defined kinetic type with a modifier, a
// built-in type, two compartments, two lines of comments, plot entries, an
// output function, an item in each of the three selections (with and
// without I and J lines), a scan item and a link. It must load without a
// message and be written back byte for byte.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_function.h"
#include "model/message_sink.h"
#include "model/messages.h"
#include "support/document_fixtures.h"
#include "support/files.h"

namespace vireon {
namespace {

const char* const kHandWrittenPath = VIREON_TEST_DATA_DIR "/hand_written.vrn";

// Every line feed preceded by a carriage return, as a Windows editor saves
// the file (the comments' own carriage returns are not doubled).
std::string WithWindowsLineEnds(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

class HandWrittenModelFile : public ::testing::Test {
 protected:
  void SetUp() override {
    golden_ = test::ReadText(kHandWrittenPath);
    ASSERT_FALSE(golden_.empty());
    // An installation that has never seen the file's user-defined type.
    BuildBuiltInKineticTypes(catalogue_);
    NewDocument(document_, DefaultValues());
  }

  int Parse(const std::string& text) {
    return ParseModelBuffer(document_, text, catalogue_, DefaultValues(), sink_);
  }

  std::string golden_;
  KineticCatalogue catalogue_;
  Document document_;
  RecordingSink sink_;
};

TEST_F(HandWrittenModelFile, LoadsWithoutAMessageAndIsWrittenBackByteForByte) {
  ASSERT_EQ(Parse(golden_), 0) << ::testing::PrintToString(sink_.Texts());
  EXPECT_TRUE(sink_.messages().empty()) << ::testing::PrintToString(sink_.Texts());
  EXPECT_EQ(ModelFileText(document_, catalogue_), golden_);
}

TEST_F(HandWrittenModelFile, EveryPartIsReadIntoTheDocument) {
  ASSERT_EQ(Parse(golden_), 0);
  const Document& d = document_;
  EXPECT_EQ(d.settings.points, 100);
  EXPECT_EQ(d.settings.steadyStateData.columnWidth, 16);
  EXPECT_EQ(d.settings.dynamicsData.separator, '\t');
  EXPECT_EQ(d.settings.steadyStateData.separator, ',');
  EXPECT_EQ(d.settings.steadyStateData.file, "regulated.ss");

  // The file's user-defined type was entered in the catalogue, and the step
  // is bound to it.
  const KineticType* regulated = catalogue_.Find("Regulated MA");
  ASSERT_NE(regulated, nullptr);
  EXPECT_EQ(regulated->userDefined, 1);
  EXPECT_EQ(regulated->modifierNames, std::vector<std::string>{"M"});
  EXPECT_EQ(regulated->constantNames, (std::vector<std::string>{"kf", "kr", "Ki"}));
  ASSERT_NE(regulated->function, nullptr);
  EXPECT_EQ(regulated->function->description(), "(kf*S-kr*P)/(1+M/Ki)");
  ASSERT_EQ(d.model.nSteps(), 2);
  EXPECT_EQ(d.model.steps[0].kineticType, regulated);
  EXPECT_EQ(d.model.steps[0].modifiers, std::vector<int>{2});
  EXPECT_EQ(d.model.steps[1].kineticType, catalogue_.Find("Mass action (irreversible)"));

  // The structural analysis found the one relation A + B.
  EXPECT_EQ(d.model.nIndependent, 1);
  EXPECT_EQ(d.model.metabolites[1].type, DEPENDENT);
  ASSERT_EQ(d.model.nMoieties(), 1);
  EXPECT_EQ(d.model.moieties[0].name, "  A + B ");
  // Its total: [A] + [B] = 1 + 0.5 as an amount in the volume 2 of the dependent B.
  EXPECT_EQ(d.model.moieties[0].initialConcentration, 3.0);

  EXPECT_EQ(d.model.comments, "First line\r\nSecond line");
  EXPECT_EQ(d.plot.plotY, (std::vector<int>{1, 2}));
  EXPECT_EQ(d.plot.plotZ, std::vector<int>{kNoPlotEntry});
  ASSERT_EQ(d.functions.size(), 1u);
  EXPECT_EQ(d.functions[0].name(), "ratio");
  EXPECT_EQ(d.selections.interactive.size(), 1u);
  EXPECT_EQ(d.selections.timeCourse.size(), 3u);
  ASSERT_EQ(d.selections.steadyState.size(), 1u);
  EXPECT_EQ(d.selections.steadyState[0].j, "A");
  EXPECT_EQ(d.scan.enabled, 1);
  ASSERT_EQ(d.scan.items.size(), 1u);
  EXPECT_EQ(d.scan.items[0].density, 5);
  ASSERT_EQ(d.links.size(), 1u);
  EXPECT_EQ(d.links[0].constant, 0.5);
  EXPECT_EQ(d.links[0].source.title, "ratio");
}

TEST_F(HandWrittenModelFile, OpensFromDiskThroughTheFileReader) {
  ASSERT_TRUE(ReadModelFile(document_, kHandWrittenPath, catalogue_, DefaultValues(), sink_));
  EXPECT_TRUE(sink_.messages().empty());
  EXPECT_EQ(document_.pathName, kHandWrittenPath);
  EXPECT_EQ(ModelFileText(document_, catalogue_), golden_);
}

TEST_F(HandWrittenModelFile, WindowsLineEndsReadAsTheSameDocument) {
  const std::string windows = WithWindowsLineEnds(golden_);
  ASSERT_NE(windows, golden_);
  ASSERT_EQ(Parse(windows), 0) << ::testing::PrintToString(sink_.Texts());
  EXPECT_TRUE(sink_.messages().empty());
  EXPECT_EQ(document_.model.comments, "First line\r\nSecond line");
  // Saved again, the file has the program's own line ends.
  EXPECT_EQ(ModelFileText(document_, catalogue_), golden_);
}

TEST_F(HandWrittenModelFile, WindowsLineEndsWithoutTheCommentsEndFailWithAMessage) {
  std::string windows = WithWindowsLineEnds(golden_);
  windows = windows.substr(0, windows.find("EndComments"));
  EXPECT_NE(Parse(windows), 0);
  ASSERT_FALSE(sink_.messages().empty());
  EXPECT_EQ(sink_.Texts()[0].rfind("Unexpected end of file at line ", 0), 0u);
  EXPECT_EQ(catalogue_.Find("Regulated MA"), nullptr);
}

TEST_F(HandWrittenModelFile, CommentLineEndCommentsWithACarriageReturnStaysInTheComments) {
  // In a file with the program's own line ends, a comment line that reads
  // EndComments but is held with its carriage return does not end them.
  std::string text = golden_;
  const std::string from = "First line\r\n";
  text.replace(text.find(from), from.size(), "First line\r\nEndComments\r\n");
  ASSERT_EQ(Parse(text), 0) << ::testing::PrintToString(sink_.Texts());
  EXPECT_EQ(document_.model.comments, "First line\r\nEndComments\r\nSecond line");
  EXPECT_EQ(ModelFileText(document_, catalogue_), text);
}

// The catalogue already holds a user-defined type of the file's type name.
TEST_F(HandWrittenModelFile, SameUserTypeInTheCatalogueIsUsedAndNothingIsAdded) {
  catalogue_.Insert(
      test::MakeUserType("Regulated MA", "(kf*S-kr*P)/(1+M/Ki)",
                         {{"kf", 3}, {"S", 0}, {"kr", 3}, {"P", 1}, {"M", 2}, {"Ki", 3}}, 1));
  const KineticType* known = catalogue_.Find("Regulated MA");
  const int types = catalogue_.size();
  ASSERT_EQ(Parse(golden_), 0) << ::testing::PrintToString(sink_.Texts());
  EXPECT_TRUE(sink_.messages().empty());
  EXPECT_EQ(catalogue_.size(), types);
  EXPECT_EQ(document_.model.steps[0].kineticType, known);
}

TEST_F(HandWrittenModelFile, UserTypeOfTheSameNameWithAnotherExpressionRefusesTheFile) {
  catalogue_.Insert(test::MakeUserType("Regulated MA", "kf*S/(1+M/Ki)",
                                       {{"kf", 3}, {"S", 0}, {"M", 2}, {"Ki", 3}}, 0));
  // The model section starts at line 36, after the 35 settings lines.
  EXPECT_EQ(Parse(golden_), 36);
  EXPECT_EQ(sink_.Texts(),
            (std::vector<std::string>{messages::kUserKineticsClash,
                                      "Suggestion: Delete the kinetic type 'Regulated MA' from "
                                      "the database before loading this file.",
                                      "Error in line 36"}));
  EXPECT_EQ(sink_.messages()[1].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(catalogue_.Find("Regulated MA")->function->description(), "kf*S/(1+M/Ki)");
}

// The 1-based number of the first line of `text` that is exactly `line`.
int NumberOfLine(const std::string& text, const std::string& line) {
  int number = 1;
  for (std::size_t start = 0; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, end - start, line) == 0) return number;
    start = end + 1;
  }
  ADD_FAILURE() << "no line " << line;
  return 0;
}

struct DamagedLine {
  const char* line;         // a line of the hand-written file
  const char* replacement;  // what it becomes
  bool errorInLine;         // whether "Error in line" follows the field message
  const char* stopLine;     // the line whose number the load returns and reports
};

void PrintTo(const DamagedLine& c, std::ostream* out) {
  *out << c.line;
}

class HandWrittenDamagedLine : public ::testing::TestWithParam<DamagedLine> {};

// A field that does not read is reported at its line. At the top level, and
// anywhere in the model section (whose failures are counted at the section's
// first line, Title=), "Error in line" follows; inside an output function,
// output item, scan item or link record the record's own message is all.
TEST_P(HandWrittenDamagedLine, FailsWithTheMessagesOfItsPlace) {
  const DamagedLine& c = GetParam();
  std::string text = test::ReadText(kHandWrittenPath);
  const int damaged = NumberOfLine(text, c.line);
  const int stop = NumberOfLine(text, c.stopLine);
  text.replace(text.find(std::string("\n") + c.line + "\n") + 1, std::string(c.line).size(),
               c.replacement);
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Document document;
  NewDocument(document, DefaultValues());
  RecordingSink sink;
  EXPECT_EQ(ParseModelBuffer(document, text, catalogue, DefaultValues(), sink),
            c.errorInLine ? stop : damaged);
  std::vector<std::string> expected{"Failed to read one or more fields at line " +
                                    std::to_string(damaged)};
  if (c.errorInLine) expected.push_back("Error in line " + std::to_string(stop));
  EXPECT_EQ(sink.Texts(), expected);
  EXPECT_EQ(catalogue.Find("Regulated MA"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlace, HandWrittenDamagedLine,
    ::testing::Values(
        DamagedLine{"Points=100", "Points=many", true, "Points=100"},
        DamagedLine{"TotalSteps=2", "TotalSteps=two", true, "Title=Regulated conversion"},
        DamagedLine{"Nodes=18", "Nodes=x", true, "Title=Regulated conversion"},
        DamagedLine{"Param0=0.1000000000000000", "Param0=?", true, "Title=Regulated conversion"},
        DamagedLine{"Volume=2.000000e+00", "Volume=", true, "Title=Regulated conversion"},
        DamagedLine{"PlotYTotal=2", "PlotYTotal=y", true, "PlotYTotal=2"},
        DamagedLine{"Nodes=6", "Nodes=x", false, "Nodes=6"},
        DamagedLine{"Type=5", "Type=flux", false, "Type=5"},
        DamagedLine{"Type=14", "Type=", false, "Type=14"},
        DamagedLine{"Density=5", "Density=five", false, "Density=5"},
        DamagedLine{"Dimension=1", "Dimension=one", true, "Dimension=1"},
        DamagedLine{"Const=0.5000000000000000", "Const=half", false, "Const=0.5000000000000000"}));

}  // namespace
}  // namespace vireon
