#pragma once
// What --version prints.

#include <string>
#include <string_view>

namespace vireon::cli {

// "Compiled <date> <time>" with the date and time of this build.
std::string BuildLine();

// The version line built from the program's version number ("Vireon version
// 3.00"), then the build line, each ended by a line feed.
std::string VersionText(std::string_view version);

}  // namespace vireon::cli
