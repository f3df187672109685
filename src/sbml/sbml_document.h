#pragma once
// SBML files as documents: what the desktop program's File > Import SBML...
// and Export SBML... and the command line share.

#include <string>

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "sbml/sbml_export.h"
#include "sbml/sbml_import.h"
#include "settings/settings.h"

namespace vireon {

// Imports the SBML file at `path` into a new document (the user's default
// values, no file name: saving asks for one). When the model is refused or
// the file cannot be read, the document is left as it was.
SbmlImportResult ImportSbmlDocument(const std::string& path, Document& document,
                                    KineticCatalogue& catalogue, const DefaultValues& defaults);

// Exports the model to the file at `path`, which is replaced only once the
// whole text is written (a failure leaves the previous file as it was and is
// a problem of the result, with the system's reason).
SbmlExportResult ExportSbmlFile(const Model& model, const std::string& path);

}  // namespace vireon
