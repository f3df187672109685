#include "cli/fit_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/command_line.h"
#include "cli/fit_job.h"
#include "support/expect_close.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

struct ParameterCase {
  const char* text;
  bool good;
  double lower;
  double upper;
  ParameterScale scale;
};

class FitParameterText : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(FitParameterText, ReadsTitleBoundsAndScale) {
  std::string error;
  const std::optional<FitParameter> parameter = cli::ParseFitParameter(GetParam().text, error);
  ASSERT_EQ(parameter.has_value(), GetParam().good) << error;
  if (!parameter) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(parameter->lower, GetParam().lower);
  EXPECT_EQ(parameter->upper, GetParam().upper);
  EXPECT_EQ(parameter->scale, GetParam().scale);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FitParameterText,
    ::testing::Values(ParameterCase{"E1(k1)", true, -kNoBound, kNoBound, ParameterScale::kAuto},
                      ParameterCase{"E1(k1)=0.1:10", true, 0.1, 10.0, ParameterScale::kAuto},
                      ParameterCase{"E1(k1)=:10", true, -kNoBound, 10.0, ParameterScale::kAuto},
                      ParameterCase{"[S]i=-1::linear", true, -1.0, kNoBound,
                                    ParameterScale::kLinear},
                      ParameterCase{"q=1e-3:1e3:log", true, 1e-3, 1e3, ParameterScale::kLog},
                      ParameterCase{"E1(k1)=10:1", false, 0, 0, ParameterScale::kAuto},
                      ParameterCase{"E1(k1)=1", false, 0, 0, ParameterScale::kAuto},
                      ParameterCase{"E1(k1)=a:b", false, 0, 0, ParameterScale::kAuto},
                      ParameterCase{"E1(k1)=1:2:cubic", false, 0, 0, ParameterScale::kAuto},
                      ParameterCase{"=1:2", false, 0, 0, ParameterScale::kAuto}));

// The fit an MPI job's first process shares reads back as it was, bytes,
// bounds and all; bytes cut short or added to are no job.
TEST(FitJob, ReadsBackExactlyAndRefusesWhatIsNotOne) {
  cli::FitJob job;
  job.modelName = "model one.xml";
  job.modelText = std::string("Title\r\n12:34\0bytes", 18);
  job.experiments = {{"/data/a.csv", "time,X\n0,1\n"}, {"b.txt", ""}};
  job.parameters = {{"R1(k)", 0.1, 1e300, ParameterScale::kLog},
                    {"[S]i", -kNoBound, kNoBound, ParameterScale::kAuto},
                    {"q", -0.30000000000000004, 2.0, ParameterScale::kLinear}};
  job.scaleColumns = true;
  const std::string bytes = cli::EncodeFitJob(job);
  const std::optional<cli::FitJob> read = cli::DecodeFitJob(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, job);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    ASSERT_FALSE(cli::DecodeFitJob(std::string_view(bytes).substr(0, cut))) << cut;
  }
  EXPECT_FALSE(cli::DecodeFitJob(bytes + "0:"));
  EXPECT_FALSE(cli::DecodeFitJob("99999999999999999999999:x"));
}

// The value of E1(k1) in a fit's JSON.
double FittedK1(const std::string& json) {
  const std::string key = "\"name\": \"E1(k1)\", \"value\": ";
  const std::size_t at = json.find(key);
  if (at == std::string::npos) {
    ADD_FAILURE() << json;
    return 0.0;
  }
  return std::strtod(json.c_str() + at + key.size(), nullptr);
}

// The model's own tolerance (rtol 1e-6) bounds how near the fit comes.
constexpr double kFitted = 1e-5;

class FitCommandTest : public CliFolder {
 protected:
  // linear_pathway.vrn and the time courses of S1 and S3 it gives, with
  // E1's k1 and E3's k1 moved from 2 and 1.5 to `k1` and `k3`.
  fs::path Prepare() {
    const fs::path model = CopyExample("linear_pathway.vrn");
    const ProgramResult simulated =
        RunVireon({"simulate", model.string(), "--select", "S1,S3", "--end", "5", "--points", "10",
                   "--rtol", "1e-10", "-o", (folder() / "course.csv").string()});
    EXPECT_EQ(simulated.exitStatus, 0) << simulated.err;
    std::string text = ReadText(model);
    const std::size_t e1 = text.find("Param0=2.0000000000000000");
    EXPECT_NE(e1, std::string::npos);
    text.replace(e1, 25, "Param0=5.0000000000000000");
    WriteText(folder() / "moved.vrn", text);
    return folder() / "moved.vrn";
  }
};

TEST_F(FitCommandTest, FitsSavesAndRunsTheStoredFitAgain) {
  const fs::path model = Prepare();
  const fs::path result = folder() / "result.json";
  const fs::path saved = folder() / "fitted.vrn";
  const ProgramResult fit =
      RunVireon({"fit", model.string(), "--data", (folder() / "course.csv").string(), "--parameter",
                 "E1(k1)=0.1:100", "--method", "global", "--starts", "4", "--jobs", "2", "--seed",
                 "9", "-o", result.string(), "--save", saved.string()});
  ASSERT_EQ(fit.exitStatus, 0) << fit.err;
  EXPECT_NE(fit.out.find("Fit converged"), std::string::npos) << fit.out;
  const std::string json = ReadText(result);
  EXPECT_NEAR_REL(FittedK1(json), 2.0, kFitted);
  EXPECT_NE(json.find("\"starts\": 4"), std::string::npos);
  EXPECT_NE(json.find("\"title\": \"S3\""), std::string::npos);
  const std::string stored = ReadText(saved);
  // E1's k1 is the fitted value now, not the moved one.
  EXPECT_EQ(stored.find("Param0=5.0000000000000000"), std::string::npos);
  EXPECT_NE(stored.find("\nFit\nMethod=global\nStarts=4\nSeed=9\nScaleColumns=0\nExperiments=1\n"
                        "File=course.csv\nParameters=1\nTitle=E1(k1)\nLower=0.1\nUpper=100\n"
                        "Scale=auto\n"),
            std::string::npos)
      << stored;

  // The stored fit alone, on one thread, from the saved (already fitted) values.
  const fs::path again = folder() / "again.json";
  const ProgramResult rerun = RunVireon({"fit", saved.string(), "--quiet", "-o", again.string()});
  ASSERT_EQ(rerun.exitStatus, 0) << rerun.err;
  EXPECT_NEAR_REL(FittedK1(ReadText(again)), 2.0, kFitted);
}

// The report of a fit, where --report says; a model that has its report
// switched on gets it in its own report file, and a run of a model that
// stores a fit says which.
TEST_F(FitCommandTest, WritesTheFitIntoTheReport) {
  const fs::path model = Prepare();
  const fs::path report = folder() / "fit report.txt";
  const fs::path saved = folder() / "fitted.vrn";
  const ProgramResult fit =
      RunVireon({"fit", model.string(), "--data", (folder() / "course.csv").string(), "--parameter",
                 "E1(k1)=0.1:100", "--parameter", "E3(k1)", "--method", "global", "--starts", "3",
                 "--seed", "4", "--quiet", "--report", report.string(), "--save", saved.string()});
  ASSERT_EQ(fit.exitStatus, 0) << fit.err;
  const std::string text = ReadText(report);
  EXPECT_EQ(text.rfind("*****", 0), 0u) << text;
  EXPECT_NE(text.find("\nSTRUCTURAL ANALYSIS\n"), std::string::npos);
  EXPECT_NE(text.find("\nPARAMETER ESTIMATION\nMethod: global, 3 starts, seed 4\n"
                      "Weights: 1/sd where a column gives sd, else 1\nExperiments:\n " +
                      (folder() / "course.csv").string() +
                      "\nParameters:\n E1(k1): lower  1.0000e-001, upper  1.0000e+002, searched in "
                      "log space\n E3(k1): lower  0.0000e+000, upper none, searched in log "
                      "space\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nRESULTS OF THE FIT\nStatus: converged\nObjective = "),
            std::string::npos)
      << text;
  const std::size_t k1 = text.find("\nE1(k1) =  ");
  ASSERT_NE(k1, std::string::npos) << text;
  EXPECT_NEAR_REL(std::strtod(text.c_str() + k1 + 10, nullptr), 2.0, kFitted);
  EXPECT_NE(text.find("\nCORRELATION OF THE PARAMETERS\nE1(k1)     |  1.0000 "), std::string::npos)
      << text;
  EXPECT_NE(text.find("\nSTARTS\n3 run, 0 failed; the best is start "), std::string::npos) << text;
  // --report replaces the model's own report file (moved.txt).
  EXPECT_FALSE(fs::exists(folder() / "moved.txt"));

  const fs::path ownReport = folder() / "fitted.txt";
  const ProgramResult run = RunVireon({"run", saved.string(), "--quiet"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::string runReport = ReadText(ownReport);
  EXPECT_NE(runReport.find("\nPARAMETER ESTIMATION\nMethod: global, 3 starts, seed 4\n"),
            std::string::npos)
      << runReport;
  EXPECT_EQ(runReport.find("RESULTS OF THE FIT"), std::string::npos);
  EXPECT_NE(runReport.find("\nKINETIC PARAMETERS\n"), std::string::npos);

  fs::remove(ownReport);
  const ProgramResult again = RunVireon({"fit", saved.string(), "--quiet"});
  ASSERT_EQ(again.exitStatus, 0) << again.err;
  const std::string fitReport = ReadText(ownReport);
  EXPECT_NE(fitReport.find("\nRESULTS OF THE FIT\n"), std::string::npos) << fitReport;
  EXPECT_NE(fitReport.find(" course.csv\n"), std::string::npos) << fitReport;
}

TEST_F(FitCommandTest, RefusesWhatItCannotFit) {
  const fs::path model = Prepare();
  const std::string data = (folder() / "course.csv").string();
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  WriteText(folder() / "bad.csv", "time,S1\n0,0\n1,one\n");
  const Case cases[] = {
      {{"fit", model.string()}, 2, "vireon: fit needs --data: "},
      {{"fit", model.string(), "--data", data}, 2, "vireon: fit needs --parameter: "},
      {{"fit", model.string(), "--method", "best"},
       2,
       "vireon: --method needs local, global or direct, not best"},
      {{"fit", model.string(), "--data", (folder() / "bad.csv").string(), "--parameter", "E1(k1)"},
       1,
       "bad.csv, line 3: column 2 (S1) holds \"one\", which is not a finite number"},
      {{"fit", model.string(), "--data", data, "--parameter", "E9(k1)"},
       1,
       "parameter E9(k1) is no quantity the fit can set"},
      {{"fit", model.string(), "--data", data, "--parameter", "E1(k1)", "-o", model.string()},
       1,
       "would replace the"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const ProgramResult result = RunVireon(c.arguments);
    EXPECT_EQ(result.exitStatus, c.status) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace vireon::test
