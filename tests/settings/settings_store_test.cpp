#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "model/message_sink.h"
#include "model/messages.h"
#include "settings/ini_file.h"
#include "settings_test_support.h"
#include "support/default_values.h"
#include "support/expect_close.h"
#include "support/hostile_files.h"
#include "support/scoped_environment.h"

namespace vireon {
namespace {

using test::EditedDefaults;
using test::ReadText;
using test::WriteText;

namespace fs = std::filesystem;
using Kind = RecordingSink::Kind;
using test::ScopedEnvironment;

// The file a first run writes: every default value under its name, in order.
constexpr const char* kFirstRunFile =
    "[Default]\n"
    "Concentrations=0\n"
    "Kinetic constants=1\n"
    "End time=10\n"
    "Newton limit=50\n"
    "Steady state resolution=1e-09\n"
    "Derivation Factor=0.001\n"
    "Relative tolerance=1e-06\n"
    "Absolute tolerance=1e-12\n"
    "Adams max order=12\n"
    "BDF max order=5\n"
    "Time unit=s\n"
    "Concentration unit=mM\n"
    "Volume unit=ml\n"
    "Points=50\n"
    "Dynamics=1\n"
    "Steady state=1\n"
    "Report=0\n"
    "Titles=0\n"
    "Quotes=0\n"
    "Column width=12\n"
    "Separator=32\n"
    "Report structural=0\n"
    "Report stability=0\n"
    "MCA=1\n"
    "Report Comments=1\n"
    "Unscaled MCA=0\n";

void ExpectSameDefaults(const DefaultValues& actual, const DefaultValues& expected) {
  using test::kTightAbs;
  using test::kTightRel;
  EXPECT_CLOSE(actual.concentration, expected.concentration, kTightAbs, kTightRel);
  EXPECT_CLOSE(actual.kineticConstant, expected.kineticConstant, kTightAbs, kTightRel);
  EXPECT_CLOSE(actual.endTime, expected.endTime, kTightAbs, kTightRel);
  EXPECT_CLOSE(actual.steadyStateResolution, expected.steadyStateResolution, 0.0, kTightRel);
  EXPECT_CLOSE(actual.derivationFactor, expected.derivationFactor, 0.0, kTightRel);
  EXPECT_CLOSE(actual.relativeTolerance, expected.relativeTolerance, 0.0, kTightRel);
  EXPECT_CLOSE(actual.absoluteTolerance, expected.absoluteTolerance, 0.0, kTightRel);
  DefaultValues withoutReals = actual;
  withoutReals.concentration = expected.concentration;
  withoutReals.kineticConstant = expected.kineticConstant;
  withoutReals.endTime = expected.endTime;
  withoutReals.steadyStateResolution = expected.steadyStateResolution;
  withoutReals.derivationFactor = expected.derivationFactor;
  withoutReals.relativeTolerance = expected.relativeTolerance;
  withoutReals.absoluteTolerance = expected.absoluteTolerance;
  EXPECT_EQ(withoutReals, expected);
}

class SettingsStoreTest : public test::SettingsFolder {
 protected:
  fs::path File() const { return folder() / "config" / "vireon" / "vireon.ini"; }
  SettingsStore Store() const { return SettingsStore(File()); }
  // The first-run file with one line replaced (or removed when `line` is empty).
  std::string FileWith(const std::string& name, const std::optional<std::string>& line) const {
    std::string text = kFirstRunFile;
    const std::size_t at = text.find("\n" + name + "=");
    EXPECT_NE(at, std::string::npos) << name;
    const std::size_t end = text.find('\n', at + 1);
    text.replace(at + 1, end - at, line ? *line + "\n" : "");
    return text;
  }
  // The one message of a file that is left as it is: a warning naming it.
  bool IsLeftAloneMessage(const RecordingSink& sink) const {
    const std::string start = "WARNING:\nThe settings file " + File().string() + " could not be";
    return sink.messages().size() == 1 && sink.messages()[0].kind == Kind::kWarning &&
           sink.messages()[0].text.rfind(start, 0) == 0;
  }
  static bool IsOnlyMessage(const RecordingSink& sink, Kind kind, const char* text) {
    return sink.messages().size() == 1 && sink.messages()[0].kind == kind &&
           sink.messages()[0].text == text;
  }
};

// --- First run ---------------------------------------------------------------

TEST_F(SettingsStoreTest, FirstRunWritesEveryDefaultAndSaysSoOnce) {
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values = EditedDefaults();
  EXPECT_EQ(store.ReadDefaultValues(values, sink), 0);
  EXPECT_EQ(values, DefaultValues{});
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kInformation, messages::kFirstRun));
  EXPECT_EQ(ReadText(File()), kFirstRunFile);

  // The folders were created private to the user.
  struct stat status;
  ASSERT_EQ(::stat(File().parent_path().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);

  RecordingSink second;
  EXPECT_EQ(store.ReadDefaultValues(values, second), 0);
  EXPECT_TRUE(second.messages().empty());
  EXPECT_EQ(values, DefaultValues{});
}

TEST_F(SettingsStoreTest, FileWithoutDefaultGroupIsAFirstRun) {
  WriteText(File(), "[Helpers]\nGnuplot=/usr/bin/gnuplot\n");
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(Store().ReadDefaultValues(values, sink), 0);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kInformation, messages::kFirstRun));
  EXPECT_EQ(ReadText(File()),
            std::string("[Helpers]\nGnuplot=/usr/bin/gnuplot\n\n") + kFirstRunFile);
}

TEST_F(SettingsStoreTest, NoTemporaryFileIsLeftBehind) {
  RecordingSink sink;
  DefaultValues values;
  Store().ReadDefaultValues(values, sink);
  Store().WriteHelperPaths(HelperPaths{"/usr/bin/gnuplot", "/usr/bin/vi"}, sink);
  int files = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(File().parent_path())) {
    EXPECT_EQ(entry.path().filename(), "vireon.ini");
    ++files;
  }
  EXPECT_EQ(files, 1);
}

// --- Round trips -----------------------------------------------------------------

TEST_F(SettingsStoreTest, EveryGroupReadsBackWhatWasWritten) {
  SettingsStore store = Store();
  RecordingSink sink;
  const DefaultValues defaults = EditedDefaults();
  const Preferences preferences{1, 1, "/home/user/sounds/done.wav", 3};
  const HelperPaths helpers{"/usr/bin/gnuplot", "/usr/bin/gedit"};
  ASSERT_EQ(store.WriteHelperPaths(helpers, sink), 0);
  ASSERT_EQ(store.WriteDefaultValues(defaults, sink), 0);
  ASSERT_EQ(store.WritePreferences(preferences, sink), 0);
  EXPECT_TRUE(sink.messages().empty());

  DefaultValues readDefaults;
  Preferences readPreferences;
  HelperPaths readHelpers;
  EXPECT_EQ(store.ReadDefaultValues(readDefaults, sink), 0);
  EXPECT_EQ(store.ReadHelperPaths(readHelpers, sink), 0);
  EXPECT_EQ(store.ReadPreferences(readPreferences, sink), 0);
  EXPECT_TRUE(sink.messages().empty());
  ExpectSameDefaults(readDefaults, defaults);
  EXPECT_EQ(readPreferences, preferences);
  EXPECT_EQ(readHelpers, helpers);
}

TEST_F(SettingsStoreTest, AnyTextSurvivesTheFile) {
  const std::string longPath = "/opt/" + std::string(5000, 'p') + "/gnuplot";
  const std::string texts[] = {
      "C:\\Program Files\\gnuplot\\bin\\wgnuplot.exe",
      "/path with blanks/a;b#c=d:e[f]",
      " leading and trailing ",
      "\"quoted\"",
      "line\nbreak\tand\rreturn\x01",
      "back\\slash \\x41 \\n",
      "caf\xc3\xa9/\xe2\x82\xac",
      longPath,
      "",
  };
  SettingsStore store = Store();
  for (const std::string& text : texts) {
    RecordingSink sink;
    ASSERT_EQ(store.WriteHelperPaths(HelperPaths{text, text + "2"}, sink), 0);
    HelperPaths read;
    EXPECT_EQ(store.ReadHelperPaths(read, sink), 0);
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(read.gnuplot, text);
    EXPECT_EQ(read.textEditor, text + "2");
  }
}

TEST_F(SettingsStoreTest, RealsAreStoredWithSixSignificantDigits) {
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  values.kineticConstant = 0.123456789;
  values.endTime = 1234567.0;
  ASSERT_EQ(store.WriteDefaultValues(values, sink), 0);
  const std::string text = ReadText(File());
  EXPECT_NE(text.find("\nKinetic constants=0.123457\n"), std::string::npos);
  EXPECT_NE(text.find("\nEnd time=1.23457e+06\n"), std::string::npos);
  // The record in memory keeps what was entered.
  EXPECT_CLOSE(values.kineticConstant, 0.123456789, 0.0, test::kTightRel);

  DefaultValues read;
  ASSERT_EQ(store.ReadDefaultValues(read, sink), 0);
  EXPECT_CLOSE(read.kineticConstant, 0.123457, 0.0, test::kTightRel);
  EXPECT_CLOSE(read.endTime, 1234570.0, 0.0, test::kTightRel);
}

TEST_F(SettingsStoreTest, WritingOneGroupKeepsEverythingElse) {
  WriteText(File(),
            "; comment lines are not kept\n"
            "[Other program]\n"
            "key=value\n"
            "[Helpers]\n"
            "Gnuplot=/usr/bin/gnuplot\n"
            "Text Editor=/usr/bin/vi\n"
            "[Preferences]\n"
            "Load Report=1\n"
            "Sound Enabled=0\n"
            "Future option=7\n");
  SettingsStore store = Store();
  RecordingSink sink;
  ASSERT_EQ(store.WritePreferences(Preferences{0, 1, "/a.wav", 4}, sink), 0);
  EXPECT_EQ(ReadText(File()),
            "[Other program]\n"
            "key=value\n"
            "\n"
            "[Helpers]\n"
            "Gnuplot=/usr/bin/gnuplot\n"
            "Text Editor=/usr/bin/vi\n"
            "\n"
            "[Preferences]\n"
            "Load Report=0\n"
            "Sound Enabled=1\n"
            "Stop Sound=/a.wav\n"
            "Scan Threads=4\n"
            "Future option=7\n");
}

TEST_F(SettingsStoreTest, NamesMatchWithoutRegardToCase) {
  WriteText(File(), FileWith("Points", "points=75") + "[HELPERS]\ngnuplot=/bin/gp\n");
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(store.ReadDefaultValues(values, sink), 0);
  EXPECT_EQ(values.points, 75);
  HelperPaths helpers;
  EXPECT_EQ(store.ReadHelperPaths(helpers, sink), 0);
  EXPECT_EQ(helpers.gnuplot, "/bin/gp");
  EXPECT_TRUE(sink.messages().empty());

  // Rewriting the group replaces the value instead of adding a second one.
  ASSERT_EQ(store.WriteDefaultValues(values, sink), 0);
  const std::string text = ReadText(File());
  EXPECT_NE(text.find("\nPoints=75\n"), std::string::npos);
  EXPECT_EQ(text.find("points="), std::string::npos);
}

TEST_F(SettingsStoreTest, ASymbolicLinkStaysALink) {
  const fs::path real = folder() / "dotfiles" / "vireon.ini";
  WriteText(real, kFirstRunFile);
  fs::create_directories(File().parent_path());
  fs::create_symlink(real, File());
  RecordingSink sink;
  ASSERT_EQ(Store().WriteHelperPaths(HelperPaths{"/bin/gp", ""}, sink), 0);
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_NE(ReadText(real).find("[Helpers]\nGnuplot=/bin/gp\n"), std::string::npos);
}

// --- Corrupt default values --------------------------------------------------------

TEST_F(SettingsStoreTest, MissingPointsKeepsTheValuesBeforeItAndRewritesAll) {
  // Every value before "Points" differs from its built-in default in the file.
  DefaultValues edited = EditedDefaults();
  SettingsStore store = Store();
  RecordingSink sink;
  ASSERT_EQ(store.WriteDefaultValues(edited, sink), 0);
  std::string text = ReadText(File());
  const std::size_t at = text.find("Points=200\n");
  ASSERT_NE(at, std::string::npos);
  text.erase(at, std::string("Points=200\n").size());
  WriteText(File(), text);

  DefaultValues values;
  EXPECT_EQ(store.ReadDefaultValues(values, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsCorrupt));
  EXPECT_EQ(sink.messages()[0].title, kSettingsMessageTitle);

  DefaultValues expected = DefaultValues{};
  expected.concentration = edited.concentration;
  expected.kineticConstant = edited.kineticConstant;
  expected.endTime = edited.endTime;
  expected.newtonLimit = edited.newtonLimit;
  expected.steadyStateResolution = edited.steadyStateResolution;
  expected.derivationFactor = edited.derivationFactor;
  expected.relativeTolerance = edited.relativeTolerance;
  expected.absoluteTolerance = edited.absoluteTolerance;
  expected.adamsMaxOrder = edited.adamsMaxOrder;
  expected.bdfMaxOrder = edited.bdfMaxOrder;
  expected.timeUnit = edited.timeUnit;
  expected.concentrationUnit = edited.concentrationUnit;
  expected.volumeUnit = edited.volumeUnit;
  ExpectSameDefaults(values, expected);

  // All 26 values were written back: the next start reads them silently.
  EXPECT_NE(ReadText(File()).find("\nPoints=50\n"), std::string::npos);
  RecordingSink next;
  DefaultValues again;
  EXPECT_EQ(store.ReadDefaultValues(again, next), 0);
  EXPECT_TRUE(next.messages().empty());
  ExpectSameDefaults(again, expected);
}

struct CorruptCase {
  const char* name;  // the value that is spoiled
  const char* line;  // its line in the file
  int valuesReadBefore;
};

const CorruptCase kCorruptCases[] = {
    {"Concentrations", "Concentrations=abc", 0},
    {"Kinetic constants", "Kinetic constants=1.5x", 1},
    {"End time", "End time=inf", 2},
    {"Newton limit", "Newton limit=2.5", 3},
    {"Steady state resolution", "Steady state resolution=nan", 4},
    {"Derivation Factor", "Derivation Factor=", 5},
    {"Adams max order", "Adams max order=99999999999", 8},
    {"Time unit", "Time unit=sixteen-chars-xx", 10},
    {"Volume unit", "Volume unit=\"unterminated", 12},
    {"Separator", "Separator=0x20", 20},
    {"Unscaled MCA", "Unscaled MCA=yes", 25},
};

TEST_F(SettingsStoreTest, CorruptValuesStopTheReadingAndAreWrittenBack) {
  for (const CorruptCase& row : kCorruptCases) {
    SCOPED_TRACE(row.name);
    // A file of edited values with one of them spoiled.
    SettingsStore store = Store();
    RecordingSink sink;
    ASSERT_EQ(store.WriteDefaultValues(EditedDefaults(), sink), 0);
    std::string text = ReadText(File());
    const std::size_t at = text.find("\n" + std::string(row.name) + "=");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 1, text.find('\n', at + 1) - at, std::string(row.line) + "\n");
    WriteText(File(), text);

    DefaultValues values;
    EXPECT_EQ(store.ReadDefaultValues(values, sink), -1);
    EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsCorrupt));

    // The fields before the spoiled one come from the file, the rest are built in.
    EXPECT_EQ(values.concentration == 0.25, row.valuesReadBefore > 0);
    EXPECT_EQ(values.newtonLimit == 30, row.valuesReadBefore > 3);
    EXPECT_EQ(values.timeUnit == "min", row.valuesReadBefore > 10);
    EXPECT_EQ(values.separator == 9, row.valuesReadBefore > 20);
    EXPECT_EQ(values.reportComments == 0, row.valuesReadBefore > 24);
    EXPECT_EQ(values.mcaUnscaled, 0);

    RecordingSink next;
    DefaultValues again;
    EXPECT_EQ(store.ReadDefaultValues(again, next), 0);
    EXPECT_TRUE(next.messages().empty());
    ExpectSameDefaults(again, values);
  }
}

TEST_F(SettingsStoreTest, AMalformedLineInTheDefaultGroupLeavesTheFileAsItIs) {
  const std::string text =
      FileWith("Points", std::string("Points=60\nthis line has no equals sign"));
  WriteText(File(), text);
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(store.ReadDefaultValues(values, sink), -1);
  EXPECT_TRUE(IsLeftAloneMessage(sink));
  EXPECT_EQ(values.points, 60);
  EXPECT_EQ(ReadText(File()), text);
}

TEST_F(SettingsStoreTest, AMalformedLineElsewhereLeavesTheDefaultsAlone) {
  WriteText(File(), std::string(kFirstRunFile) + "[Helpers]\nno equals sign\n");
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(store.ReadDefaultValues(values, sink), 0);
  EXPECT_TRUE(sink.messages().empty());
  HelperPaths helpers;
  EXPECT_EQ(store.ReadHelperPaths(helpers, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsCorrupt));
}

// What may be named as the settings file by mistake, or by a hostile command
// line: each is read without blocking, left byte for byte as it was, and a
// later write of a group keeps a regular file aside under ".bak".
struct NotSettingsCase {
  const char* label;
  std::function<void(const fs::path&)> make;
  bool regular;
};

TEST_F(SettingsStoreTest, AFileThatIsNotASettingsFileIsNeverWrittenOver) {
  const std::string model =
      "Version=3.00301\nEndTime=10\nTitle=m\nStoichiometry\n-1.000000 \nComments\n\nEndComments\n";
  const std::vector<NotSettingsCase> cases = {
      {"model file", [&](const fs::path& p) { WriteText(p, model); }, true},
      {"README", [](const fs::path& p) { WriteText(p, "# Vireon\n\nSee [the docs](x).\n"); }, true},
      {"entries outside any group", [](const fs::path& p) { WriteText(p, "PATH=/bin\nA=1\n"); },
       true},
      {"broken group header", [](const fs::path& p) { WriteText(p, "[Default\nPoints=10\n"); },
       true},
      {"oversized",
       [](const fs::path& p) {
         WriteText(p, std::string(kFirstRunFile) + "[Junk]\n" + std::string(kMaxIniFileSize, 'x') +
                          "=1\n");
       },
       true},
      {"FIFO",
       [](const fs::path& p) {
         fs::create_directories(p.parent_path());
         test::MakeFifo(p);
       },
       false},
      {"folder", [](const fs::path& p) { fs::create_directories(p); }, false},
  };
  for (const NotSettingsCase& row : cases) {
    SCOPED_TRACE(row.label);
    fs::remove_all(File().parent_path());
    row.make(File());
    const std::string before = row.regular ? ReadText(File()) : std::string();
    SettingsStore store = Store();
    RecordingSink sink;
    DefaultValues values = EditedDefaults();
    HelperPaths helpers;
    Preferences preferences;
    ASSERT_TRUE(test::FinishesWithin(
        std::chrono::seconds(10),
        [&] {
          EXPECT_EQ(store.ReadDefaultValues(values, sink), -1);
          store.ReadHelperPaths(helpers, sink);
          store.ReadPreferences(preferences, sink);
        },
        [&] { test::ReleaseFifo(File()); }));
    EXPECT_TRUE(IsLeftAloneMessage(sink)) << ::testing::PrintToString(sink.Texts());
    EXPECT_EQ(values, DefaultValues{});
    if (row.regular) {
      EXPECT_EQ(ReadText(File()), before);
    }

    // Writing a group keeps the old file aside; a FIFO or a folder stays.
    RecordingSink writing;
    const int written = store.WritePreferences(Preferences{1, 0, "/bell.wav"}, writing);
    if (row.regular) {
      EXPECT_EQ(written, 0);
      EXPECT_EQ(ReadText(fs::path(File().string() + ".bak")), before);
      Preferences back;
      EXPECT_EQ(store.ReadPreferences(back, writing), 0);
      EXPECT_EQ(back.stopSound, "/bell.wav");
    } else {
      EXPECT_EQ(written, -1);
      EXPECT_EQ(writing.Texts().back(), messages::kSettingsStoreFailed);
      EXPECT_FALSE(fs::is_regular_file(File()));
    }
  }
}

// --- Failures to store ------------------------------------------------------------------

TEST_F(SettingsStoreTest, AFirstRunThatCannotStoreSaysBoth) {
  // A plain file where a folder should be: no one can create the folder.
  WriteText(folder() / "config", "not a folder");
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(store.ReadDefaultValues(values, sink), -1);
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{messages::kFirstRun, messages::kSettingsStoreFailed}));
  EXPECT_EQ(sink.messages()[1].kind, Kind::kWarning);
  EXPECT_EQ(values, DefaultValues{});
}

TEST_F(SettingsStoreTest, AFailedStoreKeepsTheRecordAndSaysWhy) {
  WriteText(folder() / "config", "not a folder");
  SettingsStore store = Store();
  RecordingSink sink;
  const Preferences preferences{1, 0, "/bell.wav"};
  EXPECT_EQ(store.WritePreferences(preferences, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsStoreFailed));
  EXPECT_EQ(preferences, (Preferences{1, 0, "/bell.wav"}));
  EXPECT_NE(store.lastFailure().find("config"), std::string::npos);
}

TEST_F(SettingsStoreTest, AUnitTooLongToReadBackIsNotStored) {
  WriteText(File(), kFirstRunFile);
  SettingsStore store = Store();
  RecordingSink sink;
  DefaultValues values;
  values.volumeUnit = "cubic decimetres";  // 16 characters
  EXPECT_EQ(store.WriteDefaultValues(values, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsStoreFailed));
  EXPECT_EQ(values.volumeUnit, "cubic decimetres");
  EXPECT_EQ(ReadText(File()), kFirstRunFile);
}

TEST_F(SettingsStoreTest, AReadOnlyFolderCannotBeStoredIn) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  WriteText(File(), kFirstRunFile);
  fs::permissions(File().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  SettingsStore store = Store();
  RecordingSink sink;
  const DefaultValues edited = EditedDefaults();
  EXPECT_EQ(store.WriteDefaultValues(edited, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsStoreFailed));
  EXPECT_EQ(edited, EditedDefaults());
  EXPECT_EQ(ReadText(File()), kFirstRunFile);
}

// --- Preferences and helper paths --------------------------------------------------

TEST_F(SettingsStoreTest, MissingSmallerGroupsSayNothing) {
  SettingsStore store = Store();
  RecordingSink sink;
  Preferences preferences{1, 1, "/keep.wav"};
  HelperPaths helpers{"/keep", "/keep2"};
  EXPECT_EQ(store.ReadPreferences(preferences, sink), 0);
  EXPECT_EQ(store.ReadHelperPaths(helpers, sink), 0);
  WriteText(File(), kFirstRunFile);
  EXPECT_EQ(store.ReadPreferences(preferences, sink), 0);
  EXPECT_EQ(store.ReadHelperPaths(helpers, sink), 0);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(preferences, (Preferences{1, 1, "/keep.wav"}));
  EXPECT_EQ(helpers, (HelperPaths{"/keep", "/keep2"}));
}

TEST_F(SettingsStoreTest, AbsentTextsAreSkippedSilently) {
  WriteText(File(),
            "[Helpers]\nText Editor=/usr/bin/nano\n[Preferences]\nLoad Report=1\n"
            "Sound Enabled=1\n");
  SettingsStore store = Store();
  RecordingSink sink;
  HelperPaths helpers{"/old", "/old"};
  EXPECT_EQ(store.ReadHelperPaths(helpers, sink), 0);
  EXPECT_EQ(helpers, (HelperPaths{"/old", "/usr/bin/nano"}));
  Preferences preferences{0, 0, "/old.wav"};
  EXPECT_EQ(store.ReadPreferences(preferences, sink), 0);
  EXPECT_EQ(preferences, (Preferences{1, 1, "/old.wav"}));
  EXPECT_TRUE(sink.messages().empty());
}

struct PreferencesCase {
  const char* group;
  int loadReport;  // what the record holds afterwards
};

TEST_F(SettingsStoreTest, BadPreferenceFlagsAreCorruption) {
  const PreferencesCase cases[] = {
      {"[Preferences]\nSound Enabled=1\n", 0},
      {"[Preferences]\nLoad Report=1\n", 1},
      {"[Preferences]\nLoad Report=yes\nSound Enabled=1\n", 0},
      {"[Preferences]\nLoad Report=1\nSound Enabled=1\nStop Sound=\"a\\q\"\n", 1},
  };
  for (const PreferencesCase& row : cases) {
    SCOPED_TRACE(row.group);
    WriteText(File(), row.group);
    RecordingSink sink;
    Preferences preferences;
    EXPECT_EQ(Store().ReadPreferences(preferences, sink), -1);
    EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsCorrupt));
    EXPECT_EQ(preferences.loadReport, row.loadReport);
    // Nothing is written back for the smaller groups.
    EXPECT_EQ(ReadText(File()), row.group);
  }
}

TEST_F(SettingsStoreTest, BadlyQuotedHelperPathIsCorruption) {
  WriteText(File(), "[Helpers]\nGnuplot=\"/usr/bin/gnuplot\nText Editor=/usr/bin/vi\n");
  RecordingSink sink;
  HelperPaths helpers;
  EXPECT_EQ(Store().ReadHelperPaths(helpers, sink), -1);
  EXPECT_TRUE(IsOnlyMessage(sink, Kind::kWarning, messages::kSettingsCorrupt));
  EXPECT_EQ(helpers, HelperPaths{});
}

// --- Where the file lives ---------------------------------------------------------------

struct PathCase {
  const char* xdgConfigHome;
  const char* home;
  const char* expected;
};

TEST(SettingsPathTest, FollowsTheXdgRules) {
  const PathCase cases[] = {
      {"/srv/config", "/home/ann", "/srv/config/vireon/vireon.ini"},
      {nullptr, "/home/ann", "/home/ann/.config/vireon/vireon.ini"},
      {"", "/home/ann", "/home/ann/.config/vireon/vireon.ini"},
      {"relative/config", "/home/ann", "/home/ann/.config/vireon/vireon.ini"},
      {"/srv/config", nullptr, "/srv/config/vireon/vireon.ini"},
      {nullptr, nullptr, ""},
      {"", "", ""},
  };
  for (const PathCase& row : cases) {
    EXPECT_EQ(SettingsPathFor(row.xdgConfigHome, row.home).string(), row.expected)
        << (row.xdgConfigHome ? row.xdgConfigHome : "(unset)") << " "
        << (row.home ? row.home : "(unset)");
  }
}

TEST(SettingsPathTest, ReadsTheEnvironment) {
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "/srv/config");
    ScopedEnvironment home("HOME", "/home/ann");
    EXPECT_EQ(DefaultSettingsPath(), fs::path("/srv/config/vireon/vireon.ini"));
  }
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "");
    ScopedEnvironment home("HOME", "/home/ann");
    EXPECT_EQ(DefaultSettingsPath(), fs::path("/home/ann/.config/vireon/vireon.ini"));
  }
  {
    // Without HOME the password database still knows a home folder.
    ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnvironment home("HOME", nullptr);
    const fs::path path = DefaultSettingsPath();
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(path.filename(), "vireon.ini");
    EXPECT_EQ(path.parent_path().filename(), "vireon");
    EXPECT_EQ(path.parent_path().parent_path().filename(), ".config");
  }
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

// A unit fills a 16-byte field: fifteen characters fit, sixteen do not.
TEST_F(SettingsStoreTest, AUnitOfFifteenCharactersFitsAndSixteenDoNot) {
  WriteText(File(), FileWith("Concentration unit", "Concentration unit=abcdefghijklmno"));
  RecordingSink sink;
  DefaultValues values;
  EXPECT_EQ(Store().ReadDefaultValues(values, sink), 0);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(values.concentrationUnit, "abcdefghijklmno");

  WriteText(File(), FileWith("Concentration unit", "Concentration unit=abcdefghijklmnop"));
  RecordingSink corrupt;
  DefaultValues again;
  EXPECT_EQ(Store().ReadDefaultValues(again, corrupt), -1);
  EXPECT_TRUE(IsOnlyMessage(corrupt, Kind::kWarning, messages::kSettingsCorrupt));
  EXPECT_EQ(again.timeUnit, "s");
  EXPECT_EQ(again.concentrationUnit, "mM");
  EXPECT_EQ(again.volumeUnit, "ml");
}

}  // namespace
}  // namespace vireon
