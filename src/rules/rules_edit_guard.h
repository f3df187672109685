#pragma once
// What the model's editors ask of the rules before an edit of the model's
// records reaches the document. A rule names its target and the quantities
// it reads; an edit that renames or removes one of them, or takes a name
// that a global quantity has, would leave the rule reading something else
// or nothing. Such an edit is refused with the rule's message: the rules
// are the user's own text, and a change to them is the user's to make in
// the "Rules" dialog.

#include <string>
#include <vector>

#include "model/model.h"

namespace vireon {

// Empty when `edited` may replace `before`: its rules check (rules/
// rule_order.h) and its events do (rules/event_check.h), or they did not
// check against `before` either (an edit cannot break what was broken
// already), and no metabolite, step or
// compartment has newly taken a global quantity's name. Otherwise a message
// for the user that names the rule or the record, ending in what to do.
// Takes no longer than checking the rules and the events once, and
// returns at once for a model without rules, events or global quantities.
std::string RulesEditProblem(const Model& before, const Model& edited);

// For every metabolite of the model, whether a rule sets it or reads it (a
// rule whose expression does not read counts as reading the names of its
// symbols it can resolve): the metabolites an edit of the reactions must
// keep although no step lists them.
std::vector<bool> MetabolitesTheRulesUse(const Model& model);

}  // namespace vireon
