#pragma once
// The structural analysis of a reaction network: which internal metabolites
// are independent, the order in which the engine keeps metabolites and steps,
// the link matrix of the elimination, the conservation relations and one
// conserved-moiety record per relation.
//
// After StructuralAnalysis, positions address the model's data:
// metaboliteOrder[p] is the metabolite at position p (independent ones at
// 0 ... nIndependent - 1, dependent ones up to nVariable - 1, fixed ones
// after them), stepOrder[q] the step at position q; metabolitePosition and
// stepPosition are the inverses. reducedStoichiometry, link and conservation
// are indexed by positions.

#include "model/model.h"

namespace vireon {

// An entry counts as non-zero when its magnitude, as a double, is strictly
// greater than this.
inline constexpr double kStructuralZeroTolerance = 1e-10;

// Recomputes the metabolite types INDEPENDENT/DEPENDENT (and FIXED for a
// metabolite that takes part in no step), the orders and positions,
// reducedStoichiometry, link, conservation, nVariable, nIndependent,
// nDependent, nFixed, and the moiety records with their totals. Does
// nothing at all when the model has no steps. A metabolite whose type code
// is none of FIXED, INDEPENDENT, DEPENDENT (a file may carry 3 ... 7) is
// taken as INDEPENDENT, so that every metabolite has a position.
void StructuralAnalysis(Model& model);

// Recomputes every moiety total from the current initial concentrations and
// compartment volumes. A step changes the concentration of each of its
// metabolites by its rate times the coefficient, whatever the volumes, so a
// relation conserves the sum of coefficient x concentration. Its total is
// that sum times the volume of the relation's dependent metabolite: an
// amount, and the sum of coefficient x amount when all the relation's
// metabolites share one volume.
void ComputeMoietyTotals(Model& model);

}  // namespace vireon
