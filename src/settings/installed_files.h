#pragma once
// Where the program finds the files that come with it: the data it reads at
// run time (`<prefix>/share/vireon/`) and its documentation, the user manual
// and the example models (`<prefix>/share/doc/vireon/`). Both are found
// relative to the running executable, so an installation moved to another
// prefix still finds them, and a program run from its build folder (where
// the executables sit at the top and the build stages the same files under
// `share/`) finds those of the build.

#include <filesystem>

namespace vireon {

struct InstalledFiles {
  std::filesystem::path dataFolder;  // <prefix>/share/vireon
  std::filesystem::path docFolder;   // <prefix>/share/doc/vireon
};

// The files that belong to `executable` (a full path, symbolic links
// resolved). The installed layout `<prefix>/bin/<program>` is tried first,
// then the build folder's `<folder>/<program>` with `<folder>/share/`; the
// first whose data folder exists is taken. When neither exists the installed
// layout is returned, so that a message can name the place where the files
// were expected.
InstalledFiles FindInstalledFiles(const std::filesystem::path& executable);

// The running program's executable with symbolic links resolved
// (/proc/self/exe); empty when the system does not say.
std::filesystem::path ExecutablePath();

// The files of the running program.
InstalledFiles ProgramFiles();

// The user manual of a documentation folder: the HTML the build generates,
// or the Markdown source where the build had no converter. When neither
// exists, the HTML's path (the caller reports the missing file by name).
std::filesystem::path ManualPath(const InstalledFiles& files);
// The user manual of the running program, for Help > Contents.
std::filesystem::path ManualPath();
// The folder of the example models of the running program.
std::filesystem::path ExamplesFolder();

}  // namespace vireon
