#include "settings/installed_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/files.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

class InstalledFilesTest : public ::testing::Test {
 protected:
  fs::path Make(const fs::path& relative) {
    fs::create_directories(root_ / relative);
    return root_ / relative;
  }
  void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x\n";
  }

  test::TemporaryFolder temporary_;
  const fs::path root_ = temporary_.path();
};

// Which share/ folder an executable's files come from, for the layouts a
// program meets: installed under a prefix (also a prefix moved elsewhere),
// run from a build folder, both present, and nothing installed at all.
TEST_F(InstalledFilesTest, FindsTheShareFolderOfTheLayoutItRunsIn) {
  struct Case {
    const char* name;
    const char* executable;
    std::initializer_list<const char*> folders;
    const char* expectedShare;
  };
  const Case cases[] = {
      {"installed", "usr/bin/vireon", {"usr/share/vireon"}, "usr/share"},
      {"relocated prefix", "opt/v3/bin/vireon-gui", {"opt/v3/share/vireon"}, "opt/v3/share"},
      {"build folder", "build/vireon", {"build/share/vireon"}, "build/share"},
      {"installed wins over a share/ beside the program",
       "p/bin/vireon",
       {"p/share/vireon", "p/bin/share/vireon"},
       "p/share"},
      {"a doc folder alone does not count",
       "q/bin/vireon",
       {"q/bin/share/vireon", "q/share/doc/vireon"},
       "q/bin/share"},
      {"nothing installed: where it was expected", "r/bin/vireon", {}, "r/share"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* folder : c.folders) Make(folder);
    const InstalledFiles files = FindInstalledFiles(root_ / c.executable);
    EXPECT_EQ(files.dataFolder, root_ / c.expectedShare / "vireon");
    EXPECT_EQ(files.docFolder, root_ / c.expectedShare / "doc" / "vireon");
  }
}

TEST_F(InstalledFilesTest, ManualIsTheGeneratedPageOrElseItsMarkdownSource) {
  const InstalledFiles files{Make("share/vireon"), Make("share/doc/vireon")};
  const fs::path html = files.docFolder / "manual.html";
  const fs::path markdown = files.docFolder / "manual.md";
  EXPECT_EQ(ManualPath(files), html) << "neither exists: the page's path";
  Touch(markdown);
  EXPECT_EQ(ManualPath(files), markdown);
  Touch(html);
  EXPECT_EQ(ManualPath(files), html);
}

// The test program runs from the build folder, where the build stages the
// manual and the examples: it finds them as an installed program would.
TEST(InstalledFilesOfThisProgram, AreTheOnesStagedInTheBuildFolder) {
  const fs::path executable = ExecutablePath();
  ASSERT_FALSE(executable.empty());
  EXPECT_TRUE(fs::equivalent(executable.parent_path(), VIREON_BINARY_DIR));
  const InstalledFiles files = ProgramFiles();
  EXPECT_TRUE(fs::equivalent(files.dataFolder, fs::path(VIREON_BINARY_DIR) / "share/vireon"));
  EXPECT_TRUE(fs::is_regular_file(ManualPath())) << ManualPath();
  EXPECT_TRUE(fs::is_regular_file(ExamplesFolder() / "michaelis_menten.vrn"));
}

}  // namespace
}  // namespace vireon
