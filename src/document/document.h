#pragma once
// The document: one model with everything that travels with it in its
// file (task and numerical settings, plot choices, the three output
// selections, the output functions, the scan, the parameter links and the
// fit), the engine's working data for a run, and where the file lives.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_state.h"
#include "engine/task_settings.h"
#include "fit/fit_settings.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "output/output_function.h"
#include "output/output_selections.h"
#include "output/plot_page_editor.h"
#include "output/plot_settings.h"
#include "scan/parameter_link.h"
#include "scan/scan_item.h"
#include "settings/settings.h"

namespace vireon {

// The report file name of a new document.
inline constexpr const char* kNewDocumentReportFile = "simulation.txt";

struct Document {
  Model model;
  TaskSettings settings;  // holds the report-comments flag, which no model file stores
  EngineState engine;
  PlotSettings plot;
  OutputSelections selections;  // interactive window, time-course and steady-state output
  std::vector<OutputFunction> functions;
  ScanList scan;
  std::vector<ParameterLink> links;
  // The parameter estimation stored with the model (empty: none).
  FitSettings fit;
  // The model file's full path; empty until the document is saved or loaded.
  std::string pathName;
  // The folder of the model file, ending in "/" (empty for a document that
  // has no file yet: its data files then go to the working folder).
  std::string folder;
  // Set by every edit the user confirms; cleared by File New, a successful
  // load and a successful save. A run's results do not set it.
  bool modified = false;
};

// The question asked before unsaved changes would go, with the document's name.
inline constexpr const char* kSaveChangesFormat = "Save changes to %s?";

// File New: an empty model titled "Untitled", settings from the user's
// default values (both data files sharing the titles, quotes, column width
// and separator defaults), report file "simulation.txt", no data file
// names, steady-state strategy 0 with back-integration on, no real-time
// pacing (1 ms per point), no selections, functions, scan items, links or fit,
// scan off, the plot settings of a new document, and no path.
void NewDocument(Document& document, const DefaultValues& defaults);

// The name the user knows the document by: its file name, or "Untitled".
std::string DocumentName(const Document& document);

// Before the document is replaced (File New, Open) or closed: when it holds
// unsaved changes, asks whether to save them. True when the document may go:
// nothing was unsaved, the user discarded the changes, or `save` saved them
// (it returns whether it did); false when the user cancelled or the save
// failed, and the document must stay.
bool SaveChangesFirst(Document& document, MessageSink& sink, const std::function<bool()>& save);

// Binds (with `bind`) or only checks every item of the document that names
// a quantity of its model or engine state: the three output selections, the
// output functions' symbols, the scan items and the parameter links. An
// item whose names no longer resolve is deleted (a function's symbol stays
// unbound and counts as 0 instead). Without `bind` every value reference is
// cleared, since a change of the model may have moved what it pointed to.
// This is the one rule for every place that changes the model (the
// reactions, metabolites and kinetics editors) and for a run, which binds
// at its start and releases at its end. Returns the number of
// items deleted plus the symbols left unbound.
int RebindDocumentItems(Document& document, bool bind);

// What follows an edit of the model's reactions or metabolites: the
// structural analysis, then the document's items are checked against the
// new model.
void AnalyseChangedModel(Document& document);

// The folder part of a path: everything up to and including its last "/";
// empty when there is none.
std::string FolderOf(std::string_view path);

// The report file that goes with a model file: the path up to the last "."
// of its file name, followed by ".txt" ("/m/glycolysis.vrn" gives
// "/m/glycolysis.txt"; a name without a "." just gets ".txt" appended, and
// a "." in a folder name is not taken for an extension). A model file named
// "*.txt" gets ".txt" appended ("m.txt" gives "m.txt.txt"), so that the
// report is never the model file. Empty for an empty path.
std::string ReportFileNameFor(std::string_view modelPath);

// What the Plot page and the plot command need of the document.
PlotPageDocument PlotPageDocumentOf(const Document& document);

// The gnuplot script of the document's stored plot settings (as the Plot
// page would build it after an activation that changed nothing), starting
// with `terminal`; empty when the settings choose no complete plot.
std::string BuildDocumentPlotScript(const Document& document,
                                    std::string_view terminal = kScreenTerminal);

}  // namespace vireon
