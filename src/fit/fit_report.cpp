#include "fit/fit_report.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "fit/fit_settings.h"

namespace vireon {

namespace {

void AppendNumber(std::string& text, double value) {
  if (!std::isfinite(value)) {
    text += "null";
    return;
  }
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, error == std::errc() ? end : buffer);
}

void AppendString(std::string& text, std::string_view value) {
  text += '"';
  for (const char c : value) {
    switch (c) {
      case '"':
        text += "\\\"";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
          text += buffer;
        } else {
          text += c;
        }
    }
  }
  text += '"';
}

template <class Each>
void AppendList(std::string& text, std::size_t count, Each each) {
  text += '[';
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) text += ", ";
    each(k);
  }
  text += ']';
}

std::string Formatted(double value) {
  if (!std::isfinite(value)) return "-";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

}  // namespace

const char* FitMethodText(FitMethod method) {
  switch (method) {
    case FitMethod::kLocal:
      return "local";
    case FitMethod::kGlobal:
      return "global";
    case FitMethod::kDirect:
      return "direct";
  }
  return "local";
}

const char* FitStatusText(FitStatus status) {
  switch (status) {
    case FitStatus::kConverged:
      return "converged";
    case FitStatus::kIterationLimit:
      return "iteration limit";
    case FitStatus::kStopped:
      return "stopped";
    case FitStatus::kFailed:
      return "failed";
  }
  return "failed";
}

std::string FitResultJson(const FitProblem& problem, const FitResult& result) {
  std::string text = "{\n  \"status\": ";
  AppendString(text, FitStatusText(result.status));
  text += ",\n  \"message\": ";
  AppendString(text, result.message);
  text += ",\n  \"objective\": ";
  AppendNumber(text, result.status == FitStatus::kFailed ? NAN : result.objective);
  text += ",\n  \"points\": " + std::to_string(result.points);
  text += ",\n  \"parameters\": ";
  AppendList(text, result.parameters.size(), [&](std::size_t j) {
    const FittedParameter& parameter = result.parameters[j];
    text += "{\"name\": ";
    AppendString(text, parameter.title);
    text += ", \"value\": ";
    AppendNumber(text, parameter.value);
    text += ", \"sd\": ";
    AppendNumber(text, parameter.sd);
    text += std::string(", \"at_bound\": ") + (parameter.atBound ? "true" : "false");
    text += std::string(", \"poorly_determined\": ") +
            (parameter.poorlyDetermined ? "true" : "false") + "}";
  });
  text += ",\n  \"correlation\": ";
  AppendList(text, result.correlation.size(), [&](std::size_t j) {
    AppendList(text, result.correlation[j].size(),
               [&](std::size_t k) { AppendNumber(text, result.correlation[j][k]); });
  });
  text += ",\n  \"starts\": " + std::to_string(result.starts.size());
  text += ",\n  \"best_start\": " + std::to_string(result.bestStart);
  text += ",\n  \"evaluations\": " + std::to_string(result.evaluations);
  text += ",\n  \"experiments\": ";
  AppendList(text, problem.experiments.size(), [&](std::size_t e) {
    const FitExperiment& experiment = problem.experiments[e];
    text += "{\n    \"file\": ";
    AppendString(text, experiment.path);
    text += ",\n    \"kind\": ";
    AppendString(text,
                 experiment.kind == ExperimentKind::kTimeCourse ? "time course" : "steady state");
    if (experiment.kind == ExperimentKind::kTimeCourse) {
      text += ",\n    \"time\": ";
      AppendList(text, experiment.times.size(),
                 [&](std::size_t r) { AppendNumber(text, experiment.times[r]); });
    }
    text += ",\n    \"curves\": ";
    AppendList(text, experiment.measurements.size(), [&](std::size_t k) {
      const FitMeasurement& measurement = experiment.measurements[k];
      text += "{\"title\": ";
      AppendString(text, measurement.title);
      text += ", \"data\": ";
      AppendList(text, measurement.values.size(),
                 [&](std::size_t r) { AppendNumber(text, measurement.values[r]); });
      text += ", \"model\": ";
      const bool have = e < result.curves.size() && k < result.curves[e].size();
      AppendList(text, experiment.rows(),
                 [&](std::size_t r) { AppendNumber(text, have ? result.curves[e][k][r] : NAN); });
      text += "}";
    });
    text += "}";
  });
  text += "\n}\n";
  return text;
}

std::string FitSummaryText(const FitResult& result) {
  std::string text = "Fit " + std::string(FitStatusText(result.status)) + ": objective " +
                     Formatted(result.objective) + " over " + std::to_string(result.points) +
                     " points, " + std::to_string(result.starts.size()) + " start" +
                     (result.starts.size() == 1 ? "" : "s") + ", " +
                     std::to_string(result.evaluations) + " evaluations\n";
  std::size_t width = 9;
  for (const FittedParameter& parameter : result.parameters) {
    width = std::max(width, parameter.title.size());
  }
  char line[512];
  std::snprintf(line, sizeof line, "%-*s  %14s  %14s\n", static_cast<int>(width), "parameter",
                "value", "sd");
  text += line;
  bool poor = false;
  for (const FittedParameter& parameter : result.parameters) {
    std::snprintf(line, sizeof line, "%-*s  %14s  %14s%s%s\n", static_cast<int>(width),
                  parameter.title.c_str(), Formatted(parameter.value).c_str(),
                  Formatted(parameter.sd).c_str(), parameter.poorlyDetermined ? " *" : "",
                  parameter.atBound ? " (bound)" : "");
    text += line;
    poor = poor || parameter.poorlyDetermined;
  }
  if (poor) {
    text +=
        "* poorly determined: the sd exceeds the value, or a correlation with another "
        "parameter is above 0.99\n";
  }
  return text;
}

}  // namespace vireon
