#include "sbml/sbml_document.h"

#include "model/replace_file.h"
#include "model/rule.h"

namespace vireon {

SbmlImportResult ImportSbmlDocument(const std::string& path, Document& document,
                                    KineticCatalogue& catalogue, const DefaultValues& defaults) {
  Model model;
  SbmlImportResult result = ImportSbmlFile(path, catalogue, model);
  if (!result.imported) return result;
  NewDocument(document, defaults);
  document.model = std::move(model);
  // An imported model's rate laws are expressions, whose derivatives the
  // integrator takes as they are; a large network's matrices are sparse.
  document.settings.solver.analyticJacobian = 1;
  document.settings.solver.sparseFactorisation = 1;
  // A model whose conservation relations are not known has no steady state
  // to search, nor has one with fast steps (document/run_control.h): it
  // opens with the time course alone, so that it runs as read.
  if (HasStoichiometryRules(document.model.rules) || HasFastSteps(document.model)) {
    document.settings.steadyState = 0;
  }
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
