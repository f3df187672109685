#pragma once
// The last move of every model editor: the working copy replaces the
// document's model, the equation texts are rebuilt from the lists (so a
// renamed metabolite reaches every equation), and the caller's analysis runs.

#include <functional>

#include "model/model.h"

namespace vireon {

// What runs on the document's model after an edit: the structural analysis
// and whatever else must follow a change of the equations. May be empty.
using ModelHook = std::function<void(Model&)>;

void ApplyWorkingCopy(Model& document, const Model& working, const ModelHook& analyse);

}  // namespace vireon
