#include "sbml/sbml_document.h"

#include "model/replace_file.h"

namespace vireon {

SbmlImportResult ImportSbmlDocument(const std::string& path, Document& document,
                                    KineticCatalogue& catalogue, const DefaultValues& defaults) {
  Model model;
  SbmlImportResult result = ImportSbmlFile(path, catalogue, model);
  if (!result.imported) return result;
  NewDocument(document, defaults);
  document.model = std::move(model);
  return result;
}

SbmlExportResult ExportSbmlFile(const Model& model, const std::string& path) {
  SbmlExportResult result = ExportSbml(model);
  if (!result.exported) return result;
  std::string errorText;
  if (!ReplaceFileContents(path, result.text, errorText)) {
    result.exported = false;
    result.problems.push_back("could not write " + path + ": " + errorText);
  }
  return result;
}

}  // namespace vireon
