#include "kinetics/kinetics_database.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/user_type_helpers.h"
#include "model/file_lock.h"
#include "model/messages.h"
#include "model/model.h"
#include "model/replace_file.h"
#include "support/files.h"
#include "support/hostile_files.h"
#include "support/scoped_environment.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::ScopedEnvironment;
using test::TemporaryFolder;
using test::WriteText;

constexpr const char* kMichaelisMentenRecord =
    "UDKType=mm\n"
    "User-defined=1\n"
    "Reversible=0\n"
    "Substrates=1\n"
    "Products=0\n"
    "Modifiers=0\n"
    "Constants=2\n"
    "Constant0=V\n"
    "Constant1=Km\n"
    "FunctionName=mm\n"
    "Description=V*S/(Km+S)\n"
    "Nodes=10\n"
    "Node=37,64\n"
    "Node=107,64\nIndex=0\nName=V\n"
    "Node=79,42\n"
    "Node=115,64\nIndex=0\nName=S\n"
    "Node=79,47\n"
    "Node=79,40\n"
    "Node=107,64\nIndex=1\nName=Km\n"
    "Node=79,43\n"
    "Node=115,64\nIndex=0\nName=S\n"
    "Node=79,41\n";

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class KineticsDatabaseTest : public ::testing::Test {
 protected:
  KineticsDatabaseTest() : path(folder / "vireon.kdb") { BuildBuiltInKineticTypes(catalogue); }

  // A database holding "mm" and "inhibited", written by the program.
  void WriteTwoTypes() {
    KineticCatalogue source;
    BuildBuiltInKineticTypes(source);
    source.Insert(test::MakeMichaelisMenten("mm"));
    source.Insert(test::MakeInhibitedMassAction("inhibited"));
    ASSERT_TRUE(WriteKineticsDatabase(source, path, sink));
  }

  std::vector<std::string> UserNames() const {
    std::vector<std::string> names;
    for (const KineticType* t : catalogue.UserDefinedTypes()) names.push_back(t->name);
    return names;
  }

  TemporaryFolder folder;
  fs::path path;
  KineticCatalogue catalogue;
  RecordingSink sink;
};

TEST_F(KineticsDatabaseTest, RecordIsWrittenLineByLine) {
  catalogue.Insert(test::MakeMichaelisMenten("mm"));
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(ReadText(path), std::string("TotalUDKinetics=1\n") + kMichaelisMentenRecord);
}

TEST_F(KineticsDatabaseTest, TwoTypesRoundTrip) {
  WriteTwoTypes();
  ASSERT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_TRUE(sink.messages().empty());
  ASSERT_EQ(UserNames(), (std::vector<std::string>{"mm", "inhibited"}));

  const KineticType* inhibited = catalogue.Find("inhibited");
  EXPECT_EQ(inhibited->userDefined, 1);
  EXPECT_EQ(inhibited->reversible, 1);
  EXPECT_EQ(inhibited->substrates, 1);
  EXPECT_EQ(inhibited->products, 1);
  EXPECT_EQ(inhibited->modifierNames, std::vector<std::string>{"I"});
  EXPECT_EQ(inhibited->constantNames, (std::vector<std::string>{"kf", "kr", "Ki"}));
  EXPECT_EQ(inhibited->rate, &EvaluateUserDefinedRate);
  ASSERT_NE(inhibited->function, nullptr);
  EXPECT_EQ(inhibited->function->description(), "(kf*A - kr*P)/(1 + I/Ki)");

  // The type read back computes the same rate: (kf*A - kr*P)/(1 + I/Ki).
  Model model;
  model.Allocate(1, 3, 3, 0, 2);
  model.compartments[1].volume = 2.0;
  model.metabolites[0].compartment = 1;
  model.metabolitePosition = {2, 0, 1};
  Step& step = model.steps[0];
  step.SizeSubstrates(1);
  step.AppendSubstrate(0);
  step.SizeProducts(1);
  step.AppendProduct(1);
  step.modifiers = {2};
  step.constants = {3.0, 0.5, 0.25};
  step.kineticType = inhibited;
  const double x[3] = {0.8, 0.1, 5.0};  // by position: P, I, A
  const double A = 5.0 / 2.0, P = 0.8, I = 0.1;
  EXPECT_DOUBLE_EQ(inhibited->rate(model, x, 0), (3.0 * A - 0.5 * P) / (1 + I / 0.25));

  // Writing what was read gives the same file.
  const std::string first = ReadText(path);
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(ReadText(path), first);
}

TEST_F(KineticsDatabaseTest, MissingDatabaseAndFolderAreCreatedEmpty) {
  const fs::path nested = folder / "config" / "vireon" / "vireon.kdb";
  EXPECT_EQ(ReadKineticsDatabase(catalogue, nested, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(ReadText(nested), "TotalUDKinetics=0\n");
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(catalogue.UserDefinedCount(), 0);
}

TEST_F(KineticsDatabaseTest, TruncatedDatabaseKeepsTheTypesReadBefore) {
  WriteTwoTypes();
  const std::string full = ReadText(path);
  // Keep the header, the first record and three lines of the second.
  const int keptLines = 1 + CountLines(kMichaelisMentenRecord) + 3;
  std::size_t cut = 0;
  for (int i = 0; i < keptLines; ++i) cut = full.find('\n', cut) + 1;
  WriteText(path, full.substr(0, cut));

  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(UserNames(), std::vector<std::string>{"mm"});
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Unexpected end of file at line " +
                                                   std::to_string(keptLines + 1)});
  EXPECT_EQ(sink.messages()[0].title, messages::kFileErrorTitle);
}

TEST_F(KineticsDatabaseTest, CountBeyondTheRecordsStopsAtTheMissingRecord) {
  WriteText(path, std::string("TotalUDKinetics=2\n") + kMichaelisMentenRecord);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(UserNames(), std::vector<std::string>{"mm"});
  EXPECT_EQ(sink.Texts(),
            std::vector<std::string>{"Unexpected end of file at line " +
                                     std::to_string(2 + CountLines(kMichaelisMentenRecord))});
}

TEST_F(KineticsDatabaseTest, CorruptedLineKeepsTheTypesReadBefore) {
  WriteTwoTypes();
  std::string text = ReadText(path);
  const std::size_t second = text.find("UDKType=inhibited");
  const std::size_t substrates = text.find("Substrates=1", second);
  text.replace(substrates, 12, "Substrates=x");
  WriteText(path, text);
  const int line = CountLines(text.substr(0, substrates)) + 1;

  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(UserNames(), std::vector<std::string>{"mm"});
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Failed to read one or more fields at line " +
                                                   std::to_string(line)});
}

TEST_F(KineticsDatabaseTest, NegativeCountWarnsAndReadsNothing) {
  WriteText(path, std::string("TotalUDKinetics=-1\n") + kMichaelisMentenRecord);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(catalogue.UserDefinedCount(), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{messages::kKineticsDatabaseCorrupt});
}

TEST_F(KineticsDatabaseTest, RecordOfABuiltInTypeIsRefused) {
  std::string record = kMichaelisMentenRecord;
  record.replace(record.find("User-defined=1"), 14, "User-defined=0");
  WriteText(path, "TotalUDKinetics=1\n" + record);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(catalogue.UserDefinedCount(), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Failed to read one or more fields at line 3"});
}

TEST_F(KineticsDatabaseTest, RecordNamedLikeAnExistingTypeIsSkipped) {
  std::string record = kMichaelisMentenRecord;
  record.replace(0, record.find('\n'), "UDKType=Uni Uni");
  WriteText(path, "TotalUDKinetics=2\n" + record + kMichaelisMentenRecord);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(UserNames(), std::vector<std::string>{"mm"});
  EXPECT_EQ(catalogue.Find("Uni Uni")->userDefined, 0);
}

TEST_F(KineticsDatabaseTest, HugeCountsReadOnlyWhatIsThere) {
  struct Case {
    const char* from;
    const char* to;
  };
  const Case cases[] = {
      {"Modifiers=0", "Modifiers=2147483647"},
      {"Constants=2", "Constants=2000000000"},
      {"Nodes=10", "Nodes=2147483647"},
      {"Substrates=1", "Substrates=99999999999999999999"},
  };
  for (const Case& c : cases) {
    std::string record = kMichaelisMentenRecord;
    record.replace(record.find(c.from), std::string(c.from).size(), c.to);
    WriteText(path, "TotalUDKinetics=2147483647\n" + std::string(kMichaelisMentenRecord) + record);
    KineticCatalogue fresh;
    RecordingSink messages;
    EXPECT_EQ(ReadKineticsDatabase(fresh, path, messages), DatabaseOutcome::kRead) << c.to;
    EXPECT_EQ(fresh.UserDefinedCount(), 1) << c.to;
    EXPECT_EQ(messages.messages().size(), 1u) << c.to;
  }
}

TEST_F(KineticsDatabaseTest, GarbageNeverCrashes) {
  WriteTwoTypes();
  const std::string valid = ReadText(path);
  std::mt19937 random(20240607);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    switch (round % 3) {
      case 0: {  // pure garbage, NUL bytes included
        std::uniform_int_distribution<int> length(0, 400);
        text.resize(static_cast<std::size_t>(length(random)));
        for (char& ch : text) ch = static_cast<char>(random() & 0xff);
        break;
      }
      case 1: {  // a valid database with bytes overwritten
        text = valid;
        for (int i = 0; i < 8; ++i) {
          text[random() % text.size()] = static_cast<char>(random() & 0xff);
        }
        break;
      }
      default:  // a valid database cut anywhere
        text = valid.substr(0, random() % valid.size());
        break;
    }
    WriteText(path, text);
    KineticCatalogue fresh;
    BuildBuiltInKineticTypes(fresh);
    RecordingSink messages;
    EXPECT_EQ(ReadKineticsDatabase(fresh, path, messages), DatabaseOutcome::kRead);
    EXPECT_LE(fresh.UserDefinedCount(), 2);
    EXPECT_EQ(fresh.size(), kBuiltInKineticTypeCount + fresh.UserDefinedCount());
  }
}

TEST_F(KineticsDatabaseTest, UnreadableDatabaseAsksAbortRetryIgnore) {
  fs::create_directory(path);  // a folder where the file should be
  sink.QueueAnswer(Answer::kAbort);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kAbort);
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kAbortRetryIgnore);
  EXPECT_EQ(sink.messages()[0].text,
            "Failed to open the kinetics database file (Error: Is a directory).If you press "
            "IGNORE Vireon will not be able to work with user-defined kinetic types.");

  sink.Clear();
  sink.QueueAnswer(Answer::kRetry);
  sink.QueueAnswer(Answer::kIgnore);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kIgnored);
  EXPECT_EQ(sink.messages().size(), 2u);

  // Retry succeeds once the cause is gone.
  sink.Clear();
  fs::remove(path);
  fs::create_directory(path);
  // Answering Retry after the folder was replaced by a database.
  class FixingSink : public RecordingSink {
   public:
    explicit FixingSink(fs::path p) : path_(std::move(p)) {}
    Answer AskAbortRetryIgnore(std::string_view text) override {
      RecordingSink::AskAbortRetryIgnore(text);
      fs::remove(path_);
      WriteText(path_, std::string("TotalUDKinetics=1\n") + kMichaelisMentenRecord);
      return Answer::kRetry;
    }

   private:
    fs::path path_;
  } fixing(path);
  EXPECT_EQ(ReadKineticsDatabase(catalogue, path, fixing), DatabaseOutcome::kRead);
  EXPECT_EQ(fixing.messages().size(), 1u);
  EXPECT_TRUE(catalogue.Contains("mm"));
}

TEST_F(KineticsDatabaseTest, AFifoOrADeviceIsRefusedWithoutWaiting) {
  ASSERT_TRUE(test::MakeFifo(folder / "fifo.kdb"));
  for (const fs::path& database : {folder / "fifo.kdb", fs::path("/dev/zero")}) {
    SCOPED_TRACE(database.string());
    RecordingSink answers;
    answers.QueueAnswer(Answer::kAbort);
    DatabaseOutcome result = DatabaseOutcome::kRead;
    ASSERT_TRUE(test::FinishesWithin(
        std::chrono::seconds(10),
        [&] { result = ReadKineticsDatabase(catalogue, database, answers); },
        [&] { test::ReleaseFifo(database); }));
    EXPECT_EQ(result, DatabaseOutcome::kAbort);
    ASSERT_EQ(answers.messages().size(), 1u);
    EXPECT_NE(answers.messages()[0].text.find("(Error: not a regular file)"), std::string::npos)
        << answers.messages()[0].text;
  }
}

// A database the reader gave up on still holds records the catalogue never
// took in; the next write keeps it aside instead of losing them.
TEST_F(KineticsDatabaseTest, ADatabaseThatDidNotReadWholeIsKeptAsideBeforeItIsReplaced) {
  const std::string damaged = std::string("TotalUDKinetics=2\n") + kMichaelisMentenRecord +
                              "UDKType=lost\nUser-defined=one\n";
  WriteText(path, damaged);
  ASSERT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(UserNames(), std::vector<std::string>{"mm"});
  catalogue.Insert(test::MakeInhibitedMassAction("inhibited"));
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(ReadText(fs::path(path.string() + ".bak")), damaged);

  // A sound database is simply replaced.
  catalogue.Remove("inhibited");
  fs::remove(path.string() + ".bak");
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"vireon.kdb"});
  KineticCatalogue next;
  ASSERT_EQ(ReadKineticsDatabase(next, path, sink), DatabaseOutcome::kRead);
  EXPECT_TRUE(next.Contains("mm"));
  EXPECT_FALSE(next.Contains("inhibited"));
}

TEST_F(KineticsDatabaseTest, NothingToWriteLeavesTheFileAsItWas) {
  WriteText(path, "whatever was there");
  EXPECT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(ReadText(path), "whatever was there");
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(KineticsDatabaseTest, DeletingTheLastTypesEmptiesTheDatabase) {
  WriteTwoTypes();
  ASSERT_EQ(ReadKineticsDatabase(catalogue, path, sink), DatabaseOutcome::kRead);
  catalogue.Remove("mm");
  catalogue.Remove("inhibited");
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_EQ(ReadText(path), "TotalUDKinetics=0\n");

  // The next start finds no user-defined type.
  KineticCatalogue next;
  ASSERT_EQ(ReadKineticsDatabase(next, path, sink), DatabaseOutcome::kRead);
  EXPECT_EQ(next.UserDefinedCount(), 0);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(KineticsDatabaseTest, FailedWriteLeavesTheOldDatabaseWhole) {
  WriteText(path, std::string("TotalUDKinetics=1\n") + kMichaelisMentenRecord);
  const std::string old = ReadText(path);
  catalogue.Insert(test::MakeMichaelisMenten("mm"));
  for (int i = 0; i < 20; ++i)
    catalogue.Insert(test::MakeInhibitedMassAction("t" + std::to_string(i)));

  // Files may not grow beyond 200 bytes while the database is written.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 200;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteKineticsDatabase(catalogue, path, sink);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadText(path), old);
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"vireon.kdb"});
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_EQ(sink.messages()[0].text,
            "Failed to store the user-defined kinetic types in the database file (Error: File "
            "too large)");
}

TEST_F(KineticsDatabaseTest, WriteIntoAFolderThatCannotExistWarns) {
  WriteText(folder / "file", "not a folder");
  catalogue.Insert(test::MakeMichaelisMenten("mm"));
  EXPECT_FALSE(WriteKineticsDatabase(catalogue, folder / "file" / "vireon.kdb", sink));
  EXPECT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(ReadText(folder / "file"), "not a folder");
}

TEST_F(KineticsDatabaseTest, RewriteKeepsPermissionsAndSymbolicLinks) {
  const fs::path real = folder / "real.kdb";
  WriteText(real, "TotalUDKinetics=0\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_symlink(real, path);
  catalogue.Insert(test::MakeMichaelisMenten("mm"));
  ASSERT_TRUE(WriteKineticsDatabase(catalogue, path, sink));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path)));
  EXPECT_EQ(ReadText(real), std::string("TotalUDKinetics=1\n") + kMichaelisMentenRecord);
  struct stat status {};
  ASSERT_EQ(::stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(KineticsDatabaseLocation, FollowsTheConfigurationFolder) {
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "/somewhere/config");
    ScopedEnvironment home("HOME", "/home/user");
    EXPECT_EQ(DefaultKineticsDatabasePath(), fs::path("/somewhere/config/vireon/vireon.kdb"));
  }
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment home("HOME", "/home/user");
    EXPECT_EQ(DefaultKineticsDatabasePath(), fs::path("/home/user/.config/vireon/vireon.kdb"));
  }
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnvironment home("HOME", "/home/user");
    EXPECT_EQ(DefaultKineticsDatabasePath(), fs::path("/home/user/.config/vireon/vireon.kdb"));
    RecordingSink sink;
    EXPECT_EQ(LocateKineticsDatabase(sink), fs::path("/home/user/.config/vireon/vireon.kdb"));
    EXPECT_TRUE(sink.messages().empty());
  }
}

TEST(KineticsDatabaseLocation, WithoutAFolderTheUserMayChooseTheTemporaryFolder) {
  ScopedEnvironment tmp("TMPDIR", "/var/tmp");
  const fs::path noFolder;

  RecordingSink no;
  no.QueueAnswer(Answer::kNo);
  EXPECT_FALSE(LocateKineticsDatabase(no, noFolder).has_value());
  EXPECT_EQ(no.Texts(), std::vector<std::string>{messages::kKineticsDatabaseNotFound});

  RecordingSink yes;
  yes.QueueAnswer(Answer::kYes);
  EXPECT_EQ(LocateKineticsDatabase(yes, noFolder), fs::path("/var/tmp/vireon.kdb"));
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

// Two copies of the program over one database, each with the catalogue it
// read at start and what the database held then.
struct Instance {
  explicit Instance(const fs::path& path) {
    BuildBuiltInKineticTypes(catalogue);
    RecordingSink quiet;
    EXPECT_EQ(ReadKineticsDatabase(catalogue, path, quiet), DatabaseOutcome::kRead);
    stored = RememberStoredTypes(catalogue);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const KineticType* t : catalogue.UserDefinedTypes()) names.push_back(t->name);
    return names;
  }
  KineticCatalogue catalogue;
  StoredKineticTypes stored;
};

std::string LawOf(const fs::path& path, const std::string& name) {
  Instance reader(path);
  const KineticType* type = reader.catalogue.Find(name);
  return type != nullptr && type->function ? type->function->description() : "";
}

// Each save writes only what its program changed, into the file as the
// other left it: nobody's saved types are lost, whichever quits last.
TEST_F(KineticsDatabaseTest, TwoProgramsSavingOneDatabaseKeepEachOthersTypes) {
  WriteTwoTypes();
  Instance first(path);
  Instance second(path);

  first.catalogue.Insert(test::MakeMichaelisMenten("first"));
  first.catalogue.Remove("inhibited");
  second.catalogue.Insert(test::MakeInhibitedMassAction("second"));
  int position = 0;
  second.catalogue.Remove("mm", &position);
  second.catalogue.Insert(test::MakeInhibitedMassAction("mm"), position);

  ASSERT_TRUE(SaveKineticsDatabaseChanges(first.catalogue, first.stored, path, sink));
  ASSERT_TRUE(SaveKineticsDatabaseChanges(second.catalogue, second.stored, path, sink));
  EXPECT_TRUE(sink.messages().empty());

  const Instance next(path);
  EXPECT_EQ(next.Names(), (std::vector<std::string>{"mm", "first", "second"}));
  EXPECT_EQ(LawOf(path, "mm"), "(kf*A - kr*P)/(1 + I/Ki)");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"vireon.kdb"});

  // A program that changed nothing since its last save leaves the file as
  // the other wrote it.
  const std::string written = ReadText(path);
  second.catalogue.Remove("first");  // not its type: it never had it
  ASSERT_TRUE(SaveKineticsDatabaseChanges(first.catalogue, first.stored, path, sink));
  ASSERT_TRUE(SaveKineticsDatabaseChanges(second.catalogue, second.stored, path, sink));
  EXPECT_EQ(ReadText(path), written);

  // One program alone writes what WriteKineticsDatabase writes.
  Instance alone(path);
  alone.catalogue.Insert(test::MakeMichaelisMenten("alone"));
  ASSERT_TRUE(SaveKineticsDatabaseChanges(alone.catalogue, alone.stored, path, sink));
  const std::string merged = ReadText(path);
  ASSERT_TRUE(WriteKineticsDatabase(alone.catalogue, path, sink));
  EXPECT_EQ(ReadText(path), merged);
}

// A damaged database is kept as NAME.bak before a save replaces it, and the
// types that did read are kept with this program's changes.
TEST_F(KineticsDatabaseTest, AMergedSaveKeepsADamagedDatabaseAside) {
  Instance mine(path);
  mine.catalogue.Insert(test::MakeInhibitedMassAction("mine"));
  const std::string damaged = std::string("TotalUDKinetics=2\n") + kMichaelisMentenRecord +
                              "UDKType=lost\nUser-defined=one\n";
  WriteText(path, damaged);
  ASSERT_TRUE(SaveKineticsDatabaseChanges(mine.catalogue, mine.stored, path, sink));
  EXPECT_EQ(ReadText(fs::path(path.string() + ".bak")), damaged);
  EXPECT_EQ(Instance(path).Names(), (std::vector<std::string>{"mm", "mine"}));
}

// Through a symbolic link too: what the link names is kept aside, not
// written over.
TEST_F(KineticsDatabaseTest, ADamagedDatabaseBehindALinkIsKeptAside) {
  const fs::path real = folder / "real.kdb";
  const std::string damaged = std::string("TotalUDKinetics=2\n") + kMichaelisMentenRecord +
                              "UDKType=lost\nUser-defined=one\n";
  WriteText(real, damaged);
  fs::create_symlink(real, path);
  Instance mine(path);
  mine.catalogue.Insert(test::MakeInhibitedMassAction("mine"));
  ASSERT_TRUE(SaveKineticsDatabaseChanges(mine.catalogue, mine.stored, path, sink));
  EXPECT_EQ(ReadText(fs::path(path.string() + ".bak")), damaged);
  EXPECT_EQ(Instance(path).Names(), (std::vector<std::string>{"mm", "mine"}));
}

// A save waits for the other program's save to end and then starts from
// what that one wrote, even though it renamed a new file over the one this
// save was waiting for.
TEST_F(KineticsDatabaseTest, ASaveWaitsForTheOtherAndMergesIntoWhatItWrote) {
  WriteTwoTypes();
  Instance mine(path);
  mine.catalogue.Insert(test::MakeMichaelisMenten("mine"));

  auto other = std::make_unique<FileUpdateLock>();
  ASSERT_EQ(other->Take(path, std::chrono::milliseconds(0)), LockResult::kTaken);
  bool saved = false;
  RecordingSink saving;
  std::thread save([&] {
    saved = SaveKineticsDatabaseChanges(mine.catalogue, mine.stored, path, saving);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  {
    KineticCatalogue theirs;
    theirs.Insert(test::MakeMichaelisMenten("theirs"));
    std::string why;
    ASSERT_TRUE(ReplaceFileContents(path, KineticsDatabaseText(theirs), why)) << why;
  }
  other.reset();
  save.join();
  EXPECT_TRUE(saved);
  EXPECT_TRUE(saving.messages().empty());
  EXPECT_EQ(Instance(path).Names(), (std::vector<std::string>{"theirs", "mine"}));
}

}  // namespace
}  // namespace vireon
