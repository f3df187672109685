#include "model/configuration_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vireon {

namespace {

// Room for one entry of the password database.
constexpr std::size_t kPasswordEntrySize = 16384;

// The home folder the password database gives the current user; empty when
// it has no entry for them.
std::string PasswordHome() {
  std::vector<char> buffer(kPasswordEntrySize);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

}  // namespace

std::filesystem::path ConfigurationFolderFor(const char* xdgConfigHome, const char* home) {
  // A relative XDG_CONFIG_HOME is invalid and ignored.
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    return std::filesystem::path(xdgConfigHome) / "vireon";
  }
  if (home != nullptr && home[0] != '\0') {
    return std::filesystem::path(home) / ".config" / "vireon";
  }
  return {};
}

std::filesystem::path ConfigurationFolder() {
  const char* home = std::getenv("HOME");
  std::string passwordHome;
  if (home == nullptr || home[0] == '\0') {
    passwordHome = PasswordHome();
    home = passwordHome.c_str();
  }
  return ConfigurationFolderFor(std::getenv("XDG_CONFIG_HOME"), home);
}

}  // namespace vireon
