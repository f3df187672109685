#include "cli/simulate_command.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>

#include "cli/startup.h"
#include "kinetics/kinetic_binding.h"
#include "model/replace_file.h"
#include "rules/rule_order.h"

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

void AppendCsvRow(std::string& text, const Model& model, double time,
                  std::span<const double> concentrations, bool amounts) {
  AppendNumber(text, time);
  for (int m = 0; m < model.nMetabolites(); ++m) {
    text += ',';
    const double concentration = concentrations[static_cast<std::size_t>(m)];
    AppendNumber(text, amounts ? concentration * model.VolumeOf(m) : concentration);
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
    const RulesCheck check = CheckRules(model);
    if (!check.ok()) {
      err << "vireon: the rules of " << line.modelPath << " cannot be followed: " << check.message
          << "\n";
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
  for (std::size_t row = 0; row < table.times.size(); ++row) {
    AppendCsvRow(text, model, table.times[row], table.concentrations[row], amounts);
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
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err)) return kExitFailure;

  Model& model = document.model;
  TaskSettings settings = document.settings;
  if (line.endTime) settings.endTime = *line.endTime;
  if (line.points) settings.points = *line.points;
  if (line.relativeTolerance) settings.solver.relativeTolerance = *line.relativeTolerance;
  if (line.absoluteTolerance) settings.solver.absoluteTolerance = *line.absoluteTolerance;
  if (!CheckTimeCourse(line, model, settings, err)) return kExitFailure;

  // The rows go out as they are computed, in pieces: a file is put in place
  // only once it is whole; standard output may hold the first pieces of a
  // time course that then fails.
  if (!output.Begin()) {
    err << "vireon: could not write " << line.outputPath << ": " << output.error() << "\n";
    return kExitFailure;
  }
  output.text() = CsvHeader(model);
  bool written = true;
  const std::string errorLog = ComputeTimeCourseRows(
      model, settings, [&](double time, std::span<const double> concentrations) {
        AppendCsvRow(output.text(), model, time, concentrations, line.amounts);
        written = output.Pass();
        return written;
      });
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
