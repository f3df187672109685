#include "cli/startup.h"

#include "document/model_file.h"
#include "sbml/sbml_document.h"

namespace vireon::cli {

bool StartUp(const std::string& settingsPath, const std::string& kineticsPath, Startup& startup,
             MessageSink& sink) {
  return StartProgram(startup, sink, settingsPath, kineticsPath);
}

bool LoadModel(const std::string& modelPath, Startup& startup, Document& document,
               MessageSink& sink, std::ostream& err) {
  NewDocument(document, startup.defaults);
  const std::string fullPath = std::filesystem::absolute(modelPath).string();
  if (!ReadModelFile(document, fullPath, startup.catalogue, startup.defaults, sink)) {
    err << "vireon: could not load " << modelPath << "\n";
    return false;
  }
  return true;
}

bool LoadModelOrSbml(const std::string& modelPath, Startup& startup, Document& document,
                     MessageSink& sink, std::ostream& err, SbmlImportResult* imported) {
  if (imported != nullptr) *imported = SbmlImportResult{};
  if (!IsSbmlFileName(modelPath)) return LoadModel(modelPath, startup, document, sink, err);
  SbmlImportResult result =
      ImportSbmlDocument(modelPath, document, startup.catalogue, startup.defaults);
  if (!result.imported) {
    err << "vireon: could not import " << modelPath << ":\n";
    for (const std::string& problem : result.problems) err << "  " << problem << "\n";
    return false;
  }
  if (imported != nullptr) *imported = std::move(result);
  return true;
}

std::vector<ProtectedFile> InputFiles(const std::string& modelPath, const Startup& startup) {
  std::vector<ProtectedFile> inputs;
  const auto add = [&inputs](const std::filesystem::path& path, std::string description) {
    if (path.empty()) return;
    if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
      inputs.push_back({*identity, std::move(description)});
    }
  };
  add(modelPath, (IsSbmlFileName(modelPath) ? "the SBML file " : "the model file ") + modelPath);
  add(startup.settingsPath, "the settings file " + startup.settingsPath.string());
  add(startup.kineticsPath, "the kinetics database " + startup.kineticsPath.string());
  return inputs;
}

bool OutputSparesInputs(const std::string& outputPath, const std::vector<ProtectedFile>& inputs,
                        std::ostream& err, const std::string& option) {
  const ProtectedFile* input = ProtectedFileNamed(outputPath, inputs);
  if (input == nullptr) return true;
  err << "vireon: " << outputPath << " would replace " << input->description
      << ", which the command reads; give " << option << " another file\n";
  return false;
}

}  // namespace vireon::cli
