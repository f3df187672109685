#pragma once
// Keeping every step of a model bound to a kinetic type that exists, and
// choosing which types a step may use.

#include <string_view>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "model/model.h"

namespace vireon {

// The fallback rule: the step becomes "Constant flux (reversible)" when it is
// reversible and "Constant flux (irreversible)" otherwise; its constants are
// resized to that type's count and all set to `defaultConstant`, and it
// keeps no modifiers. Does nothing if the catalogue lacks the type.
void ApplyConstantFlux(Step& step, const KineticCatalogue& catalogue, double defaultConstant);

// For every step: a stored type name found in the catalogue re-establishes
// the step's reference to that type (constants and modifiers are padded to
// the type's counts, new ones taking `defaultConstant` and -1); a name not
// found gives the step the fallback rule.
void BindMissingKineticTypes(Model& model, const KineticCatalogue& catalogue,
                             double defaultConstant);

// After the reaction equations were parsed again: every step that has no type
// yet (a new step) is bound by its stored name if the catalogue has it and
// otherwise gets the fallback rule. Steps that had a type keep it.
void BindNewSteps(Model& model, const KineticCatalogue& catalogue, double defaultConstant);

// After the user-defined type `name` was entered again: every step whose
// stored type name equals `name` takes the catalogue's entry, its constants
// are resized to the new count and all reset to `defaultConstant`, and its
// modifiers are resized keeping their assignments by position (new ones
// unassigned, -1). A name no longer in the catalogue gives those steps the
// fallback rule.
void RebindKineticType(Model& model, const KineticCatalogue& catalogue, std::string_view name,
                       double defaultConstant);

// Whether the step may use the type: the substrate count matches (or the type
// takes any number), the product count matches when the step is reversible
// (or the type takes any number), and the reversible flags are equal.
bool IsKineticTypeEligible(const KineticType& type, const Step& step);
// The types the step may use, in the catalogue's iteration order.
std::vector<const KineticType*> EligibleKineticTypes(const KineticCatalogue& catalogue,
                                                     const Step& step);

// Whether the step's rate can be evaluated without reading beyond its lists:
// it has a type, at least as many constants as the type has, every modifier
// the type reads is assigned to a metabolite of the model, and its substrate
// and product lists hold every entry the rate law reads. A step whose
// equation changed after it got its type may fail this; a run must check it
// before the first rate is evaluated.
bool CanEvaluateRate(const Model& model, int step);

}  // namespace vireon
