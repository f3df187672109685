#include "document/about_lines.h"

#include <gtest/gtest.h>

namespace vireon {
namespace {

TEST(AboutLinesTest, LinesCarryVersionBuildMemoryAndFreeSpace) {
  const std::vector<std::string> lines = AboutLines(2048, 1000, "/models/");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Vireon version 3.00");
  EXPECT_EQ(lines[1].rfind("Compiled ", 0), 0u);
  EXPECT_EQ(lines[3], "2048 KB Physical memory");
  EXPECT_EQ(lines[4], "1000 KB Free on /models/");
  EXPECT_EQ(AboutLines(std::nullopt, std::nullopt, "/x/").back(), kDiskSpaceUnavailable);

  // The machine's own values: there is memory, and free space is known for
  // an existing folder and unknown for a missing one.
  ASSERT_TRUE(PhysicalMemoryKb().has_value());
  EXPECT_GT(*PhysicalMemoryKb(), 0ul);
  EXPECT_TRUE(FreeDiskKb("/").has_value());
  EXPECT_FALSE(FreeDiskKb("/no/such/folder/here").has_value());
}

}  // namespace
}  // namespace vireon
