// Runs the real gnuplot on every kind of script the program builds, with a
// PNG terminal in place of the screen, over data files in the layout the
// program writes. gnuplot must accept every script: exit status 0, nothing
// on stderr, and a picture written.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/gnuplot_script.h"
#include "output/number_format.h"
#include "support/files.h"

extern char** environ;

namespace vireon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGnuplot = "/usr/bin/gnuplot";
// A small font leaves room for the key of ten curves below a ninth of the page.
constexpr const char* kPngTerminal = "png tiny size 1280,960";
// Items of the selection: time, a scanned parameter and the concentrations.
constexpr int kConcentrations = 10;
constexpr int kItems = 2 + kConcentrations;
constexpr int kBlocks = 6;        // points of the outer scan loop
constexpr int kBlockPoints = 12;  // time-course points per block
// Values as the data files write them: " 1.0000e+000" in a column of 12.
constexpr int kColumnWidth = 12;

// A two-level grid scan's time-course file: one block per value of the
// scanned parameter, blank lines between blocks, every value positive so
// that logarithmic axes have something to show.
std::string ScanDataFile() {
  std::ostringstream out;
  for (int b = 0; b < kBlocks; ++b) {
    const double parameter = 1.0 + b;
    for (int p = 0; p < kBlockPoints; ++p) {
      const double time = 0.1 + 0.5 * p;
      out << FormatColumnValue(time, kColumnWidth) << ' '
          << FormatColumnValue(parameter, kColumnWidth);
      for (int m = 1; m <= kConcentrations; ++m) {
        out << ' '
            << FormatColumnValue(parameter * m * (1.0 - std::exp(-time / m)) + 1e-3, kColumnWidth);
      }
      out << '\n';
    }
    out << '\n';
  }
  return out.str();
}

struct RunResult {
  int exitStatus = -1;
  std::string errors;
};

RunResult RunGnuplot(const fs::path& script, const fs::path& errorFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = kGnuplot;
  std::string path = script.string();
  char* argv[] = {program.data(), path.data(), nullptr};
  pid_t pid = 0;
  RunResult result;
  if (posix_spawn(&pid, kGnuplot, &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(errorFile);
  result.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return result;
}

struct RenderCase {
  std::string name;
  PlotSettings settings;
};

void PrintTo(const RenderCase& c, std::ostream* out) {
  *out << c.name;
}

class GnuplotRender : public ::testing::TestWithParam<RenderCase> {
 protected:
  void SetUp() override {
    if (!fs::exists(kGnuplot)) GTEST_SKIP() << "gnuplot is not installed";
    test::WriteText(folder_ / "dyn.dat", ScanDataFile());
  }

  // The data file's path stands in the plots' keys: a short one fits them.
  test::TemporaryFolder temporary_{"gnuplot"};
  const fs::path folder_ = temporary_.path();
};

TEST_P(GnuplotRender, GnuplotAcceptsTheScript) {
  PlotSource source;
  source.dataPath = (folder_ / "dyn.dat").string();
  source.modelTitle = "Scan of k1";
  source.columnTitles = {"time", "k1"};
  for (int m = 1; m <= kConcentrations; ++m)
    source.columnTitles.push_back("[M" + std::to_string(m) + "]t");
  const fs::path picture = folder_ / "plot.png";
  const std::string script =
      BuildPlotCommands(GetParam().settings, source, FileTerminal(kPngTerminal, picture.string()));
  ASSERT_FALSE(script.empty());
  const fs::path scriptFile = folder_ / "script.plt";
  std::ofstream(scriptFile, std::ios::binary) << script;

  const RunResult result = RunGnuplot(scriptFile, folder_ / "stderr.txt");
  EXPECT_EQ(result.exitStatus, 0) << script;
  EXPECT_EQ(result.errors, "") << script;
  ASSERT_TRUE(fs::exists(picture));
  EXPECT_GT(fs::file_size(picture), 0u);
}

std::vector<RenderCase> Cases() {
  std::vector<RenderCase> cases;
  const char* styleNames[] = {"Dots", "Points", "Lines", "LinesPoints", "Splines", "SplinesPoints"};
  // 2-D: every style, alone and as multiplots of 1 to 10 panels.
  for (int style = 0; style < kPlotStyleCount; ++style) {
    for (int panels = 1; panels <= 10; ++panels) {
      for (int multiplot = 0; multiplot <= 1; ++multiplot) {
        if (multiplot == 0 && panels != 1 && panels != 3 && panels != 10) continue;
        PlotSettings s;
        s.plotType = style;
        s.plotXEntry = 0;
        for (int k = 0; k < panels; ++k) s.plotY.push_back(2 + k);
        s.plotMultiplot = multiplot;
        s.plotTitles = (style + panels) % 2;
        s.plotGrid = panels % 2;
        s.plotKey = (panels / 2) % 2;
        cases.push_back({std::string("Plot") + styleNames[style] +
                             (multiplot ? "Multi" : "Single") + std::to_string(panels),
                         s});
      }
    }
  }
  // 2-D with logarithmic axes.
  for (int logs = 1; logs <= 3; ++logs) {
    PlotSettings s;
    s.plotXEntry = 0;
    s.plotY = {2, 3};
    s.plotLogX = logs & 1;
    s.plotLogY = (logs >> 1) & 1;
    s.plotGrid = 1;
    s.plotKey = 1;
    cases.push_back({"PlotLog" + std::to_string(logs), s});
  }
  // 3-D: every style with each combination of contour and hidden lines,
  // logarithmic z, and multiplots of 1 to 10 panels.
  for (int style = 0; style < kPlotStyleCount; ++style) {
    for (int options = 0; options < 4; ++options) {
      PlotSettings s;
      s.plot3d = 1;
      s.plotType = style;
      s.plotXEntry = 0;
      s.plotY = {1};
      s.plotZ = {2 + style};
      s.plotContour = options & 1;
      s.plotHidden3d = (options >> 1) & 1;
      s.plotTitles = options % 2;
      s.plotLogZ = style % 2;
      s.plotKey = 1;
      cases.push_back(
          {std::string("Splot") + styleNames[style] + "Options" + std::to_string(options), s});
    }
  }
  for (int panels = 1; panels <= 10; ++panels) {
    PlotSettings s;
    s.plot3d = 1;
    s.plotXEntry = 0;
    s.plotY = {1};
    for (int k = 0; k < panels; ++k) s.plotZ.push_back(2 + k);
    s.plotMultiplot = 1;
    s.plotHidden3d = panels % 2;
    s.plotContour = (panels / 2) % 2;
    s.plotGrid = 1;
    cases.push_back({"SplotMulti" + std::to_string(panels), s});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllPlots, GnuplotRender, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RenderCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace vireon
