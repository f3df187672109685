#include "fit/experiment_file.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>

#include "model/file_access.h"

namespace vireon {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

// The title of the time column.
constexpr std::string_view kTimeTitle = "time";

std::string Located(const std::string& path, int line, std::string_view text) {
  return path + ", line " + std::to_string(line) + ": " + std::string(text);
}

std::string CellName(int position, std::string_view title) {
  return "column " + std::to_string(position) + " (" + std::string(title) + ")";
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Splits one line at the separator. A field of a comma-separated line may
// be quoted, with "" standing for a quote inside it. None when a quote is
// not closed.
std::optional<std::vector<std::string>> SplitFields(std::string_view line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  bool wasQuoted = false;
  for (std::size_t k = 0; k < line.size(); ++k) {
    const char c = line[k];
    if (quoted) {
      if (c == '"') {
        if (k + 1 < line.size() && line[k + 1] == '"') {
          field += '"';
          ++k;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
    } else if (c == separator) {
      fields.push_back(wasQuoted ? field : std::string(Trimmed(field)));
      field.clear();
      wasQuoted = false;
    } else if (c == '"' && separator == ',' && Trimmed(field).empty()) {
      field.clear();
      quoted = true;
      wasQuoted = true;
    } else {
      field += c;
    }
  }
  if (quoted) return std::nullopt;
  fields.push_back(wasQuoted ? field : std::string(Trimmed(field)));
  return fields;
}

// A cell's number; NaN for an empty cell; none when it is no finite number.
std::optional<double> CellValue(std::string_view text) {
  if (text.empty()) return kMissing;
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// The X of a title "sd(X)", or none.
std::optional<std::string> SdOf(std::string_view title) {
  if (title.size() > 4 && title.substr(0, 3) == "sd(" && title.back() == ')') {
    return std::string(title.substr(3, title.size() - 4));
  }
  return std::nullopt;
}

}  // namespace

ExperimentReadResult ParseExperimentText(std::string_view text, const std::string& path) {
  ExperimentReadResult result;
  const auto fail = [&result](std::string error) {
    result.error = std::move(error);
    return result;
  };

  // The lines that hold something, with their numbers.
  std::vector<std::pair<int, std::string_view>> lines;
  int number = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    const std::string_view line = text.substr(start, end - start);
    const std::string_view trimmed = Trimmed(line);
    if (!trimmed.empty() && trimmed.front() != '#') lines.emplace_back(number, line);
    start = end + 1;
  }
  if (lines.empty()) return fail(path + ": the file holds no header row");

  const auto [headerLine, header] = lines.front();
  const char separator = header.find('\t') != std::string_view::npos ? '\t' : ',';
  const std::optional<std::vector<std::string>> titles = SplitFields(header, separator);
  if (!titles) return fail(Located(path, headerLine, "a quote in the header row is not closed"));

  ExperimentFile experiment;
  experiment.path = path;
  std::map<std::string, int> positions;  // title -> 1-based column
  for (std::size_t k = 0; k < titles->size(); ++k) {
    const std::string& title = (*titles)[k];
    const int position = static_cast<int>(k) + 1;
    if (title.empty()) {
      return fail(
          Located(path, headerLine, "column " + std::to_string(position) + " has no title"));
    }
    if (!positions.emplace(title, position).second) {
      return fail(Located(path, headerLine,
                          "the title " + title + " is given twice (columns " +
                              std::to_string(positions[title]) + " and " +
                              std::to_string(position) + ")"));
    }
    if (title == kTimeTitle && position != 1) {
      return fail(
          Located(path, headerLine,
                  "the time must be the first column, not column " + std::to_string(position)));
    }
  }
  experiment.kind =
      titles->front() == kTimeTitle ? ExperimentKind::kTimeCourse : ExperimentKind::kSteadyState;
  const int first = experiment.kind == ExperimentKind::kTimeCourse ? 1 : 0;

  // The measured columns, then the sd columns folded into them.
  std::vector<int> columnOf(titles->size(), -1);  // file column -> experiment column
  std::vector<bool> isSd(titles->size(), false);
  for (std::size_t k = static_cast<std::size_t>(first); k < titles->size(); ++k) {
    if (SdOf((*titles)[k])) continue;
    columnOf[k] = static_cast<int>(experiment.columns.size());
    ExperimentColumn column;
    column.title = (*titles)[k];
    column.position = static_cast<int>(k) + 1;
    experiment.columns.push_back(std::move(column));
  }
  for (std::size_t k = static_cast<std::size_t>(first); k < titles->size(); ++k) {
    const std::optional<std::string> of = SdOf((*titles)[k]);
    if (!of) continue;
    const auto found = positions.find(*of);
    if (found == positions.end() || found->second - 1 < first) {
      return fail(Located(path, headerLine,
                          "column " + std::to_string(k + 1) + " (" + (*titles)[k] +
                              ") is the standard deviation of a column the file does not have"));
    }
    const int target = columnOf[static_cast<std::size_t>(found->second - 1)];
    if (target < 0) {
      return fail(Located(path, headerLine,
                          "column " + std::to_string(k + 1) + " (" + (*titles)[k] +
                              ") is the standard deviation of another standard deviation"));
    }
    columnOf[k] = target;
    isSd[k] = true;
    experiment.columns[static_cast<std::size_t>(target)].sdPosition = static_cast<int>(k) + 1;
  }
  if (experiment.columns.empty()) {
    return fail(Located(path, headerLine, "the file has no column of measurements"));
  }

  // The rows.
  for (std::size_t r = 1; r < lines.size(); ++r) {
    const auto [line, content] = lines[r];
    const std::optional<std::vector<std::string>> fields = SplitFields(content, separator);
    if (!fields) return fail(Located(path, line, "a quote is not closed"));
    if (fields->size() != titles->size()) {
      return fail(Located(path, line,
                          "the row has " + std::to_string(fields->size()) + " fields, the header " +
                              std::to_string(titles->size())));
    }
    for (std::size_t k = 0; k < fields->size(); ++k) {
      const int position = static_cast<int>(k) + 1;
      const std::string& title = (*titles)[k];
      const std::optional<double> value = CellValue((*fields)[k]);
      if (!value) {
        return fail(Located(path, line,
                            CellName(position, title) + " holds \"" + (*fields)[k] +
                                "\", which is not a finite number"));
      }
      if (static_cast<int>(k) < first) {
        if (std::isnan(*value)) {
          return fail(Located(path, line, CellName(position, title) + ": the time is missing"));
        }
        if (*value < 0.0) {
          return fail(Located(path, line, CellName(position, title) + ": the time is negative"));
        }
        if (!experiment.times.empty() && *value < experiment.times.back()) {
          return fail(Located(
              path, line, CellName(position, title) + ": the time is earlier than the row before"));
        }
        experiment.times.push_back(*value);
        continue;
      }
      ExperimentColumn& column = experiment.columns[static_cast<std::size_t>(columnOf[k])];
      if (isSd[k]) {
        if (!std::isnan(*value) && *value <= 0.0) {
          return fail(Located(
              path, line, CellName(position, title) + ": a standard deviation must be above 0"));
        }
        column.sd.push_back(*value);
      } else {
        column.values.push_back(*value);
      }
    }
    experiment.lines.push_back(line);
  }
  if (experiment.lines.empty()) return fail(path + ": the file has a header but no rows");
  for (ExperimentColumn& column : experiment.columns) {
    for (std::size_t r = 0; r < column.sd.size(); ++r) {
      if (std::isnan(column.sd[r]) && !std::isnan(column.values[r])) {
        return fail(Located(path, experiment.lines[r],
                            "column " + std::to_string(column.sdPosition) + " (sd(" + column.title +
                                ")) is empty where " + CellName(column.position, column.title) +
                                " has a value"));
      }
    }
  }
  result.experiment = std::move(experiment);
  return result;
}

ExperimentReadResult ReadExperimentFile(const std::string& path, std::string* contents) {
  std::string bytes;
  const InputFileResult read = ReadInputFile(path, kMaxExperimentFileBytes, bytes);
  if (!read.ok()) {
    ExperimentReadResult result;
    result.error = path + ": cannot be read: " + read.reason;
    return result;
  }
  ExperimentReadResult result = ParseExperimentText(bytes, path);
  if (contents != nullptr) *contents = std::move(bytes);
  return result;
}

}  // namespace vireon
