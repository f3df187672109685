#include "cli/command_line.h"

#include <cctype>
#include <cmath>
#include <charconv>
#include <limits>

#include "engine/task_settings.h"

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

// The commands an option is for.
enum : unsigned {
  kForRun = 1u << 0,
  kForPlot = 1u << 1,
  kForSimulate = 1u << 2,
  kForImport = 1u << 3,
  kForExport = 1u << 4,
  kForFit = 1u << 5,
};
constexpr unsigned kForAll = kForRun | kForPlot | kForSimulate | kForImport | kForExport | kForFit;

unsigned CommandBit(Command command) {
  switch (command) {
    case Command::kRun:
      return kForRun;
    case Command::kPlot:
      return kForPlot;
    case Command::kSimulate:
      return kForSimulate;
    case Command::kImport:
      return kForImport;
    case Command::kExport:
      return kForExport;
    case Command::kFit:
      return kForFit;
    default:
      return 0;
  }
}

// The options a command takes; the others are refused for it. "-o" is
// another spelling of "--output".
struct OptionRule {
  std::string_view name;
  bool takesValue;
  unsigned commands;
  bool repeatable = false;
};
constexpr OptionRule kOptions[] = {
    {"--settings", true, kForAll},
    {"--kdb", true, kForAll},
    {"--seed", true, kForRun | kForSimulate | kForFit},
    {"--quiet", false, kForRun | kForFit},
    {"--jobs", true, kForRun | kForFit},
    {"--mpi", false, kForRun | kForFit},
    {"--output", true, kForPlot | kForSimulate | kForImport | kForExport | kForFit},
    {"--data", true, kForFit, true},
    {"--parameter", true, kForFit, true},
    {"--method", true, kForFit},
    {"--starts", true, kForFit},
    {"--save", true, kForFit},
    {"--report", true, kForFit},
    {"--scale-columns", false, kForFit},
    {"--end", true, kForSimulate},
    {"--points", true, kForSimulate},
    {"--rtol", true, kForSimulate},
    {"--atol", true, kForSimulate},
    {"--amounts", false, kForSimulate},
    {"--event-rows", false, kForSimulate},
    {"--select", true, kForSimulate},
    {"--integrator", true, kForRun | kForSimulate},
};

const OptionRule* FindOption(std::string_view name) {
  if (name == "-o") name = "--output";
  for (const OptionRule& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// A whole decimal text as a double: finite, nothing left over.
std::optional<double> ParseReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
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

std::optional<std::vector<std::string>> SplitSelection(std::string_view text) {
  std::vector<std::string> items;
  std::string item;
  int depth = 0;
  for (char c : text) {
    if (c == ',' && depth == 0) {
      if (item.empty()) return std::nullopt;
      items.push_back(std::move(item));
      item.clear();
      continue;
    }
    if (c == '(' || c == '[') ++depth;
    if ((c == ')' || c == ']') && depth > 0) --depth;
    item += c;
  }
  if (item.empty() || depth != 0) return std::nullopt;
  items.push_back(std::move(item));
  return items;
}

std::optional<FitParameter> ParseFitParameter(std::string_view text, std::string& error) {
  FitParameter parameter;
  const std::size_t equals = text.rfind('=');
  parameter.title = std::string(text.substr(0, equals));
  if (parameter.title.empty()) {
    error = "--parameter needs a title before its bounds";
    return std::nullopt;
  }
  if (equals == std::string_view::npos) return parameter;
  const std::string_view rest = text.substr(equals + 1);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = rest.find(':', start);
    fields.emplace_back(
        rest.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  const std::string bad = "--parameter " + std::string(text) +
                          ": give the bounds as TITLE=LOW:HIGH (either one may be left empty), "
                          "optionally followed by :linear or :log";
  if (fields.size() < 2 || fields.size() > 3) {
    error = bad;
    return std::nullopt;
  }
  for (std::size_t k = 0; k < 2; ++k) {
    if (fields[k].empty()) continue;
    std::optional<double> bound = ParseReal(fields[k]);
    if (!bound) {
      error = bad;
      return std::nullopt;
    }
    (k == 0 ? parameter.lower : parameter.upper) = *bound;
  }
  if (fields.size() == 3) {
    if (fields[2] == "linear") {
      parameter.scale = ParameterScale::kLinear;
    } else if (fields[2] == "log") {
      parameter.scale = ParameterScale::kLog;
    } else {
      error = bad;
      return std::nullopt;
    }
  }
  if (parameter.lower > parameter.upper) {
    error = "--parameter " + std::string(text) + ": the lower bound exceeds the upper bound";
    return std::nullopt;
  }
  return parameter;
}

PictureFormat PictureFormatOf(std::string_view path) {
  // A bare ".png" names no file.
  if (path.size() > 4 && EndsWithIgnoringCase(path, ".png")) return PictureFormat::kPng;
  if (path.size() > 4 && EndsWithIgnoringCase(path, ".svg")) return PictureFormat::kSvg;
  return PictureFormat::kNone;
}

namespace {

// The command a first argument names; an error for anything else.
ParsedCommandLine ParseCommandWord(const std::string& first) {
  CommandLine line;
  if (first == "run") {
    line.command = Command::kRun;
  } else if (first == "plot") {
    line.command = Command::kPlot;
  } else if (first == "simulate") {
    line.command = Command::kSimulate;
  } else if (first == "import") {
    line.command = Command::kImport;
  } else if (first == "export") {
    line.command = Command::kExport;
  } else if (first == "fit") {
    line.command = Command::kFit;
  } else if (!first.empty() && first[0] == '-') {
    return Bad("unknown option " + first);
  } else {
    return Bad("unknown command " + first);
  }
  return {line, {}};
}

// Takes the value of one option (as spelt, `name`) into the line; returns
// what is wrong with it, or nothing. `commandWord` is the command as given.
std::optional<std::string> TakeOption(CommandLine& line, const OptionRule& option,
                                      const std::string& name, const std::string& value,
                                      const std::string& commandWord) {
  if (name == "--settings") {
    line.settingsPath = value;
  } else if (name == "--kdb") {
    line.kineticsPath = value;
  } else if (name == "--seed") {
    line.seed = ParseSeed(value);
    if (!line.seed) return "--seed needs a whole number from 0 to 4294967295, not " + value;
  } else if (name == "--quiet") {
    line.quiet = true;
  } else if (name == "--jobs") {
    std::optional<std::uint32_t> jobs = ParseSeed(value);
    if (!jobs || *jobs < 1 || *jobs > static_cast<std::uint32_t>(kMaxJobs)) {
      return "--jobs needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", not " +
             value;
    }
    line.jobs = static_cast<int>(*jobs);
  } else if (name == "--mpi") {
    line.mpi = true;
  } else if (option.name == "--output") {
    if (line.command == Command::kPlot && PictureFormatOf(value) == PictureFormat::kNone) {
      return "--output needs a file name ending in .png or .svg, not " + value;
    }
    if (line.command != Command::kSimulate && value == "-") {
      return name + " needs a file name for " + commandWord;
    }
    line.outputPath = value;
  } else if (name == "--end") {
    line.endTime = ParseReal(value);
    if (!line.endTime || !IsUsableEndTime(*line.endTime)) {
      return "--end needs a number at least 1e-100 away from 0, not " + value;
    }
  } else if (name == "--points") {
    std::optional<std::uint32_t> points = ParseSeed(value);
    if (!points || *points < 1 || *points > static_cast<std::uint32_t>(kMaxSimulatePoints)) {
      return "--points needs a whole number from 1 to " + std::to_string(kMaxSimulatePoints) +
             ", not " + value;
    }
    line.points = static_cast<int>(*points);
  } else if (name == "--rtol" || name == "--atol") {
    std::optional<double> tolerance = ParseReal(value);
    if (!tolerance || *tolerance < 0.0) return name + " needs a number not below 0, not " + value;
    (name == "--rtol" ? line.relativeTolerance : line.absoluteTolerance) = tolerance;
  } else if (name == "--amounts") {
    line.amounts = true;
  } else if (name == "--event-rows") {
    line.eventRows = true;
  } else if (name == "--select") {
    std::optional<std::vector<std::string>> items = SplitSelection(value);
    if (!items) {
      return "--select needs items separated by commas, each one non-empty and its brackets "
             "closed, not " +
             value;
    }
    line.select = std::move(*items);
  } else if (name == "--data") {
    line.dataPaths.push_back(value);
  } else if (name == "--parameter") {
    std::string error;
    std::optional<FitParameter> parameter = ParseFitParameter(value, error);
    if (!parameter) return error;
    line.parameters.push_back(std::move(*parameter));
  } else if (name == "--method") {
    if (value == "local") {
      line.method = FitMethod::kLocal;
    } else if (value == "global") {
      line.method = FitMethod::kGlobal;
    } else if (value == "direct") {
      line.method = FitMethod::kDirect;
    } else {
      return "--method needs local, global or direct, not " + value;
    }
  } else if (name == "--starts") {
    std::optional<std::uint32_t> starts = ParseSeed(value);
    if (!starts || *starts < 1 || *starts > static_cast<std::uint32_t>(kMaxFitStarts)) {
      return "--starts needs a whole number from 1 to " + std::to_string(kMaxFitStarts) + ", not " +
             value;
    }
    line.starts = static_cast<int>(*starts);
  } else if (name == "--save") {
    line.savePath = value;
  } else if (name == "--report") {
    line.reportPath = value;
  } else if (name == "--scale-columns") {
    line.scaleColumns = true;
  } else if (name == "--integrator") {
    line.integrator = IntegratorNamed(value);
    if (!line.integrator) return "--integrator needs lsoda or cvode, not " + value;
  }
  return std::nullopt;
}

}  // namespace

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

  ParsedCommandLine parsed = ParseCommandWord(first);
  if (!parsed.commandLine) return parsed;
  CommandLine& line = *parsed.commandLine;
  const unsigned commandBit = CommandBit(line.command);

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
    if (option == nullptr || (option->commands & commandBit) == 0) {
      return Bad("unknown option " + name + " for " + first);
    }
    for (std::string_view earlier : seen) {
      if (earlier == option->name && !option->repeatable) {
        return Bad(name + " given more than once");
      }
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
    if (std::optional<std::string> error = TakeOption(line, *option, name, value, first)) {
      return Bad(std::move(*error));
    }
  }
  if (!haveModel) {
    return Bad(first + (line.command == Command::kImport ? " needs an SBML file" : " needs a model file"));
  }
  return parsed;
}

std::string UsageText() {
  return "usage: vireon run MODEL.vrn [--settings FILE] [--kdb FILE] [--seed N] [--quiet]\n"
         "                  [--jobs N] [--mpi] [--integrator lsoda|cvode]\n"
         "       vireon plot MODEL.vrn [--output FILE.png|FILE.svg] [--settings FILE] "
         "[--kdb FILE]\n"
         "       vireon simulate MODEL [--end T] [--points N] [--rtol R] [--atol A] [--amounts]\n"
         "                       [--event-rows] [--select ITEM,...] [--seed N]\n"
         "                       [--integrator lsoda|cvode] [-o FILE.csv]\n"
         "       vireon import FILE.xml [-o MODEL.vrn]\n"
         "       vireon export MODEL.vrn [-o FILE.xml]\n"
         "       vireon fit MODEL [--data FILE ...] [--parameter TITLE[=LOW:HIGH] ...]\n"
         "                  [--method local|global|direct] [--starts N] [--seed N] [--jobs N]\n"
         "                  [--scale-columns] [--quiet] [--mpi] [-o RESULT.json]\n"
         "                  [--save FITTED.vrn] [--report FILE.txt]\n"
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
         "  simulate MODEL   Writes the time course of a model (.vrn or SBML) as CSV: the\n"
         "                   header \"time,\" and the metabolite names (an SBML model's\n"
         "                   species ids), then one row per output time. The end time,\n"
         "                   points and tolerances come from the model file, or for SBML\n"
         "                   from the settings' defaults, unless given. --select writes\n"
         "                   other quantities instead of the metabolites.\n"
         "  import FILE.xml  Reads an SBML Level 2 or 3 model and saves it as a Vireon\n"
         "                   model file (default: FILE.vrn). Events, rules, delays and\n"
         "                   other constructs without an equivalent are refused, each\n"
         "                   named with its id.\n"
         "  export MODEL.vrn Writes the model as SBML Level 3 Version 2 (default:\n"
         "                   MODEL.xml).\n"
         "  fit MODEL        Estimates parameters (--parameter) from measurements\n"
         "                   (--data: CSV or tab-separated, a first column time for a\n"
         "                   time course, none for steady states; sd(X) columns give\n"
         "                   standard deviations) and prints the values with their\n"
         "                   standard deviations; without --data and --parameter it runs\n"
         "                   the fit stored in the model file.\n"
         "\n"
         "Options:\n"
         "  --settings FILE  settings file (default $XDG_CONFIG_HOME/vireon/vireon.ini)\n"
         "  --kdb FILE       kinetics database of user-defined kinetic types\n"
         "                   (default $XDG_CONFIG_HOME/vireon/vireon.kdb); a batch run\n"
         "                   reads it and never writes it back\n"
         "  --seed N         seed of the random numbers of random scans and output\n"
         "                   functions, and of the order of simultaneous events of\n"
         "                   equal priority (0 to 4294967295; default: from the clock)\n"
         "  --quiet          no progress bar\n"
         "  --jobs N         run: threads that solve a scan's points (1 to 256;\n"
         "                   default: the preferences' choice, else every core). The\n"
         "                   files are the same for any number\n"
         "  --mpi            run: spread the scan over the processes of an MPI job\n"
         "                   (mpirun -np N vireon run MODEL.vrn --mpi); the first\n"
         "                   process writes the files; fit: spread the starts the same\n"
         "                   way, with the numbers of one process\n"
         "  --output FILE    plot: the picture to write; its extension, .png or .svg,\n"
         "                   chooses the format. gnuplot is taken from the settings'\n"
         "                   helper path or from PATH\n"
         "  -o, --output FILE  simulate, import, export: the file to write (simulate: -\n"
         "                   or none for standard output)\n"
         "  --end T          simulate: the end time (at least 1e-100 away from 0;\n"
         "                   negative runs backwards)\n"
         "  --points N       simulate: the number of output intervals (1 to 10000000)\n"
         "  --rtol R, --atol A  simulate: the integrator's relative and absolute\n"
         "                   tolerances\n"
         "  --amounts        simulate: amounts (concentration x volume) instead of\n"
         "                   concentrations\n"
         "  --event-rows     simulate: two more rows at each time an event is carried\n"
         "                   out, the values just before and just after its assignments\n"
         "                   (as the time-course data file's rows at events, which a\n"
         "                   model file may also ask for); without it an event adds no\n"
         "                   rows\n"
         "  --select ITEM,... simulate: the columns after the time, in this order, each\n"
         "                   headed by its ITEM: an output item's title as the data-file\n"
         "                   dialog shows it ([A]t, J(R1), V(c), k(t), ...) or a name\n"
         "                   (an SBML id): a metabolite's concentration, a step's flux\n"
         "                   (not for SBML, whose reactions' rates are no steps' fluxes),\n"
         "                   a compartment's volume or a global quantity's value during\n"
         "                   the time course. An unknown or ambiguous ITEM is refused\n"
         "                   (exit status 2)\n"
         "  --data FILE      fit: an experiment's measurements (repeat for more)\n"
         "  --parameter TITLE[=LOW:HIGH[:linear|:log]]  fit: a quantity to estimate, by\n"
         "                   its scan title (R1(k), [S]i, V(c), a global quantity), with\n"
         "                   bounds; positive ones are searched in log space unless\n"
         "                   :linear (repeat for more)\n"
         "  --method M       fit: local (Levenberg-Marquardt from the model's values,\n"
         "                   the default), global (from --starts starts spread over the\n"
         "                   bounds, on --jobs threads) or direct (the DIRECT-L search\n"
         "                   over the bounds, then a local fit)\n"
         "  --starts N       fit: the starts of a global fit (default 20)\n"
         "  --scale-columns  fit: weight each column without sd by its mean square\n"
         "  --save FILE      fit: save the model with the fitted values\n"
         "  --report FILE    fit: write the report of the fit (the model, the fit's\n"
         "                   settings and results) to FILE; without it the report goes\n"
         "                   to the model's report file (MODEL.txt) when the model has\n"
         "                   its report switched on\n"
         "  --integrator lsoda|cvode  run, simulate: the integrator of the time course\n"
         "                   and of the steady state's integration, instead of the\n"
         "                   model's (LSODA unless the model file names CVODE). CVODE\n"
         "                   (backward differentiation formulas, sparse KLU from 100\n"
         "                   equations) is for large stiff networks; it refuses\n"
         "                   models with events or delays\n"
         "  --help, -h       this text\n"
         "  --version        the version and build\n"
         "\n"
         "Exit status of run: 0 the run completed and wrote every output; 1 the model\n"
         "could not be loaded, the run could not start, or it wrote none of its outputs\n"
         "(its folder is not writable); 2 bad arguments; 3 the run completed with\n"
         "entries in its error log (a task failed, or an output was refused or not\n"
         "completely written); 130 the run was stopped with Ctrl-C. plot, simulate,\n"
         "import and export: 0 done, 1 refused or failed (the reason on standard\n"
         "error), 2 bad arguments (for simulate also an unknown or ambiguous --select\n"
         "item). fit: 0 fitted, 1 refused or failed, 2 bad arguments, 130 stopped (the\n"
         "best point so far is still written).\n";
}

}  // namespace vireon::cli
