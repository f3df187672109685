#pragma once
// Builds reference models for tests the way the reactions editor does:
// every equation is parsed (counting, then filling the stoichiometry) and the
// equation texts are rebuilt. The structural analysis is NOT run: callers
// run it when they need the derived data.

#include <string>
#include <utility>
#include <vector>

#include "model/model.h"

namespace vireon::test {

// nameAndEquation: each step's name and equation, in order. fixedNames: the
// metabolites to make FIXED. A rejected equation, a repeated step name or an
// unknown fixed name fails the calling test.
Model BuildModel(const std::vector<std::pair<std::string, std::string>>& nameAndEquation,
                 const std::vector<std::string>& fixedNames = {});

}  // namespace vireon::test
