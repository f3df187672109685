#pragma once
// One model as the Python module holds it: a document of its own (model,
// settings, selections, scan and links), what the SBML import said of the
// ids, and its random numbers. Every task runs on the calling thread from a
// copy of the document, so that a run leaves the model's values as they
// were and two sessions share nothing but the program's catalogue. This
// file knows nothing of Python: the module releases the interpreter around
// the calls and hears interruptions through `Interrupted`.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/document.h"
#include "engine/random.h"
#include "fit/fit_problem.h"
#include "fit/parameter_estimation.h"
#include "output/output_item.h"
#include "sbml/sbml_import.h"

namespace vireon::python {

// A failure the user must hear of, with Vireon's message.
class VireonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A steady state that was not found, with the reason.
class SteadyStateError : public VireonError {
 public:
  using VireonError::VireonError;
};

// A run ended because `Interrupted` said so; the caller has the reason.
class RunInterrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the run was interrupted"; }
};

// Asked now and then during a run: true ends the run (RunInterrupted).
using Interrupted = std::function<bool()>;

// Rows of numbers: one column per title, row after row.
struct Table {
  std::vector<std::string> columns;
  std::vector<double> values;  // rows x columns.size(), row by row
  std::size_t rows = 0;
};

struct TimeCourseRequest {
  std::optional<double> endTime;
  std::optional<int> points;
  std::optional<double> relativeTolerance;
  std::optional<double> absoluteTolerance;
  // Titles or names of the columns after the time; empty: every metabolite.
  std::vector<std::string> select;
};

struct SteadyStateValues {
  std::vector<std::string> metabolites;  // the model's order
  std::vector<double> concentrations;
  std::vector<double> transitionTimes;
  std::vector<std::string> steps;  // the model's order
  std::vector<double> fluxes;
  std::vector<double> eigenReal, eigenImag;  // of the reduced Jacobian
  // "asymptotically stable", "unstable" or "undetermined", as the report.
  std::string stability;
  bool oscillatory = false;
  bool equilibrium = false;
};

// The control analysis at the steady state, in the report's order: steps
// and metabolites by their order in the model; the concentration control
// coefficients have a row per metabolite that is not fixed.
struct ControlValues {
  bool scaled = true;
  std::vector<std::string> steps, metabolites, variableMetabolites;
  std::vector<double> elasticities;          // steps x metabolites
  std::vector<double> concentrationControl;  // variableMetabolites x steps
  std::vector<double> fluxControl;           // steps x steps
};

// One scanned quantity: a regular grid (linear or logarithmic) or random
// draws (uniform, normal, log-normal ...), with the kinds of the scan page.
struct ScanAxis {
  std::string title;
  int kind = 0;  // a ScanKind
  double min = 0.0, max = 0.0;
  int density = 2;
  bool log = false;
  bool master = true;
};

struct ScanRequest {
  // Empty: the model's own scan as it stands.
  std::vector<ScanAxis> axes;
  bool timeCourse = false;          // the task of every point: a time course, or a steady state
  std::vector<std::string> select;  // the columns; empty: the task's defaults
  int jobs = 1;
  std::optional<std::uint32_t> seed;
};

// A fit: what is given here takes the place of the model's own fit; what
// is not given is the model's (its experiments' files are then found from
// the model file's folder), as `vireon fit` takes its options.
struct FitRequest {
  std::vector<std::string> dataFiles;    // empty: the model's experiments
  std::vector<FitParameter> parameters;  // empty: the model's parameters
  std::optional<FitMethod> method;
  std::optional<int> starts;
  std::optional<std::uint32_t> seed;
  std::optional<bool> scaleColumns;
  std::optional<int> jobs;  // none: the user's scan threads
  // Hears, on the calling thread, each start that ended: the starts done,
  // their total and the best objective so far; false stops the fit.
  std::function<bool(int done, int total, double best)> progress;
};

// A fit that ran: the problem it solved (the experiments' data, resolved),
// its result, and the titles that set each fitted quantity on a model.
struct FitRun {
  std::unique_ptr<FitProblem> problem;
  FitResult result;
  std::vector<std::string> quantities;  // per parameter, a title of the scan's tree
  // Interrupted while it ran: the result holds the best point so far.
  bool interrupted = false;
  // Stopped because the progress said so.
  bool refused = false;
};

class ModelSession {
 public:
  // Reads a Vireon model file or imports SBML (any other name), as the
  // command line does. Throws VireonError with the messages said.
  static ModelSession Load(const std::string& path);
  // A model from reaction text (see ReactionText in model_builder.h).
  static ModelSession FromDocument(Document document);

  ModelSession(const ModelSession& other);
  ModelSession(ModelSession&&) noexcept;
  ~ModelSession();

  // The titles a value may be read and set by: those a scan may vary
  // (initial concentrations, kinetic constants, volumes, global quantities,
  // conservation totals, end time and numerical settings).
  std::vector<std::string> Quantities() const;
  // A quantity by its title, by an SBML id or by a record's name; throws
  // std::out_of_range with the reason when nothing or more than one thing
  // is called so.
  double Get(const std::string& key) const;
  void Set(const std::string& key, double value);

  Table Simulate(const TimeCourseRequest& request, const Interrupted& interrupted);
  SteadyStateValues SteadyState(const Interrupted& interrupted);
  ControlValues ControlAnalysis(bool scaled, const Interrupted& interrupted);
  Table Scan(const ScanRequest& request, const Interrupted& interrupted);
  // Estimates parameters (python/model_fit.cpp). Throws VireonError with
  // the reason when a data file or the problem is refused or the fit
  // fails, RunInterrupted when interrupted before any start was fitted;
  // leaves the model's values as they were.
  FitRun Fit(const FitRequest& request, const Interrupted& interrupted);

  // The model file's text, and saving it (the document then knows that path).
  std::string ModelFileText() const;
  void Save(const std::string& path);
  std::string SbmlText() const;

  std::vector<std::string> MetaboliteNames() const;
  std::vector<std::string> StepNames() const;
  const Document& document() const { return document_; }
  std::string Title() const;

 private:
  explicit ModelSession(Document document);

  // The item `key` names among the scannable quantities.
  OutputItem FindQuantity(const std::string& key) const;

  Document document_;
  std::map<std::string, std::string> renamedIds_;
  // An imported SBML model: a step's name is no id of a reaction's rate,
  // so it does not stand for the step's flux in a time course's columns.
  bool sbml_ = false;
  // An imported SBML model's reactions' rates, by the reactions' ids.
  std::map<std::string, SbmlReactionRate> reactionRates_;
  RandomGenerator random_;
  // One call at a time on a session.
  mutable std::mutex mutex_;
};

}  // namespace vireon::python
