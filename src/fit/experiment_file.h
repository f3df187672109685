#pragma once
// The measurements of one experiment, read from a text file with a header
// row: comma-separated values, or tab-separated when the header holds a
// tab. A time-course experiment has `time` as its first column, a
// steady-state experiment no time column at all (each row is one
// condition). Every other column is a quantity of the model, titled as the
// fit finds it (fit/fit_problem.h); a column `sd(X)` holds the standard
// deviation of column X at each row. An empty cell is a missing value.
// Blank lines and lines starting with "#" are skipped.
//
// The reader only checks the file's own shape and numbers; which quantity
// each title names is decided when the experiment meets the model.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

// The largest data file the reader takes, in bytes.
inline constexpr std::size_t kMaxExperimentFileBytes = std::size_t{1} << 28;

enum class ExperimentKind { kTimeCourse, kSteadyState };

struct ExperimentColumn {
  std::string title;  // as in the header, without its quotes
  int position = 0;   // 1-based column of the file, for messages
  // One value per row; NaN where the cell is empty.
  std::vector<double> values;
  // The standard deviations of the sd(title) column, one per row (NaN where
  // empty); empty when the file has no such column.
  std::vector<double> sd;
  int sdPosition = 0;  // the sd column's position, 0 when there is none
};

struct ExperimentFile {
  std::string path;
  ExperimentKind kind = ExperimentKind::kTimeCourse;
  // Time course: the time of each row (never missing, never negative, in
  // nondecreasing order). Empty for a steady-state experiment.
  std::vector<double> times;
  // The file line of each row, for messages.
  std::vector<int> lines;
  // The columns after the time, in file order, sd columns folded into the
  // column they belong to.
  std::vector<ExperimentColumn> columns;

  std::size_t rows() const { return lines.size(); }
};

struct ExperimentReadResult {
  std::optional<ExperimentFile> experiment;  // none when the file is refused
  // What is wrong, naming the file and, where it lies in one, the line and
  // the column.
  std::string error;
};

// Reads the experiment from `text`, the contents of the file called `path`.
ExperimentReadResult ParseExperimentText(std::string_view text, const std::string& path);

// Reads the file at `path` (a FIFO, a device, a folder or a file beyond
// kMaxExperimentFileBytes is refused); its bytes go to `contents` when
// given.
ExperimentReadResult ReadExperimentFile(const std::string& path, std::string* contents = nullptr);

}  // namespace vireon
