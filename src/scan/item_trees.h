#pragma once
// The trees of "Available items" of the scan page and of the "Parameter
// Link" dialog: the quantities a scan may vary and those a link may join.
// The entries are unbound items with their titles; the pages hand the
// chosen entry to their editor.

#include <span>
#include <string>
#include <vector>

#include "output/output_data_editor.h"

namespace vireon {

class Model;

// "time" ("end time"), "initial concentrations", "kinetic constants",
// "compartments", "global quantities" (their values; only in a model that
// has them), "numerical methods" ("rel.tolerance", "abs.tolerance",
// "deriv.factor", "ss resolution").
std::vector<OutputDataNode> BuildScanItemTree(const Model& model);

// "time" ("end time"), "initial concentrations", "kinetic constants",
// "compartments", "global quantities" (as above), "user functions" (one
// entry per function name).
std::vector<OutputDataNode> BuildLinkItemTree(const Model& model,
                                              std::span<const std::string> functionNames);

}  // namespace vireon
