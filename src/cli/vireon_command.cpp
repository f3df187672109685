#include "cli/vireon_command.h"

#include <cerrno>
#include <cstring>

#include "cli/command_line.h"
#include "cli/fit_command.h"
#include "cli/plot_command.h"
#include "cli/run_command.h"
#include "cli/sbml_commands.h"
#include "cli/simulate_command.h"
#include "cli/version_text.h"
#include "model/messages.h"

namespace vireon::cli {
namespace {

int RunParsedCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  switch (line.command) {
    case Command::kHelp:
      out << HelpText();
      return kExitSuccess;
    case Command::kVersion:
      out << VersionText(messages::kVersion);
      return kExitSuccess;
    case Command::kRun:
      return RunCommand(line, out, err);
    case Command::kPlot:
      return PlotCommand(line, out, err);
    case Command::kSimulate:
      return SimulateCommand(line, out, err);
    case Command::kImport:
      return ImportCommand(line, out, err);
    case Command::kExport:
      return ExportCommand(line, out, err);
    case Command::kFit:
      return FitCommand(line, out, err);
  }
  return kExitUsage;
}

}  // namespace

int RunVireonCommand(const std::vector<std::string>& arguments, std::ostream& out,
                     std::ostream& err) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.commandLine) {
    err << "vireon: " << parsed.error << "\n" << UsageText();
    return kExitUsage;
  }
  const int status = RunParsedCommand(*parsed.commandLine, out, err);
  // What a command printed must have arrived (a full disk, /dev/full); a
  // command that failed has said why already.
  const bool good = out.good();
  errno = 0;
  out.flush();
  if (!out && status == kExitSuccess) {
    const int error = errno;
    err << "vireon: could not write standard output";
    if (good && error != 0) err << ": " << std::strerror(error);
    err << "\n";
    return kExitFailure;
  }
  return status;
}

}  // namespace vireon::cli
