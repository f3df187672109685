#include "output/gnuplot_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vireon {
namespace {

constexpr const char* kPath = "/home/u/models/dyn.dat";
constexpr const char* kHeader2d = "set terminal qt\nset output\nset nogrid\nset nokey\n";

PlotSource Source(int items) {
  PlotSource source;
  source.dataPath = kPath;
  source.modelTitle = "Glycolysis";
  source.columnTitles.push_back("time");
  for (int i = 1; i < items; ++i) source.columnTitles.push_back("[M" + std::to_string(i) + "]t");
  return source;
}

PlotSettings TwoD(std::vector<int> y, int style = kPlotLines, bool titles = false) {
  PlotSettings s;
  s.plotXEntry = 0;
  s.plotY = std::move(y);
  s.plotType = style;
  s.plotTitles = titles ? 1 : 0;
  return s;
}

TEST(GnuplotScript, TwoCurvesWithLinesNoTitles) {
  const std::string script = BuildPlotCommands(TwoD({1, 2}), Source(3));
  EXPECT_EQ(script, std::string(kHeader2d) +
                        "set style data lines\n"
                        "plot '/home/u/models/dyn.dat' u 1:2,'/home/u/models/dyn.dat' u 1:3\n\n");
}

TEST(GnuplotScript, SplinesAndPointsGiveTwoEntriesPerCurveWithTitles) {
  PlotSettings s = TwoD({1, 2}, kPlotSplinesPoints, true);
  s.plotGrid = 1;
  s.plotKey = 1;
  const std::string script = BuildPlotCommands(s, Source(3));
  const std::string p = "'/home/u/models/dyn.dat'";
  EXPECT_EQ(script,
            "set terminal qt\nset output\nset grid\nset key below left Left reverse\n"
            "set title 'Glycolysis'\n"
            "set style data points\n"
            "set xlabel 'time'\n"
            "plot " +
                p + " u 1:2 smooth csplines t '[M1]t', " + p + " u 1:2 t '[M1]t' w points," + p +
                " u 1:3 smooth csplines t '[M2]t', " + p + " u 1:3 t '[M2]t' w points\n\n");
}

TEST(GnuplotScript, OneCurveWithTitlesLabelsBothAxesAndLogScales) {
  PlotSettings s = TwoD({2}, kPlotLinesPoints, true);
  s.plotLogX = 1;
  s.plotLogY = 1;
  EXPECT_EQ(BuildPlotCommands(s, Source(3)),
            std::string(kHeader2d) +
                "set title 'Glycolysis'\nset logscale x\nset logscale y\n"
                "set style data linespoints\nset xlabel 'time'\nset ylabel '[M2]t'\n"
                "plot '/home/u/models/dyn.dat' u 1:3 t '[M2]t'\n\n");
}

struct StyleCase {
  int style;
  const char* dataStyle;
  const char* curve;  // the plot command of y item 1, titles off
};

class GnuplotStyle : public ::testing::TestWithParam<StyleCase> {};

TEST_P(GnuplotStyle, DataStyleLineAndCurve) {
  const StyleCase& c = GetParam();
  EXPECT_EQ(BuildPlotCommands(TwoD({1}, c.style), Source(2)),
            std::string(kHeader2d) + "set style data " + c.dataStyle + "\n" + c.curve + "\n\n");
}

INSTANTIATE_TEST_SUITE_P(
    AllStyles, GnuplotStyle,
    ::testing::Values(
        StyleCase{kPlotDots, "dots", "plot '/home/u/models/dyn.dat' u 1:2"},
        StyleCase{kPlotPoints, "points", "plot '/home/u/models/dyn.dat' u 1:2"},
        StyleCase{kPlotLines, "lines", "plot '/home/u/models/dyn.dat' u 1:2"},
        StyleCase{kPlotLinesPoints, "linespoints", "plot '/home/u/models/dyn.dat' u 1:2"},
        StyleCase{kPlotSplines, "line", "plot '/home/u/models/dyn.dat' u 1:2 smooth csplines"},
        StyleCase{kPlotSplinesPoints, "points",
                  "plot '/home/u/models/dyn.dat' u 1:2 smooth csplines, "
                  "'/home/u/models/dyn.dat' u 1:2 w points"}));

TEST(GnuplotScript, MultiplotWithFourPanelsFillsTheQuartersWithoutATitle) {
  PlotSettings s = TwoD({1, 2, 3, 4}, kPlotLines, true);
  s.plotMultiplot = 1;
  const std::string p = "plot '/home/u/models/dyn.dat' u 1:";
  EXPECT_EQ(BuildPlotCommands(s, Source(5)),
            std::string(kHeader2d) +
                "set style data lines\nset xlabel 'time'\n"
                "set multiplot\n"
                "set ylabel '[M1]t'\nset size 0.5,0.5\nset origin 0,0\n" +
                p + "2 t '[M1]t'\n" + "set ylabel '[M2]t'\nset size 0.5,0.5\nset origin 0.5,0\n" +
                p + "3 t '[M2]t'\n" + "set ylabel '[M3]t'\nset size 0.5,0.5\nset origin 0,0.5\n" +
                p + "4 t '[M3]t'\n" + "set ylabel '[M4]t'\nset size 0.5,0.5\nset origin 0.5,0.5\n" +
                p + "5 t '[M4]t'\n" + "set nomultiplot\n\n");
}

TEST(GnuplotScript, MultiplotWithTenPanelsFallsBackToOnePlot) {
  PlotSettings s = TwoD({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  s.plotMultiplot = 1;
  const std::string script = BuildPlotCommands(s, Source(11));
  EXPECT_EQ(script.find("multiplot"), std::string::npos);
  std::string plot = "plot ";
  for (int k = 1; k <= 10; ++k) {
    if (k > 1) plot += ",";
    plot += "'/home/u/models/dyn.dat' u 1:" + std::to_string(k + 1);
  }
  EXPECT_EQ(script, std::string(kHeader2d) + "set style data lines\n" + plot + "\n\n");
}

TEST(GnuplotScript, MultiplotWithNinePanelsStillSplitsThePage) {
  PlotSettings s = TwoD({1, 2, 3, 4, 5, 6, 7, 8, 9});
  s.plotMultiplot = 1;
  const std::string script = BuildPlotCommands(s, Source(10));
  EXPECT_NE(script.find("set multiplot\n"), std::string::npos);
  EXPECT_NE(script.find("set origin 0.66,0.66\nplot '/home/u/models/dyn.dat' u 1:10\n"
                        "set nomultiplot\n\n"),
            std::string::npos);
}

struct PanelCase {
  int n;
  int i;
  const char* geometry;
};

class GnuplotPanel : public ::testing::TestWithParam<PanelCase> {};

TEST_P(GnuplotPanel, GeometryOfEveryPanel) {
  const PanelCase& c = GetParam();
  std::vector<int> y;
  for (int k = 1; k <= c.n; ++k) y.push_back(k);
  PlotSettings s = TwoD(y);
  s.plotMultiplot = 1;
  EXPECT_EQ(BuildPlotPanel(s, Source(c.n + 1), c.n, c.i),
            std::string(c.geometry) +
                "\nplot '/home/u/models/dyn.dat' u 1:" + std::to_string(c.i + 2) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    AllLayouts, GnuplotPanel,
    ::testing::Values(PanelCase{1, 0, "set size 0.5,1\nset origin 0.000000,0"},
                      PanelCase{2, 0, "set size 0.5,1\nset origin 0.000000,0"},
                      PanelCase{2, 1, "set size 0.5,1\nset origin 0.500000,0"},
                      PanelCase{3, 0, "set size 0.5,0.5\nset origin 0,0"},
                      PanelCase{3, 2, "set size 0.5,0.5\nset origin 0,0.5"},
                      PanelCase{4, 1, "set size 0.5,0.5\nset origin 0.5,0"},
                      PanelCase{4, 3, "set size 0.5,0.5\nset origin 0.5,0.5"},
                      PanelCase{5, 0, "set size 0.33,0.5\nset origin 0,0"},
                      PanelCase{5, 4, "set size 0.33,0.5\nset origin 0.33,0.5"},
                      PanelCase{6, 1, "set size 0.33,0.5\nset origin 0.33,0"},
                      PanelCase{6, 2, "set size 0.33,0.5\nset origin 0.66,0"},
                      PanelCase{6, 3, "set size 0.33,0.5\nset origin 0,0.5"},
                      PanelCase{6, 5, "set size 0.33,0.5\nset origin 0.66,0.5"},
                      PanelCase{7, 0, "set size 0.33,0.33\nset origin 0,0"},
                      PanelCase{7, 6, "set size 0.33,0.33\nset origin 0,0.66"},
                      PanelCase{8, 3, "set size 0.33,0.33\nset origin 0,0.33"},
                      PanelCase{8, 4, "set size 0.33,0.33\nset origin 0.33,0.33"},
                      PanelCase{9, 5, "set size 0.33,0.33\nset origin 0.66,0.33"},
                      PanelCase{9, 7, "set size 0.33,0.33\nset origin 0.33,0.66"},
                      PanelCase{9, 8, "set size 0.33,0.33\nset origin 0.66,0.66"}));

TEST(GnuplotScript, PanelOutOfRangeIsEmpty) {
  PlotSettings s = TwoD({1, 2});
  s.plotMultiplot = 1;
  EXPECT_EQ(BuildPlotPanel(s, Source(3), 2, 2), "");
  EXPECT_EQ(BuildPlotPanel(s, Source(3), 10, 0), "");
  EXPECT_EQ(BuildPlotPanel(s, Source(3), 2, -1), "");
}

PlotSettings ThreeD(std::vector<int> z) {
  PlotSettings s;
  s.plot3d = 1;
  s.plotXEntry = 0;
  s.plotY = {1};
  s.plotZ = std::move(z);
  s.plotTitles = 0;
  return s;
}

TEST(GnuplotScript, SurfaceWithOneZItemAndTitlesOffStillLabelsZ) {
  EXPECT_EQ(BuildPlotCommands(ThreeD({2}), Source(3)),
            std::string(kHeader2d) +
                "set style data lines\n"
                "set surface\nset ticslevel 0\nset nocontour\nset nohidden3d\n"
                "set zlabel '[M2]t'\n"
                "splot '/home/u/models/dyn.dat' u 1:2:3\n\n");
}

TEST(GnuplotScript, SurfaceWithContourHiddenLinesLogZAndTwoTitledItems) {
  PlotSettings s = ThreeD({2, 3});
  s.plotTitles = 1;
  s.plotContour = 1;
  s.plotHidden3d = 1;
  s.plotLogZ = 1;
  s.plotY = {1, 3};  // only the first y item is used in 3-D
  const std::string p = "'/home/u/models/dyn.dat'";
  EXPECT_EQ(BuildPlotCommands(s, Source(4)),
            std::string(kHeader2d) +
                "set title 'Glycolysis'\nset style data lines\nset xlabel 'time'\n"
                "set surface\nset ticslevel 0\nset logscale z\n"
                "set contour base\nset cntrparam order 4\nset cntrparam linear\n"
                "set cntrparam levels auto 5\nset cntrparam points 5\n"
                "set hidden3d\n"
                "splot " +
                p + " u 1:2:3 t '[M2]t'," + p + " u 1:2:4 t '[M3]t'\n\n");
}

TEST(GnuplotScript, SurfaceMultiplotLabelsEachPanelsZ) {
  PlotSettings s = ThreeD({2, 3});
  s.plotTitles = 1;
  s.plotMultiplot = 1;
  const std::string script = BuildPlotCommands(s, Source(4));
  EXPECT_NE(script.find("set multiplot\n"
                        "set zlabel '[M2]t'\nset size 0.5,1\nset origin 0.000000,0\n"
                        "splot '/home/u/models/dyn.dat' u 1:2:3 t '[M2]t'\n"
                        "set zlabel '[M3]t'\nset size 0.5,1\nset origin 0.500000,0\n"
                        "splot '/home/u/models/dyn.dat' u 1:2:4 t '[M3]t'\n"
                        "set nomultiplot\n\n"),
            std::string::npos);
  EXPECT_EQ(script.find("set title"), std::string::npos);
}

TEST(GnuplotScript, IncompleteChoicesGiveAnEmptyScript) {
  PlotSettings noX = TwoD({1});
  noX.plotXEntry = kNoPlotEntry;
  EXPECT_EQ(BuildPlotCommands(noX, Source(2)), "");
  EXPECT_EQ(BuildPlotCommands(TwoD({kNoPlotEntry}), Source(2)), "");
  EXPECT_EQ(BuildPlotCommands(TwoD({}), Source(2)), "");
  EXPECT_EQ(BuildPlotCommands(ThreeD({kNoPlotEntry}), Source(3)), "");
  // Entries beyond the selection name nothing.
  EXPECT_EQ(BuildPlotCommands(TwoD({5}), Source(2)), "");
  PlotSettings farX = TwoD({1});
  farX.plotXEntry = 2;
  EXPECT_EQ(BuildPlotCommands(farX, Source(2)), "");
  EXPECT_EQ(BuildPlotCommands(TwoD({1}), Source(0)), "");
}

TEST(GnuplotScript, EntriesAreUsedInListOrderOnce) {
  EXPECT_EQ(BuildPlotCommands(TwoD({2, 1, 2, 7}), Source(3)),
            BuildPlotCommands(TwoD({1, 2}), Source(3)));
  PlotChoice choice = ResolvePlotChoice(TwoD({3, -1, 1, 3}), 4);
  EXPECT_EQ(choice.x, 0);
  EXPECT_EQ(choice.y, (std::vector<int>{1, 3}));
}

TEST(GnuplotScript, QuotesInNamesAreDoubled) {
  PlotSource source = Source(2);
  source.columnTitles[1] = "[A']t";
  source.dataPath = "/tmp/it's/dyn.dat";
  source.modelTitle = "Bob's model";
  const std::string script = BuildPlotCommands(TwoD({1}, kPlotLines, true), source);
  EXPECT_NE(script.find("set title 'Bob''s model'\n"), std::string::npos);
  EXPECT_NE(script.find("set ylabel '[A'']t'\n"), std::string::npos);
  EXPECT_NE(script.find("plot '/tmp/it''s/dyn.dat' u 1:2 t '[A'']t'\n"), std::string::npos);
}

// A control character in any string would end a command and start another;
// such strings go between double quotes with octal escapes, and so do the
// characters that would end or escape them or run a shell command there.
TEST(GnuplotScript, NoStringCanBreakOutOfItsCommand) {
  PlotSource source = Source(2);
  source.dataPath = "/tmp/q\nsystem \"touch X\"\n/`id`\\dyn.dat";
  source.modelTitle = "line\rbreak\x7f";
  source.columnTitles[1] = "[A]`date`";  // no control character: single quotes
  const PlotSettings settings = TwoD({1}, kPlotLines, true);
  const std::string script = BuildPlotCommands(settings, source, FileTerminal("png", "o\n.png"));
  const std::string sound = BuildPlotCommands(settings, Source(2), FileTerminal("png", "o.png"));
  EXPECT_EQ(std::count(script.begin(), script.end(), '\n'),
            std::count(sound.begin(), sound.end(), '\n'));
  EXPECT_EQ(script.find('\r'), std::string::npos);
  const std::string path = "\"/tmp/q\\012system \\042touch X\\042\\012/\\140id\\140\\134dyn.dat\"";
  EXPECT_NE(script.find("plot " + path + " u 1:2 t '[A]`date`'\n"), std::string::npos) << script;
  EXPECT_NE(script.find("set title \"line\\015break\\177\"\n"), std::string::npos) << script;
  EXPECT_NE(script.find("set output \"o\\012.png\"\n"), std::string::npos) << script;
}

TEST(GnuplotScript, TerminalLinesCanRenderToAFile) {
  const std::string terminal = FileTerminal("png", "/tmp/out.png");
  EXPECT_EQ(terminal, "set terminal png\nset output '/tmp/out.png'\n");
  const std::string script = BuildPlotCommands(TwoD({1}), Source(2), terminal);
  EXPECT_EQ(script.rfind(terminal, 0), 0u);
  EXPECT_EQ(script.find("qt"), std::string::npos);
}

}  // namespace
}  // namespace vireon
