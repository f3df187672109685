#include "cli/sbml_commands.h"

#include <filesystem>

#include "cli/startup.h"
#include "document/model_file.h"
#include "sbml/sbml_document.h"

namespace vireon::cli {

std::string WithExtension(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
    return path.substr(0, dot) + extension;
  }
  return path + extension;
}

int ImportCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  const std::string target =
      line.outputPath.empty() ? WithExtension(line.modelPath, ".vrn") : line.outputPath;
  if (!IsSbmlFileName(line.modelPath)) {
    err << "vireon: " << line.modelPath << " is a Vireon model file, not SBML\n";
    return kExitFailure;
  }
  if (!OutputSparesInputs(target, InputFiles(line.modelPath, startup), err)) return kExitFailure;
  Document document;
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err)) return kExitFailure;
  if (!WriteModelFile(document, std::filesystem::absolute(target).string(), startup.catalogue,
                      sink)) {
    err << "vireon: could not write " << target << "\n";
    return kExitFailure;
  }
  out << "Model file:         " << target << "\n";
  return kExitSuccess;
}

int ExportCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  const std::string target =
      line.outputPath.empty() ? WithExtension(line.modelPath, ".xml") : line.outputPath;
  if (!OutputSparesInputs(target, InputFiles(line.modelPath, startup), err)) return kExitFailure;
  Document document;
  if (!LoadModelOrSbml(line.modelPath, startup, document, sink, err)) return kExitFailure;
  const SbmlExportResult result = ExportSbmlFile(document.model, target);
  if (!result.exported) {
    err << "vireon: could not export " << line.modelPath << ":\n";
    for (const std::string& problem : result.problems) err << "  " << problem << "\n";
    return kExitFailure;
  }
  out << "SBML file:          " << target << "\n";
  return kExitSuccess;
}

}  // namespace vireon::cli
