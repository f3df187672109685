#include "fit/fit_editor.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "document/document.h"
#include "model/metabolite_editor.h"
#include "model/number_text.h"
#include "output/number_format.h"
#include "output/output_item_binding.h"
#include "output/output_item_lookup.h"
#include "scan/item_trees.h"

namespace vireon {

namespace {

bool IsRunSetting(int type) {
  return type == kEndTime || type == kRelativeTolerance || type == kAbsoluteTolerance ||
         type == kSteadyStateResolution || type == kDerivationFactor;
}

// What a column's title names, looked up as the fit looks it up
// (fit/fit_problem.h): a scan item sets the model, anything else is
// measured, in a time course as the time-course titles name it, at a
// steady state as a metabolite's or step's name or a steady-state title.
void LookUp(const Model& model, ExperimentKind kind, std::string_view title,
            std::vector<OutputItem>& setting, std::vector<OutputItem>& measured) {
  setting = FindScanItems(model, title);
  if (!setting.empty()) return;
  measured = kind == ExperimentKind::kTimeCourse ? FindTimeCourseItems(model, title)
                                                 : FindSteadyStateItems(model, title);
}

std::string Titles(const std::vector<OutputItem>& items) {
  std::string text;
  for (const OutputItem& item : items) text += (text.empty() ? "" : ", ") + item.title;
  return text;
}

std::vector<double> FirstRows(const std::vector<double>& values) {
  return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(
                                               std::min(values.size(), kFitPreviewRows))};
}

FitColumnPreview Describe(const Model& model, ExperimentKind kind, const ExperimentColumn& column) {
  FitColumnPreview preview;
  preview.title = column.title;
  preview.cells = FirstRows(column.values);
  std::vector<OutputItem> setting;
  std::vector<OutputItem> measured;
  LookUp(model, kind, column.title, setting, measured);
  const bool timeCourse = kind == ExperimentKind::kTimeCourse;
  if (setting.size() > 1 || measured.size() > 1) {
    preview.problem = column.title + " is ambiguous: it names " +
                      Titles(setting.size() > 1 ? setting : measured);
  } else if (!setting.empty()) {
    const OutputItem& item = setting.front();
    if (item.type == kEndTime) {
      preview.problem = "the end time is the experiment's last time, not a setting";
    } else if (IsRunSetting(item.type)) {
      preview.problem = column.title + " is a setting of the run, not a quantity of the model";
    } else if (column.sdPosition != 0) {
      preview.problem = column.title + " sets the model; it has no standard deviation";
    } else {
      preview.role = FitColumnRole::kSetting;
      preview.meaning = "sets " + item.title;
    }
  } else if (measured.empty()) {
    preview.problem = column.title + " names nothing in the model that " +
                      (timeCourse ? "a time course measures" : "a steady state measures") +
                      " or that sets it";
  } else if (measured.front().type == kUserFunction) {
    preview.problem = column.title + " is an output function, which the fit cannot follow";
  } else {
    preview.role = FitColumnRole::kMeasured;
    preview.meaning = "measures " + measured.front().title;
  }
  return preview;
}

// A data file's path as the fit stores it: from the model file's folder
// when it lies within it, else in full.
std::string StoredPath(const std::string& path, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path full = fs::absolute(fs::path(path), error).lexically_normal();
  if (folder.empty() || error) return full.string();
  const fs::path relative = full.lexically_relative(fs::path(folder).lexically_normal());
  if (relative.empty() || *relative.begin() == "..") return full.string();
  return relative.string();
}

}  // namespace

bool FitExperimentPreview::ok() const {
  return error.empty() && std::all_of(columns.begin(), columns.end(),
                                      [](const FitColumnPreview& c) { return c.problem.empty(); });
}

FitEditor::FitEditor(const Document& document, int jobs)
    : document_(document), fit_(document.fit), jobs_(std::clamp(jobs, 1, kMaxFitJobs)) {
  ReloadExperiments();
}

FitExperimentPreview FitEditor::Read(const std::string& file,
                                     std::optional<ExperimentFile>& read) const {
  FitExperimentPreview preview;
  preview.file = file;
  preview.path = file.empty() || file.front() == '/' || document_.folder.empty()
                     ? file
                     : document_.folder + file;
  ExperimentReadResult result = ReadExperimentFile(preview.path);
  read = std::move(result.experiment);
  if (!read) {
    preview.error = result.error;
    return preview;
  }
  preview.kind = read->kind;
  preview.rows = read->rows();
  if (read->kind == ExperimentKind::kTimeCourse) {
    FitColumnPreview time;
    time.title = "time";
    time.role = FitColumnRole::kTime;
    time.meaning = "time";
    time.cells = FirstRows(read->times);
    preview.columns.push_back(std::move(time));
  }
  for (const ExperimentColumn& column : read->columns) {
    preview.columns.push_back(Describe(document_.model, read->kind, column));
    if (column.sdPosition == 0) continue;
    FitColumnPreview sd;
    sd.title = "sd(" + column.title + ")";
    sd.role = FitColumnRole::kDeviation;
    sd.meaning = "sd of " + column.title;
    sd.cells = FirstRows(column.sd);
    preview.columns.push_back(std::move(sd));
  }
  return preview;
}

std::string FitEditor::AddExperiment(const std::string& path) {
  const std::string stored = StoredPath(path, document_.folder);
  for (const FitExperimentPreview& preview : previews_) {
    if (preview.file == stored) return stored + " is an experiment of the fit already";
  }
  fit_.dataFiles.push_back(stored);
  read_.emplace_back();
  previews_.push_back(Read(stored, read_.back()));
  Changed();
  return {};
}

bool FitEditor::RemoveExperiment(std::size_t index) {
  if (index >= fit_.dataFiles.size()) return false;
  const auto at = static_cast<std::ptrdiff_t>(index);
  fit_.dataFiles.erase(fit_.dataFiles.begin() + at);
  previews_.erase(previews_.begin() + at);
  read_.erase(read_.begin() + at);
  Changed();
  return true;
}

void FitEditor::ReloadExperiments() {
  previews_.clear();
  read_.assign(fit_.dataFiles.size(), std::nullopt);
  for (std::size_t k = 0; k < fit_.dataFiles.size(); ++k) {
    previews_.push_back(Read(fit_.dataFiles[k], read_[k]));
  }
}

std::vector<OutputDataNode> FitEditor::ParameterTree() const {
  std::vector<OutputDataNode> tree = BuildScanItemTree(document_.model);
  for (OutputDataNode& node : tree) {
    std::erase_if(node.entries, [](const OutputItem& item) { return IsRunSetting(item.type); });
  }
  std::erase_if(tree, [](const OutputDataNode& node) {
    return node.entries.empty() && node.children.empty();
  });
  return tree;
}

std::string FitEditor::AddParameter(const OutputItem& quantity) {
  if (IsRunSetting(quantity.type)) {
    return quantity.title + " is a setting of the run, not a quantity of the model";
  }
  for (const FitParameter& parameter : fit_.parameters) {
    if (parameter.title == quantity.title) return quantity.title + " is a parameter already";
  }
  FitParameter parameter;
  parameter.title = quantity.title;
  fit_.parameters.push_back(std::move(parameter));
  Changed();
  return {};
}

bool FitEditor::RemoveParameter(std::size_t index) {
  if (index >= fit_.parameters.size()) return false;
  fit_.parameters.erase(fit_.parameters.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
  return true;
}

std::string FitEditor::SetBound(std::size_t index, std::string_view text, bool lower) {
  if (index >= fit_.parameters.size()) return {};
  FitParameter& parameter = fit_.parameters[index];
  const char* field = lower ? "Lower bound" : "Upper bound";
  const std::size_t begin = text.find_first_not_of(" \t");
  double bound = lower ? -kNoBound : kNoBound;
  if (begin != std::string_view::npos) {
    const std::optional<double> value = ParseReal(text);
    if (!value) return RealRefusalMessage(parameter.title + " " + field, text);
    bound = *value;
  }
  const double low = lower ? bound : parameter.lower;
  const double high = lower ? parameter.upper : bound;
  if (low > high) {
    return parameter.title + ": the lower bound must not exceed the upper bound";
  }
  double& kept = lower ? parameter.lower : parameter.upper;
  if (kept != bound) {
    kept = bound;
    Changed();
  }
  return {};
}

std::string FitEditor::SetLowerText(std::size_t index, std::string_view text) {
  return SetBound(index, text, true);
}

std::string FitEditor::SetUpperText(std::size_t index, std::string_view text) {
  return SetBound(index, text, false);
}

bool FitEditor::SetScale(std::size_t index, ParameterScale scale) {
  if (index >= fit_.parameters.size()) return false;
  if (fit_.parameters[index].scale == scale) return true;
  fit_.parameters[index].scale = scale;
  Changed();
  return true;
}

std::string FitEditor::BoundText(double bound) {
  return std::isfinite(bound) ? FormatConcentration(bound) : std::string();
}

void FitEditor::SetMethod(FitMethod method) {
  if (fit_.method == method) return;
  fit_.method = method;
  Changed();
}

bool FitEditor::SetStarts(int starts) {
  if (starts < 1 || starts > kMaxFitStarts) return false;
  if (fit_.starts != starts) {
    fit_.starts = starts;
    Changed();
  }
  return true;
}

void FitEditor::SetSeed(std::uint32_t seed) {
  if (fit_.seed == seed) return;
  fit_.seed = seed;
  Changed();
}

void FitEditor::SetScaleColumns(bool scale) {
  if (fit_.scaleColumns == scale) return;
  fit_.scaleColumns = scale;
  Changed();
}

bool FitEditor::SetJobs(int jobs) {
  if (jobs < 1 || jobs > kMaxFitJobs) return false;
  jobs_ = jobs;
  return true;
}

std::string FitEditor::Problem() const {
  for (const FitExperimentPreview& preview : previews_) {
    if (!preview.error.empty()) return preview.error;
  }
  const FitProblemResult built = BuildProblem();
  return built.problem ? std::string() : built.error;
}

FitProblemResult FitEditor::BuildProblem() const {
  std::vector<ExperimentFile> experiments;
  for (std::size_t k = 0; k < read_.size(); ++k) {
    if (!read_[k]) return {nullptr, previews_[k].error};
    experiments.push_back(*read_[k]);
  }
  return BuildFitProblem(document_.model, document_.settings, experiments, fit_.parameters,
                         fit_.scaleColumns);
}

FitOptions FitEditor::Options() const {
  FitOptions options;
  options.method = fit_.method;
  options.starts = fit_.starts;
  options.seed = fit_.seed;
  options.jobs = jobs_;
  return options;
}

bool FitEditor::Commit(Document& document) const {
  if (document.fit == fit_) return false;
  document.fit = fit_;
  return true;
}

std::vector<FitExperimentChart> FitCharts(const FitProblem& problem, const FitResult& result) {
  std::vector<FitExperimentChart> charts;
  if (result.curves.size() != problem.experiments.size()) return charts;
  for (std::size_t e = 0; e < problem.experiments.size(); ++e) {
    const FitExperiment& experiment = problem.experiments[e];
    FitExperimentChart chart;
    chart.file = experiment.path;
    std::vector<double> x;
    if (experiment.kind == ExperimentKind::kTimeCourse) {
      chart.xTitle = "time";
      x = experiment.times;
    } else {
      for (const FitCondition& condition : experiment.conditions) {
        const auto [low, high] = std::minmax_element(condition.values.begin(),
                                                     condition.values.end());
        if (low != condition.values.end() && *low != *high) {
          chart.xTitle = condition.title;
          x = condition.values;
          break;
        }
      }
      if (x.empty()) {
        chart.xTitle = "row";
        for (std::size_t r = 0; r < experiment.rows(); ++r) x.push_back(static_cast<double>(r + 1));
      }
    }
    for (std::size_t k = 0; k < experiment.measurements.size(); ++k) {
      const FitMeasurement& measurement = experiment.measurements[k];
      FitChartSeries series;
      series.title = measurement.title;
      const std::vector<double>& model = result.curves[e][k];
      for (std::size_t r = 0; r < experiment.rows() && r < model.size() && r < x.size(); ++r) {
        if (std::isnan(x[r])) continue;
        if (std::isfinite(model[r])) series.model.emplace_back(x[r], model[r]);
        const double data = measurement.values[r];
        if (std::isnan(data)) continue;
        series.data.emplace_back(x[r], data);
        if (std::isfinite(model[r])) series.residuals.emplace_back(x[r], model[r] - data);
      }
      std::stable_sort(series.model.begin(), series.model.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      chart.series.push_back(std::move(series));
    }
    charts.push_back(std::move(chart));
  }
  return charts;
}

std::vector<FitValueRow> FitValueRows(const FitResult& result) {
  std::vector<FitValueRow> rows;
  for (const FittedParameter& parameter : result.parameters) {
    FitValueRow row;
    row.title = parameter.title;
    row.value = FormatGeneral(parameter.value);
    row.sd = std::isfinite(parameter.sd) ? FormatGeneral(parameter.sd) : std::string();
    row.poorlyDetermined = parameter.poorlyDetermined;
    if (parameter.poorlyDetermined) row.note = "poorly determined";
    if (parameter.atBound) row.note += row.note.empty() ? "at a bound" : ", at a bound";
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> DataFilesFrom(const std::vector<std::string>& files,
                                       const std::string& oldFolder,
                                       const std::string& newFolder) {
  std::vector<std::string> moved;
  for (const std::string& file : files) {
    const bool relative = !file.empty() && file.front() != '/';
    moved.push_back(StoredPath(relative ? oldFolder + file : file, newFolder));
  }
  return moved;
}

void ApplyFitValues(Document& document, const FitProblem& problem, const FitResult& result) {
  const BindingContext context{document.model, document.engine, document.settings, {}, nullptr};
  for (std::size_t j = 0; j < result.parameters.size() && j < problem.parameters.size(); ++j) {
    OutputItem item = problem.parameters[j].item;
    if (BindOutputItem(item, context, true) && item.value != nullptr) {
      *item.value = result.parameters[j].value;
    }
  }
}

}  // namespace vireon
