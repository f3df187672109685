#include "document/model_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "document/events_section.h"
#include "document/fast_steps_section.h"
#include "document/fit_section.h"
#include "document/rules_sections.h"
#include "kinetics/user_kinetics_section.h"
#include "model/messages.h"
#include "model/record_cursor.h"
#include "model/replace_file.h"
#include "model/solver_options.h"
#include "model/structural_analysis.h"
#include "output/number_format.h"
#include "output/output_file_names.h"
#include "output/output_item_record.h"
#include "scan/scan_record.h"

namespace vireon {

namespace {

// Metabolite type codes a file may carry.
constexpr int kMaxMetaboliteType = MOIETY;

// The fewest lines each record of the model section takes: a metabolite
// (name, concentration, compartment, type), a step (name, equation, type,
// flux, reversibility and four counts), a compartment (name, volume), and
// the section's fixed lines ("Stoichiometry", "TotalUDKinetics", and the
// comments' "Comments", text and "EndComments").
constexpr long long kMetaboliteLines = 4;
constexpr long long kStepLines = 9;
constexpr long long kCompartmentLines = 2;
constexpr long long kModelFixedLines = 5;

// The version number of the string table, read without the C library's
// locale (which may want a decimal comma).
float ProgramVersion() {
  float version = 0.0f;
  ScanFields<float>(messages::kVersion, "%f", &version);
  return version;
}

// ---------------------------------------------------------------- writing

// One-line values cannot hold a line break: it would end the value early
// and make the rest of the file unreadable.
std::string OneLine(std::string_view text) {
  std::string line(text);
  std::replace(line.begin(), line.end(), '\r', ' ');
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void Int(std::string_view key, long long value) {
    out_ += key;
    out_ += '=';
    out_ += std::to_string(value);
    out_ += '\n';
  }
  void Real(std::string_view key, const char* format, double value) {
    out_ += key;
    out_ += '=';
    out_ += FormatRealExactly(format, value);
    out_ += '\n';
  }
  void Text(std::string_view key, std::string_view value) {
    out_ += key;
    out_ += '=';
    out_ += OneLine(value);
    out_ += '\n';
  }
  void Line(std::string_view text) {
    out_ += text;
    out_ += '\n';
  }
  std::string& out() { return out_; }

 private:
  std::string& out_;
};

void WriteMetabolite(Writer& w, const Metabolite& m) {
  w.Text("Metabolite", m.name);
  w.Real("Concentration", "%.16lf", m.initialConcentration);
  w.Int("Compartment", m.compartment);
  w.Int("Type", m.type);
}

void WriteStep(Writer& w, const Step& step) {
  w.Text("Step", step.name);
  w.Text("Equation", step.equation);
  std::string typeName = step.kineticTypeName;
  if (typeName.empty() && step.kineticType != nullptr) typeName = step.kineticType->name;
  w.Text("KineticType", typeName);
  w.Real("Flux", "%.16lf", step.flux);
  w.Int("Reversible", step.reversible);
  w.Int("Substrates", static_cast<long long>(step.substrates.size()));
  w.Int("Products", static_cast<long long>(step.products.size()));
  w.Int("Modifiers", static_cast<long long>(step.modifiers.size()));
  w.Int("Constants", static_cast<long long>(step.constants.size()));
  const auto list = [&w](const char* key, const std::vector<int>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      w.Int(key + std::to_string(i), values[i]);
    }
  };
  list("Subs", step.substrates);
  list("Prod", step.products);
  list("Modf", step.modifiers);
  for (std::size_t i = 0; i < step.constants.size(); ++i) {
    w.Real("Param" + std::to_string(i), "%.16lf", step.constants[i]);
  }
}

void WriteModelSection(Writer& w, const Model& model, const KineticCatalogue& catalogue) {
  w.Text("Title", model.title);
  w.Int("TotalMetabolites", model.nMetabolites());
  w.Int("TotalSteps", model.nSteps());
  w.Int("TotalMoieties", model.nMoieties());
  w.Int("TotalCompartments", model.nCompartments());
  w.Line("Stoichiometry");
  std::string& out = w.out();
  for (int m = 0; m < model.nMetabolites(); ++m) {
    for (int s = 0; s < model.nSteps(); ++s) {
      const bool stored = m < model.stoichiometry.rows() && s < model.stoichiometry.columns();
      AppendFormat(out, "%f ", stored ? static_cast<double>(model.stoichiometry[m][s]) : 0.0);
    }
    out += '\n';
  }
  std::ostringstream kinetics;
  WriteUserKineticsSection(model, catalogue, kinetics);
  out += kinetics.str();
  for (const Metabolite& m : model.metabolites) WriteMetabolite(w, m);
  for (const Metabolite& m : model.moieties) WriteMetabolite(w, m);
  for (const Step& step : model.steps) WriteStep(w, step);
  for (const Compartment& c : model.compartments) {
    w.Text("Compartment", c.name);
    w.Real("Volume", "%le", c.volume);
  }
  out += "Comments\n";
  out += model.comments;
  out += "\nEndComments\n";
}

// The entries are written as held, also one that names no item of the
// plotted selection (an item removed after it was chosen): the Plot page and
// the plot script pass over such an entry.
void WritePlotSettings(Writer& w, const PlotSettings& plot) {
  w.Int("PlotType", plot.plotType);
  w.Int("PlotDyn", plot.plotDyn);
  w.Int("Plot3d", plot.plot3d);
  w.Int("PlotGrid", plot.plotGrid);
  w.Int("PlotKey", plot.plotKey);
  w.Int("PlotTitles", plot.plotTitles);
  w.Int("PlotMultiplot", plot.plotMultiplot);
  w.Int("PlotContour", plot.plotContour);
  w.Int("PlotHidden3d", plot.plotHidden3d);
  w.Int("PlotLogX", plot.plotLogX);
  w.Int("PlotLogY", plot.plotLogY);
  w.Int("PlotLogZ", plot.plotLogZ);
  w.Int("PlotXEntry", plot.plotXEntry);
  w.Int("PlotYTotal", static_cast<long long>(plot.plotY.size()));
  w.Int("PlotZTotal", static_cast<long long>(plot.plotZ.size()));
  for (std::size_t i = 0; i < plot.plotY.size(); ++i) {
    w.Int("PlotY" + std::to_string(i), plot.plotY[i]);
  }
  for (std::size_t i = 0; i < plot.plotZ.size(); ++i) {
    w.Int("PlotZ" + std::to_string(i), plot.plotZ[i]);
  }
}

// ---------------------------------------------------------------- reading

// Stops the reading; carries the line number ParseModelBuffer returns.
struct LoadFailed {
  int line;
};

long long CountLines(std::string_view text) {
  // The cursor appends a line feed, which opens one more (empty) line.
  long long count = 2;
  // memchr strides over the long lines of a large stoichiometry matrix far
  // faster than a byte-by-byte count.
  const char* end = text.data() + text.size();
  for (const char* at = text.data(); at != end; ++at, ++count) {
    at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (at == nullptr) break;
  }
  return count;
}

class Reader {
 public:
  Reader(Document& document, std::string buffer, KineticCatalogue& catalogue,
         const DefaultValues& defaults, MessageSink& sink)
      : totalLines_(CountLines(buffer)),
        bufferSize_(buffer.size() + 1),
        cursor_(std::move(buffer)),
        base_(cursor_.LineWithFeed().data()),
        document_(document),
        catalogue_(catalogue),
        defaults_(defaults),
        sink_(sink) {}

  // Reads the whole file into the document; throws LoadFailed.
  void Read();

 private:
  // Top level: a failure ends the load with "Error in line %d".
  [[noreturn]] void FailTopLevel(int line) {
    sink_.Error("", Format(kErrorInLine, line));
    throw LoadFailed{line};
  }
  template <typename... Ts>
  void Field(FieldFormatFor<Ts...> format, Ts*... destinations) {
    if (!ReadFieldLine<Ts...>(cursor_, sink_, format, destinations...)) {
      FailTopLevel(cursor_.lineNumber());
    }
  }
  int IntField(FieldFormatFor<int> format) {
    int value = 0;
    Field<int>(format, &value);
    return value;
  }
  int FlagField(FieldFormatFor<int> format) { return IntField(format) != 0 ? 1 : 0; }
  double RealField(FieldFormatFor<double> format) {
    double value = 0.0;
    Field<double>(format, &value);
    return value;
  }
  std::string TextField() {
    std::optional<std::string> value = ReadStringLine(cursor_, sink_);
    if (!value) FailTopLevel(cursor_.lineNumber());
    return std::move(*value);
  }

  // Model section: a failure reports its own message, then "Error in line
  // %d" with the line on which the section begins.
  [[noreturn]] void FailModel() { FailTopLevel(modelLine_); }
  template <typename... Ts>
  void ModelField(FieldFormatFor<Ts...> format, Ts*... destinations) {
    if (!ReadFieldLine<Ts...>(cursor_, sink_, format, destinations...)) FailModel();
  }
  std::string ModelText() {
    std::optional<std::string> value = ReadStringLine(cursor_, sink_);
    if (!value) FailModel();
    return std::move(*value);
  }
  // A header line whose text is not examined.
  void ModelHeader() {
    if (!CheckFields(cursor_.AtEndOfData() ? kEndOfData : 0, 0, cursor_.lineNumber(), sink_) ||
        !NextLine(cursor_)) {
      FailModel();
    }
  }
  [[noreturn]] void ModelError(const std::string& text) {
    sink_.Error(messages::kFileErrorTitle, text);
    FailModel();
  }
  [[noreturn]] void StepError(const std::string& text) {
    sink_.Error("", text);
    FailModel();
  }
  void ModelWarning(const std::string& text) { sink_.Warning(messages::kFileWarningTitle, text); }

  // Lines and characters from the current line to the end of the text.
  long long RemainingLines() const { return totalLines_ - cursor_.lineNumber() + 1; }
  long long RemainingBytes() const {
    return static_cast<long long>(bufferSize_) -
           static_cast<long long>(cursor_.LineWithFeed().data() - base_);
  }

  void ReadSettings();
  void ReadModel();
  void ReadStoichiometryRow(int metabolite, int nSteps);
  void ReadMetabolite(Metabolite& m);
  void ReadStep(Step& step, int nMetabolites);
  int ReadCount(FieldFormatFor<int> format, const char* negative, const char* what,
                const std::string& stepName);
  void ReadComments();
  void ReadPlotSettings();
  void ReadPlotEntries(FieldFormatFor<int> format, int count, std::vector<int>& entries);
  void CheckSection(SelectionLoadStatus status, int start, int headerLines);

  long long totalLines_;
  std::size_t bufferSize_;
  RecordCursor cursor_;
  const char* base_;  // start of the cursor's text
  Document& document_;
  KineticCatalogue& catalogue_;
  const DefaultValues& defaults_;
  MessageSink& sink_;
  int modelLine_ = 0;
  // The file's lines end in a carriage return and a line feed: the writer
  // never ends the version line with a carriage return, so a file that does
  // has had its line ends converted (edited on Windows).
  bool carriageReturnLines_ = false;
};

// The key of the time course's rows at the events.
constexpr std::string_view kEventRowsKey = "DynEventRows";
constexpr std::string_view kAnalyticJacobianKey = "AnalyticJacobian";
constexpr std::string_view kSparseFactorisationKey = "SparseFactorisation";
// The key of the integrator, written only when it is not LSODA.
constexpr std::string_view kIntegratorKey = "Integrator";

void Reader::ReadSettings() {
  TaskSettings& s = document_.settings;
  float version = 0.0f;
  Field<float>("Version=%f", &version);
  if (version > ProgramVersion()) sink_.Information(messages::kNewerVersion);

  s.endTime = RealField("EndTime=%lf");
  // An end time of 0 is kept: a run or the Tasks page says what it lacks.
  if (s.endTime != 0.0 && !IsUsableEndTime(s.endTime)) {
    sink_.Information(messages::kEndTimeReset);
    s.endTime = IsUsableEndTime(defaults_.endTime) ? defaults_.endTime : TaskSettings{}.endTime;
  }
  s.points = IntField("Points=%d");
  if (s.points < 0) {
    sink_.Information(messages::kPointsReset);
    s.points = defaults_.points;
  }
  s.realTime = IntField("RealTime=%d");
  s.sleepTime = IntField("SleepTime=%d");
  s.timeUnit = TextField();
  s.concentrationUnit = TextField();
  s.volumeUnit = TextField();
  s.dynamics = IntField("Dynamics=%d");
  s.steadyState = IntField("SteadyState=%d");
  s.report = IntField("Report=%d");
  s.dynamicsData.titles = IntField("DynTitles=%d");
  s.steadyStateData.titles = IntField("SSTitles=%d");
  s.dynamicsData.quotes = IntField("DynQuotes=%d");
  s.steadyStateData.quotes = IntField("SSQuotes=%d");
  s.dynamicsData.columnWidth = IntField("DynColWidth=%d");
  s.steadyStateData.columnWidth = IntField("SSColWidth=%d");
  // The separators are character codes, kept in one byte.
  s.dynamicsData.separator = static_cast<char>(IntField("DynSeparator=%d"));
  s.steadyStateData.separator = static_cast<char>(IntField("SSSeparator=%d"));
  s.mcaUnscaled = IntField("SSMCAUnscaled=%d");
  SolverOptions& o = s.solver;
  o.steadyStateStrategy = static_cast<SteadyStateStrategy>(IntField("SSStrategy=%d"));
  o.backIntegration = IntField("SSBackIntegration=%d");
  s.reportStructuralAnalysis = IntField("RepStructuralAnalysis=%d");
  s.reportStabilityAnalysis = IntField("RepStabilityAnalysis=%d");
  s.reportMca = IntField("RepMCA=%d");

  // The numerical settings: one the solver options' check refuses is
  // replaced by the user's default after a message. A real that is not a
  // number is as invalid as a negative one. (The strategy is kept as read.)
  const auto keepOrReset = [this](auto& field, SolverOption option, const auto& message,
                                  const auto& fallback) {
    if (CheckSolverOption(option, field).ok()) return;
    sink_.Information(message);
    field = fallback;
  };
  o.newtonLimit = IntField("NewtonLimit=%d");
  keepOrReset(o.newtonLimit, SolverOption::kNewtonLimit, messages::kNewtonLimitReset,
              defaults_.newtonLimit);
  o.steadyStateResolution = RealField("SSResoltion=%lf");
  keepOrReset(o.steadyStateResolution, SolverOption::kSteadyStateResolution,
              messages::kResolutionReset, defaults_.steadyStateResolution);
  o.relativeTolerance = RealField("RelativeTolerance=%lf");
  keepOrReset(o.relativeTolerance, SolverOption::kRelativeTolerance,
              messages::kRelativeToleranceReset, defaults_.relativeTolerance);
  o.absoluteTolerance = RealField("AbsoluteTolerance=%lf");
  keepOrReset(o.absoluteTolerance, SolverOption::kAbsoluteTolerance,
              messages::kAbsoluteToleranceReset, defaults_.absoluteTolerance);
  o.adamsMaxOrder = IntField("AdamsMaxOrder=%d");
  keepOrReset(o.adamsMaxOrder, SolverOption::kAdamsMaxOrder, messages::kAdamsOrderReset,
              defaults_.adamsMaxOrder);
  o.bdfMaxOrder = IntField("BDFMaxOrder=%d");
  keepOrReset(o.bdfMaxOrder, SolverOption::kBdfMaxOrder, messages::kBdfOrderReset,
              defaults_.bdfMaxOrder);
  o.derivationFactor = RealField("DerivationFactor=%lf");
  keepOrReset(o.derivationFactor, SolverOption::kDerivationFactor, messages::kDerivationFactorReset,
              defaults_.derivationFactor);
  s.reportFile = TextField();
  s.dynamicsData.file = TextField();
  s.steadyStateData.file = TextField();
}

void Reader::ReadModel() {
  Model& model = document_.model;
  modelLine_ = cursor_.lineNumber();
  std::string title = ModelText();
  int nMetabolites = 0, nSteps = 0, nMoieties = 0, nCompartments = 0;
  ModelField<int>("TotalMetabolites=%d", &nMetabolites);
  if (nMetabolites < 0) ModelError(kNegativeMetabolites);
  ModelField<int>("TotalSteps=%d", &nSteps);
  if (nSteps < 0) ModelError(kNegativeSteps);
  ModelField<int>("TotalMoieties=%d", &nMoieties);
  if (nMoieties < 0 || nMoieties > nMetabolites) ModelError(kInvalidMoieties);
  ModelField<int>("TotalCompartments=%d", &nCompartments);
  if (nCompartments < 1) ModelError(kInvalidCompartments);

  // The counts must fit the file before anything is allocated for them: the
  // records need their lines, a stoichiometry row at least two characters
  // per value, and the matrices must stay within bounds.
  const long long metabolites = nMetabolites;
  const long long steps = nSteps;
  const long long neededLines = kModelFixedLines + metabolites * (1 + kMetaboliteLines) +
                                nMoieties * kMetaboliteLines + steps * kStepLines +
                                nCompartments * kCompartmentLines;
  if (neededLines > RemainingLines()) ModelError(kModelLongerThanFile);
  // Both counts are now below the number of lines, so their products fit.
  if (metabolites * std::max(1LL, 2 * steps) > RemainingBytes()) {
    ModelError(kModelLongerThanFile);
  }
  if (metabolites * metabolites > kMaxModelMatrixEntries ||
      metabolites * steps > kMaxModelMatrixEntries || steps * steps > kMaxModelMatrixEntries) {
    ModelError(kModelTooLarge);
  }

  model.Reset(nSteps, nMetabolites, 0, nMoieties, nCompartments, std::move(title));

  ModelHeader();  // "Stoichiometry"
  for (int m = 0; m < nMetabolites; ++m) ReadStoichiometryRow(m, nSteps);

  if (!ReadUserKineticsSection(cursor_, catalogue_, sink_)) FailModel();

  for (Metabolite& m : model.metabolites) ReadMetabolite(m);
  for (Metabolite& m : model.moieties) ReadMetabolite(m);
  for (Step& step : model.steps) ReadStep(step, nMetabolites);
  for (Compartment& c : model.compartments) {
    c.name = ModelText();
    ModelField<double>("Volume=%lf", &c.volume);
    if (!(c.volume > 0.0)) {
      ModelWarning(Format(kNullVolume, c.name.c_str()));
      c.volume = 1.0;
    }
  }
  ReadComments();
}

// The writer puts "0.000000" for every zero of the stoichiometry, which is
// almost all of it: such a field (with the blanks around it) is taken at
// once, as " %f " would take it, so that a large model reads in proportion
// to its steps. Returns false, taking nothing, for any other field.
bool SkipWrittenZero(std::string_view& rest) {
  constexpr std::string_view kWrittenZero = "0.000000";
  // The writer's own form, the zero and one blank before the next field,
  // is taken with one comparison.
  constexpr std::string_view kWrittenField = "0.000000 ";
  // (An equality test of a known length, which the compiler turns into two
  // loads and compares.)
  if (rest.size() >= kWrittenField.size() &&
      std::memcmp(rest.data(), kWrittenField.data(), kWrittenField.size()) == 0 &&
      (rest.size() == kWrittenField.size() || !detail::IsScanSpace(rest[kWrittenField.size()]))) {
    rest.remove_prefix(kWrittenField.size());
    return true;
  }
  std::size_t at = 0;
  while (at < rest.size() && detail::IsScanSpace(rest[at])) ++at;
  if (rest.substr(at, kWrittenZero.size()) != kWrittenZero) return false;
  at += kWrittenZero.size();
  if (at < rest.size() && !detail::IsScanSpace(rest[at])) return false;
  while (at < rest.size() && detail::IsScanSpace(rest[at])) ++at;
  rest.remove_prefix(at);
  return true;
}

void Reader::ReadStoichiometryRow(int metabolite, int nSteps) {
  const int line = cursor_.lineNumber();
  if (cursor_.AtEndOfData()) {
    CheckFields(kEndOfData, 1, line, sink_);
    FailModel();
  }
  std::string_view rest = cursor_.LineWithFeed();
  float* row = document_.model.stoichiometry[metabolite];
  for (int s = 0; s < nSteps; ++s) {
    if (SkipWrittenZero(rest)) {
      row[s] = 0.0f;
      continue;
    }
    float value = 0.0f;
    const ScanResult result = ScanFields<float>(rest, " %f ", &value);
    // Coefficients count molecules: an infinite or undefined one is as
    // unreadable as a missing one.
    if (result.fields != 1 || !std::isfinite(value)) {
      CheckFields(0, 1, line, sink_);
      FailModel();
    }
    row[s] = value;
    rest.remove_prefix(result.consumed);
  }
  if (!NextLine(cursor_)) FailModel();
}

void Reader::ReadMetabolite(Metabolite& m) {
  m.name = ModelText();
  ModelField<double>("Concentration=%lf", &m.initialConcentration);
  ModelField<int>("Compartment=%d", &m.compartment);
  if (m.compartment < 0 || m.compartment >= document_.model.nCompartments()) {
    ModelWarning(Format(kNonExistingCompartment, m.name.c_str()));
    m.compartment = 0;
  }
  ModelField<std::int16_t>("Type=%hd", &m.type);
  if (m.type < 0 || m.type > kMaxMetaboliteType) {
    ModelWarning(Format(kNonExistingType, m.name.c_str()));
    m.type = INDEPENDENT;
  }
  if (m.type != MOIETY && !(m.initialConcentration >= 0.0)) {
    ModelWarning(Format(kNegativeConcentration, m.name.c_str()));
    m.initialConcentration = defaults_.concentration;
  }
}

int Reader::ReadCount(FieldFormatFor<int> format, const char* negative, const char* what,
                      const std::string& stepName) {
  int count = 0;
  ModelField<int>(format, &count);
  if (count < 0) StepError(Format(negative, stepName.c_str()));
  // Every entry takes a line: a count beyond the lines left is refused
  // before the list is sized.
  if (count > RemainingLines()) StepError(Format(kListLongerThanFile, what, stepName.c_str()));
  return count;
}

void Reader::ReadStep(Step& step, int nMetabolites) {
  step.name = ModelText();
  step.equation = ModelText();
  step.kineticTypeName = ModelText();
  step.kineticType = catalogue_.Find(step.kineticTypeName);
  if (step.kineticType == nullptr) StepError(kUnknownKineticType);
  ModelField<double>("Flux=%lf", &step.flux);
  ModelField<std::int16_t>("Reversible=%hd", &step.reversible);
  const int nSubstrates = ReadCount("Substrates=%d", kNegativeSubstrates, "substrates", step.name);
  const int nProducts = ReadCount("Products=%d", kNegativeProducts, "products", step.name);
  const int nModifiers = ReadCount("Modifiers=%d", kNegativeModifiers, "modifiers", step.name);
  const int nConstants = ReadCount("Constants=%d", kNegativeConstants, "constants", step.name);

  const auto index = [&](FieldFormatFor<int> format, int i, const char* negative,
                         const char* missing, int lowest) {
    int metabolite = 0;
    ModelField<int>(format, &metabolite);
    if (metabolite < lowest) StepError(Format(negative, i, step.name.c_str()));
    if (metabolite >= nMetabolites) StepError(Format(missing, i, step.name.c_str()));
    return metabolite;
  };
  step.SizeSubstrates(nSubstrates);
  for (int i = 0; i < nSubstrates; ++i) {
    step.AppendSubstrate(index("Subs%*d=%d", i, kNegativeSubstrate, kMissingSubstrate, 0));
  }
  step.SizeProducts(nProducts);
  for (int i = 0; i < nProducts; ++i) {
    step.AppendProduct(index("Prod%*d=%d", i, kNegativeProduct, kMissingProduct, 0));
  }
  // A modifier of -1 is one not yet assigned (a step whose kinetic type
  // changed keeps it so until the user chooses); the model saves it as it
  // is, so it must read back.
  step.ResizeModifiers(nModifiers);
  for (int i = 0; i < nModifiers; ++i) {
    step.modifiers[static_cast<std::size_t>(i)] =
        index("Modf%*d=%d", i, kNegativeModifier, kMissingModifier, -1);
  }
  step.ResizeConstants(nConstants);
  for (int i = 0; i < nConstants; ++i) {
    ModelField<double>("Param%*d=%lf", &step.constants[static_cast<std::size_t>(i)]);
  }
}

void Reader::ReadComments() {
  ModelHeader();  // "Comments"
  std::string comments;
  for (bool first = true;; first = false) {
    if (cursor_.AtEndOfData()) {
      CheckFields(kEndOfData, 1, cursor_.lineNumber(), sink_);
      FailModel();
    }
    std::string_view line = cursor_.Line();
    if (line == "EndComments" || (carriageReturnLines_ && line == "EndComments\r")) break;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!first) comments += "\r\n";
    comments += line;
    if (!NextLine(cursor_)) FailModel();
  }
  if (!NextLine(cursor_)) FailModel();
  document_.model.comments = std::move(comments);
}

void Reader::ReadPlotSettings() {
  PlotSettings& plot = document_.plot;
  plot.plotType = IntField("PlotType=%d");
  if (plot.plotType < 0 || plot.plotType >= kPlotStyleCount) plot.plotType = kPlotDots;
  plot.plotDyn = FlagField("PlotDyn=%d");
  plot.plot3d = FlagField("Plot3d=%d");
  plot.plotGrid = FlagField("PlotGrid=%d");
  plot.plotKey = FlagField("PlotKey=%d");
  plot.plotTitles = FlagField("PlotTitles=%d");
  plot.plotMultiplot = FlagField("PlotMultiplot=%d");
  plot.plotContour = FlagField("PlotContour=%d");
  plot.plotHidden3d = FlagField("PlotHidden3d=%d");
  plot.plotLogX = FlagField("PlotLogX=%d");
  plot.plotLogY = FlagField("PlotLogY=%d");
  plot.plotLogZ = FlagField("PlotLogZ=%d");
  plot.plotXEntry = std::max(IntField("PlotXEntry=%d"), kNoPlotEntry);
  const int yLine = cursor_.lineNumber();
  const int yTotal = IntField("PlotYTotal=%d");
  if (yTotal < 0 || yTotal > RemainingLines()) FailTopLevel(yLine);
  const int zLine = cursor_.lineNumber();
  const int zTotal = IntField("PlotZTotal=%d");
  if (zTotal < 0 || zTotal > RemainingLines()) FailTopLevel(zLine);
  ReadPlotEntries("PlotY%*d=%d", yTotal, plot.plotY);
  ReadPlotEntries("PlotZ%*d=%d", zTotal, plot.plotZ);
}

// An entry at or beyond the end of the plotted selection is kept as it is:
// the Plot page selects only entries within its lists, and the plot script
// passes over the others.
void Reader::ReadPlotEntries(FieldFormatFor<int> format, int count, std::vector<int>& entries) {
  entries.clear();
  for (int i = 0; i < count; ++i) entries.push_back(std::max(IntField(format), kNoPlotEntry));
}

// A section's header and count lines are the top level's: a bad or negative
// count ends with "Error in line %d" for the line that holds it. A failed
// record has said what went wrong itself.
void Reader::CheckSection(SelectionLoadStatus status, int start, int headerLines) {
  if (status == SelectionLoadStatus::kBadCount) {
    FailTopLevel(std::min(cursor_.lineNumber(), start + headerLines));
  }
  if (status == SelectionLoadStatus::kBadRecord) throw LoadFailed{cursor_.lineNumber()};
}

void Reader::Read() {
  carriageReturnLines_ = cursor_.Line().ends_with('\r');
  ReadSettings();
  ReadModel();
  ReadPlotSettings();
  int start = cursor_.lineNumber();
  CheckSection(LoadOutputFunctionSection(cursor_, sink_, document_.functions), start, 1);
  start = cursor_.lineNumber();
  CheckSection(LoadSelection(cursor_, sink_, document_.selections.interactive), start, 1);
  start = cursor_.lineNumber();
  CheckSection(LoadSelection(cursor_, sink_, document_.selections.timeCourse), start, 1);
  start = cursor_.lineNumber();
  CheckSection(LoadSelection(cursor_, sink_, document_.selections.steadyState), start, 1);
  start = cursor_.lineNumber();
  CheckSection(LoadScanSection(cursor_, sink_, document_.scan), start, 2);
  start = cursor_.lineNumber();
  CheckSection(LoadParameterLinkSection(cursor_, sink_, document_.links), start, 1);
  const RulesSectionsLoad rules = LoadRulesSections(cursor_, sink_, document_.model);
  if (rules.status == SelectionLoadStatus::kBadCount) FailTopLevel(rules.line);
  if (rules.status == SelectionLoadStatus::kBadRecord) throw LoadFailed{rules.line};
  const EventsSectionLoad events = LoadEventsSection(cursor_, sink_, document_.model);
  if (events.status == SelectionLoadStatus::kBadCount) FailTopLevel(events.line);
  if (events.status == SelectionLoadStatus::kBadRecord) throw LoadFailed{events.line};
  const FastStepsSectionLoad fast = LoadFastStepsSection(cursor_, sink_, document_.model);
  if (fast.status == SelectionLoadStatus::kBadCount) FailTopLevel(fast.line);
  if (fast.status == SelectionLoadStatus::kBadRecord) throw LoadFailed{fast.line};
  // The settings written only when they are on follow everything else.
  if (!cursor_.AtEndOfData() && cursor_.Line().starts_with("DynEventRows=")) {
    document_.settings.eventRows = FlagField("DynEventRows=%d");
  }
  if (!cursor_.AtEndOfData() && cursor_.Line().starts_with("AnalyticJacobian=")) {
    document_.settings.solver.analyticJacobian = FlagField("AnalyticJacobian=%d");
  }
  if (!cursor_.AtEndOfData() && cursor_.Line().starts_with("SparseFactorisation=")) {
    document_.settings.solver.sparseFactorisation = FlagField("SparseFactorisation=%d");
  }
  SolverOptions& solver = document_.settings.solver;
  solver.integrator = Integrator::kLsoda;
  if (!cursor_.AtEndOfData() && cursor_.Line().starts_with("Integrator=")) {
    if (const std::optional<Integrator> integrator = IntegratorNamed(TextField())) {
      solver.integrator = *integrator;
    } else {
      sink_.Information(messages::kIntegratorReset);
    }
  }
  // The fit, when the document stores one, follows everything else.
  const FitSectionLoad fit = LoadFitSection(cursor_, sink_, document_.fit);
  if (fit.status != SelectionLoadStatus::kOk) throw LoadFailed{fit.line};
  StructuralAnalysis(document_.model);
}

// Takes out the types a failed load entered in the catalogue (they come
// after the ones it held before).
void RemoveAddedTypes(KineticCatalogue& catalogue, int sizeBefore) {
  std::vector<std::string> added;
  for (int i = sizeBefore; i < catalogue.size(); ++i) added.push_back(catalogue.at(i)->name);
  for (const std::string& name : added) catalogue.Remove(name);
}

}  // namespace

std::string ModelFileText(const Document& document, const KineticCatalogue& catalogue) {
  std::string out;
  Writer w(out);
  const TaskSettings& s = document.settings;
  AppendFormat(out, "Version=%.5f\n", static_cast<double>(ProgramVersion()));
  w.Real("EndTime", "%le", s.endTime);
  w.Int("Points", s.points);
  w.Int("RealTime", s.realTime);
  w.Int("SleepTime", s.sleepTime);
  w.Text("TimeUnit", s.timeUnit);
  w.Text("ConcentrationUnit", s.concentrationUnit);
  w.Text("VolumeUnit", s.volumeUnit);
  w.Int("Dynamics", s.dynamics);
  w.Int("SteadyState", s.steadyState);
  w.Int("Report", s.report);
  w.Int("DynTitles", s.dynamicsData.titles);
  w.Int("SSTitles", s.steadyStateData.titles);
  w.Int("DynQuotes", s.dynamicsData.quotes);
  w.Int("SSQuotes", s.steadyStateData.quotes);
  w.Int("DynColWidth", s.dynamicsData.columnWidth);
  w.Int("SSColWidth", s.steadyStateData.columnWidth);
  w.Int("DynSeparator", static_cast<unsigned char>(s.dynamicsData.separator));
  w.Int("SSSeparator", static_cast<unsigned char>(s.steadyStateData.separator));
  w.Int("SSMCAUnscaled", s.mcaUnscaled);
  const SolverOptions& o = s.solver;
  w.Int("SSStrategy", static_cast<int>(o.steadyStateStrategy));
  w.Int("SSBackIntegration", o.backIntegration);
  w.Int("RepStructuralAnalysis", s.reportStructuralAnalysis);
  w.Int("RepStabilityAnalysis", s.reportStabilityAnalysis);
  w.Int("RepMCA", s.reportMca);
  w.Int("NewtonLimit", o.newtonLimit);
  w.Real("SSResoltion", "%le", o.steadyStateResolution);
  w.Real("RelativeTolerance", "%le", o.relativeTolerance);
  w.Real("AbsoluteTolerance", "%le", o.absoluteTolerance);
  w.Int("AdamsMaxOrder", o.adamsMaxOrder);
  w.Int("BDFMaxOrder", o.bdfMaxOrder);
  w.Real("DerivationFactor", "%le", o.derivationFactor);
  w.Text("ReportFile", s.reportFile);
  w.Text("DynamicsFile", s.dynamicsData.file);
  w.Text("SSFile", s.steadyStateData.file);

  WriteModelSection(w, document.model, catalogue);

  WritePlotSettings(w, document.plot);
  SaveOutputFunctionSection(document.functions, out);
  SaveSelection(kInteractiveSection, document.selections.interactive, out);
  SaveSelection(kTimeCourseSection, document.selections.timeCourse, out);
  SaveSelection(kSteadyStateSection, document.selections.steadyState, out);
  SaveScanSection(document.scan, out);
  SaveParameterLinkSection(document.links, out);
  SaveRulesSections(document.model, out);
  // Only a file that asks for rows at the events has the line, so that
  // every other file is what it always was.
  if (s.eventRows != 0) w.Int(kEventRowsKey, s.eventRows);
  if (o.analyticJacobian != 0) w.Int(kAnalyticJacobianKey, o.analyticJacobian);
  if (o.sparseFactorisation != 0) w.Int(kSparseFactorisationKey, o.sparseFactorisation);
  if (o.integrator != Integrator::kLsoda) w.Text(kIntegratorKey, IntegratorName(o.integrator));
  SaveFitSection(document.fit, out);
  return out;
}

int ParseModelBuffer(Document& document, std::string buffer, KineticCatalogue& catalogue,
                     const DefaultValues& defaults, MessageSink& sink) {
  const int catalogueSize = catalogue.size();
  try {
    Reader reader(document, std::move(buffer), catalogue, defaults, sink);
    reader.Read();
  } catch (const LoadFailed& failure) {
    RemoveAddedTypes(catalogue, catalogueSize);
    return std::max(failure.line, 1);
  }
  return 0;
}

bool WriteModelFile(Document& document, const std::string& path, const KineticCatalogue& catalogue,
                    MessageSink& sink) {
  // A document that has never been saved takes its report name from the
  // name it is being saved under.
  document.settings.reportFile =
      ReportFileNameFor(document.pathName.empty() ? path : document.pathName);
  // The replacement leaves errno at the cause of its failure; the message
  // names the cause in the words of the other file errors.
  std::string systemText;
  errno = 0;
  if (!ReplaceFileContents(path, ModelFileText(document, catalogue), systemText)) {
    const FileErrorCause cause =
        errno != 0 ? FileErrorCauseFromErrno(errno) : FileErrorCause::kGeneric;
    sink.Error(messages::kFileErrorTitle, std::string(FileErrorText(cause)) + kFileNotSaved);
    return false;
  }
  document.pathName = path;
  document.folder = FolderOf(path);
  document.modified = false;
  return true;
}

bool ReadModelFile(Document& document, const std::string& path, KineticCatalogue& catalogue,
                   const DefaultValues& defaults, MessageSink& sink) {
  NewDocument(document, defaults);
  std::string contents;
  const FileErrorCause cause = ReadWholeFile(path, contents);
  if (cause != FileErrorCause::kNone) {
    sink.Error(messages::kFileErrorTitle, std::string(FileErrorText(cause)) + kFileNotOpened);
    return false;
  }
  if (ParseModelBuffer(document, std::move(contents), catalogue, defaults, sink) != 0) {
    NewDocument(document, defaults);
    return false;
  }
  document.pathName = path;
  document.folder = FolderOf(path);
  // The names stay as the file has them (a save writes them back), but a
  // run will not write those files; the user learns why now.
  const OutputNameContext names{path, ReportFileNameFor(path)};
  for (const std::string& problem : CheckDataFileNames(document.settings, names)) {
    sink.Warning(messages::kFileWarningTitle, problem + kDataFileNotWritten);
  }
  return true;
}

}  // namespace vireon
