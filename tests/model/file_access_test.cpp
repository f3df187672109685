#include "model/file_access.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "support/hostile_files.h"

namespace vireon {
namespace {

using test::ScratchFolder;
constexpr std::chrono::seconds kNoWait{10};

// Reading: what a model, a kinetics database or a settings file may be.
struct InputCase {
  const char* label;
  std::function<std::filesystem::path(const ScratchFolder&)> make;
  FileErrorCause cause;
};

TEST(ReadInputFile, RefusesAnythingButARegularFileOfAtMostTheLimit) {
  const std::vector<InputCase> cases = {
      {"regular file",
       [](const ScratchFolder& f) {
         test::WriteBytes(f / "m.vrn", std::string("a\0b\r\n", 5));
         return f / "m.vrn";
       },
       FileErrorCause::kNone},
      {"FIFO without a writer",
       [](const ScratchFolder& f) {
         test::MakeFifo(f / "fifo");
         return f / "fifo";
       },
       FileErrorCause::kNotRegularFile},
      {"endless device", [](const ScratchFolder&) { return std::filesystem::path("/dev/zero"); },
       FileErrorCause::kNotRegularFile},
      {"folder", [](const ScratchFolder& f) { return f.path(); }, FileErrorCause::kNotRegularFile},
      {"one byte over the limit",
       [](const ScratchFolder& f) {
         test::WriteBytes(f / "big", std::string(65, 'x'));
         return f / "big";
       },
       FileErrorCause::kFileTooLarge},
      {"missing", [](const ScratchFolder& f) { return f / "absent"; },
       FileErrorCause::kFileNotFound},
  };
  for (const InputCase& row : cases) {
    SCOPED_TRACE(row.label);
    ScratchFolder folder;
    const std::filesystem::path path = row.make(folder);
    std::string contents = "stale";
    InputFileResult result;
    ASSERT_TRUE(test::FinishesWithin(
        kNoWait, [&] { result = ReadInputFile(path, 64, contents); },
        [&] { test::ReleaseFifo(path); }));
    EXPECT_EQ(result.cause, row.cause);
    EXPECT_EQ(result.ok(), row.cause == FileErrorCause::kNone);
    EXPECT_EQ(contents, result.ok() ? std::string("a\0b\r\n", 5) : "");
    if (!result.ok()) {
      EXPECT_FALSE(result.reason.empty());
    }
  }
}

// Writing: what may stand where an output goes.
class OpenOutputFileTest : public ::testing::Test {
 protected:
  // Opens, writes `text` and closes; the reason when refused.
  std::string Write(const std::filesystem::path& path, OutputMode mode, const std::string& text,
                    std::span<const ProtectedFile> protectedFiles = {}) {
    std::string reason;
    const int fd = OpenOutputFile(path, mode, protectedFiles, reason);
    if (fd < 0) return reason.empty() ? "refused without a reason" : reason;
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    return {};
  }

  ScratchFolder folder_;
};

TEST_F(OpenOutputFileTest, TruncatesOrAppendsARegularFile) {
  const auto path = folder_ / "out.dat";
  test::WriteBytes(path, "old contents\n");
  EXPECT_EQ(Write(path, OutputMode::kTruncate, "new\n"), "");
  EXPECT_EQ(Write(path, OutputMode::kAppend, "more\n"), "");
  EXPECT_EQ(test::ReadBytes(path), "new\nmore\n");
}

TEST_F(OpenOutputFileTest, NeverWritesThroughALinkAndLeavesItsTargetAlone) {
  ScratchFolder elsewhere;
  const auto target = elsewhere / "precious";
  test::WriteBytes(target, "keep me\n");
  std::filesystem::create_symlink(target, folder_ / "out.dat");
  for (OutputMode mode : {OutputMode::kTruncate, OutputMode::kAppend}) {
    EXPECT_EQ(Write(folder_ / "out.dat", mode, "planted\n"), "it is a symbolic link");
  }
  EXPECT_EQ(test::ReadBytes(target), "keep me\n");
  EXPECT_TRUE(std::filesystem::is_symlink(folder_ / "out.dat"));
}

TEST_F(OpenOutputFileTest, RefusesAFifoWithoutWaitingForAReader) {
  const auto path = folder_ / "out.dat";
  ASSERT_TRUE(test::MakeFifo(path));
  std::string reason;
  ASSERT_TRUE(test::FinishesWithin(
      kNoWait, [&] { reason = Write(path, OutputMode::kTruncate, "x"); },
      [&] { test::ReleaseFifo(path); }));
  EXPECT_FALSE(reason.empty());
}

TEST_F(OpenOutputFileTest, NeverEmptiesAProtectedFileEvenUnderAnotherName) {
  const auto model = folder_ / "m.vrn";
  test::WriteBytes(model, "Version=3.00301\n");
  std::filesystem::create_hard_link(model, folder_ / "alias.dat");
  const ProtectedFile protectedFiles[] = {{*IdentityOf(model), "the model file"}};
  EXPECT_EQ(Write(folder_ / "alias.dat", OutputMode::kTruncate, "data\n", protectedFiles),
            "it is the model file");
  EXPECT_EQ(test::ReadBytes(model), "Version=3.00301\n");
  EXPECT_EQ(Write(folder_ / "other.dat", OutputMode::kTruncate, "data\n", protectedFiles), "");
}

TEST_F(OpenOutputFileTest, ANewFileGetsTheUmasksMode) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    const mode_t previous = ::umask(mask);
    const auto path = folder_ / ("new-" + std::to_string(mask));
    EXPECT_EQ(Write(path, OutputMode::kTruncate, "x"), "");
    ::umask(previous);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << mask;
  }
}

TEST(IgnoreFileSizeLimitSignal, AWriteBeyondTheLimitFailsWithEfbigInsteadOfEndingTheProgram) {
  ScratchFolder folder;
  const auto path = folder / "big.dat";
  const auto writeBeyondLimit = [&path](bool ignore) {
    if (ignore) IgnoreFileSizeLimitSignal();
    const rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string reason;
    const int fd = OpenOutputFile(path, OutputMode::kTruncate, {}, reason);
    if (fd < 0) return 10;
    const std::string text(4096, 'x');
    const ssize_t written = ::write(fd, text.data(), text.size());
    const ssize_t more = ::write(fd, text.data(), text.size());
    return written == 1024 && more < 0 && errno == EFBIG ? 0 : 11;
  };
  const int ignored = test::RunInChild([&] { return writeBeyondLimit(true); });
  ASSERT_TRUE(WIFEXITED(ignored));
  EXPECT_EQ(WEXITSTATUS(ignored), 0);
  EXPECT_EQ(FileErrorText(FileErrorCauseFromErrno(EFBIG)), "The file is too large.");
  // Without it the kernel ends the process: the reason the program ignores it.
  const int killed = test::RunInChild([&] { return writeBeyondLimit(false); });
  ASSERT_TRUE(WIFSIGNALED(killed));
  EXPECT_EQ(WTERMSIG(killed), SIGXFSZ);
}

}  // namespace
}  // namespace vireon
