#include "model/file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/hostile_files.h"

namespace vireon {
namespace {

using test::TemporaryFolder;
constexpr std::chrono::seconds kNoWait{10};

// Reading: what a model, a kinetics database or a settings file may be.
struct InputCase {
  const char* label;
  std::function<std::filesystem::path(const TemporaryFolder&)> make;
  FileErrorCause cause;
};

TEST(ReadInputFile, RefusesAnythingButARegularFileOfAtMostTheLimit) {
  const std::vector<InputCase> cases = {
      {"regular file",
       [](const TemporaryFolder& f) {
         test::WriteText(f / "m.vrn", std::string("a\0b\r\n", 5));
         return f / "m.vrn";
       },
       FileErrorCause::kNone},
      {"FIFO without a writer",
       [](const TemporaryFolder& f) {
         test::MakeFifo(f / "fifo");
         return f / "fifo";
       },
       FileErrorCause::kNotRegularFile},
      {"endless device", [](const TemporaryFolder&) { return std::filesystem::path("/dev/zero"); },
       FileErrorCause::kNotRegularFile},
      {"folder", [](const TemporaryFolder& f) { return f.path(); },
       FileErrorCause::kNotRegularFile},
      {"one byte over the limit",
       [](const TemporaryFolder& f) {
         test::WriteText(f / "big", std::string(65, 'x'));
         return f / "big";
       },
       FileErrorCause::kFileTooLarge},
      {"missing", [](const TemporaryFolder& f) { return f / "absent"; },
       FileErrorCause::kFileNotFound},
  };
  for (const InputCase& row : cases) {
    SCOPED_TRACE(row.label);
    TemporaryFolder folder;
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

// Writing: what may stand where an output goes. (Links, protected files
// and hard links are refused through the run's data files and report, in
// the output and command tests.)
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

  TemporaryFolder folder_;
};

TEST_F(OpenOutputFileTest, RefusesAFifoWithoutWaitingForAReader) {
  const auto path = folder_ / "out.dat";
  ASSERT_TRUE(test::MakeFifo(path));
  std::string reason;
  ASSERT_TRUE(test::FinishesWithin(
      kNoWait, [&] { reason = Write(path, OutputMode::kTruncate, "x"); },
      [&] { test::ReleaseFifo(path); }));
  EXPECT_FALSE(reason.empty());
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

}  // namespace
}  // namespace vireon
