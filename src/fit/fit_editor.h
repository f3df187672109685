#pragma once
// The rules of the Fit page, without the drawing: a working copy of the fit
// the document stores (its experiments' files, the parameters with their
// bounds, the method, the starts, the seed and the column scaling) and the
// number of threads to fit on. Each experiment is read as it is added,
// with a preview of its first rows and of what every column is in the
// model, so that a mistake is named at once; the whole problem is checked
// as the fit itself will check it. The page forwards the user's actions
// here, draws what this object says, and commits the working copy into
// the document as an edit of its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fit/experiment_file.h"
#include "fit/fit_problem.h"
#include "fit/fit_settings.h"
#include "fit/parameter_estimation.h"
#include "output/output_data_editor.h"

namespace vireon {

struct Document;

// The rows of an experiment the preview holds.
inline constexpr std::size_t kFitPreviewRows = 8;
// The most threads a fit is given.
inline constexpr int kMaxFitJobs = 256;

enum class FitColumnRole {
  kTime,
  kSetting,    // sets the model (for the whole time course, or for its row)
  kMeasured,   // compared with the model
  kDeviation,  // the standard deviations of a measured column
  kUnknown,    // names nothing the fit can use: `problem` says why
};

struct FitColumnPreview {
  std::string title;  // as in the file's header
  FitColumnRole role = FitColumnRole::kUnknown;
  // What the column is: "time", "sets [S]i", "measures J(velocity)",
  // "sd of [S]t"; empty for an unknown column.
  std::string meaning;
  std::string problem;  // what is wrong with it; empty when nothing is
  // The first kFitPreviewRows values (NaN where the cell is empty).
  std::vector<double> cells;
};

struct FitExperimentPreview {
  std::string file;   // as the fit stores it
  std::string path;   // where it is read from
  std::string error;  // why the file cannot be read; then nothing below is set
  ExperimentKind kind = ExperimentKind::kTimeCourse;
  std::size_t rows = 0;
  // In the file's order: the time first in a time course, each sd column
  // after the column it belongs to.
  std::vector<FitColumnPreview> columns;

  // No mistake in the file or in any of its columns.
  bool ok() const;
};

class FitEditor {
 public:
  // Takes the document's fit; `jobs` is the threads a fit runs on unless
  // the user changes it. The document must outlive the editor: its model,
  // task settings and folder are read, never written, until Commit.
  FitEditor(const Document& document, int jobs);

  const FitSettings& fit() const { return fit_; }

  // The experiments, in the fit's order, as last read.
  const std::vector<FitExperimentPreview>& experiments() const { return previews_; }
  // Adds the data file at `path` (absolute, or from the working folder)
  // and reads it. It is stored from the model file's folder when it lies
  // within it, else in full. Refused, saying why, when the file is in the
  // list already; a file that cannot be read is added with its error.
  std::string AddExperiment(const std::string& path);
  bool RemoveExperiment(std::size_t index);
  // Reads every file again (after it changed on disk, or the model did).
  void ReloadExperiments();

  // The quantities a fit can estimate: the scan's tree without the end
  // time and the numerical settings.
  std::vector<OutputDataNode> ParameterTree() const;
  // Adds `quantity` as a parameter without bounds, searched as the fit
  // sees best; refused, saying why, when it is a parameter already.
  std::string AddParameter(const OutputItem& quantity);
  bool RemoveParameter(std::size_t index);
  // A bound as typed: empty for none, else a finite number; refused,
  // saying why, when the text is no number or the bounds would cross (the
  // bound stays as it was).
  std::string SetLowerText(std::size_t index, std::string_view text);
  std::string SetUpperText(std::size_t index, std::string_view text);
  bool SetScale(std::size_t index, ParameterScale scale);
  // How a bound is shown: empty for none, else the shortest text that
  // reads back exactly.
  static std::string BoundText(double bound);

  void SetMethod(FitMethod method);
  // Starts of a global fit, from 1 to kMaxFitStarts.
  bool SetStarts(int starts);
  void SetSeed(std::uint32_t seed);
  void SetScaleColumns(bool scale);
  // From 1 to kMaxFitJobs.
  bool SetJobs(int jobs);
  int jobs() const { return jobs_; }

  // Empty when the fit can run; else the first thing that stops it: a file
  // that cannot be read, a column, a parameter, the model (as the fit
  // itself refuses it).
  std::string Problem() const;
  // The problem to run, over the experiments as last read.
  FitProblemResult BuildProblem() const;
  // The method, starts, seed and threads of the fit (no stop, no progress).
  FitOptions Options() const;

  // Set by every change of the working copy (not of the threads, which no
  // file stores).
  bool modified() const { return modified_; }
  void ClearModified() { modified_ = false; }
  // Writes the working copy into the document's fit; false when that holds
  // it already. The caller commits the edit (CommitModelChange) and
  // records it.
  bool Commit(Document& document) const;

 private:
  FitExperimentPreview Read(const std::string& file, std::optional<ExperimentFile>& read) const;
  std::string SetBound(std::size_t index, std::string_view text, bool lower);
  void Changed() { modified_ = true; }

  const Document& document_;
  FitSettings fit_;
  std::vector<FitExperimentPreview> previews_;
  // The experiments read, one per file (none for a file that could not be).
  std::vector<std::optional<ExperimentFile>> read_;
  int jobs_ = 1;
  bool modified_ = false;
};

// What the charts of a fit's result draw, for one measured column of an
// experiment: the data and the fitted model against the experiment's x
// (each row where the data are given), and the residuals, model - data in
// the column's own units. The model's points are in the order of x.
struct FitChartSeries {
  std::string title;
  std::vector<std::pair<double, double>> data;
  std::vector<std::pair<double, double>> model;
  std::vector<std::pair<double, double>> residuals;
};

struct FitExperimentChart {
  std::string file;
  // The x of the rows: the time of a time course; at steady states the
  // first column that sets the model and differs between rows, else the
  // row's number ("row").
  std::string xTitle;
  std::vector<FitChartSeries> series;
};

// The charts of every experiment; empty when the result holds no curves.
std::vector<FitExperimentChart> FitCharts(const FitProblem& problem, const FitResult& result);

// A row of the table of fitted values: the parameter, its value, its
// standard deviation ("" when it cannot be had) and what to note of it
// ("poorly determined", "at a bound", both, or nothing).
struct FitValueRow {
  std::string title;
  std::string value;
  std::string sd;
  std::string note;
  bool poorlyDetermined = false;
};

std::vector<FitValueRow> FitValueRows(const FitResult& result);

// The fit's data files as a model file in `newFolder` keeps them, when a
// model file in `oldFolder` kept them so (a folder ends in "/"; an empty
// one is the working folder): each file from the new folder when it lies
// within it, else in full. Saving a model elsewhere keeps its experiments.
std::vector<std::string> DataFilesFrom(const std::vector<std::string>& files,
                                       const std::string& oldFolder,
                                       const std::string& newFolder);

// Writes the values of a finished fit into the document's model: each
// parameter of the problem (which must be the document's) takes its
// fitted value. The caller commits the edit and records it.
void ApplyFitValues(Document& document, const FitProblem& problem, const FitResult& result);

}  // namespace vireon
