#include "cli/fit_job.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "cli/startup.h"
#include "document/document.h"
#include "fit/experiment_file.h"
#include "fit/parameter_estimation.h"
#include "model/message_sink.h"

namespace vireon::cli {

namespace {

// A field: its length in bytes, ":", the bytes.
void AppendField(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out.append(field);
}

void AppendNumberField(std::string& out, double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  AppendField(out, std::string_view(buffer, error == std::errc() ? end : buffer));
}

std::optional<std::string_view> TakeField(std::string_view& bytes) {
  const std::size_t colon = bytes.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 20) return std::nullopt;
  std::size_t size = 0;
  const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + colon, size);
  if (error != std::errc() || end != bytes.data() + colon || size > bytes.size() - colon - 1) {
    return std::nullopt;
  }
  const std::string_view field = bytes.substr(colon + 1, size);
  bytes.remove_prefix(colon + 1 + size);
  return field;
}

std::optional<double> TakeNumber(std::string_view& bytes) {
  const std::optional<std::string_view> field = TakeField(bytes);
  if (!field) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(field->data(), field->data() + field->size(), value);
  if (error != std::errc() || end != field->data() + field->size()) return std::nullopt;
  return value;
}

// A count of at most `limit`.
std::optional<std::size_t> TakeCount(std::string_view& bytes, std::size_t limit) {
  const std::optional<double> value = TakeNumber(bytes);
  if (!value || *value < 0.0 || *value > static_cast<double>(limit) ||
      *value != static_cast<double>(static_cast<std::size_t>(*value))) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(*value);
}

constexpr std::string_view kJobMark = "vireon fit job 1";

}  // namespace

std::string EncodeFitJob(const FitJob& job) {
  std::string out;
  AppendField(out, kJobMark);
  AppendField(out, job.modelName);
  AppendField(out, job.modelText);
  AppendField(out, job.scaleColumns ? "1" : "0");
  AppendNumberField(out, static_cast<double>(job.parameters.size()));
  for (const FitParameter& parameter : job.parameters) {
    AppendField(out, parameter.title);
    AppendNumberField(out, parameter.lower);
    AppendNumberField(out, parameter.upper);
    AppendNumberField(out, static_cast<double>(parameter.scale));
  }
  AppendNumberField(out, static_cast<double>(job.experiments.size()));
  for (const auto& [path, text] : job.experiments) {
    AppendField(out, path);
    AppendField(out, text);
  }
  return out;
}

std::optional<FitJob> DecodeFitJob(std::string_view bytes) {
  FitJob job;
  const std::optional<std::string_view> mark = TakeField(bytes);
  if (!mark || *mark != kJobMark) return std::nullopt;
  const std::optional<std::string_view> name = TakeField(bytes);
  const std::optional<std::string_view> model = TakeField(bytes);
  const std::optional<std::string_view> scale = TakeField(bytes);
  if (!name || !model || !scale || (*scale != "0" && *scale != "1")) return std::nullopt;
  job.modelName = std::string(*name);
  job.modelText = std::string(*model);
  job.scaleColumns = *scale == "1";
  const std::optional<std::size_t> parameters = TakeCount(bytes, bytes.size());
  if (!parameters) return std::nullopt;
  for (std::size_t j = 0; j < *parameters; ++j) {
    const std::optional<std::string_view> title = TakeField(bytes);
    const std::optional<double> lower = TakeNumber(bytes);
    const std::optional<double> upper = TakeNumber(bytes);
    const std::optional<std::size_t> how = TakeCount(bytes, 2);
    if (!title || !lower || !upper || !how) return std::nullopt;
    job.parameters.push_back(
        {std::string(*title), *lower, *upper, static_cast<ParameterScale>(*how)});
  }
  const std::optional<std::size_t> experiments = TakeCount(bytes, bytes.size());
  if (!experiments) return std::nullopt;
  for (std::size_t e = 0; e < *experiments; ++e) {
    const std::optional<std::string_view> path = TakeField(bytes);
    const std::optional<std::string_view> text = TakeField(bytes);
    if (!path || !text) return std::nullopt;
    job.experiments.emplace_back(std::string(*path), std::string(*text));
  }
  if (!bytes.empty()) return std::nullopt;
  return job;
}

struct FitJobWorker::Parts {
  Startup startup;
  Document document;
  std::unique_ptr<FitProblem> problem;
  std::unique_ptr<FitStartService> service;
};

FitJobWorker::FitJobWorker(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
FitJobWorker::~FitJobWorker() = default;

std::unique_ptr<FitJobWorker> FitJobWorker::Prepare(const CommandLine& line, std::string_view bytes,
                                                    std::string& error) {
  const std::optional<FitJob> job = DecodeFitJob(bytes);
  if (!job) {
    error = "the fit the first process sent cannot be read";
    return nullptr;
  }
  auto parts = std::make_unique<Parts>();
  // The model as the first process read it, from a private folder, under
  // its own name (which says whether it is SBML).
  std::error_code failure;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(failure) /
                                       ("vireon-mpi-" + std::to_string(::getpid()));
  if (failure || !std::filesystem::create_directory(folder, failure)) {
    error = "no private folder for the model";
    return nullptr;
  }
  const std::filesystem::path path =
      folder / std::filesystem::path(job->modelName).filename();
  {
    std::ofstream out(path, std::ios::binary);
    out << job->modelText;
  }
  RecordingSink sink;
  std::ostringstream quiet;
  const bool loaded = StartUp(line.settingsPath, line.kineticsPath, parts->startup, sink) &&
                      LoadModelOrSbml(path.string(), parts->startup, parts->document, sink, quiet);
  std::filesystem::remove_all(folder, failure);
  if (!loaded) {
    error = "could not load the model";
    return nullptr;
  }
  std::vector<ExperimentFile> experiments;
  for (const auto& [name, text] : job->experiments) {
    ExperimentReadResult read = ParseExperimentText(text, name);
    if (!read.experiment) {
      error = read.error;
      return nullptr;
    }
    experiments.push_back(std::move(*read.experiment));
  }
  FitProblemResult built = BuildFitProblem(parts->document.model, parts->document.settings,
                                           experiments, job->parameters, job->scaleColumns);
  if (!built.problem) {
    error = built.error;
    return nullptr;
  }
  parts->problem = std::move(built.problem);
  parts->service = std::make_unique<FitStartService>(*parts->problem);
  return std::unique_ptr<FitJobWorker>(new FitJobWorker(std::move(parts)));
}

std::string FitJobWorker::Solve(std::string_view request) { return parts_->service->Solve(request); }

}  // namespace vireon::cli
