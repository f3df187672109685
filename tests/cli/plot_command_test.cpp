// `vireon plot`: the script of a model's plot settings, printed or rendered
// by the real gnuplot.

#include "cli/plot_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_test_support.h"
#include "cli/gnuplot_render.h"
#include "cli/vireon_command.h"
#include "document/document.h"
#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "model/messages.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

class PlotCommandTest : public CliFolder {
 protected:
  void SetUp() override {
    CliFolder::SetUp();
    BuildBuiltInKineticTypes(catalogue_);
  }

  fs::path SaveChanged(const std::string& example, const std::string& name,
                       void (*change)(Document&)) {
    Document document;
    RecordingSink sink;
    EXPECT_TRUE(ReadModelFile(document, (ExamplesFolder() / example).string(), catalogue_,
                              DefaultValues(), sink));
    change(document);
    const fs::path path = folder() / name;
    EXPECT_TRUE(WriteModelFile(document, path.string(), catalogue_, sink));
    return path;
  }

  static void SkipWithoutGnuplot() {
    if (!cli::FindProgram("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  }

  KineticCatalogue catalogue_;
};

TEST_F(PlotCommandTest, PrintsTheScriptForTheScreen) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const ProgramResult result = RunVireon({"plot", model.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out.rfind("set terminal qt\nset output\n", 0), 0u) << result.out;
  const std::string data = "'" + (folder() / "michaelis_menten-timecourse.dat").string() + "'";
  EXPECT_NE(result.out.find("plot " + data + " u 1:2 t '[S]t'," + data + " u 1:3 t '[E]t',"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("set title 'Michaelis-Menten enzyme with explicit binding steps'\n"),
            std::string::npos);
}

TEST_F(PlotCommandTest, ModelWithoutTimeCourseFallsBackToSteadyState) {
  const fs::path model = SaveChanged("branched_pathway.vrn", "ss.vrn", [](Document& d) {
    d.settings.dynamics = 0;
    d.plot.plotXEntry = 3;  // J(E1)
    d.plot.plotY = {4, 5};  // J(E4), J(E5)
  });
  const ProgramResult result = RunVireon({"plot", model.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const std::string data = "'" + (folder() / "branched_pathway-steadystate.dat").string() + "'";
  EXPECT_NE(result.out.find("plot " + data + " u 4:5"), std::string::npos) << result.out;
}

TEST_F(PlotCommandTest, IncompleteChoiceExitsOne) {
  const fs::path model =
      SaveChanged("brusselator.vrn", "nox.vrn", [](Document& d) { d.plot.plotXEntry = -1; });
  const ProgramResult result = RunVireon({"plot", model.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("choose no x column"), std::string::npos) << result.err;
}

TEST_F(PlotCommandTest, NothingSelectedExitsOneWithTheMessage) {
  const fs::path model = SaveChanged("brusselator.vrn", "none.vrn", [](Document& d) {
    d.selections.timeCourse.clear();
    d.selections.steadyState.clear();
    d.plot.plotXEntry = -1;
    d.plot.plotY.clear();
  });
  const ProgramResult result = RunVireon({"plot", model.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find(messages::kPlotNeedsSelection), std::string::npos) << result.err;
}

TEST_F(PlotCommandTest, MissingModelExitsOne) {
  const ProgramResult result = RunVireon({"plot", (folder() / "absent.vrn").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("could not load"), std::string::npos);
}

TEST_F(PlotCommandTest, RenderingNeedsTheDataOfARun) {
  SkipWithoutGnuplot();
  const fs::path model = CopyExample("brusselator.vrn");
  const fs::path picture = folder() / "b.png";
  const ProgramResult result = RunVireon({"plot", model.string(), "--output", picture.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("run the model first"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(picture));
}

// The picture never replaces the model or the data it plots, under any
// name (the picture is removed before gnuplot draws it).
TEST_F(PlotCommandTest, ThePictureNeverReplacesTheModelOrItsData) {
  const fs::path model = folder() / "model.png";
  fs::copy_file(ExamplesFolder() / "michaelis_menten.vrn", model);
  ASSERT_EQ(RunVireon({"run", model.string()}).exitStatus, 0);
  const fs::path data = folder() / "michaelis_menten-timecourse.dat";
  fs::create_hard_link(data, folder() / "data.png");
  const std::string modelText = ReadText(model);
  const std::string dataText = ReadText(data);
  for (const fs::path& picture : {model, folder() / "data.png"}) {
    SCOPED_TRACE(picture.filename().string());
    const ProgramResult result = RunVireon({"plot", model.string(), "--output", picture.string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("would replace the"), std::string::npos) << result.err;
    EXPECT_EQ(ReadText(model), modelText);
    EXPECT_EQ(ReadText(data), dataText);
  }
}

TEST_F(PlotCommandTest, RendersEveryExampleAfterItsRun) {
  SkipWithoutGnuplot();
  for (const std::string& example : kExampleModels) {
    SCOPED_TRACE(example);
    const fs::path model = CopyExample(example);
    ASSERT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
    const fs::path png = folder() / (example + ".png");
    const ProgramResult result = RunVireon({"plot", model.string(), "--output", png.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "Plot:  " + png.string() + "\n");
    EXPECT_EQ(ReadText(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
  }
}

// A folder whose name holds line breaks and a gnuplot command: the script
// still names the data file in it, and gnuplot runs nothing from the name.
TEST_F(PlotCommandTest, AFolderNameCannotAddCommandsToTheScript) {
  SkipWithoutGnuplot();
  const fs::path hostile = folder() / "q\nsystem \"touch INJECTED\"\n";
  fs::create_directories(hostile);
  fs::copy_file(ExamplesFolder() / "michaelis_menten.vrn", hostile / "m.vrn");
  ASSERT_EQ(RunVireon({"run", "--quiet", (hostile / "m.vrn").string()}).exitStatus, 0);

  const ProgramResult script = RunVireon({"plot", (hostile / "m.vrn").string()});
  ASSERT_EQ(script.exitStatus, 0) << script.err;
  std::istringstream lines(script.out);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("system", 0), std::string::npos) << line;
  }
  const fs::path png = folder() / "m.png";
  const ProgramResult result =
      RunVireon({"plot", (hostile / "m.vrn").string(), "--output", png.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(ReadText(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_FALSE(fs::exists(folder() / "INJECTED"));
  EXPECT_FALSE(fs::exists("INJECTED"));
}

TEST_F(PlotCommandTest, RendersSvg) {
  SkipWithoutGnuplot();
  const fs::path model = CopyExample("michaelis_menten.vrn");
  ASSERT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
  const fs::path svg = folder() / "mm.svg";
  const ProgramResult result = RunVireon({"plot", model.string(), "--output", svg.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const std::string text = ReadText(svg);
  EXPECT_EQ(text.rfind("<?xml", 0), 0u);
  EXPECT_NE(text.find("<svg"), std::string::npos);
}

// A gnuplot that fails is reported, and no picture is claimed.
TEST_F(PlotCommandTest, FailingGnuplotExitsOne) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  ASSERT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
  const fs::path fake = folder() / "fake-gnuplot";
  WriteText(fake, "#!/bin/sh\ncat >/dev/null\nexit 3\n");
  fs::permissions(fake, fs::perms::owner_all);
  fs::create_directories(ConfigHome() / "vireon");
  WriteText(ConfigHome() / "vireon" / "vireon.ini", "[Helpers]\nGnuplot=" + fake.string() + "\n");
  const fs::path png = folder() / "x.png";
  const ProgramResult result = RunVireon({"plot", model.string(), "--output", png.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("failed on the script"), std::string::npos) << result.err;
}

TEST_F(PlotCommandTest, HelperPathThatIsNoProgramExitsOne) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  ASSERT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
  fs::create_directories(ConfigHome() / "vireon");
  WriteText(ConfigHome() / "vireon" / "vireon.ini",
            "[Helpers]\nGnuplot=" + (folder() / "no-such-gnuplot").string() + "\n");
  const ProgramResult result =
      RunVireon({"plot", model.string(), "--output", (folder() / "x.svg").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("gnuplot not found"), std::string::npos) << result.err;
}

// The entry function, called in this process with the settings and the
// database in the scratch folder.
TEST_F(PlotCommandTest, EntryFunctionPrintsTheScript) {
  const fs::path model = CopyExample("branched_pathway.vrn");
  std::ostringstream out, err;
  const int status =
      cli::RunVireonCommand({"plot", model.string(), "--settings", (folder() / "s.ini").string(),
                             "--kdb", (folder() / "u.kdb").string()},
                            out, err);
  EXPECT_EQ(status, cli::kExitSuccess) << err.str();
  const std::string data = "'" + (folder() / "branched_pathway-timecourse.dat").string() + "'";
  EXPECT_NE(out.str().find("plot " + data + " u 1:2 t '[S1]t'," + data + " u 1:3 t '[S2]t'," +
                           data + " u 1:4 t '[S3]t'\n"),
            std::string::npos)
      << out.str();
}

TEST(PictureFormat, FollowsTheExtension) {
  EXPECT_EQ(cli::PictureFormatOf("a.png"), cli::PictureFormat::kPng);
  EXPECT_EQ(cli::PictureFormatOf("a.SVG"), cli::PictureFormat::kSvg);
  EXPECT_EQ(cli::PictureFormatOf("a.pdf"), cli::PictureFormat::kNone);
  EXPECT_EQ(cli::PictureFormatOf("png"), cli::PictureFormat::kNone);
  EXPECT_EQ(cli::PictureTerminal(cli::PictureFormat::kSvg).substr(0, 4), "svg ");
  EXPECT_EQ(cli::PictureTerminal(cli::PictureFormat::kPng).substr(0, 9), "pngcairo ");
}

TEST(GnuplotProgram, IsTheHelperPathOrGnuplotFromPath) {
  EXPECT_EQ(cli::GnuplotProgram(""), "gnuplot");
  EXPECT_EQ(cli::GnuplotProgram("/opt/gp/bin/gnuplot"), "/opt/gp/bin/gnuplot");
  EXPECT_TRUE(cli::FindProgram("sh"));
  EXPECT_FALSE(cli::FindProgram("no-such-program-anywhere"));
  EXPECT_FALSE(cli::FindProgram(""));
}

}  // namespace
}  // namespace vireon::test
