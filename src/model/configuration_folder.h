#pragma once
// The user's configuration folder, where the settings file and the kinetics
// database live side by side.

#include <filesystem>

namespace vireon {

// XDG_CONFIG_HOME/vireon when xdgConfigHome is an absolute path, else
// HOME/.config/vireon; empty when neither gives a folder. Either argument
// may be null.
std::filesystem::path ConfigurationFolderFor(const char* xdgConfigHome, const char* home);

// The same for this process's environment. When HOME is unset or empty the
// password database names the home folder, so that every file of the
// configuration is found in the same place.
std::filesystem::path ConfigurationFolder();

}  // namespace vireon
