#include "document/fit_section.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "document/section_lines.h"
#include "model/messages.h"
#include "output/number_format.h"

namespace vireon {

namespace {

// The most experiments and parameters a file's counts may claim; a larger
// count is refused before anything is read.
constexpr int kMaxFitListLength = 1000000;

std::string NumberText(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, error == std::errc() ? end : buffer);
}

const char* ScaleWord(ParameterScale scale) {
  switch (scale) {
    case ParameterScale::kAuto:
      return "auto";
    case ParameterScale::kLinear:
      return "linear";
    case ParameterScale::kLog:
      return "log";
  }
  return "auto";
}

struct Failure {
  int line;
};

// Reads the lines of the section in order; any fault is said once and
// ends the reading.
class FitReader {
 public:
  FitReader(RecordCursor& cursor, MessageSink& sink) : cursor_(cursor), sink_(sink) {}

  std::string Value(std::string_view key) {
    if (cursor_.AtEndOfData()) Fail("the file ends in the middle of the fit");
    std::string_view line = cursor_.Line();
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != '=') {
      Fail("it should start with " + std::string(key) + "=");
    }
    std::string value(line.substr(key.size() + 1));
    line_ = cursor_.lineNumber();
    cursor_.Advance();
    return value;
  }

  long long Whole(std::string_view key, long long low, long long high) {
    const std::string text = Value(key);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
      Fail("the value of " + std::string(key) + " is not a whole number from " +
           std::to_string(low) + " to " + std::to_string(high));
    }
    return value;
  }

  double Bound(std::string_view key, double none) {
    const std::string text = Value(key);
    if (text.empty()) return none;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
      Fail("the value of " + std::string(key) + " is not a finite number");
    }
    return value;
  }

  [[noreturn]] void Fail(const std::string& why) {
    const int line = cursor_.AtEndOfData() ? line_ : cursor_.lineNumber();
    sink_.Error(messages::kFileErrorTitle, Format(kBadFitLine, line, why.c_str()));
    throw Failure{line};
  }

 private:
  RecordCursor& cursor_;
  MessageSink& sink_;
  int line_ = 0;
};

}  // namespace

void SaveFitSection(const FitSettings& fit, std::string& out) {
  if (fit.empty()) return;
  out += kFitSection;
  out += '\n';
  AppendValueLine(out, "Method", FitMethodText(fit.method));
  AppendValueLine(out, "Starts", std::to_string(fit.starts));
  AppendValueLine(out, "Seed", std::to_string(fit.seed));
  AppendValueLine(out, "ScaleColumns", fit.scaleColumns ? "1" : "0");
  AppendValueLine(out, "Experiments", std::to_string(fit.dataFiles.size()));
  for (const std::string& file : fit.dataFiles) AppendValueLine(out, "File", file);
  AppendValueLine(out, "Parameters", std::to_string(fit.parameters.size()));
  for (const FitParameter& parameter : fit.parameters) {
    AppendValueLine(out, "Title", parameter.title);
    AppendValueLine(out, "Lower",
                    std::isfinite(parameter.lower) ? NumberText(parameter.lower) : "");
    AppendValueLine(out, "Upper",
                    std::isfinite(parameter.upper) ? NumberText(parameter.upper) : "");
    AppendValueLine(out, "Scale", ScaleWord(parameter.scale));
  }
}

FitSectionLoad LoadFitSection(RecordCursor& cursor, MessageSink& sink, FitSettings& fit) {
  fit = FitSettings{};
  if (!AtSectionHeader(cursor, kFitSection)) return {};
  cursor.Advance();
  FitReader reader(cursor, sink);
  FitSettings read;
  try {
    const std::string method = reader.Value("Method");
    if (method == "local") {
      read.method = FitMethod::kLocal;
    } else if (method == "global") {
      read.method = FitMethod::kGlobal;
    } else if (method == "direct") {
      read.method = FitMethod::kDirect;
    } else {
      reader.Fail("the method " + method + " is none of local, global and direct");
    }
    read.starts = static_cast<int>(reader.Whole("Starts", 1, kMaxFitStarts));
    read.seed = static_cast<std::uint32_t>(
        reader.Whole("Seed", 0, std::numeric_limits<std::uint32_t>::max()));
    read.scaleColumns = reader.Whole("ScaleColumns", 0, 1) != 0;
    const long long files = reader.Whole("Experiments", 0, kMaxFitListLength);
    for (long long k = 0; k < files; ++k) read.dataFiles.push_back(reader.Value("File"));
    const long long parameters = reader.Whole("Parameters", 0, kMaxFitListLength);
    for (long long k = 0; k < parameters; ++k) {
      FitParameter parameter;
      parameter.title = reader.Value("Title");
      parameter.lower = reader.Bound("Lower", -kNoBound);
      parameter.upper = reader.Bound("Upper", kNoBound);
      const std::string scale = reader.Value("Scale");
      if (scale == "auto") {
        parameter.scale = ParameterScale::kAuto;
      } else if (scale == "linear") {
        parameter.scale = ParameterScale::kLinear;
      } else if (scale == "log") {
        parameter.scale = ParameterScale::kLog;
      } else {
        reader.Fail("the scale " + scale + " is none of auto, linear and log");
      }
      read.parameters.push_back(std::move(parameter));
    }
  } catch (const Failure& failure) {
    return {SelectionLoadStatus::kBadRecord, failure.line};
  }
  fit = std::move(read);
  return {};
}

}  // namespace vireon
