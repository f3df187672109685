#include "cli/simulate_command.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "cli/startup.h"
#include "engine/cvode_integrator.h"
#include "engine/fast_equilibrium.h"
#include "engine/random.h"
#include "kinetics/kinetic_binding.h"
#include "model/replace_file.h"
#include "output/output_item_lookup.h"
#include "rules/event_check.h"
#include "rules/rule_system.h"
#include "sbml/sbml_import.h"

namespace vireon::cli {

namespace {

void AppendNumber(std::string& text, double value) {
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, error == std::errc() ? end : buffer);
}

void AppendField(std::string& text, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    text += field;
    return;
  }
  text += '"';
  for (char c : field) {
    if (c == '"') text += '"';
    text += c;
  }
  text += '"';
}

// The header line: "time" and the metabolite names.
std::string CsvHeader(const Model& model) {
  std::string text = "time";
  for (const Metabolite& m : model.metabolites) {
    text += ',';
    AppendField(text, m.name);
  }
  text += '\n';
  return text;
}

// How a row's values are read: the metabolites' from the row, every other
// item's from where it is bound. A model with rules has the current volume
// of every compartment bound after the selected items, since an amount is
// the concentration times the volume at the time of the row.
struct RowValues {
  const Model& model;
  std::vector<OutputItem> bound;
  std::size_t volumesStart = 0;
  bool amounts = false;

  // Metabolite m's column value: its concentration, or its amount.
  double Metabolite(std::span<const double> concentrations, int m) const {
    const double concentration = concentrations[static_cast<std::size_t>(m)];
    if (!amounts) return concentration;
    if (volumesStart == bound.size()) return concentration * model.VolumeOf(m);
    const int c = model.metabolites[static_cast<std::size_t>(m)].compartment;
    return concentration * bound[volumesStart + static_cast<std::size_t>(
                                                   c >= 0 && c < model.nCompartments() ? c : 0)]
                               .Value();
  }
};

void AppendCsvRow(std::string& text, const RowValues& values, double time,
                  std::span<const double> concentrations) {
  AppendNumber(text, time);
  for (int m = 0; m < values.model.nMetabolites(); ++m) {
    text += ',';
    AppendNumber(text, values.Metabolite(concentrations, m));
  }
  text += '\n';
}

// The columns --select asks for: the items, each headed by the text that
// chose it. A metabolite's transient concentration is written from the row
// the default columns are written from, so that it reads the same either
// way (and as an amount with --amounts); every other item reads its bound
// quantity.
//
// An SBML reaction's id asks for its rate, an amount per time: the flux of
// one of its steps (the item) times the current volume of the step's
// compartment (one of `volumes`, bound after the items) over the step's
// scale.
struct Selection {
  std::vector<std::string> headers;
  std::vector<OutputItem> items;
  std::vector<int> metabolites;  // per item: the metabolite, or -1
  std::vector<double> rateScale;  // per item: a reaction's scale, or 0
  std::vector<int> rateVolume;    // per item: its place in `volumes`, or -1
  std::vector<OutputItem> volumes;
};

// Finds every item of the list in the model. An SBML model's ids are
// looked up by the names the import gave them, and a reaction's id by its
// rate; its steps' names are not ids of its reactions' rates, since a
// step's flux is a rate per volume, scaled to whole coefficients, of all or
// part of a reaction (its title J(...) still chooses it). On failure says
// on `err` which item is unknown or ambiguous and returns none.
std::optional<Selection> SelectColumns(const CommandLine& line, const Model& model,
                                       const SbmlImportResult& imported, std::ostream& err) {
  const bool sbml = IsSbmlFileName(line.modelPath);
  Selection selection;
  for (const std::string& text : line.select) {
    if (const auto rate = imported.reactionRates.find(text); rate != imported.reactionRates.end()) {
      selection.headers.push_back(text);
      selection.items.push_back(MakeOutputItem(kTransientFlux, rate->second.step));
      selection.metabolites.push_back(-1);
      selection.rateScale.push_back(rate->second.scale);
      selection.rateVolume.push_back(
          rate->second.compartment.empty() ? -1 : static_cast<int>(selection.volumes.size()));
      if (!rate->second.compartment.empty()) {
        selection.volumes.push_back(MakeOutputItem(kCurrentVolume, rate->second.compartment));
      }
      continue;
    }
    const auto renamed = imported.renamedIds.find(text);
    const std::string& name = renamed != imported.renamedIds.end() ? renamed->second : text;
    std::vector<OutputItem> found = FindTimeCourseItems(model, name, /*stepNames=*/!sbml);
    if (found.empty()) {
      err << "vireon: --select: " << line.modelPath << " has no quantity called " << text << "\n";
      return std::nullopt;
    }
    if (found.size() > 1) {
      err << "vireon: --select: " << text << " is ambiguous in " << line.modelPath << ": it names";
      for (std::size_t k = 0; k < found.size(); ++k) {
        err << (k == 0 ? " " : ", ") << found[k].title;
      }
      err << "; give one of these titles\n";
      return std::nullopt;
    }
    OutputItem& item = found.front();
    selection.metabolites.push_back(
        item.type == kTransientConcentration ? model.FindMetabolite(item.i) : -1);
    selection.headers.push_back(text);
    selection.items.push_back(std::move(item));
    selection.rateScale.push_back(0.0);
    selection.rateVolume.push_back(-1);
  }
  return selection;
}

std::string SelectionHeader(const Selection& selection) {
  std::string text = "time";
  for (const std::string& header : selection.headers) {
    text += ',';
    AppendField(text, header);
  }
  text += '\n';
  return text;
}

void AppendSelectionRow(std::string& text, const RowValues& values, const Selection& selection,
                        double time, std::span<const double> concentrations) {
  AppendNumber(text, time);
  for (std::size_t k = 0; k < selection.items.size(); ++k) {
    text += ',';
    const int m = selection.metabolites[k];
    double value = m >= 0 ? values.Metabolite(concentrations, m) : values.bound[k].Value();
    if (selection.rateScale[k] != 0.0) {
      const int v = selection.rateVolume[k];
      if (v >= 0) value *= values.bound[selection.items.size() + static_cast<std::size_t>(v)].Value();
      value /= selection.rateScale[k];
    }
    AppendNumber(text, value);
  }
  text += '\n';
}

// The CSV text on its way out, handed on in pieces of about this many bytes.
constexpr std::size_t kCsvPieceBytes = 1 << 16;

// Where the CSV goes: standard output, or a file that takes its name only
// once it is complete. A write that fails ends the time course; the text
// says why.
class CsvOutput {
 public:
  CsvOutput(std::ostream& out, const std::string& path) : out_(out), path_(path) {}

  bool ToFile() const { return !(path_.empty() || path_ == "-"); }

  bool Begin() {
    if (ToFile()) {
      file_.emplace(path_);
      return file_->Begin(error_);
    }
    return true;
  }
  std::string& text() { return text_; }
  // Hands the text on once it has grown to a piece.
  bool Pass() { return text_.size() < kCsvPieceBytes || Flush(); }
  bool Flush() {
    if (ToFile()) {
      if (!file_->Write(text_, error_)) return false;
    } else {
      errno = 0;
      out_ << text_;
      if (!out_.flush()) {
        error_ = StandardOutputError();
        return false;
      }
    }
    text_.clear();
    return true;
  }
  bool Finish() { return Flush() && (!ToFile() || file_->Commit(error_)); }
  const std::string& error() const { return error_; }
  std::string Destination() const { return ToFile() ? path_ : "standard output"; }

 private:
  static std::string StandardOutputError() {
    return errno != 0 ? std::strerror(errno) : "the stream failed";
  }

  std::ostream& out_;
  const std::string& path_;
  std::optional<FileReplacement> file_;
  std::string text_;
  std::string error_;
};

// Whether the model and the settings make a time course simulate can
// write; says on `err` why not.
bool CheckTimeCourse(const CommandLine& line, const Model& model, const TaskSettings& settings,
                     std::ostream& err) {
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      err << "vireon: the rate of step " << model.steps[k].name << " in " << line.modelPath
          << " cannot be evaluated: its kinetic type needs metabolites or constants it lacks\n";
      return false;
    }
  }
  if (!model.rules.empty()) {
    const std::string problem = RuleSystem::Problem(model);
    if (!problem.empty()) {
      err << "vireon: the rules of " << line.modelPath << " cannot be followed: " << problem
          << "\n";
      return false;
    }
  }
  if (const std::string problem = FastStepsProblem(model); !problem.empty()) {
    err << "vireon: the fast steps of " << line.modelPath << " cannot be followed: " << problem
        << "\n";
    return false;
  }
  if (!model.events.empty()) {
    const std::string problem = CheckEvents(model).message;
    if (!problem.empty()) {
      err << "vireon: the events of " << line.modelPath << " cannot be followed: " << problem
          << "\n";
      return false;
    }
  }
  if (settings.solver.integrator == Integrator::kCvode) {
    if (const std::string problem = CvodeProblem(model); !problem.empty()) {
      err << "vireon: CVODE cannot integrate " << line.modelPath << ": " << problem << "\n";
      return false;
    }
  }
  if (settings.points < 1) {
    err << "vireon: " << line.modelPath
        << " asks for a time course without end (0 points); give --points\n";
    return false;
  }
  if (settings.points > kMaxSimulatePoints) {
    err << "vireon: " << line.modelPath << " asks for " << settings.points
        << " points, more than the " << kMaxSimulatePoints << " simulate writes; give --points\n";
    return false;
  }
  if (settings.endTime == 0.0) {
    err << "vireon: " << line.modelPath << " has the end time 0; give --end\n";
    return false;
  }
  if (!IsUsableEndTime(settings.endTime)) {
    err << "vireon: " << line.modelPath << " has the end time " << settings.endTime
        << ", not a number or nearer 0 than " << kMinEndTimeMagnitude << "; give --end\n";
    return false;
  }
  return true;
}

}  // namespace

std::string TimeCourseCsv(const Model& model, const TimeCourseTable& table, bool amounts) {
  std::string text = CsvHeader(model);
  const RowValues values{model, {}, 0, amounts};
  for (std::size_t row = 0; row < table.times.size(); ++row) {
    AppendCsvRow(text, values, table.times[row], table.concentrations[row]);
  }
  return text;
}

int SimulateCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  CsvOutput output(out, line.outputPath);
  if (output.ToFile() &&
      !OutputSparesInputs(line.outputPath, InputFiles(line.modelPath, startup), err)) {
    return kExitFailure;
  }
  Document document;
  SbmlImportResult imported;
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err, &imported)) {
    return kExitFailure;
  }

  Model& model = document.model;
  TaskSettings settings = document.settings;
  if (line.endTime) settings.endTime = *line.endTime;
  if (line.points) settings.points = *line.points;
  if (line.relativeTolerance) settings.solver.relativeTolerance = *line.relativeTolerance;
  if (line.absoluteTolerance) settings.solver.absoluteTolerance = *line.absoluteTolerance;
  if (line.eventRows) settings.eventRows = 1;
  if (line.integrator) settings.solver.integrator = *line.integrator;
  std::optional<Selection> selection;
  if (!line.select.empty()) {
    selection = SelectColumns(line, model, imported, err);
    if (!selection) return kExitUsage;
  }
  if (!CheckTimeCourse(line, model, settings, err)) return kExitFailure;

  // The rows go out as they are computed, in pieces: a file is put in place
  // only once it is whole; standard output may hold the first pieces of a
  // time course that then fails.
  if (!output.Begin()) {
    err << "vireon: could not write " << line.outputPath << ": " << output.error() << "\n";
    return kExitFailure;
  }
  output.text() = selection ? SelectionHeader(*selection) : CsvHeader(model);
  bool written = true;
  RowValues values{model, selection ? selection->items : std::vector<OutputItem>{}, 0, line.amounts};
  if (selection) {
    values.bound.insert(values.bound.end(), selection->volumes.begin(), selection->volumes.end());
  }
  values.volumesStart = values.bound.size();
  if (!model.rules.empty() || !model.events.empty()) {
    for (const Compartment& c : model.compartments) {
      values.bound.push_back(MakeOutputItem(kCurrentVolume, c.name));
    }
  }
  // Events of equal priority at one moment go in an order drawn from it.
  RandomGenerator random;
  if (line.seed) random.Seed(*line.seed);
  const std::string errorLog = ComputeTimeCourseRows(
      model, settings,
      [&](double time, std::span<const double> concentrations) {
        if (selection) {
          AppendSelectionRow(output.text(), values, *selection, time, concentrations);
        } else {
          AppendCsvRow(output.text(), values, time, concentrations);
        }
        written = output.Pass();
        return written;
      },
      values.bound.empty() ? nullptr : &values.bound, &random);
  if (!errorLog.empty()) {
    std::string log;
    for (char c : errorLog) {
      if (c != '\r') log += c;
    }
    err << "vireon: the time course of " << line.modelPath << " failed:\n" << log;
    if (!log.empty() && log.back() != '\n') err << "\n";
    return kExitFailure;
  }
  if (!written || !output.Finish()) {
    err << "vireon: could not write " << output.Destination() << ": " << output.error() << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace vireon::cli
