#include "cli/command_line.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace vireon::cli {
namespace {

ParsedCommandLine Bad(std::string error) {
  return {std::nullopt, std::move(error)};
}

ParsedCommandLine Just(Command command) {
  CommandLine line;
  line.command = command;
  return {line, {}};
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text.remove_prefix(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != suffix[i]) return false;
  }
  return true;
}

// The options a command takes; the others are refused for it.
struct OptionRule {
  std::string_view name;
  bool takesValue;
  bool forRun;
  bool forPlot;
};
constexpr OptionRule kOptions[] = {
    {"--settings", true, true, true}, {"--kdb", true, true, true},
    {"--seed", true, true, false},    {"--quiet", false, true, false},
    {"--output", true, false, true},
};

const OptionRule* FindOption(std::string_view name) {
  for (const OptionRule& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

std::optional<std::uint32_t> ParseSeed(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() ||
      value > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

PictureFormat PictureFormatOf(std::string_view path) {
  // A bare ".png" names no file.
  if (path.size() > 4 && EndsWithIgnoringCase(path, ".png")) return PictureFormat::kPng;
  if (path.size() > 4 && EndsWithIgnoringCase(path, ".svg")) return PictureFormat::kSvg;
  return PictureFormat::kNone;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return Bad("no command given");
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h" || first == "help") {
    if (arguments.size() > 1) return Bad("--help takes no arguments");
    return Just(Command::kHelp);
  }
  if (first == "--version") {
    if (arguments.size() > 1) return Bad("--version takes no arguments");
    return Just(Command::kVersion);
  }

  CommandLine line;
  if (first == "run") {
    line.command = Command::kRun;
  } else if (first == "plot") {
    line.command = Command::kPlot;
  } else if (!first.empty() && first[0] == '-') {
    return Bad("unknown option " + first);
  } else {
    return Bad("unknown command " + first);
  }
  const bool run = line.command == Command::kRun;

  std::vector<std::string_view> seen;
  bool haveModel = false;
  bool optionsEnded = false;
  for (std::size_t k = 1; k < arguments.size(); ++k) {
    const std::string& argument = arguments[k];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      if (haveModel) return Bad("more than one model file given (" + argument + ")");
      line.modelPath = argument;
      haveModel = true;
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") return Just(Command::kHelp);

    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const OptionRule* option = FindOption(name);
    if (option == nullptr || !(run ? option->forRun : option->forPlot)) {
      return Bad("unknown option " + name + " for " + first);
    }
    for (std::string_view earlier : seen) {
      if (earlier == option->name) return Bad(name + " given more than once");
    }
    seen.push_back(option->name);

    std::string value;
    if (!option->takesValue) {
      if (equals != std::string::npos) return Bad(name + " takes no value");
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (k + 1 < arguments.size()) {
      value = arguments[++k];
    } else {
      return Bad(name + " needs a value");
    }
    if (option->takesValue && value.empty()) return Bad(name + " needs a value");

    if (name == "--settings") {
      line.settingsPath = value;
    } else if (name == "--kdb") {
      line.kineticsPath = value;
    } else if (name == "--seed") {
      line.seed = ParseSeed(value);
      if (!line.seed) return Bad("--seed needs a whole number from 0 to 4294967295, not " + value);
    } else if (name == "--quiet") {
      line.quiet = true;
    } else if (name == "--output") {
      if (PictureFormatOf(value) == PictureFormat::kNone) {
        return Bad("--output needs a file name ending in .png or .svg, not " + value);
      }
      line.outputPath = value;
    }
  }
  if (!haveModel) return Bad(first + " needs a model file");
  return {line, {}};
}

std::string UsageText() {
  return "usage: vireon run MODEL.vrn [--settings FILE] [--kdb FILE] [--seed N] [--quiet]\n"
         "       vireon plot MODEL.vrn [--output FILE.png|FILE.svg] [--settings FILE] "
         "[--kdb FILE]\n"
         "       vireon --help | --version\n";
}

std::string HelpText() {
  return "Vireon simulates biochemical reaction networks.\n"
         "\n" +
         UsageText() +
         "\n"
         "Commands:\n"
         "  run MODEL.vrn    Loads the model and runs the tasks switched on in it (time\n"
         "                   course, steady state, and the scan when it is enabled), as\n"
         "                   the desktop program's Run does, without saving the model.\n"
         "                   The report and the data files go where the model says: the\n"
         "                   report beside the model file with the extension .txt, the\n"
         "                   data files under their names in the model's folder. Ctrl-C\n"
         "                   stops the run.\n"
         "  plot MODEL.vrn   Prints the gnuplot script of the model's plot settings, or\n"
         "                   renders it with gnuplot into a PNG or SVG file (--output).\n"
         "                   The script plots the data files of the last run.\n"
         "\n"
         "Options:\n"
         "  --settings FILE  settings file (default $XDG_CONFIG_HOME/vireon/vireon.ini)\n"
         "  --kdb FILE       kinetics database of user-defined kinetic types\n"
         "                   (default $XDG_CONFIG_HOME/vireon/vireon.kdb); a batch run\n"
         "                   reads it and never writes it back\n"
         "  --seed N         seed of the random numbers of random scans and output\n"
         "                   functions (0 to 4294967295; default: from the clock)\n"
         "  --quiet          no progress bar\n"
         "  --output FILE    the picture to write; its extension, .png or .svg, chooses\n"
         "                   the format. gnuplot is taken from the settings' helper path\n"
         "                   or from PATH\n"
         "  --help, -h       this text\n"
         "  --version        the version and build\n"
         "\n"
         "Exit status: 0 the run completed and wrote every output, or the plot was made;\n"
         "1 the model could not be loaded, the run could not start, the run wrote none\n"
         "of its outputs (its folder is not writable), or the plot could not be made;\n"
         "2 bad arguments; 3 the run completed with entries in its error log (a task\n"
         "failed, or an output was refused or not completely written); 130 the run was\n"
         "stopped with Ctrl-C.\n";
}

}  // namespace vireon::cli
