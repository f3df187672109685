#include "python/model_session.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "document/model_file.h"
#include "document/parallel_scan.h"
#include "document/run_control.h"
#include "document/task_iteration.h"
#include "engine/fast_equilibrium.h"
#include "kinetics/kinetic_binding.h"
#include "model/messages.h"
#include "output/data_file.h"
#include "output/output_data_editor.h"
#include "output/output_item_binding.h"
#include "output/output_item_lookup.h"
#include "python/collecting_sink.h"
#include "python/program.h"
#include "rules/event_check.h"
#include "rules/rule_system.h"
#include "sbml/sbml_document.h"
#include "scan/item_trees.h"

namespace vireon::python {

namespace {

// How often a run asks whether it was interrupted: often enough that
// Ctrl-C is heard at once, seldom enough to cost nothing.
constexpr std::chrono::milliseconds kInterruptPoll{50};
// The widest column of a data file: its 17 decimals give every double back
// exactly when the file is read.
constexpr int kExactColumnWidth = kMaxColumnWidth;
// The most numbers a time course of `simulate` may hold (8 GB of doubles).
constexpr double kMaxTableNumbers = 1e9;

// The file names of a scan's data files in its private folder.
constexpr const char* kScanModelName = "scan.vrn";
constexpr const char* kScanTimeCourseFile = "scan-timecourse.dat";
constexpr const char* kScanSteadyStateFile = "scan-steadystate.dat";

// The error log keeps the line ends of a text box.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != '\r') result += c;
  }
  while (!result.empty() && result.back() == '\n') result.pop_back();
  return result;
}

std::vector<std::string> EntryTitles(const std::vector<OutputDataNode>& nodes) {
  std::vector<std::string> titles;
  std::function<void(const std::vector<OutputDataNode>&)> visit =
      [&](const std::vector<OutputDataNode>& level) {
        for (const OutputDataNode& node : level) {
          for (const OutputItem& entry : node.entries) titles.push_back(entry.title);
          visit(node.children);
        }
      };
  visit(nodes);
  return titles;
}

// Every entry of the tree whose title is `title`.
std::vector<OutputItem> EntriesTitled(const std::vector<OutputDataNode>& nodes,
                                      std::string_view title) {
  std::vector<OutputItem> found;
  std::function<void(const std::vector<OutputDataNode>&)> visit =
      [&](const std::vector<OutputDataNode>& level) {
        for (const OutputDataNode& node : level) {
          for (const OutputItem& entry : node.entries) {
            if (entry.title == title &&
                std::find(found.begin(), found.end(), entry) == found.end()) {
              found.push_back(entry);
            }
          }
          visit(node.children);
        }
      };
  visit(nodes);
  return found;
}

std::vector<std::string> FunctionNames(const Document& document) {
  std::vector<std::string> names;
  for (const OutputFunction& function : document.functions) names.push_back(function.name());
  return names;
}

// The checks a run makes before it starts, said as an exception.
void CheckRunnable(const Document& document, bool steadyState) {
  const Model& model = document.model;
  if (model.nSteps() == 0 && model.rules.empty() && model.events.empty()) {
    throw VireonError(messages::kNoModelDefined);
  }
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      throw VireonError("the rate of step " + model.steps[static_cast<std::size_t>(k)].name +
                        " cannot be evaluated: its kinetic type, constants or modifiers do not "
                        "match its equation");
    }
  }
  if (!model.rules.empty()) {
    if (const std::string problem = RuleSystem::Problem(model); !problem.empty()) {
      throw VireonError("the rules cannot be followed: " + problem);
    }
  }
  if (!model.events.empty()) {
    if (const std::string problem = CheckEvents(model).message; !problem.empty()) {
      throw VireonError("the events cannot be followed: " + problem);
    }
  }
  if (const std::string problem = FastStepsProblem(model); !problem.empty()) {
    throw VireonError("the fast steps cannot be followed: " + problem);
  }
  if (steadyState && HasStoichiometryRules(model.rules)) {
    throw VireonError(kStoichiometryRulesSteadyState);
  }
  if (steadyState && HasFastSteps(model)) throw VireonError(kFastStepsSteadyState);
}

// Asks `interrupted` at most every kInterruptPoll.
class InterruptPoll {
 public:
  explicit InterruptPoll(const Interrupted& interrupted)
      : interrupted_(interrupted), last_(std::chrono::steady_clock::now()) {}

  bool Now() {
    if (!interrupted_ || heard_) return heard_;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterruptPoll) return false;
    last_ = now;
    heard_ = interrupted_();
    return heard_;
  }
  bool heard() const { return heard_; }

 private:
  const Interrupted& interrupted_;
  std::chrono::steady_clock::time_point last_;
  bool heard_ = false;
};

// The output of one task iteration run for Python: the time-course rows
// are taken from the bound items of the selection (not from their text),
// and every time-course point asks whether the run was interrupted.
class TableOutput : public IterationOutput {
 public:
  TableOutput(const Document& document, InterruptPoll& poll, Table* table)
      : document_(document), poll_(poll), table_(table) {}

  bool TimeCourseOpen() const override { return table_ != nullptr; }
  bool SteadyStateOpen() const override { return false; }
  void TimeCourse(std::string_view) override {
    if (table_ == nullptr) return;
    for (const OutputItem& item : document_.selections.timeCourse) {
      table_->values.push_back(item.Value());
    }
    ++table_->rows;
  }
  void SteadyState(std::string_view) override {}
  void Report(std::string_view) override {}
  PointAction CheckPauseStop(Engine&) override {
    return poll_.Now() ? PointAction::kStop : PointAction::kContinue;
  }

 private:
  const Document& document_;
  InterruptPoll& poll_;
  Table* table_;
};

// A document for one run from Python: no report, no window, no scan, no
// data files, only the task asked for.
Document RunCopy(const Document& document, bool timeCourse, bool steadyState) {
  Document run = document;
  TaskSettings& settings = run.settings;
  settings.report = 0;
  settings.dynamics = timeCourse ? 1 : 0;
  settings.steadyState = steadyState ? 1 : 0;
  settings.dynamicsData.titles = 0;
  settings.steadyStateData.titles = 0;
  run.scan.enabled = 0;
  run.selections.interactive.clear();
  run.selections.timeCourse.clear();
  run.selections.steadyState.clear();
  return run;
}

// Runs one task iteration of the run copy on this thread; the engine is
// left allocated for the caller to read, and freed by the caller.
void RunIteration(Document& run, RandomGenerator& random, IterationOutput& output,
                  const InterruptPoll& poll) {
  if (!ChunkService::Prepare(run)) throw VireonError(kEngineAllocationFailed);
  run.engine.errorLog.clear();
  run.engine.iteration = 0;
  run.engine.totalIterations = 1;
  const bool completed = RunTaskIteration(run, random, output);
  if (!completed && poll.heard()) throw RunInterrupted();
}

// The one item a text names among those found for it; out_of_range with
// `none` and the text when there is none, or the titles to choose from
// when it names several.
const OutputItem& OnlyItem(const std::string& text, const std::vector<OutputItem>& found,
                           const char* none) {
  if (found.empty()) throw std::out_of_range(none + text);
  if (found.size() > 1) {
    std::string titles;
    for (const OutputItem& item : found) titles += (titles.empty() ? "" : ", ") + item.title;
    throw std::out_of_range(text + " is ambiguous: it names " + titles +
                            "; give one of these titles");
  }
  return found.front();
}

// The items a time course's columns name, by the texts a person types.
std::vector<OutputItem> TimeCourseColumns(const Model& model,
                                          const std::map<std::string, std::string>& renamed,
                                          const std::vector<std::string>& texts, bool sbml) {
  std::vector<OutputItem> items;
  for (const std::string& text : texts) {
    const auto id = renamed.find(text);
    const std::string& name = id != renamed.end() ? id->second : text;
    std::vector<OutputItem> found = FindTimeCourseItems(model, name, /*stepNames=*/!sbml);
    items.push_back(OnlyItem(text, found, "the model has no quantity called "));
  }
  return items;
}

// The items of steady-state columns: titles of the steady-state data
// file's items, or the name of a metabolite ([A]ss), a step (J(R1)) or an
// SBML id of one.
std::vector<OutputItem> SteadyStateColumns(const Document& document,
                                           const std::map<std::string, std::string>& renamed,
                                           const std::vector<std::string>& texts) {
  const Model& model = document.model;
  const std::vector<std::string> functions = FunctionNames(document);
  const std::vector<OutputDataNode> tree =
      BuildOutputDataTree(OutputDataMode::kSteadyState, model, functions);
  std::vector<OutputItem> items;
  for (const std::string& text : texts) {
    std::vector<OutputItem> found = EntriesTitled(tree, text);
    if (found.empty()) {
      const auto id = renamed.find(text);
      const std::string& name = id != renamed.end() ? id->second : text;
      if (model.FindMetabolite(name) >= 0) {
        found.push_back(MakeOutputItem(kSteadyStateConcentration, name));
      }
      if (model.FindStep(name) >= 0) found.push_back(MakeOutputItem(kSteadyStateFlux, name));
    }
    items.push_back(OnlyItem(text, found, "the model has no steady-state quantity called "));
  }
  return items;
}

// Reads the numbers of a data file written with blanks between its
// columns, skipping the blank lines that separate a scan's blocks.
Table ReadDataRows(const std::string& path, std::vector<std::string> columns) {
  Table table;
  table.columns = std::move(columns);
  std::ifstream file(path);
  if (!file) return table;
  std::string line;
  while (std::getline(file, line)) {
    const char* cursor = line.c_str();
    std::size_t read = 0;
    for (std::size_t k = 0; k < table.columns.size(); ++k) {
      char* end = nullptr;
      const double value = std::strtod(cursor, &end);
      if (end == cursor) break;
      table.values.push_back(value);
      cursor = end;
      ++read;
    }
    if (read == 0) continue;
    // A row cut short (a file not completely written) is dropped.
    if (read != table.columns.size()) {
      table.values.resize(table.values.size() - read);
      break;
    }
    ++table.rows;
  }
  return table;
}

// A folder of its own for the files of one scan, removed with it.
class PrivateFolder {
 public:
  PrivateFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vireon-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw VireonError("could not create a folder for the scan's files in " +
                        std::filesystem::temp_directory_path().string());
    }
    path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Hears the end of a run, so that the waiting thread wakes at once.
class EndObserver : public RunObserver {
 public:
  void RunFinished() override { End(); }
  void RunStopped() override { End(); }
  // Waits at most `timeout`; true once the run has ended.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return done_; });
  }

 private:
  void End() {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    ended_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
};

std::string SteadyStateFailure(SteadyStateOutcome outcome) {
  switch (outcome) {
    case SteadyStateOutcome::kFound:
      return {};
    case SteadyStateOutcome::kNotFound:
      return "a steady state could not be found: the residual stayed above the resolution or "
             "amounts turned negative";
    case SteadyStateOutcome::kSingularJacobian:
      return "a steady state could not be found: the Jacobian is singular";
    case SteadyStateOutcome::kDampingFailed:
      return "a steady state could not be found: no damped Newton step reduced the residual";
    case SteadyStateOutcome::kNewtonLimitReached:
      return "a steady state could not be found: the Newton iterations reached their limit";
    case SteadyStateOutcome::kStopped:
      return "the steady-state search was stopped";
  }
  return "a steady state could not be found";
}

double PositionedElement(const Matrix<double>& matrix, int row, int column) {
  if (row < 0 || column < 0 || row >= matrix.rows() || column >= matrix.columns()) return 0.0;
  return matrix.at(row, column);
}

int PositionOf(const std::vector<int>& positions, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) return -1;
  return positions[static_cast<std::size_t>(index)];
}

}  // namespace

ModelSession::ModelSession(Document document) : document_(std::move(document)) {}

ModelSession::ModelSession(const ModelSession& other) {
  std::lock_guard<std::mutex> lock(other.mutex_);
  document_ = other.document_;
  renamedIds_ = other.renamedIds_;
  sbml_ = other.sbml_;
  reactionRates_ = other.reactionRates_;
  random_ = other.random_;
}

ModelSession::ModelSession(ModelSession&& other) noexcept
    : document_(std::move(other.document_)),
      renamedIds_(std::move(other.renamedIds_)),
      sbml_(other.sbml_),
      reactionRates_(std::move(other.reactionRates_)),
      random_(other.random_) {}

ModelSession::~ModelSession() = default;

ModelSession ModelSession::Load(const std::string& path) {
  Program& program = TheProgram();
  std::lock_guard<std::mutex> lock(program.catalogueMutex);
  ProgramStartup& startup = program.startup;
  Document document;
  if (IsSbmlFileName(path)) {
    SbmlImportResult result =
        ImportSbmlDocument(path, document, startup.catalogue, startup.defaults);
    if (!result.imported) {
      std::string text = "could not import " + path + ":";
      for (const std::string& problem : result.problems) text += "\n  " + problem;
      throw VireonError(text);
    }
    ModelSession session(std::move(document));
    session.renamedIds_ = std::move(result.renamedIds);
    session.sbml_ = true;
    session.reactionRates_ = std::move(result.reactionRates);
    return session;
  }
  NewDocument(document, startup.defaults);
  CollectingSink sink;
  const std::string fullPath = std::filesystem::absolute(path).string();
  if (!ReadModelFile(document, fullPath, startup.catalogue, startup.defaults, sink)) {
    throw VireonError("could not load " + path + (sink.text().empty() ? "" : ": ") +
                      WithoutCarriageReturns(sink.text()));
  }
  return ModelSession(std::move(document));
}

ModelSession ModelSession::FromDocument(Document document) {
  return ModelSession(std::move(document));
}

std::string ModelSession::Title() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return document_.model.title;
}

std::vector<std::string> ModelSession::MetaboliteNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (const Metabolite& m : document_.model.metabolites) names.push_back(m.name);
  return names;
}

std::vector<std::string> ModelSession::StepNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (const Step& s : document_.model.steps) names.push_back(s.name);
  return names;
}

std::vector<std::string> ModelSession::Quantities() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return EntryTitles(BuildScanItemTree(document_.model));
}

OutputItem ModelSession::FindQuantity(const std::string& key) const {
  const Model& model = document_.model;
  std::vector<OutputItem> found = EntriesTitled(BuildScanItemTree(model), key);
  if (found.empty()) {
    const auto id = renamedIds_.find(key);
    const std::string& name = id != renamedIds_.end() ? id->second : key;
    if (model.FindMetabolite(name) >= 0) {
      found.push_back(MakeOutputItem(kInitialConcentration, name));
    }
    if (model.FindCompartment(name) >= 0) found.push_back(MakeOutputItem(kVolume, name));
    if (model.FindGlobalQuantity(name) >= 0) {
      found.push_back(MakeOutputItem(kGlobalQuantity, name));
    }
  }
  return OnlyItem(key, found, "the model has no quantity called ");
}

double ModelSession::Get(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  OutputItem item = FindQuantity(key);
  // Binding only points at the quantity; nothing is written through it here.
  Document& document = const_cast<Document&>(document_);
  const BindingContext context{document.model, document.engine, document.settings, {}};
  if (!BindOutputItem(item, context, true) || item.value == nullptr) {
    throw std::out_of_range("the value of " + key + " cannot be read");
  }
  return *item.value;
}

void ModelSession::Set(const std::string& key, double value) {
  std::lock_guard<std::mutex> lock(mutex_);
  OutputItem item = FindQuantity(key);
  const BindingContext context{document_.model, document_.engine, document_.settings, {}};
  if (!BindOutputItem(item, context, true) || item.value == nullptr) {
    throw std::out_of_range("the value of " + key + " cannot be set");
  }
  *item.value = value;
  document_.modified = true;
}

Table ModelSession::Simulate(const TimeCourseRequest& request, const Interrupted& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  Document run = RunCopy(document_, true, false);
  TaskSettings& settings = run.settings;
  if (request.endTime) settings.endTime = *request.endTime;
  if (request.points) settings.points = *request.points;
  if (request.relativeTolerance) settings.solver.relativeTolerance = *request.relativeTolerance;
  if (request.absoluteTolerance) settings.solver.absoluteTolerance = *request.absoluteTolerance;

  // The rows are read from the items, not from their text: the narrowest
  // columns make the text the engine writes the cheapest.
  settings.dynamicsData.columnWidth = kMinColumnWidth;

  Table table;
  table.columns.push_back("time");
  run.selections.timeCourse.push_back(MakeOutputItem(kTime));
  struct ReactionRateColumn {
    std::size_t column;
    std::size_t volume;  // 1 + its place among `volumes`, or 0: none
    double scale;
  };
  std::vector<ReactionRateColumn> rates;
  std::vector<OutputItem> volumes;
  if (request.select.empty()) {
    for (const Metabolite& m : run.model.metabolites) {
      table.columns.push_back(m.name);
      run.selections.timeCourse.push_back(MakeOutputItem(kTransientConcentration, m.name));
    }
  } else {
    for (const std::string& text : request.select) {
      table.columns.push_back(text);
      // An SBML reaction's id asks for its rate, an amount per time: the
      // flux of one of its steps times the current volume of the step's
      // compartment (a column after the others) over the step's scale.
      if (const auto rate = reactionRates_.find(text); rate != reactionRates_.end()) {
        run.selections.timeCourse.push_back(MakeOutputItem(kTransientFlux, rate->second.step));
        rates.push_back({table.columns.size() - 1, 0, rate->second.scale});
        if (!rate->second.compartment.empty()) {
          volumes.push_back(MakeOutputItem(kCurrentVolume, rate->second.compartment));
          rates.back().volume = volumes.size();
        }
        continue;
      }
      run.selections.timeCourse.push_back(
          TimeCourseColumns(run.model, renamedIds_, {text}, sbml_).front());
    }
  }
  const std::size_t shown = run.selections.timeCourse.size();
  run.selections.timeCourse.insert(run.selections.timeCourse.end(), volumes.begin(), volumes.end());
  RandomGenerator random = random_;
  lock.unlock();

  if (settings.points < 1) throw VireonError("a time course needs at least 1 point");
  if (!IsUsableEndTime(settings.endTime)) {
    throw VireonError("the end time must be a finite number, not nearer 0 than 1e-100");
  }
  if ((settings.points + 1.0) * static_cast<double>(run.selections.timeCourse.size()) >
      kMaxTableNumbers) {
    throw VireonError("a time course of " + std::to_string(settings.points) +
                      " points is more than a table holds; ask for fewer points");
  }
  CheckRunnable(run, false);
  table.values.reserve(static_cast<std::size_t>(settings.points + 1) *
                       run.selections.timeCourse.size());

  InterruptPoll poll(interrupted);
  TableOutput output(run, poll, &table);
  RunIteration(run, random, output, poll);
  run.engine.Free();
  if (!run.engine.errorLog.empty()) {
    throw VireonError("the time course failed:\n" + WithoutCarriageReturns(run.engine.errorLog));
  }
  if (volumes.empty() && rates.empty()) return table;
  // The rates from their fluxes and volumes; the volumes' columns go.
  const std::size_t width = run.selections.timeCourse.size();
  Table rated;
  rated.columns = std::move(table.columns);
  rated.rows = table.rows;
  rated.values.reserve(table.rows * shown);
  for (std::size_t row = 0; row < table.rows; ++row) {
    const double* values = table.values.data() + row * width;
    const std::size_t first = rated.values.size();
    rated.values.insert(rated.values.end(), values, values + shown);
    for (const ReactionRateColumn& rate : rates) {
      double& value = rated.values[first + rate.column];
      if (rate.volume != 0) value *= values[shown + rate.volume - 1];
      value /= rate.scale;
    }
  }
  return rated;
}

namespace {

// Runs the copy's steady state; raises with the engine's reason when it
// reports errors or finds no steady state.
void RunFoundSteadyState(Document& run, RandomGenerator& random, const Interrupted& interrupted) {
  CheckRunnable(run, true);
  InterruptPoll poll(interrupted);
  TableOutput output(run, poll, nullptr);
  RunIteration(run, random, output, poll);
  const EngineState& state = run.engine;
  if (!state.errorLog.empty()) throw SteadyStateError(WithoutCarriageReturns(state.errorLog));
  if (state.ssFailure != SteadyStateOutcome::kFound) {
    throw SteadyStateError(SteadyStateFailure(state.ssFailure));
  }
}

}  // namespace

SteadyStateValues ModelSession::SteadyState(const Interrupted& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  Document run = RunCopy(document_, false, true);
  RandomGenerator random = random_;
  lock.unlock();
  RunFoundSteadyState(run, random, interrupted);
  const EngineState& state = run.engine;
  const Model& model = run.model;
  SteadyStateValues values;
  for (const Metabolite& m : model.metabolites) {
    values.metabolites.push_back(m.name);
    values.concentrations.push_back(m.concentration);
    values.transitionTimes.push_back(m.transitionTime);
  }
  for (const Step& s : model.steps) {
    values.steps.push_back(s.name);
    values.fluxes.push_back(s.flux);
  }
  const int n = model.nIndependent + RateRuleCount(model.rules);
  for (int k = 0; k < n; ++k) {
    const auto index = static_cast<std::size_t>(k);
    values.eigenReal.push_back(index < state.eigenReal.size() ? state.eigenReal[index] : 0.0);
    values.eigenImag.push_back(index < state.eigenImag.size() ? state.eigenImag[index] : 0.0);
  }
  const double resolution = run.settings.solver.steadyStateResolution;
  values.stability = state.maxRealPart > resolution    ? "unstable"
                     : state.maxRealPart < -resolution ? "asymptotically stable"
                                                       : "undetermined";
  values.oscillatory = state.maxImagPart > resolution;
  values.equilibrium = state.equilibrium != 0;
  run.engine.Free();
  return values;
}

ControlValues ModelSession::ControlAnalysis(bool scaled, const Interrupted& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  Document run = RunCopy(document_, false, true);
  run.settings.mcaUnscaled = scaled ? 0 : 1;
  RandomGenerator random = random_;
  lock.unlock();
  RunFoundSteadyState(run, random, interrupted);
  const EngineState& state = run.engine;
  const Model& model = run.model;
  ControlValues values;
  values.scaled = scaled;
  for (const Step& s : model.steps) values.steps.push_back(s.name);
  for (const Metabolite& m : model.metabolites) {
    values.metabolites.push_back(m.name);
    if (m.type != FIXED) values.variableMetabolites.push_back(m.name);
  }
  for (int s = 0; s < model.nSteps(); ++s) {
    const int row = PositionOf(model.stepPosition, s);
    for (int m = 0; m < model.nMetabolites(); ++m) {
      values.elasticities.push_back(
          PositionedElement(state.elasticities, row, PositionOf(model.metabolitePosition, m)));
    }
  }
  for (int m = 0; m < model.nMetabolites(); ++m) {
    if (model.metabolites[static_cast<std::size_t>(m)].type == FIXED) continue;
    const int row = PositionOf(model.metabolitePosition, m);
    for (int s = 0; s < model.nSteps(); ++s) {
      values.concentrationControl.push_back(
          PositionedElement(state.concControl, row, PositionOf(model.stepPosition, s)));
    }
  }
  for (int j = 0; j < model.nSteps(); ++j) {
    const int row = PositionOf(model.stepPosition, j);
    for (int s = 0; s < model.nSteps(); ++s) {
      values.fluxControl.push_back(
          PositionedElement(state.fluxControl, row, PositionOf(model.stepPosition, s)));
    }
  }
  run.engine.Free();
  return values;
}

// The scan runs as the command line runs it, with its data file in a
// folder of its own at the width that keeps every digit, and is read back.
Table ModelSession::Scan(const ScanRequest& request, const Interrupted& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  Document run = RunCopy(document_, request.timeCourse, !request.timeCourse);
  if (!request.axes.empty()) {
    run.scan.items.clear();
    for (const ScanAxis& axis : request.axes) {
      ScanItem item(FindQuantity(axis.title));
      item.grid = axis.kind;
      item.min = axis.min;
      item.max = axis.max;
      item.density = axis.density;
      item.log = axis.log ? 1 : 0;
      item.independent = axis.master ? 1 : 0;
      run.scan.items.push_back(std::move(item));
    }
  } else if (document_.scan.enabled == 0 || document_.scan.items.empty()) {
    throw VireonError("the model has no scan of its own: name the quantities to scan");
  }
  if (!run.scan.items.empty() && !run.scan.items.front().IsMaster()) {
    throw VireonError("the innermost quantity of a scan must open a loop of its own");
  }
  run.scan.enabled = 1;

  // The columns: the scanned quantities, then those asked for.
  std::vector<OutputItem>& selection =
      request.timeCourse ? run.selections.timeCourse : run.selections.steadyState;
  std::vector<std::string> columns;
  for (const ScanItem& item : run.scan.items) {
    OutputItem quantity = static_cast<const OutputItem&>(item);
    selection.push_back(quantity);
    columns.push_back(quantity.title);
  }
  if (request.timeCourse) {
    selection.push_back(MakeOutputItem(kTime));
    columns.push_back("time");
  }
  if (request.select.empty()) {
    for (const Metabolite& m : run.model.metabolites) {
      if (!request.timeCourse && m.type == FIXED) continue;
      selection.push_back(MakeOutputItem(
          request.timeCourse ? kTransientConcentration : kSteadyStateConcentration, m.name));
      columns.push_back(selection.back().title);
    }
    if (!request.timeCourse) {
      for (const Step& s : run.model.steps) {
        selection.push_back(MakeOutputItem(kSteadyStateFlux, s.name));
        columns.push_back(selection.back().title);
      }
    }
  } else {
    std::vector<OutputItem> asked =
        request.timeCourse ? TimeCourseColumns(run.model, renamedIds_, request.select, sbml_)
                           : SteadyStateColumns(run, renamedIds_, request.select);
    for (OutputItem& item : asked) selection.push_back(std::move(item));
    columns.insert(columns.end(), request.select.begin(), request.select.end());
  }
  RandomGenerator random = random_;
  lock.unlock();
  if (request.seed) random.Seed(*request.seed);
  CheckRunnable(run, !request.timeCourse);

  PrivateFolder folder;
  run.pathName = folder.path() + "/" + kScanModelName;
  run.folder = folder.path() + "/";
  DataFileSettings& data =
      request.timeCourse ? run.settings.dynamicsData : run.settings.steadyStateData;
  data.file = request.timeCourse ? kScanTimeCourseFile : kScanSteadyStateFile;
  data.titles = 0;
  data.quotes = 0;
  data.columnWidth = kExactColumnWidth;
  data.separator = ' ';

  RunOutcome outcome = RunOutcome::kNotStarted;
  {
    RunController controller(run, random);
    EndObserver ended;
    SynchronousObserver acknowledging(controller, &ended);
    controller.SetObserver(&acknowledging);
    controller.SetJobs(request.jobs);
    controller.SetPointsShown(false);
    CollectingSink sink;
    if (!controller.StartRun(sink)) {
      throw VireonError("the scan could not start" +
                        (sink.text().empty() ? std::string() : ": " + sink.text()));
    }
    bool stopped = false;
    while (!ended.WaitFor(kInterruptPoll)) {
      if (!stopped && interrupted && interrupted()) {
        controller.Stop();
        stopped = true;
      }
    }
    controller.Wait();
    outcome = controller.outcome();
    if (stopped) throw RunInterrupted();
  }
  if (outcome != RunOutcome::kFinished) {
    throw VireonError("the scan did not finish" +
                      (run.engine.errorLog.empty()
                           ? std::string()
                           : ":\n" + WithoutCarriageReturns(run.engine.errorLog)));
  }
  const std::string path = run.folder + data.file;
  Table table = ReadDataRows(path, std::move(columns));
  if (table.rows == 0 && !run.engine.errorLog.empty()) {
    throw VireonError("the scan failed:\n" + WithoutCarriageReturns(run.engine.errorLog));
  }
  return table;
}

std::string ModelSession::ModelFileText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Program& program = TheProgram();
  std::lock_guard<std::mutex> catalogue(program.catalogueMutex);
  return vireon::ModelFileText(document_, program.startup.catalogue);
}

void ModelSession::Save(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Program& program = TheProgram();
  std::lock_guard<std::mutex> catalogue(program.catalogueMutex);
  CollectingSink sink;
  if (!WriteModelFile(document_, std::filesystem::absolute(path).string(),
                      program.startup.catalogue, sink)) {
    throw VireonError("could not save " + path + (sink.text().empty() ? "" : ": ") +
                      WithoutCarriageReturns(sink.text()));
  }
}

std::string ModelSession::SbmlText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  SbmlExportResult result = ExportSbml(document_.model);
  if (!result.exported) {
    std::string text = "the model cannot be written as SBML:";
    for (const std::string& problem : result.problems) text += "\n  " + problem;
    throw VireonError(text);
  }
  return result.text;
}

}  // namespace vireon::python
