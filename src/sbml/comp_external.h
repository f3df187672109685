#pragma once
// The files a hierarchical model (the SBML package "comp") names for its
// external model definitions, checked before libSBML's flattening reads
// them: every one a regular file beside the model (or below or above it,
// by a relative path, or at an absolute one), within the limits of an SBML
// file, and no chain of files that names itself. libSBML then reads the
// same files again while it flattens, from the model's own location.

#include <filesystem>
#include <string>
#include <vector>

#include "sbml/libsbml_names.h"

namespace vireon::sbml {

// External model definitions nest no deeper than this many files.
inline constexpr int kMaxExternalModelDepth = 16;

// Why the external model definitions of `document`, read from `file`,
// cannot be read, one line per construct; empty when they can. A document
// read from text alone (an empty path) cannot name files.
std::vector<std::string> CheckExternalModels(const lib::SBMLDocument& document,
                                             const std::filesystem::path& file);

}  // namespace vireon::sbml
