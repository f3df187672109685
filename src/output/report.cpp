#include "output/report.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/engine_state.h"
#include "engine/task_settings.h"
#include "engine/time_course_events.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "output/number_format.h"
#include "output/output_file_names.h"
#include "rules/rule_expression.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

// Number of blanks before the column numbers of a matrix.
constexpr int kMatrixIndent = 14;

// An element of a matrix indexed by position, 0 outside what it holds (a
// model whose structural analysis has not sized the matrix).
template <typename T>
double ElementOr0(const Matrix<T>& matrix, int row, int column) {
  if (row < 0 || column < 0 || row >= matrix.rows() || column >= matrix.columns()) return 0.0;
  return static_cast<double>(matrix.at(row, column));
}

double VectorOr0(const std::vector<double>& vector, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= vector.size()) return 0.0;
  return vector[static_cast<std::size_t>(index)];
}

int PositionOf(const std::vector<int>& positions, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) return -1;
  return positions[static_cast<std::size_t>(index)];
}

const std::string& MetaboliteAtPosition(const Model& model, int position) {
  static const std::string kNone;
  if (position < 0 || static_cast<std::size_t>(position) >= model.metaboliteOrder.size()) {
    return kNone;
  }
  int index = model.metaboliteOrder[static_cast<std::size_t>(position)];
  if (index < 0 || index >= model.nMetabolites()) return kNone;
  return model.metabolites[static_cast<std::size_t>(index)].name;
}

const std::string& StepAtPosition(const Model& model, int position) {
  int index = position;
  if (static_cast<std::size_t>(position) < model.stepOrder.size()) {
    index = model.stepOrder[static_cast<std::size_t>(position)];
  }
  if (index < 0 || index >= model.nSteps()) index = position;
  return model.steps[static_cast<std::size_t>(index)].name;
}

// The column numbers and the rule line above a matrix of `columns` columns.
void AppendMatrixHead(std::string& out, int columns) {
  out.append(kMatrixIndent, ' ');
  for (int c = 0; c < columns; ++c) AppendFormat(out, "%2d  ", c);
  out += "\n";
  out.append(11, ' ');
  out += "-";
  for (int c = 0; c < columns; ++c) out += "----";
  out += "-\n";
}

// One row of a matrix: the metabolite at that position cut or padded to 10
// characters, then every element rounded to a whole number.
template <typename T>
void AppendMatrixRow(std::string& out, const Model& model, const Matrix<T>& matrix, int row,
                     int columns) {
  AppendFormat(out, "%-10.10s | ", MetaboliteAtPosition(model, row).c_str());
  for (int c = 0; c < columns; ++c) AppendFormat(out, " % 1.0f ", ElementOr0(matrix, row, c));
  out += "\n";
}

// The length of a text in characters: every byte of UTF-8 text but the
// continuation bytes starts a character, so a file name with accented
// letters widens the banner by its letters, not by its bytes.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void AppendCentred(std::string& out, std::string_view text, std::size_t width) {
  const std::size_t length = CharacterCount(text);
  const std::size_t left = (width - length) / 2;
  const std::size_t right = width - length - left;
  out += "* ";
  out.append(left, ' ');
  out += text;
  out.append(right, ' ');
  out += " *\n";
}

bool WriteToReport(const ReportContext& context, std::string_view text, bool truncate,
                   std::string& errorLog) {
  const std::string& path = context.settings.reportFile;
  std::string reason;
  const int fd = OpenOutputFile(path, truncate ? OutputMode::kTruncate : OutputMode::kAppend,
                                context.protectedFiles, reason);
  std::FILE* file = fd >= 0 ? ::fdopen(fd, truncate ? "w" : "a") : nullptr;
  if (fd >= 0 && file == nullptr) {
    reason = std::strerror(errno);
    ::close(fd);
  }
  if (file != nullptr) {
    int error = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error == 0) return true;
    reason = std::strerror(error);
  }
  errorLog += "Could not write the report file \"";
  errorLog += PrintableName(path);
  errorLog += "\": ";
  errorLog += reason;
  errorLog += "\r\n";
  return false;
}

// A rule's target as the output items title the quantity: "[A]" for a
// metabolite's concentration, "V(c)" for a volume, "R1(Km)" for a kinetic
// constant, the name of a global quantity.
std::string RuleTargetText(const RuleTarget& target) {
  switch (target.kind) {
    case RuleTargetKind::kMetabolite:
      return "[" + target.name + "]";
    case RuleTargetKind::kCompartmentVolume:
      return "V(" + target.name + ")";
    case RuleTargetKind::kKineticConstant:
      return target.name + "(" + target.constant + ")";
    case RuleTargetKind::kStoichiometry:
      return target.name + ":" + target.constant;
    case RuleTargetKind::kGlobalQuantity:
      break;
  }
  return target.name;
}

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

}  // namespace

std::string ReportVersionLine(std::string_view version) {
  // The version number is held as a single-precision number: 3.00301 shows
  // as 3.00; a third decimal of 1 or 2 marks an alpha or beta release whose
  // number follows in the next two decimals.
  float number = 0.0f;
  std::from_chars(version.data(), version.data() + version.size(), number);
  const double v = static_cast<double>(number);
  const double hundredths = std::floor(100.0 * v);
  const double shown = hundredths / 100.0;
  const double rest = 100.0 * v - hundredths;
  if (rest != 0.0) {
    const double k = std::floor(10.0 * rest);
    const double release = (10.0 * rest - k) * 100.0;
    if (k == 1.0) return Format("Vireon version %.2f alpha %.0f", shown, release);
    if (k == 2.0) return Format("Vireon version %.2f beta %.0f", shown, release);
  }
  return Format("Vireon version %.2f", shown);
}

std::string ReportDateLine(const std::tm& localTime) {
  const int weekday = std::clamp(localTime.tm_wday, 0, 6);
  const int month = std::clamp(localTime.tm_mon, 0, 11);
  return Format("%s, %02d %s %d, %02d:%02d", kWeekdays[weekday], localTime.tm_mday, kMonths[month],
                localTime.tm_year + 1900, localTime.tm_hour, localTime.tm_min);
}

std::string ReportHeaderText(const ReportContext& context, const std::tm& localTime) {
  const std::string date = ReportDateLine(localTime);
  const std::size_t width =
      std::max({CharacterCount(context.settings.reportFile), CharacterCount(context.versionLine),
                CharacterCount(context.platformLine), CharacterCount(date)});
  std::string out;
  out.append(width + 4, '*');
  out += "\n";
  AppendCentred(out, context.versionLine, width);
  AppendCentred(out, context.platformLine, width);
  AppendCentred(out, date, width);
  out.append(width + 4, '*');
  out += "\n\n";
  out += context.model.title;
  out += "\n";
  if (context.settings.reportComments != 0) {
    out += "\n";
    for (char c : context.model.comments) {
      if (c != '\r') out += c;
    }
    out += "\n";
  }
  return out;
}

std::string ReportStructureText(const ReportContext& context) {
  const Model& model = context.model;
  const int nSteps = model.nSteps();
  std::string out = "\nSTRUCTURAL ANALYSIS\n";
  // The columns of the reduced stoichiometry hold the steps in the order of
  // the analysis, so the key names the step of each column.
  out += "\nkey for step (column) numbers:";
  for (int q = 0; q < nSteps; ++q) {
    AppendFormat(out, "\n%2d - %s", q, StepAtPosition(model, q).c_str());
  }
  out += "\n\nREDUCED STOICHIOMETRY MATRIX\n";
  AppendMatrixHead(out, nSteps);
  for (int r = 0; r < model.nIndependent; ++r) {
    AppendMatrixRow(out, model, model.reducedStoichiometry, r, nSteps);
  }
  out += "\nINVERSE OF THE REDUCTION MATRIX\n\n";
  AppendMatrixHead(out, model.nVariable);
  for (int r = 0; r < model.nVariable; ++r) {
    AppendMatrixRow(out, model, model.link, r, model.nVariable);
  }
  if (model.nMoieties() > 0) {
    out += "\nCONSERVATION RELATIONSHIPS\n";
    for (const Metabolite& moiety : model.moieties) {
      AppendFormat(out, "%s = %lg\n", moiety.name.c_str(), moiety.initialConcentration);
    }
  }
  return out;
}

std::string ReportParametersText(const ReportContext& context) {
  const Model& model = context.model;
  std::string out = "\nKINETIC PARAMETERS\n";
  for (const Step& step : model.steps) {
    const KineticType* type = step.kineticType;
    const std::string& typeName = type != nullptr ? type->name : step.kineticTypeName;
    AppendFormat(out, "%s (%s)\n", step.name.c_str(), typeName.c_str());
    if (type == nullptr) continue;
    const std::size_t count = std::min(type->constantNames.size(), step.constants.size());
    for (std::size_t k = 0; k < count; ++k) {
      AppendFormat(out, " %s = % .4le\n", type->constantNames[k].c_str(), step.constants[k]);
    }
  }
  out += "\nCOMPARTMENTS\n";
  for (const Compartment& compartment : model.compartments) {
    AppendFormat(out, "V(%s) = % .4le\n", compartment.name.c_str(), compartment.volume);
  }
  // Only models that have them get these sections, so that the report of
  // any other model stays as it was.
  if (!model.globalQuantities.empty()) {
    out += "\nGLOBAL QUANTITIES\n";
    for (const GlobalQuantity& quantity : model.globalQuantities) {
      AppendFormat(out, "%s = % .4le\n", quantity.name.c_str(), quantity.value);
    }
  }
  if (!model.rules.empty()) {
    out += "\nRULES\n";
    for (const Rule& rule : model.rules) {
      if (rule.kind == RuleKind::kAlgebraic) {
        AppendFormat(out, "%-18s 0 = %s (determines %s)\n", RuleKindWord(rule.kind).c_str(),
                     rule.expression.c_str(), RuleTargetText(rule.target).c_str());
        continue;
      }
      AppendFormat(out, "%-18s %s%s = %s\n", RuleKindWord(rule.kind).c_str(),
                   rule.kind == RuleKind::kRate ? "d/dt " : "", RuleTargetText(rule.target).c_str(),
                   rule.expression.c_str());
    }
  }
  if (!model.events.empty()) {
    // One line per event, its flags only where they differ from the
    // usual choice, then its assignments.
    out += "\nEVENTS\n";
    for (const Event& event : model.events) {
      AppendFormat(out, "%s: when %s", event.name.c_str(), event.trigger.c_str());
      if (!event.delay.empty()) AppendFormat(out, ", after %s", event.delay.c_str());
      if (!event.priority.empty()) AppendFormat(out, ", priority %s", event.priority.c_str());
      if (!event.initialValue) out += ", may fire at time 0";
      if (!event.persistent) out += ", not persistent";
      if (!event.useValuesFromTriggerTime) out += ", values at execution";
      out += "\n";
      for (const EventAssignment& assignment : event.assignments) {
        AppendFormat(out, " %s%s = %s\n", assignment.amount ? "amount of " : "",
                     (assignment.amount ? assignment.target.name
                                        : RuleTargetText(assignment.target)).c_str(),
                     assignment.expression.c_str());
      }
    }
  }
  return out;
}

std::string ReportTimeCourseText(const ReportContext& context) {
  const Model& model = context.model;
  const TaskSettings& settings = context.settings;
  const char* time = settings.timeUnit.c_str();
  const char* concentration = settings.concentrationUnit.c_str();
  std::string out = Format("\nRESULTS OF INTEGRATION (after %.2le %s)\n", settings.endTime, time);
  // LSODA is the integrator a report names by saying nothing.
  if (settings.solver.integrator != Integrator::kLsoda) {
    AppendFormat(out, "Integrator: %s (backward differentiation formulas, Newton's iteration)\n",
                 IntegratorName(settings.solver.integrator));
  }
  for (const Metabolite& metabolite : model.metabolites) {
    AppendFormat(out, "[%10s] initial = % .6le %s, final = % .6le %s%s\n", metabolite.name.c_str(),
                 metabolite.initialConcentration, concentration, metabolite.concentration,
                 concentration, metabolite.concentration < 0.0 ? " BOGUS!" : "");
  }
  for (const Step& step : model.steps) {
    AppendFormat(out, "J(%10s) = % .6le %s/%s\n", step.name.c_str(), step.flux, concentration,
                 time);
  }
  return out;
}

std::string ReportEventExecutionsText(const ReportContext& context,
                                      const EventExecutionLog& executions) {
  const Model& model = context.model;
  const char* time = context.settings.timeUnit.c_str();
  std::string out = "\nEVENT EXECUTIONS\n";
  for (std::size_t e = 0; e < model.events.size(); ++e) {
    const char* name = model.events[e].name.c_str();
    const EventExecutionLog::Times none;
    const EventExecutionLog::Times& times =
        e < executions.events.size() ? executions.events[e] : none;
    if (times.count == 0) {
      AppendFormat(out, "%s: not carried out\n", name);
      continue;
    }
    AppendFormat(out, "%s: carried out %lld time%s\n", name, times.count,
                 times.count == 1 ? "" : "s");
    for (double t : times.listed) AppendFormat(out, " at % .6le %s\n", t, time);
    // A long series ends with its count of times left out and its last.
    const auto listed = static_cast<long long>(times.listed.size());
    if (times.count > listed + 1) {
      AppendFormat(out, " ... %lld more ...\n", times.count - listed - 1);
    }
    if (times.count > listed) AppendFormat(out, " at % .6le %s\n", times.last, time);
  }
  return out;
}

namespace {

bool ModelCallsDelay(const Model& model) {
  for (const Rule& rule : model.rules) {
    if (CallsDelay(rule.expression)) return true;
  }
  for (const Event& event : model.events) {
    if (CallsDelay(event.trigger) || CallsDelay(event.delay) || CallsDelay(event.priority)) {
      return true;
    }
    for (const EventAssignment& assignment : event.assignments) {
      if (CallsDelay(assignment.expression)) return true;
    }
  }
  return false;
}

}  // namespace

std::string ReportSteadyStateText(const ReportContext& context) {
  const Model& model = context.model;
  const EngineState& engine = context.engine;
  const char* time = context.settings.timeUnit.c_str();
  const char* concentration = context.settings.concentrationUnit.c_str();
  if (engine.ssFailure != SteadyStateOutcome::kFound)
    return "\nA steady state could not be found.\n";
  std::string out = "\nSTEADY STATE SOLUTION\n";
  if (engine.equilibrium != 0) out += "(equilibrium)\n";
  // A steady state is a state, not a history: the events play no part.
  if (!model.events.empty()) out += "(the events of the model are ignored)\n";
  // At a steady state every quantity has had its value for ever, so the
  // state and its control coefficients are exact; the eigenvalues are of
  // the equations with every delay 0, not of the delayed ones.
  if (ModelCallsDelay(model)) {
    out +=
        "(each delay of the model reads its argument's value now; the eigenvalues are "
        "those without the delays)\n";
  }
  for (int m = 0; m < model.nMetabolites(); ++m) {
    const Metabolite& metabolite = model.metabolites[static_cast<std::size_t>(m)];
    double rate = 0.0;
    if (metabolite.type != FIXED) {
      // The engine's vectors are 1-based by position.
      rate = VectorOr0(engine.derivatives, PositionOf(model.metabolitePosition, m) + 1);
    }
    AppendFormat(out, "[%10s] = % .6le %s, tt = % .6le %s, rate = % .3le %s/%s",
                 metabolite.name.c_str(), metabolite.concentration, concentration,
                 metabolite.transitionTime, time, rate, concentration, time);
    if (metabolite.concentration < 0.0) out += " BOGUS!";
    out += "\n";
  }
  for (const Step& step : model.steps) {
    AppendFormat(out, "J(%s) = % .6le %s/%s\n", step.name.c_str(), step.flux, concentration, time);
  }
  // The quantities rules may change, at the steady state.
  for (std::size_t g = 0; g < model.globalQuantities.size(); ++g) {
    AppendFormat(out, "%s = % .6le\n", model.globalQuantities[g].name.c_str(),
                 VectorOr0(engine.quantityValues, static_cast<int>(g)));
  }
  for (const Rule& rule : model.rules) {
    if (rule.kind == RuleKind::kInitialAssignment ||
        rule.target.kind != RuleTargetKind::kCompartmentVolume) {
      continue;
    }
    const int c = model.FindCompartment(rule.target.name);
    AppendFormat(out, "V(%s) = % .6le\n", rule.target.name.c_str(), VectorOr0(engine.volumeValues, c));
  }
  return out;
}

std::string ReportStabilityText(const ReportContext& context) {
  const Model& model = context.model;
  const EngineState& engine = context.engine;
  const double resolution = context.settings.solver.steadyStateResolution;
  if (engine.ssFailure != SteadyStateOutcome::kFound) {
    return "\nThe linear stability analysis based on the eigenvalues\nof the Jacobian matrix is "
           "only valid for steady states.\n";
  }
  std::string out = "\nKINETIC STABILITY ANALYSIS\n\n";
  out += "Summary:\n This steady state ";
  if (engine.maxRealPart > resolution) {
    out += "is unstable";
  } else if (engine.maxRealPart < -resolution) {
    out += "is asymptotically stable";
  } else {
    out += "stability is undetermined";
  }
  if (engine.maxImagPart > resolution) {
    out += ",\n transient states in its vicinity have oscillatory components";
  }
  out += ".\n";
  AppendFormat(out,
               "\nEigenvalue statistics:\n Largest real part: %+.6le\n Largest absolute "
               "imaginary part: % .6le\n",
               engine.maxRealPart, engine.maxImagPart);
  AppendFormat(out, " %.0lf are purely real\n %.0lf are purely imaginary\n", engine.nReal,
               engine.nImaginary);
  AppendFormat(out, " %.0lf are complex\n %.0lf are equal to zero\n", engine.nComplex,
               engine.nZero);
  AppendFormat(out, " %.0lf have positive real part\n %.0lf have negative real part\n",
               engine.nPositiveReal, engine.nNegativeReal);
  // The rate-rule targets follow the independent amounts.
  const int n = model.nIndependent + RateRuleCount(model.rules);
  out += "\nJacobian matrix\n";
  for (int r = 1; r <= n; ++r) {
    for (int c = 1; c <= n; ++c) {
      AppendFormat(out, "% .6le ", ElementOr0(engine.jacobian, r, c));
    }
    out += "\n";
  }
  out += "\nEigenvalues of the Jacobian matrix\n";
  for (int k = 0; k < n; ++k) {
    const double real = VectorOr0(engine.eigenReal, k);
    const double imaginary = VectorOr0(engine.eigenImag, k);
    if (imaginary == 0.0) {
      AppendFormat(out, "% .6le\n", real);
    } else {
      AppendFormat(out, "% .6le %+.6le*i\n", real, imaginary);
    }
  }
  return out;
}

std::string ReportMcaText(const ReportContext& context) {
  const Model& model = context.model;
  const EngineState& engine = context.engine;
  if (engine.ssFailure != SteadyStateOutcome::kFound) return {};
  const bool scaled = context.settings.mcaUnscaled == 0;
  const bool allInfinite = scaled && engine.equilibrium != 0;
  std::string out = "\nMETABOLIC CONTROL ANALYSIS\n";

  out += scaled ? "\nELASTICITIES\n" : "\nABSOLUTE ELASTICITIES (Reder's type)\n";
  if (allInfinite) {
    out += "all non-zero values are infinity\n";
  } else {
    for (int s = 0; s < model.nSteps(); ++s) {
      const Step& step = model.steps[static_cast<std::size_t>(s)];
      const int row = PositionOf(model.stepPosition, s);
      for (int m = 0; m < model.nMetabolites(); ++m) {
        const double value =
            ElementOr0(engine.elasticities, row, PositionOf(model.metabolitePosition, m));
        if (value == 0.0) continue;
        AppendFormat(out, "e(%s,[%s]) =% .4le  ", step.name.c_str(),
                     model.metabolites[static_cast<std::size_t>(m)].name.c_str(), value);
      }
      // A rate-rule target's column follows the metabolites'.
      int column = model.nMetabolites();
      for (const Rule& rule : model.rules) {
        if (rule.kind != RuleKind::kRate) continue;
        const double value = ElementOr0(engine.elasticities, row, column++);
        if (value == 0.0) continue;
        AppendFormat(out, "e(%s,%s) =% .4le  ", step.name.c_str(),
                     RuleTargetText(rule.target).c_str(), value);
      }
      out += "\n";
    }
  }

  out += scaled ? "\nCONCENTRATION CONTROL COEFFICIENTS\n"
                : "\nABSOLUTE CONCENTRATION CONTROL COEFFICIENTS (Reder's type)\n";
  if (allInfinite) {
    out += "are all zero\n";
  } else {
    for (int m = 0; m < model.nMetabolites(); ++m) {
      const Metabolite& metabolite = model.metabolites[static_cast<std::size_t>(m)];
      if (metabolite.type == FIXED) continue;
      const int row = PositionOf(model.metabolitePosition, m);
      AppendFormat(out, "\n%s\n", metabolite.name.c_str());
      for (int s = 0; s < model.nSteps(); ++s) {
        AppendFormat(out, "C([%s],%s) = % 6.4le\n", metabolite.name.c_str(),
                     model.steps[static_cast<std::size_t>(s)].name.c_str(),
                     ElementOr0(engine.concControl, row, PositionOf(model.stepPosition, s)));
      }
    }
    // A rate-rule target's row follows the variable metabolites'.
    int row = model.nVariable;
    for (const Rule& rule : model.rules) {
      if (rule.kind != RuleKind::kRate) continue;
      const std::string target = RuleTargetText(rule.target);
      AppendFormat(out, "\n%s\n", target.c_str());
      for (int s = 0; s < model.nSteps(); ++s) {
        AppendFormat(out, "C(%s,%s) = % 6.4le\n", target.c_str(),
                     model.steps[static_cast<std::size_t>(s)].name.c_str(),
                     ElementOr0(engine.concControl, row, PositionOf(model.stepPosition, s)));
      }
      ++row;
    }
  }

  out += scaled ? "\nFLUX CONTROL COEFFICIENTS\n"
                : "\nABSOLUTE FLUX CONTROL COEFFICIENTS (Reder's type)\n";
  if (allInfinite) {
    out += "are all undefined\n";
  } else {
    for (int j = 0; j < model.nSteps(); ++j) {
      const Step& flux = model.steps[static_cast<std::size_t>(j)];
      const int row = PositionOf(model.stepPosition, j);
      AppendFormat(out, "\n%s\n", flux.name.c_str());
      for (int k = 0; k < model.nSteps(); ++k) {
        AppendFormat(out, "C(J(%s),%s) = % 6.4le\n", flux.name.c_str(),
                     model.steps[static_cast<std::size_t>(k)].name.c_str(),
                     ElementOr0(engine.fluxControl, row, PositionOf(model.stepPosition, k)));
      }
    }
    out += "\n";
  }
  return out;
}

bool WriteReportHeader(const ReportContext& context, std::string& errorLog) {
  std::time_t now = std::time(nullptr);
  std::tm localTime{};
  localtime_r(&now, &localTime);
  return WriteToReport(context, ReportHeaderText(context, localTime), true, errorLog);
}

bool AppendReportSection(const ReportContext& context, std::string_view text,
                         std::string& errorLog) {
  return WriteToReport(context, text, false, errorLog);
}

bool WriteReportStructure(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportStructureText(context), false, errorLog);
}

bool WriteReportParameters(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportParametersText(context), false, errorLog);
}

bool WriteReportTimeCourse(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportTimeCourseText(context), false, errorLog);
}

bool WriteReportSteadyState(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportSteadyStateText(context), false, errorLog);
}

bool WriteReportStability(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportStabilityText(context), false, errorLog);
}

bool WriteReportMCA(const ReportContext& context, std::string& errorLog) {
  return WriteToReport(context, ReportMcaText(context), false, errorLog);
}

}  // namespace vireon
