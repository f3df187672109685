#pragma once
// The hooks the model editors run when the dialogs commit: the rules
// themselves live in the core (AnalyseChangedModel, RebindDocumentItems in
// document/document.h, ApplyConstantFlux in kinetics/kinetic_binding.h).

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/reaction_editor.h"
#include "model/working_copy.h"

namespace vireon {

// The hook the editors run on the document's model after applying their
// working copy: AnalyseChangedModel.
ModelHook AnalyseHook(Document& document);

// Gives a step without a kinetic type the constant-flux type with every
// constant at `defaultConstant`.
StepHook DefaultKineticsHook(const KineticCatalogue& catalogue, double defaultConstant);

}  // namespace vireon
