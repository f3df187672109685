#include "document/manual_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vireon {
namespace {

constexpr const char* kManual =
    "Opening words.\n"
    "# Guide\n"
    "Read this.\n"
    "## Reactions\n"
    "A step is written as an equation: A + B = P.\n"
    "```\n"
    "# not a heading\n"
    "```\n"
    "### Equation syntax\n"
    "Coefficients: 2*A. An equation with = is reversible.\n"
    "## Tolerances\n"
    "The relative tolerance of the integrator.\n";

TEST(ManualIndexTest, CutsAtHeadingsOutsideCodeBlocks) {
  const ManualIndex index(kManual, ManualFormat::kMarkdown);
  ASSERT_EQ(index.sections().size(), 4u);
  EXPECT_EQ(index.sections()[0].title, "Guide");
  EXPECT_EQ(index.sections()[1].title, "Reactions");
  EXPECT_EQ(index.sections()[1].level, 2);
  EXPECT_NE(index.sections()[1].text.find("# not a heading"), std::string::npos);
  EXPECT_EQ(index.sections()[2].title, "Equation syntax");
  EXPECT_EQ(index.sections()[2].level, 3);
  // Every line of the manual from the first heading on is in one section.
  std::string joined = "Opening words.\n";
  for (const ManualSection& section : index.sections()) joined += section.text;
  EXPECT_EQ(joined, kManual);
}

TEST(ManualIndexTest, FindsSectionsThatHoldEveryWordTitleFirst) {
  const ManualIndex index(kManual, ManualFormat::kMarkdown);
  const std::vector<ManualHit> hits = index.Search("EQUATION");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].section, 2);  // in its title
  EXPECT_EQ(hits[1].section, 1);
  EXPECT_EQ(hits[1].excerpt, "A step is written as an equation: A + B = P.");

  const std::vector<ManualHit> both = index.Search("reversible, equation");
  ASSERT_EQ(both.size(), 1u);
  EXPECT_EQ(both[0].section, 2);
  EXPECT_TRUE(index.Search("tolerance nowhere").empty());
  EXPECT_TRUE(index.Search("  ,; ").empty());
}

TEST(ManualIndexTest, ReadsTheHtmlPageTheBuildMakes) {
  const ManualIndex index(
      "<html><head><title>t</title></head><body>\n<h1 id=\"guide\">Guide</h1>\n<p>Read.</p>\n"
      "<h2 id=\"r\">Rate laws &amp; <code>types</code></h2>\n<p>A rate &lt; 1\nis slow.</p>\n"
      "</body></html>\n",
      ManualFormat::kHtml);
  ASSERT_EQ(index.sections().size(), 2u);
  EXPECT_EQ(index.sections()[1].title, "Rate laws & types");
  EXPECT_EQ(index.sections()[1].level, 2);
  EXPECT_EQ(index.sections()[1].text.rfind("<h2 id=\"r\">", 0), 0u);
  EXPECT_EQ(index.sections()[1].text.find("</body>"), std::string::npos);
  const std::vector<ManualHit> hits = index.Search("rate");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].excerpt, "A rate < 1");
  EXPECT_TRUE(index.Search("code").empty());  // tags are not words of the text
}

TEST(ManualIndexTest, FindsASectionByTheStartOfItsTitle) {
  const ManualIndex index(kManual, ManualFormat::kMarkdown);
  EXPECT_EQ(index.FindSection("equation"), 2);
  EXPECT_EQ(index.FindSection("Tolerances"), 3);
  EXPECT_EQ(index.FindSection("Units"), -1);
}

TEST(ManualIndexTest, TheProgramsManualHasTheSectionsTheHelpButtonsOpen) {
  std::ifstream in(std::filesystem::path(VIREON_SOURCE_DIR) / "docs" / "manual.md");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const ManualIndex index(text.str(), ManualFormat::kMarkdown);
  EXPECT_GT(index.sections().size(), 20u);
  for (const char* title : {"Reactions: the equation language", "Rate laws",
                            "User-defined kinetic types", "Model Definition", "Scans",
                            "Output functions", "Troubleshooting"}) {
    EXPECT_GE(index.FindSection(title), 0) << title;
  }
  EXPECT_FALSE(index.Search("tolerance").empty());
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

TEST(ManualIndexTest, AMissingManualIsNamedInTheReason) {
  std::string why;
  EXPECT_FALSE(ReadManual("/nonexistent/manual.html", why).has_value());
  EXPECT_EQ(why, "The user manual could not be found:\n/nonexistent/manual.html");
  const std::optional<ManualIndex> read =
      ReadManual(std::filesystem::path(VIREON_SOURCE_DIR) / "docs" / "manual.md", why);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->format(), ManualFormat::kMarkdown);
  EXPECT_GE(read->FindSection("Rate laws"), 0);
}

}  // namespace
}  // namespace vireon
