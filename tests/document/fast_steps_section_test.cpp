#include "document/fast_steps_section.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/model_file.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"
#include "support/files.h"

namespace vireon {

namespace {

using test::FillCatalogue;
using test::MakeRichDocument;
using test::SplitLines;

class FastStepsSection : public ::testing::Test {
 protected:
  void SetUp() override { FillCatalogue(catalogue_); }

  int Parse(const std::string& text, Document& document, RecordingSink& sink) {
    NewDocument(document, DefaultValues());
    return ParseModelBuffer(document, text, catalogue_, DefaultValues(), sink);
  }

  KineticCatalogue catalogue_;
};

// Write, read, write: the same bytes and the same flags, after the empty
// sections of quantities and rules; the file of the same model without a
// fast step is every byte before them, and reads without one.
TEST_F(FastStepsSection, RoundTripGivesTheSameBytesAfterTheRules) {
  Document written = MakeRichDocument(catalogue_);
  const std::string old = ModelFileText(written, catalogue_);
  written.model.steps[1].fast = true;
  written.model.steps[3].fast = true;
  const std::string text = ModelFileText(written, catalogue_);
  ASSERT_EQ(text.compare(0, old.size(), old), 0);
  EXPECT_EQ(text.substr(old.size()),
            "Global quantities\nItems=0\nRules\nItems=0\nFast steps\n"
            "Items=2\nStep=" +
                written.model.steps[1].name + "\nStep=" + written.model.steps[3].name + "\n");
  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  for (std::size_t k = 0; k < read.model.steps.size(); ++k) {
    EXPECT_EQ(read.model.steps[k].fast, k == 1 || k == 3) << "step " << k;
  }
  EXPECT_EQ(read.model.steps, written.model.steps);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);

  Document plain;
  ASSERT_EQ(Parse(old, plain, sink), 0);
  EXPECT_FALSE(HasFastSteps(plain.model));
  EXPECT_EQ(ModelFileText(plain, catalogue_), old);
}

// A name that is no step stops the load with an error naming its line.
TEST_F(FastStepsSection, AnUnknownStepStopsTheLoadNamingTheLine) {
  Document written = MakeRichDocument(catalogue_);
  written.model.steps[0].fast = true;
  std::vector<std::string> lines = SplitLines(ModelFileText(written, catalogue_));
  int replaced = 0;
  for (std::size_t i = 0; i < lines.size() && replaced == 0; ++i) {
    if (lines[i] == "Step=" + written.model.steps[0].name && i > 0 && lines[i - 1] == "Items=1") {
      lines[i] = "Step=no such step";
      replaced = static_cast<int>(i) + 1;
    }
  }
  ASSERT_NE(replaced, 0);
  Document document;
  RecordingSink sink;
  EXPECT_EQ(Parse(test::JoinLines(lines), document, sink), replaced);
  EXPECT_TRUE(sink.Said("Error: the fast step at line " + std::to_string(replaced) +
                        " is no step of the model.\nLoading aborted."))
      << ::testing::PrintToString(sink.Texts());
}

}  // namespace
}  // namespace vireon
