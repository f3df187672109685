#pragma once
// What follows every edit of the document's model in the dialogs: the
// structural analysis, then the output selections are checked against the
// new model (items whose names no longer resolve are dropped).

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/reaction_editor.h"
#include "model/working_copy.h"

namespace vireon {

// The hook the editors run on the document's model after applying their
// working copy.
ModelHook AnalyseHook(Document& document);

// Gives a step without a kinetic type the constant-flux type with every
// constant at `defaultConstant`.
StepHook DefaultKineticsHook(const KineticCatalogue& catalogue, double defaultConstant);

// Checks the output selections, output functions, scan items and links
// against the document's model, dropping what no longer resolves.
void RevalidateSelections(Document& document);

}  // namespace vireon
