#include "fit/fit_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "fit/fit_settings.h"
#include "output/number_format.h"

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

// A bound in the report: the number, or "none".
std::string BoundText(double bound) {
  return std::isfinite(bound) ? FormatExponential(bound, 4) : std::string("none");
}

const char* ScaleText(ParameterScale scale) {
  switch (scale) {
    case ParameterScale::kAuto:
      return "in log space where positive";
    case ParameterScale::kLinear:
      return "linear";
    case ParameterScale::kLog:
      return "in log space";
  }
  return "linear";
}

}  // namespace

std::string ReportFitSettingsText(const FitSettings& fit, const FitProblem* problem) {
  std::string text = "\nPARAMETER ESTIMATION\n";
  text += std::string("Method: ") + FitMethodText(fit.method);
  if (fit.method == FitMethod::kGlobal) {
    AppendFormat(text, ", %d starts, seed %u", fit.starts, static_cast<unsigned>(fit.seed));
  }
  text += "\n";
  text += fit.scaleColumns
              ? "Weights: 1/sd where a column gives sd, else 1/(root mean square of the column)\n"
              : "Weights: 1/sd where a column gives sd, else 1\n";
  text += "Experiments:\n";
  for (const std::string& file : fit.dataFiles) text += " " + file + "\n";
  text += "Parameters:\n";
  const bool resolved = problem != nullptr && problem->parameters.size() == fit.parameters.size();
  for (std::size_t j = 0; j < fit.parameters.size(); ++j) {
    const FitParameter& given = fit.parameters[j];
    double lower = given.lower;
    double upper = given.upper;
    const char* search = ScaleText(given.scale);
    if (resolved) {
      const FitProblemParameter& parameter = problem->parameters[j];
      lower = parameter.lower;
      upper = parameter.upper;
      search = parameter.log ? "in log space" : "linear";
    }
    text += " " + given.title + ": lower " + BoundText(lower) + ", upper " + BoundText(upper) +
            ", searched " + search + "\n";
  }
  return text;
}

std::string ReportFitResultText(const FitProblem& problem, const FitResult& result) {
  std::string text = "\nRESULTS OF THE FIT\n";
  text += std::string("Status: ") + FitStatusText(result.status);
  if (!result.message.empty() && result.message != FitStatusText(result.status)) {
    text += " (" + result.message + ")";
  }
  text += "\n";
  if (result.status == FitStatus::kFailed || result.parameters.empty()) return text;
  AppendFormat(text, "Objective = % .6le over %d points, %lld evaluations\n", result.objective,
               result.points, result.evaluations);
  text += problem.anySd ? "Standard deviations from the Fisher information with the data's sd\n"
                        : "Standard deviations from the Fisher information, scaled by "
                          "objective/(points - parameters)\n";
  text += "\n";
  bool poor = false;
  for (const FittedParameter& parameter : result.parameters) {
    AppendFormat(text, "%s = % .6le", parameter.title.c_str(), parameter.value);
    if (std::isfinite(parameter.sd)) {
      AppendFormat(text, " +/- %.6le", parameter.sd);
    } else {
      text += " +/- unknown";
    }
    if (parameter.poorlyDetermined) text += "  poorly determined";
    if (parameter.atBound) text += "  at a bound";
    text += "\n";
    poor = poor || parameter.poorlyDetermined;
  }
  if (poor) {
    text +=
        "(poorly determined: the sd exceeds the value, or a correlation with another parameter "
        "is above 0.99)\n";
  }

  text += "\nCORRELATION OF THE PARAMETERS\n";
  for (std::size_t j = 0; j < result.correlation.size(); ++j) {
    const std::string& title = j < result.parameters.size() ? result.parameters[j].title : "";
    AppendFormat(text, "%-10.10s |", title.c_str());
    for (const double r : result.correlation[j]) AppendFormat(text, " % .4lf", r);
    text += "\n";
  }

  std::vector<std::size_t> order;
  int failed = 0;
  for (std::size_t s = 0; s < result.starts.size(); ++s) {
    if (result.starts[s].failed) {
      ++failed;
    } else {
      order.push_back(s);
    }
  }
  std::stable_sort(order.begin(), order.end(), [&result](std::size_t a, std::size_t b) {
    return result.starts[a].objective < result.starts[b].objective;
  });
  AppendFormat(text, "\nSTARTS\n%zu run, %d failed", result.starts.size(), failed);
  if (result.bestStart >= 0) AppendFormat(text, "; the best is start %d", result.bestStart + 1);
  text += "\n";
  for (std::size_t k = 0; k < order.size() && k < kListedStarts; ++k) {
    const FitStart& start = result.starts[order[k]];
    AppendFormat(text, "start %zu: objective = % .6le after %d iterations\n", order[k] + 1,
                 start.objective, start.iterations);
  }
  if (order.size() > kListedStarts) {
    AppendFormat(text, "(%zu more)\n", order.size() - kListedStarts);
  }
  return text;
}

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
