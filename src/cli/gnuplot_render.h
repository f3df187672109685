#pragma once
// Rendering a gnuplot script into a picture file: gnuplot runs as a child
// process (no shell) that reads the script on its standard input, and the
// command waits for it.

#include <string>
#include <string_view>

#include "cli/command_line.h"

namespace vireon::cli {

// The terminal line of each picture format (without "set terminal").
std::string_view PictureTerminal(PictureFormat format);

// The gnuplot to start: the helper path of the settings when one is set,
// else "gnuplot", looked up in PATH.
std::string GnuplotProgram(const std::string& helperPath);

// True when `program` names an executable file (a name without a slash is
// looked up in PATH).
bool FindProgram(const std::string& program);

struct RenderResult {
  bool ok = false;
  std::string error;  // why it failed, for the user
};

// Runs `program` on `script` and waits for it. Succeeds when gnuplot exits
// with status 0 and `outputPath` then holds something.
RenderResult RenderWithGnuplot(const std::string& program, std::string_view script,
                               const std::string& outputPath);

}  // namespace vireon::cli
