#pragma once
// The report: a plain-text account of one run, written section by section
// while the run proceeds, so that the file is complete up to the last
// finished section at every moment.
//
//   WriteReportHeader        banner, title, comments (creates the file anew)
//   WriteReportStructure     STRUCTURAL ANALYSIS
//   WriteReportParameters    KINETIC PARAMETERS, COMPARTMENTS, and for a model
//                            with them GLOBAL QUANTITIES and RULES
//   WriteReportTimeCourse    RESULTS OF INTEGRATION
//   (the run, after it)      EVENT EXECUTIONS, for a model with events
//   WriteReportSteadyState   STEADY STATE SOLUTION, or the failure sentence
//   WriteReportStability     KINETIC STABILITY ANALYSIS, or the refusal sentence
//   WriteReportMCA           METABOLIC CONTROL ANALYSIS
//
// Every writer except the header appends to the file. The run decides which
// writers it calls and when; the texts are built by the *Text functions, so
// they can be checked without files. Numbers are written by the number
// formatting module (three-digit exponents).

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_access.h"

namespace vireon {

class Model;
struct EngineState;
struct EventExecutionLog;
struct TaskSettings;

// The second line of the banner.
inline constexpr std::string_view kPlatformLine = "Intel Pentium executable";

// The first line of the banner, from the program's version number
// ("3.00301" gives "Vireon version 3.00").
std::string ReportVersionLine(std::string_view version);

// What the writers read. The report file is settings.reportFile.
struct ReportContext {
  const Model& model;
  const EngineState& engine;
  const TaskSettings& settings;
  std::string versionLine;
  std::string platformLine = std::string(kPlatformLine);
  // Files the report must never be written over (the model, the run's data
  // files).
  std::vector<ProtectedFile> protectedFiles = {};
};

// "%A, %d %B %Y, %H:%M" with English day and month names, whatever the locale.
std::string ReportDateLine(const std::tm& localTime);

std::string ReportHeaderText(const ReportContext& context, const std::tm& localTime);
std::string ReportStructureText(const ReportContext& context);
std::string ReportParametersText(const ReportContext& context);
std::string ReportTimeCourseText(const ReportContext& context);
// The times at which each event of the model was carried out in a time
// course: per event its count and, bounded whatever the count, its first
// EventExecutionLog::kListedTimes times and its last. A model without
// events has no such section.
std::string ReportEventExecutionsText(const ReportContext& context,
                                      const EventExecutionLog& executions);
std::string ReportSteadyStateText(const ReportContext& context);
std::string ReportStabilityText(const ReportContext& context);
std::string ReportMcaText(const ReportContext& context);

// The file writers. The header creates the report file (truncating it) and
// dates it with the current local time; the others append to it, creating
// it when it is missing. The file is opened through OpenOutputFile
// (model/file_access.h): never through a symbolic link, only as a regular
// file, never when it is one of the context's protected files. A file that
// cannot be opened or written is named with the reason in `errorLog` and
// the writer returns false; the run goes on.
bool WriteReportHeader(const ReportContext& context, std::string& errorLog);
bool WriteReportStructure(const ReportContext& context, std::string& errorLog);
bool WriteReportParameters(const ReportContext& context, std::string& errorLog);
bool WriteReportTimeCourse(const ReportContext& context, std::string& errorLog);
bool WriteReportSteadyState(const ReportContext& context, std::string& errorLog);
bool WriteReportStability(const ReportContext& context, std::string& errorLog);
bool WriteReportMCA(const ReportContext& context, std::string& errorLog);
// Appends one section's text to the report file as the writers above do.
bool AppendReportSection(const ReportContext& context, std::string_view text,
                         std::string& errorLog);

}  // namespace vireon
