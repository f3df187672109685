#include "document/fit_section.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "document/model_file.h"
#include "support/document_fixtures.h"

namespace vireon {

namespace {

using test::FillCatalogue;
using test::MakeRichDocument;

class FitSection : public ::testing::Test {
 protected:
  void SetUp() override { FillCatalogue(catalogue_); }

  int Parse(const std::string& text, Document& document, RecordingSink& sink) {
    NewDocument(document, DefaultValues());
    return ParseModelBuffer(document, text, catalogue_, DefaultValues(), sink);
  }

  static FitSettings SomeFit() {
    FitSettings fit;
    fit.dataFiles = {"run1.csv", "/data/titration with blanks.txt"};
    FitParameter k{"R1(k)", 0.1, 1e3 / 3.0};
    FitParameter initial{"[A]i"};
    initial.scale = ParameterScale::kLinear;
    FitParameter volume{"V(c)", 1e-300, kNoBound, ParameterScale::kLog};
    fit.parameters = {k, initial, volume};
    fit.method = FitMethod::kGlobal;
    fit.starts = 37;
    fit.seed = 4294967295u;
    fit.scaleColumns = true;
    return fit;
  }

  KineticCatalogue catalogue_;
};

// Write, read, write: the same bytes and the same fit, after everything a
// file without a fit holds, which reads back without one.
TEST_F(FitSection, RoundTripGivesTheSameBytesAfterEverythingElse) {
  Document written = MakeRichDocument(catalogue_);
  const std::string old = ModelFileText(written, catalogue_);
  written.fit = SomeFit();
  const std::string text = ModelFileText(written, catalogue_);
  ASSERT_EQ(text.compare(0, old.size(), old), 0);
  EXPECT_EQ(text.substr(old.size()),
            "Fit\nMethod=global\nStarts=37\nSeed=4294967295\nScaleColumns=1\nExperiments=2\n"
            "File=run1.csv\nFile=/data/titration with blanks.txt\nParameters=3\n"
            "Title=R1(k)\nLower=0.1\nUpper=333.3333333333333\nScale=auto\n"
            "Title=[A]i\nLower=\nUpper=\nScale=linear\n"
            "Title=V(c)\nLower=1e-300\nUpper=\nScale=log\n");
  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.fit, written.fit);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);

  Document plain;
  ASSERT_EQ(Parse(old, plain, sink), 0);
  EXPECT_TRUE(plain.fit.empty());
  EXPECT_EQ(ModelFileText(plain, catalogue_), old);
}

TEST_F(FitSection, ABadLineStopsTheLoadNamingIt) {
  Document written = MakeRichDocument(catalogue_);
  const std::string before = ModelFileText(written, catalogue_);
  const int firstFitLine = static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1;
  struct Case {
    std::string section;
    int line;  // after the header
    std::string why;
  };
  const Case cases[] = {
      {"Fit\nMethod=best\n", 1, "the method best is none of local, global and direct"},
      {"Fit\nMethod=local\nStarts=0\n", 2,
       "the value of Starts is not a whole number from 1 to 100000"},
      {"Fit\nMethod=local\nBegins=2\n", 2, "it should start with Starts="},
      {"Fit\nMethod=local\nStarts=2\nSeed=1\nScaleColumns=0\nExperiments=1\nFile=a\n"
       "Parameters=1\nTitle=k\nLower=x\n",
       9, "the value of Lower is not a finite number"},
  };
  for (const Case& c : cases) {
    Document document;
    RecordingSink sink;
    const int line = firstFitLine + c.line;
    EXPECT_EQ(Parse(before + c.section, document, sink), line) << c.section;
    EXPECT_TRUE(sink.Said("Error: line " + std::to_string(line) +
                          " of the fit cannot be read: " + c.why + "\nLoading aborted."))
        << ::testing::PrintToString(sink.Texts());
  }
}

}  // namespace
}  // namespace vireon
