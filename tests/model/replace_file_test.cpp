#include "model/replace_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "model/file_access.h"
#include "support/hostile_files.h"

namespace vireon {
namespace {

using test::TemporaryFolder;

constexpr const char* kOldModel = "Version=3.00301\nTitle=old\n";

// A save of `size` bytes in a child process limited to 64 KiB per file;
// the child exits 0 when the save failed with EFBIG.
int SaveBeyondTheLimit(const std::filesystem::path& path, bool ignoreSignal) {
  return test::RunInChild([&] {
    if (ignoreSignal) IgnoreFileSizeLimitSignal();
    const rlimit limit{1 << 16, 1 << 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string why;
    const bool saved = ReplaceFileContents(path, std::string(1 << 20, 'x'), why);
    return !saved && errno == EFBIG ? 0 : 1;
  });
}

TEST(ReplaceFileContents, ASaveBeyondTheFileSizeLimitFailsAndLeavesNothingBehind) {
  for (bool ignoreSignal : {true, false}) {
    SCOPED_TRACE(ignoreSignal ? "signal ignored" : "killed by SIGXFSZ");
    TemporaryFolder folder;
    test::WriteText(folder / "m.vrn", kOldModel);
    const int status = SaveBeyondTheLimit(folder / "m.vrn", ignoreSignal);
    if (ignoreSignal) {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    }
    // The old file as it was. A killed save leaves nothing where the file
    // system has unnamed files, else a temporary file that the next save
    // recognises as abandoned and removes.
    EXPECT_EQ(test::ReadText(folder / "m.vrn"), kOldModel);
    for (const std::string& name : folder.Names()) {
      if (name != "m.vrn") {
        EXPECT_EQ(name.rfind("m.vrn.vireon-", 0), 0U) << name;
      }
    }
    std::string why;
    ASSERT_TRUE(ReplaceFileContents(folder / "m.vrn", "Title=new\n", why)) << why;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"m.vrn"});
  }
}

TEST(ReplaceFileContents, RemovesTheTemporaryFilesOfSavesWhoseProcessIsGone) {
  TemporaryFolder folder;
  test::WriteText(folder / "m.vrn", kOldModel);
  // A process id that is certainly gone: a child that has been waited for.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = "m.vrn.vireon-" + std::to_string(gone) + "-abcdefgh";
  const std::string alive = "m.vrn.vireon-" + std::to_string(::getpid()) + "-abcdefgh";
  const std::string otherFile = "n.vrn.vireon-" + std::to_string(gone) + "-abcdefgh";
  for (const std::string& name : {dead, alive, otherFile, std::string("m.vrn.backup")}) {
    test::WriteText(folder / name, "left over\n");
  }

  std::string why;
  ASSERT_TRUE(ReplaceFileContents(folder / "m.vrn", "Version=3.00301\nTitle=new\n", why)) << why;
  std::vector<std::string> expected = {alive, "m.vrn", "m.vrn.backup", otherFile};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Names(), expected);
}

TEST(ReplaceFileContents, ANewFileGetsTheUmasksModeAndAnOldOneKeepsItsOwn) {
  TemporaryFolder folder;
  const mode_t previous = ::umask(027);
  std::string why;
  EXPECT_TRUE(ReplaceFileContents(folder / "new.vrn", kOldModel, why));
  ::chmod((folder / "new.vrn").c_str(), 0604);
  EXPECT_TRUE(ReplaceFileContents(folder / "new.vrn", "changed\n", why));
  ::umask(previous);
  EXPECT_TRUE(ReplaceFileContents(folder / "other.vrn", kOldModel, why));

  struct stat status {};
  ASSERT_EQ(::stat((folder / "new.vrn").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0604);
  ASSERT_EQ(::stat((folder / "other.vrn").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0666 & ~previous);
  EXPECT_EQ(test::ReadText(folder / "new.vrn"), "changed\n");
}

}  // namespace
}  // namespace vireon
