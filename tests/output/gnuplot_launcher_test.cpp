#include "output/gnuplot_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "model/message_sink.h"
#include "output/gnuplot_script.h"
#include "support/files.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

class GnuplotLauncher : public ::testing::Test {
 protected:
  static std::string Contents(const fs::path& path) { return test::ReadText(path); }
  test::TemporaryFolder temporary_;
  const fs::path folder_ = temporary_.path();
};

TEST_F(GnuplotLauncher, ScriptBytesAreWrittenAsBuilt) {
  const std::string script = "set grid\nplot 'a' u 1:2\n\n";
  const fs::path path = folder_ / "gnuplot.plt";
  std::ofstream(path) << "an older, longer script that must disappear\n";
  RecordingSink sink;
  EXPECT_TRUE(SaveCommandFile(path.string(), script, sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(Contents(path), script);
}

TEST_F(GnuplotLauncher, FailedSaveNamesTheFileAndTheCause) {
  const fs::path path = folder_ / "missing" / "gnuplot.plt";
  RecordingSink sink;
  EXPECT_FALSE(SaveCommandFile(path.string(), "x\n", sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kError);
  EXPECT_EQ(sink.messages()[0].text,
            "Failed to create " + path.string() + ".\nNo such file or directory");
}

TEST_F(GnuplotLauncher, FailedTemporaryFileStopsBeforeGnuplotStarts) {
  const fs::path marker = folder_ / "started";
  const fs::path fake = folder_ / "fake-gnuplot";
  std::ofstream(fake) << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
  fs::permissions(fake, fs::perms::owner_all);
  RecordingSink sink;
  EXPECT_FALSE(PlotWithGnuplot(fake.string(), (folder_ / "no" / "vrn.tmp").string(), "x\n", sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].text,
            "Failed to create the gnuplot command file.\nNo such file or directory");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(GnuplotLauncher, GnuplotIsStartedWithPersistAndTheScript) {
  const fs::path arguments = folder_ / "arguments";
  const fs::path fake = folder_ / "fake-gnuplot";
  std::ofstream(fake) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << arguments.string() << ".part'\n"
                      << "mv '" << arguments.string() << ".part' '" << arguments.string() << "'\n";
  fs::permissions(fake, fs::perms::owner_all);
  const fs::path temporary = folder_ / "vrn1234.tmp";
  RecordingSink sink;
  ASSERT_TRUE(PlotWithGnuplot(fake.string(), temporary.string(), "plot x\n", sink));
  EXPECT_EQ(Contents(temporary), "plot x\n");
  // The program does not wait for gnuplot; the test does.
  for (int i = 0; i < 500 && !fs::exists(arguments); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(Contents(arguments), "-persist|" + temporary.string() + "|");
}

TEST_F(GnuplotLauncher, AMissingProgramIsNotStarted) {
  EXPECT_FALSE(StartGnuplot((folder_ / "no-such-gnuplot").string(), "x.plt"));
  EXPECT_FALSE(StartGnuplot("", "x.plt"));
}

// What gnuplot-qt, gnuplot-x11 and gnuplot-nox print for their terminals,
// shortened.
constexpr const char* kQtTerminals = " cairolatex canvas dumb png pngcairo qt svg wxt x11 xterm ";
constexpr const char* kX11Terminals = " dumb gif png svg x11 xlib xterm\n";
constexpr const char* kNoxTerminals = " cairolatex dumb png pngcairo sixelgd svg tkcanvas xterm ";

TEST(PlotTerminalTest, AWindowTerminalIsPreferredAndAPictureTakenWithoutOne) {
  const std::optional<PlotTerminal> qt = ChoosePlotTerminal(kQtTerminals);
  ASSERT_TRUE(qt.has_value());
  EXPECT_EQ(qt->name, "qt");
  EXPECT_TRUE(qt->window);
  const std::optional<PlotTerminal> x11 = ChoosePlotTerminal(kX11Terminals);
  ASSERT_TRUE(x11.has_value());
  EXPECT_EQ(x11->name, "x11");  // not "xlib" or "xterm"
  EXPECT_TRUE(x11->window);
  const std::optional<PlotTerminal> nox = ChoosePlotTerminal(kNoxTerminals);
  ASSERT_TRUE(nox.has_value());
  EXPECT_EQ(nox->name, "pngcairo");
  EXPECT_FALSE(nox->window);
  // Whole words only: "sixelgd" and "tkcanvas" are no terminals the program draws with.
  EXPECT_FALSE(ChoosePlotTerminal(" dumb sixelgd tkcanvas qtx ").has_value());
  EXPECT_FALSE(ChoosePlotTerminal("").has_value());
}

TEST(PlotTerminalTest, TheTerminalLinesKeepTheUsualScriptForQt) {
  EXPECT_EQ(PlotTerminalLines({"qt", true}, "ignored.png"), kScreenTerminal);
  EXPECT_EQ(PlotTerminalLines({"x11", true}, "ignored.png"), "set terminal x11\nset output\n");
  EXPECT_EQ(PlotTerminalLines({"png", false}, "/tmp/plot.png"),
            "set terminal png size 900,600\nset output '/tmp/plot.png'\n");
}

TEST(PlotTerminalTest, GnuplotsFailureIsToldWithWhatItSaid) {
  EXPECT_EQ(GnuplotFailureMessage(1, "\n\"/tmp/vrn1.plt\" line 1: unknown terminal type\n\n"),
            "gnuplot could not draw the plot (exit code 1).\ngnuplot said:\n"
            "\"/tmp/vrn1.plt\" line 1: unknown terminal type");
  EXPECT_EQ(GnuplotFailureMessage(-1, ""), "gnuplot stopped abnormally while drawing the plot.");
  EXPECT_NE(NoPlotTerminalMessage("/usr/bin/gnuplot", " dumb sixelgd ").find("Its terminals: dumb sixelgd"),
            std::string::npos);
}

}  // namespace
}  // namespace vireon
