#include "document/document.h"

#include "model/model_name_index.h"
#include "model/structural_analysis.h"
#include "scan/scan_binding.h"

namespace vireon {

int RebindDocumentItems(Document& document, bool bind) {
  Document& d = document;
  const ModelNameIndex names(d.model);
  const BindingContext context{d.model, d.engine, d.settings, OutputFunctionLookup(d.functions),
                               &names};
  return RebindItems(d.selections, context, bind) +
         RebindOutputFunctions(d.functions, context, bind) +
         RebindScanItems(d.scan.items, context, bind) +
         RebindParameterLinks(d.links, context, bind);
}

void AnalyseChangedModel(Document& document) {
  StructuralAnalysis(document.model);
  RebindDocumentItems(document, false);
}

void NewDocument(Document& document, const DefaultValues& defaults) {
  document.model.New();

  TaskSettings& s = document.settings;
  s = TaskSettings();
  s.endTime = defaults.endTime;
  s.points = defaults.points;
  s.realTime = 0;
  s.sleepTime = 1;
  s.timeUnit = defaults.timeUnit;
  s.concentrationUnit = defaults.concentrationUnit;
  s.volumeUnit = defaults.volumeUnit;
  s.dynamics = defaults.dynamics;
  s.steadyState = defaults.steadyState;
  s.report = defaults.report;
  s.dynamicsData.titles = s.steadyStateData.titles = defaults.titles;
  s.dynamicsData.quotes = s.steadyStateData.quotes = defaults.quotes;
  s.dynamicsData.columnWidth = s.steadyStateData.columnWidth = defaults.columnWidth;
  s.dynamicsData.separator = s.steadyStateData.separator = static_cast<char>(defaults.separator);
  s.mcaUnscaled = defaults.mcaUnscaled;
  s.solver.steadyStateStrategy = SteadyStateStrategy::kNewtonThenIntegration;
  s.solver.backIntegration = 1;
  s.solver.newtonLimit = defaults.newtonLimit;
  s.solver.steadyStateResolution = defaults.steadyStateResolution;
  s.reportStructuralAnalysis = defaults.reportStructuralAnalysis;
  s.reportStabilityAnalysis = defaults.reportStabilityAnalysis;
  s.reportMca = defaults.reportMca;
  s.reportComments = defaults.reportComments;
  s.solver.relativeTolerance = defaults.relativeTolerance;
  s.solver.absoluteTolerance = defaults.absoluteTolerance;
  s.solver.adamsMaxOrder = defaults.adamsMaxOrder;
  s.solver.bdfMaxOrder = defaults.bdfMaxOrder;
  s.solver.derivationFactor = defaults.derivationFactor;
  s.reportFile = kNewDocumentReportFile;
  s.dynamicsData.file.clear();
  s.steadyStateData.file.clear();

  document.engine.Free();
  document.plot = PlotSettings();
  document.selections = OutputSelections();
  document.functions.clear();
  document.scan = ScanList();
  document.links.clear();
  document.fit = FitSettings();
  document.pathName.clear();
  document.folder.clear();
  document.modified = false;
}

std::string DocumentName(const Document& document) {
  const std::string_view path = document.pathName;
  if (path.empty()) return "Untitled";
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool SaveChangesFirst(Document& document, MessageSink& sink, const std::function<bool()>& save) {
  if (!document.modified) return true;
  const std::string name = DocumentName(document);
  std::string question = kSaveChangesFormat;
  question.replace(question.find("%s"), 2, name);
  switch (sink.AskSaveChanges(question)) {
    case Answer::kYes:
      return save && save();
    case Answer::kNo:
      return true;
    default:
      return false;
  }
}

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash + 1));
}

std::string ReportFileNameFor(std::string_view modelPath) {
  if (modelPath.empty()) return {};
  const std::size_t slash = modelPath.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = modelPath.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) return std::string(modelPath) + ".txt";
  // A model file that is itself a ".txt" file would be replaced by its report.
  if (modelPath.substr(dot) == ".txt") return std::string(modelPath) + ".txt";
  return std::string(modelPath.substr(0, dot)) + ".txt";
}

PlotPageDocument PlotPageDocumentOf(const Document& document) {
  PlotPageDocument d;
  d.timeCourseTask = document.settings.dynamics != 0;
  d.steadyStateTask = document.settings.steadyState != 0;
  for (const OutputItem& item : document.selections.timeCourse) {
    d.timeCourseTitles.push_back(item.title);
  }
  for (const OutputItem& item : document.selections.steadyState) {
    d.steadyStateTitles.push_back(item.title);
  }
  d.folder = document.folder;
  d.dynamicsFile = document.settings.dynamicsData.file;
  d.steadyStateFile = document.settings.steadyStateData.file;
  d.modelTitle = document.model.title;
  return d;
}

std::string BuildDocumentPlotScript(const Document& document, std::string_view terminal) {
  return BuildPlotCommands(document.plot, PlotSourceOf(document.plot, PlotPageDocumentOf(document)),
                           terminal);
}

}  // namespace vireon
