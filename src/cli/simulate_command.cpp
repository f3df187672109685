#include "cli/simulate_command.h"

#include <charconv>
#include <filesystem>

#include "cli/startup.h"
#include "kinetics/kinetic_binding.h"
#include "model/replace_file.h"

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

}  // namespace

std::string TimeCourseCsv(const Model& model, const TimeCourseTable& table, bool amounts) {
  std::string text = "time";
  for (const Metabolite& m : model.metabolites) {
    text += ',';
    AppendField(text, m.name);
  }
  text += '\n';
  for (std::size_t row = 0; row < table.times.size(); ++row) {
    AppendNumber(text, table.times[row]);
    for (int m = 0; m < model.nMetabolites(); ++m) {
      text += ',';
      const double concentration = table.concentrations[row][static_cast<std::size_t>(m)];
      AppendNumber(text, amounts ? concentration * model.VolumeOf(m) : concentration);
    }
    text += '\n';
  }
  return text;
}

int SimulateCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  Document document;
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err)) return kExitFailure;

  Model& model = document.model;
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      err << "vireon: the rate of step " << model.steps[k].name << " in " << line.modelPath
          << " cannot be evaluated: its kinetic type needs metabolites or constants it lacks\n";
      return kExitFailure;
    }
  }
  if (!model.rules.empty()) {
    // A time course that left them out would give other numbers.
    err << "vireon: " << line.modelPath
        << " has rules, which a time course cannot follow yet\n";
    return kExitFailure;
  }
  TaskSettings settings = document.settings;
  if (line.endTime) settings.endTime = *line.endTime;
  if (line.points) settings.points = *line.points;
  if (line.relativeTolerance) settings.relativeTolerance = *line.relativeTolerance;
  if (line.absoluteTolerance) settings.absoluteTolerance = *line.absoluteTolerance;
  if (settings.points < 1) {
    err << "vireon: " << line.modelPath
        << " asks for a time course without end (0 points); give --points\n";
    return kExitFailure;
  }
  if (settings.endTime == 0.0) {
    err << "vireon: " << line.modelPath << " has the end time 0; give --end\n";
    return kExitFailure;
  }

  const TimeCourseTable table = ComputeTimeCourseTable(model, settings);
  if (!table.errorLog.empty()) {
    std::string log;
    for (char c : table.errorLog) {
      if (c != '\r') log += c;
    }
    err << "vireon: the time course of " << line.modelPath << " failed:\n" << log;
    if (!log.empty() && log.back() != '\n') err << "\n";
    return kExitFailure;
  }
  const std::string csv = TimeCourseCsv(model, table, line.amounts);
  if (line.outputPath.empty() || line.outputPath == "-") {
    out << csv;
    return kExitSuccess;
  }
  std::string errorText;
  if (!ReplaceFileContents(line.outputPath, csv, errorText)) {
    err << "vireon: could not write " << line.outputPath << ": " << errorText << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace vireon::cli
