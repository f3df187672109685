#pragma once
// The arguments of the vireon command:
//
//   vireon run MODEL.vrn [--settings FILE] [--kdb FILE] [--seed N] [--quiet] [--jobs N] [--mpi]
//                   [--integrator lsoda|cvode]
//   vireon plot MODEL.vrn [--output FILE.png|FILE.svg] [--settings FILE] [--kdb FILE]
//   vireon simulate MODEL [--end T] [--points N] [--rtol R] [--atol A] [--amounts]
//                   [--event-rows] [--select ITEM,...] [--seed N]
//                   [--integrator lsoda|cvode] [-o FILE.csv]
//   vireon import FILE.xml [-o MODEL.vrn]
//   vireon export MODEL.vrn [-o FILE.xml]
//   vireon fit MODEL [--data FILE ...] [--parameter TITLE[=LOW:HIGH[:linear|:log]] ...]
//              [--method local|global|direct] [--starts N] [--seed N] [--jobs N]
//              [--scale-columns] [--quiet] [--mpi] [-o RESULT.json] [--save FITTED.vrn]
//              [--report FILE.txt]
//   vireon --help | --version
//
// An option's value follows it as the next argument or after "=" in the same
// one ("--seed 7", "--seed=7"). Each option may be given once, except
// --data and --parameter, which may be repeated.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fit/parameter_estimation.h"
#include "model/solver_options.h"

namespace vireon::cli {

// Exit statuses of the command.
inline constexpr int kExitSuccess = 0;  // the run wrote every output, the plot was made
inline constexpr int kExitFailure = 1;  // no model, no run, or a run that wrote none of its outputs
inline constexpr int kExitUsage = 2;    // bad arguments
inline constexpr int kExitIncomplete = 3;  // the run completed with entries in its error log
inline constexpr int kExitStopped = 130;   // the run was stopped (Ctrl-C), as a shell reports it

enum class Command { kHelp, kVersion, kRun, kPlot, kSimulate, kImport, kExport, kFit };

struct CommandLine {
  Command command = Command::kHelp;
  std::string modelPath;
  std::string settingsPath;           // empty: the user's settings file
  std::string kineticsPath;           // empty: the user's kinetics database
  std::optional<std::uint32_t> seed;  // none: seeded from the clock
  bool quiet = false;
  std::optional<int> jobs;  // run: threads of a scan; none: the settings' or every core
  bool mpi = false;         // run: the scan, fit: the starts, over an MPI job's processes
  std::string outputPath;  // plot: the picture to write; empty prints the script
                           // simulate, import, export: the file to write ("-" or
                           // empty for simulate: standard output)
  // simulate: the time course's settings, where given (an end time that
  // IsUsableEndTime accepts, 1 to kMaxSimulatePoints points).
  std::optional<double> endTime;
  std::optional<int> points;
  std::optional<double> relativeTolerance;
  std::optional<double> absoluteTolerance;
  bool amounts = false;  // amounts instead of concentrations
  // Rows before and after the executions at each moment an event is
  // carried out, as a model file's "DynEventRows" asks of its data file.
  bool eventRows = false;
  // simulate: the quantities to write after the time, in this order, as
  // given (SplitSelection); empty: every metabolite.
  std::vector<std::string> select;
  // fit: the experiments' files, the parameters in the order given, the
  // method, the number of starts, the file that keeps the fitted model and
  // whether columns without standard deviations are scaled by their mean
  // square. Without --data and --parameter the fit stored in the model runs.
  std::vector<std::string> dataPaths;
  std::vector<FitParameter> parameters;
  std::optional<FitMethod> method;
  std::optional<int> starts;
  std::string savePath;
  // fit: the report's file; empty: the model's report file when the model
  // has its report switched on, else none.
  std::string reportPath;
  bool scaleColumns = false;
  // run, simulate: the integrator instead of the model's.
  std::optional<Integrator> integrator;
};

struct ParsedCommandLine {
  std::optional<CommandLine> commandLine;  // none when the arguments are bad
  std::string error;                       // what is wrong with them
};

// Parses the arguments after the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The seed as --seed takes it: a decimal number from 0 to 4294967295.
std::optional<std::uint32_t> ParseSeed(std::string_view text);

// The items of a --select list: the text split at every comma that is not
// inside brackets or parentheses, so that titles such as "C([A],R1)" stay
// whole. None when an item is empty or a bracket is not closed.
std::optional<std::vector<std::string>> SplitSelection(std::string_view text);

// A --parameter's value: TITLE, or TITLE=LOW:HIGH with either bound left
// empty for none, and optionally :linear or :log after the bounds. None
// when it is malformed; `error` then says why.
std::optional<FitParameter> ParseFitParameter(std::string_view text, std::string& error);

// The most threads --jobs takes.
inline constexpr int kMaxJobs = 256;

// The largest number of output intervals simulate takes.
inline constexpr int kMaxSimulatePoints = 10000000;

// The picture formats of --output, chosen by the file name's extension
// (".png" or ".svg", in any case).
enum class PictureFormat { kNone, kPng, kSvg };
PictureFormat PictureFormatOf(std::string_view path);

// The usage lines, ending in a line feed.
std::string UsageText();
// The whole --help text.
std::string HelpText();

}  // namespace vireon::cli
