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

namespace vireon {
namespace {

const char* const kHandWrittenPath = VIREON_TEST_DATA_DIR "/hand_written.vrn";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
    golden_ = ReadFile(kHandWrittenPath);
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
  EXPECT_EQ(d.settings.ssColumnWidth, 16);
  EXPECT_EQ(d.settings.dynSeparator, '\t');
  EXPECT_EQ(d.settings.ssSeparator, ',');
  EXPECT_EQ(d.settings.ssFile, "regulated.ss");

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

  // The structural analysis found the one relation A + B = 1.0 * 1 + 0.5 * 2.
  EXPECT_EQ(d.model.nIndependent, 1);
  EXPECT_EQ(d.model.metabolites[1].type, DEPENDENT);
  ASSERT_EQ(d.model.nMoieties(), 1);
  EXPECT_EQ(d.model.moieties[0].name, "  A + B ");
  EXPECT_EQ(d.model.moieties[0].initialConcentration, 2.0);

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

}  // namespace
}  // namespace vireon
