#pragma once
// The last move of every model editor: the working copy replaces the
// document's model, the equation texts are rebuilt from the lists (so a
// renamed metabolite reaches every equation), and the caller's analysis runs.

#include <functional>
#include <string>

#include "model/model.h"

namespace vireon {

// What runs on the document's model after an edit: the structural analysis
// and whatever else must follow a change of the equations. May be empty.
using ModelHook = std::function<void(Model&)>;

// What an editor asks before its edit reaches the document: why `edited`
// cannot replace `before`, as a message for the user, or empty when it can.
// The model's rules are checked by one (RulesEditProblem in
// rules/rules_edit_guard.h), since the editors here cannot read their
// expressions. May be empty: nothing is asked.
using ModelCheck = std::function<std::string(const Model& before, const Model& edited)>;

void ApplyWorkingCopy(Model& document, const Model& working, const ModelHook& analyse);

}  // namespace vireon
