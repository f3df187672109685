#include "cli/fit_command.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli/fit_job.h"
#include "cli/mpi_job.h"
#include "cli/progress_bar.h"
#include "cli/startup.h"
#include "cli/stop_on_signal.h"
#include "document/model_file.h"
#include "fit/experiment_file.h"
#include "fit/fit_report.h"
#include "fit/fit_settings.h"
#include "model/file_access.h"
#include "model/messages.h"
#include "model/record_cursor.h"
#include "model/replace_file.h"
#include "output/output_item_binding.h"
#include "output/report.h"
#include "sbml/sbml_import.h"

namespace vireon::cli {

namespace {

// The fit to run: the model's, with what the command line gives in its place.
FitSettings FitToRun(const CommandLine& line, const Document& document) {
  FitSettings fit = document.fit;
  if (!line.dataPaths.empty()) fit.dataFiles = line.dataPaths;
  if (!line.parameters.empty()) fit.parameters = line.parameters;
  if (line.method) fit.method = *line.method;
  if (line.starts) fit.starts = *line.starts;
  if (line.seed) fit.seed = *line.seed;
  if (line.scaleColumns) fit.scaleColumns = true;
  return fit;
}

// A stored experiment's file is found from the model's folder; one given
// on the command line from the working folder.
std::string DataPath(const std::string& path, bool stored, const Document& document) {
  if (!stored || path.empty() || path.front() == '/' || document.folder.empty()) return path;
  return document.folder + path;
}

// Writes the fitted values into the document's model.
void ApplyFit(Document& document, const FitProblem& problem, const FitResult& result) {
  const BindingContext context{document.model, document.engine, document.settings, {}, nullptr};
  for (std::size_t j = 0; j < result.parameters.size(); ++j) {
    OutputItem item = problem.parameters[j].item;
    if (BindOutputItem(item, context, true) && item.value != nullptr) {
      *item.value = result.parameters[j].value;
    }
  }
}

// The experiments' files as the saved model keeps them: from the folder
// of the file it is saved to, where that can be said, else in full.
std::vector<std::string> StoredDataPaths(const std::vector<std::string>& paths, bool stored,
                                         const Document& document, const std::string& savePath) {
  namespace fs = std::filesystem;
  std::vector<std::string> kept;
  std::error_code error;
  const fs::path saveFolder = fs::absolute(fs::path(savePath), error).parent_path();
  for (const std::string& path : paths) {
    const fs::path data = fs::absolute(fs::path(DataPath(path, stored, document)), error);
    const fs::path relative = data.lexically_proximate(saveFolder);
    kept.push_back(relative.empty() ? data.string() : relative.string());
  }
  return kept;
}

bool WriteText(const std::string& path, const std::string& text, std::ostream& err) {
  FileReplacement file(path);
  std::string error;
  if (!file.Begin(error) || !file.Write(text, error) || !file.Commit(error)) {
    err << "vireon: could not write " << path << ": " << error << "\n";
    return false;
  }
  return true;
}

// The report of a fit: the banner, the model's title and comments, its
// structural analysis when the model asks for it, then the fit's settings
// and (when it ran) its results.
bool WriteFitReport(const std::string& path, const Document& document,
                    std::vector<ProtectedFile> protectedFiles, const FitSettings& fit,
                    const FitProblem* problem, const FitResult* result, std::ostream& err) {
  TaskSettings settings = document.settings;
  settings.reportFile = path;
  const ReportContext context{document.model,
                              document.engine,
                              settings,
                              ReportVersionLine(messages::kVersion),
                              std::string(kPlatformLine),
                              std::move(protectedFiles)};
  std::string text = ReportFitSettingsText(fit, problem);
  if (problem != nullptr && result != nullptr) text += ReportFitResultText(*problem, *result);
  std::string errorLog;
  bool written = WriteReportHeader(context, errorLog);
  if (written && settings.reportStructuralAnalysis) written = WriteReportStructure(context, errorLog);
  if (written) written = AppendReportSection(context, text, errorLog);
  if (!written) err << "vireon: the report was not written: " << errorLog;
  if (!written && (errorLog.empty() || errorLog.back() != '\n')) err << "\n";
  return written;
}

}  // namespace

int FitCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  MpiJob mpi;
  if (line.mpi) {
    if (!mpi.Start(err)) return kExitFailure;
    if (!mpi.IsFirst()) return mpi.Serve(line, err);
  }
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  const std::vector<ProtectedFile> inputs = InputFiles(line.modelPath, startup);
  if (!line.outputPath.empty() && !OutputSparesInputs(line.outputPath, inputs, err)) {
    return kExitFailure;
  }
  if (!line.savePath.empty() && !OutputSparesInputs(line.savePath, inputs, err, "--save")) {
    return kExitFailure;
  }
  Document document;
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err)) return kExitFailure;
  // The report goes where --report says, else where the model's own goes
  // when the model has its report switched on.
  const std::string reportPath = !line.reportPath.empty() ? line.reportPath
                                 : document.settings.report != 0
                                     ? ReportFileNameFor(line.modelPath)
                                     : std::string();
  if (!reportPath.empty() && !OutputSparesInputs(reportPath, inputs, err, "--report")) {
    return kExitFailure;
  }

  const FitSettings fit = FitToRun(line, document);
  if (fit.dataFiles.empty()) {
    err << "vireon: fit needs --data: " << line.modelPath << " stores no experiments\n";
    return kExitUsage;
  }
  if (fit.parameters.empty()) {
    err << "vireon: fit needs --parameter: " << line.modelPath << " stores no parameters\n";
    return kExitUsage;
  }
  std::vector<ExperimentFile> experiments;
  FitJob job;
  std::vector<ProtectedFile> reportSpares = inputs;
  for (const std::string& given : fit.dataFiles) {
    const bool stored = line.dataPaths.empty();
    const std::string path = DataPath(given, stored, document);
    if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
      reportSpares.push_back({*identity, "the experiment's file " + path});
    }
    std::string contents;
    ExperimentReadResult read = ReadExperimentFile(path, line.mpi ? &contents : nullptr);
    if (!read.experiment) {
      err << "vireon: " << read.error << "\n";
      return kExitFailure;
    }
    if (line.mpi) job.experiments.emplace_back(path, std::move(contents));
    experiments.push_back(std::move(*read.experiment));
  }
  FitProblemResult built = BuildFitProblem(document.model, document.settings, experiments,
                                           fit.parameters, fit.scaleColumns);
  if (!built.problem) {
    err << "vireon: cannot fit " << line.modelPath << ": " << built.error << "\n";
    if (!reportPath.empty()) {
      WriteFitReport(reportPath, document, reportSpares, fit, nullptr, nullptr, err);
    }
    return kExitFailure;
  }
  const FitProblem& problem = *built.problem;

  std::atomic<bool> stop{false};
  FitOptions options;
  options.method = fit.method;
  options.starts = fit.starts;
  options.seed = fit.seed;
  options.jobs = line.jobs ? *line.jobs : ScanThreads(startup.preferences.scanThreads);
  options.stop = &stop;
  if (line.mpi) {
    // The other processes fit the starts; this one hands them out and
    // writes, with --jobs threads of its own beside them when asked for.
    std::string modelText;
    const std::uintmax_t limit = IsSbmlFileName(line.modelPath)
                                     ? static_cast<std::uintmax_t>(kMaxSbmlFileBytes)
                                     : kMaxRecordFileSize;
    const InputFileResult read = ReadInputFile(line.modelPath, limit, modelText);
    if (!read.ok()) {
      err << "vireon: " << line.modelPath << " cannot be read again: " << read.reason << "\n";
      return kExitFailure;
    }
    job.modelName = std::filesystem::path(line.modelPath).filename().string();
    job.modelText = std::move(modelText);
    job.parameters = fit.parameters;
    job.scaleColumns = fit.scaleColumns;
    options.remotes = mpi.ShareModel(EncodeFitJob(job), err, "the starts");
    if (!options.remotes.empty()) options.jobs = line.jobs.value_or(0);
  }
  ProgressBar bar(stderr, !line.quiet && ::isatty(STDERR_FILENO) == 1, "fit");
  options.progress = [&bar](int done, int total, double best) {
    char note[48];
    std::snprintf(note, sizeof note, "  best %.6g", best);
    bar.Update(done, total, std::isfinite(best) ? note : "");
  };
  FitResult result;
  {
    const StopOnSignal stopOnSignal([&stop] { stop.store(true); });
    result = EstimateParameters(problem, options);
  }
  bar.Finish();

  if (result.status == FitStatus::kFailed ||
      (result.status == FitStatus::kStopped && result.parameters.empty())) {
    err << "vireon: the fit of " << line.modelPath << " failed: " << result.message << "\n";
    if (!line.outputPath.empty()) WriteText(line.outputPath, FitResultJson(problem, result), err);
    if (!reportPath.empty()) {
      WriteFitReport(reportPath, document, reportSpares, fit, &problem, &result, err);
    }
    return result.status == FitStatus::kStopped ? kExitStopped : kExitFailure;
  }
  out << FitSummaryText(result);
  bool written = true;
  if (!line.outputPath.empty()) {
    written = WriteText(line.outputPath, FitResultJson(problem, result), err) && written;
  }
  if (!reportPath.empty()) {
    written =
        WriteFitReport(reportPath, document, reportSpares, fit, &problem, &result, err) && written;
  }
  if (!line.savePath.empty()) {
    ApplyFit(document, problem, result);
    document.fit = fit;
    document.fit.dataFiles =
        StoredDataPaths(fit.dataFiles, line.dataPaths.empty(), document, line.savePath);
    written = WriteModelFile(document, line.savePath, startup.catalogue, sink) && written;
  }
  if (result.status == FitStatus::kStopped) {
    err << "vireon: the fit was stopped; the values are the best found so far\n";
    return kExitStopped;
  }
  return written ? kExitSuccess : kExitFailure;
}

}  // namespace vireon::cli
