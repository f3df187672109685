#include "cli/version_text.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/command_line.h"
#include "cli/vireon_command.h"
#include "model/messages.h"

namespace vireon::cli {
namespace {

TEST(VersionText, IsTheVersionLineAndTheBuildLine) {
  const std::string text = VersionText(messages::kVersion);
  // The build line carries the compiler's date ("Mmm dd yyyy") and time.
  const std::regex expected(
      "Vireon version 3\\.00\n"
      "Compiled [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST(VersionText, FollowsTheVersionNumber) {
  EXPECT_EQ(VersionText("2.01115").substr(0, 30), "Vireon version 2.01 alpha 15\nC");
  EXPECT_EQ(VersionText("2.01227").substr(0, 29), "Vireon version 2.01 beta 27\nC");
}

TEST(VersionText, IsWhatDashDashVersionPrints) {
  std::ostringstream out, err;
  EXPECT_EQ(RunVireonCommand({"--version"}, out, err), kExitSuccess);
  EXPECT_EQ(out.str(), VersionText(messages::kVersion));
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace vireon::cli
