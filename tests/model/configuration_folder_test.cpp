#include "model/configuration_folder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include "kinetics/kinetics_database.h"
#include "settings/settings_store.h"
#include "support/scoped_environment.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnvironment;

// Whatever the environment, the settings file and the kinetics database are
// looked for in one folder.
TEST(ConfigurationFolder, HoldsTheSettingsAndTheKineticsDatabaseWhateverTheEnvironment) {
  struct Case {
    const char* xdgConfigHome;
    const char* home;
  };
  const Case cases[] = {
      {"/srv/config", "/home/ann"},
      {nullptr, "/home/ann"},
      {"relative", "/home/ann"},
      {nullptr, nullptr},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.xdgConfigHome ? c.xdgConfigHome : "(unset)") + " " +
                 (c.home ? c.home : "(unset)"));
    ScopedEnvironment xdg("XDG_CONFIG_HOME", c.xdgConfigHome);
    ScopedEnvironment home("HOME", c.home);
    const fs::path folder = ConfigurationFolder();
    EXPECT_EQ(DefaultSettingsPath(), folder.empty() ? fs::path() : folder / "vireon.ini");
    EXPECT_EQ(DefaultKineticsDatabasePath(), folder.empty() ? fs::path() : folder / "vireon.kdb");
  }
}

TEST(ConfigurationFolder, WithoutHomeThePasswordDatabaseNamesTheHomeFolder) {
  const passwd* entry = ::getpwuid(::getuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0') {
    GTEST_SKIP() << "the password database has no home folder for this user";
  }
  const fs::path expected = fs::path(entry->pw_dir) / ".config" / "vireon";
  ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnvironment home("HOME", nullptr);
  EXPECT_EQ(ConfigurationFolder(), expected);
  EXPECT_EQ(DefaultKineticsDatabasePath(), expected / "vireon.kdb");
  EXPECT_EQ(DefaultSettingsPath(), expected / "vireon.ini");
}

}  // namespace
}  // namespace vireon
