#include "cli/plot_command.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/gnuplot_render.h"
#include "cli/startup.h"
#include "document/document.h"
#include "document/model_file.h"
#include "output/gnuplot_script.h"
#include "output/plot_page_editor.h"

namespace vireon::cli {

int PlotCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;

  Document document;
  if (!LoadModel(line.modelPath, startup, document, sink, err)) return kExitFailure;

  // The Plot page's rules choose the data source the tasks allow.
  PlotPageEditor page(document.plot, PlotPageDocumentOf(document));
  page.Activate(sink);
  if (!page.enabled()) return kExitFailure;

  if (line.outputPath.empty()) {
    const std::string script = page.BuildScript();
    if (script.empty()) {
      err << "vireon: the plot settings of " << line.modelPath
          << " choose no x column, no y column, or in 3-D no z column\n";
      return kExitFailure;
    }
    out << script;
    return kExitSuccess;
  }

  const std::string outputPath = std::filesystem::absolute(line.outputPath).string();
  const std::string script =
      page.BuildScript(FileTerminal(PictureTerminal(PictureFormatOf(outputPath)), outputPath));
  if (script.empty()) {
    err << "vireon: the plot settings of " << line.modelPath
        << " choose no x column, no y column, or in 3-D no z column\n";
    return kExitFailure;
  }
  const std::string dataPath = PlotDataPath(document.plot, PlotPageDocumentOf(document));
  if (!std::filesystem::exists(dataPath)) {
    err << "vireon: there is no data file " << dataPath << " to plot; run the model first"
        << " (vireon run " << line.modelPath << ")\n";
    return kExitFailure;
  }
  // The picture never replaces what the plot is made from.
  std::vector<ProtectedFile> inputs = InputFiles(line.modelPath, startup);
  if (const std::optional<FileIdentity> data = IdentityOf(dataPath)) {
    inputs.push_back({*data, "the data file " + dataPath});
  }
  if (!OutputSparesInputs(outputPath, inputs, err, "--output")) return kExitFailure;
  const std::string gnuplot = GnuplotProgram(startup.helpers.gnuplot);
  if (!FindProgram(gnuplot)) {
    err << "vireon: gnuplot not found (" << gnuplot
        << "); install gnuplot or set its path in the settings' Helpers group\n";
    return kExitFailure;
  }
  // A picture left from before must not pass for this one.
  std::error_code ignored;
  std::filesystem::remove(outputPath, ignored);
  const RenderResult result = RenderWithGnuplot(gnuplot, script, outputPath);
  if (!result.ok) {
    err << "vireon: " << result.error << "\n";
    return kExitFailure;
  }
  out << "Plot:  " << outputPath << "\n";
  return kExitSuccess;
}

}  // namespace vireon::cli
