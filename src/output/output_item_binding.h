#pragma once
// Binding an output item: the item's names are looked up again, by exact
// comparison, in the current model, and its value reference is pointed at
// the quantity they name (a metabolite's concentration, a step's kinetic
// constant, an element of the engine's control coefficients, a setting, ...).
// Items whose names no longer resolve are removed from their selections.

#include <functional>
#include <string_view>
#include <vector>

#include "output/output_item.h"

namespace vireon {

class Model;
class ModelNameIndex;
struct EngineState;
struct TaskSettings;

// Where the current value of the user-defined output function of that name
// lives, or null when there is no such function.
using UserFunctionLookup = std::function<double*(std::string_view name)>;

// The quantities an item may refer to.
struct BindingContext {
  Model& model;
  EngineState& engine;
  TaskSettings& settings;
  UserFunctionLookup userFunction;  // may be empty: the model has no functions
  // The model's names for quick lookups, or null to search the model itself.
  const ModelNameIndex* names = nullptr;
};

// True when the item's names resolve in the current model (type 8 also
// needs a metabolite that is not fixed; type 24 a function whose name is the
// item's title; unknown types never resolve). With `bind`, the value
// reference then points at the quantity; an element of the engine's
// matrices or of its current quantity values and volumes (types 36 and 37)
// that the engine has not allocated leaves it null. Without
// `bind`, and whenever the names do not resolve, the value reference is
// cleared, since a model change may have moved the record it pointed into.
bool BindOutputItem(OutputItem& item, const BindingContext& context, bool bind);

// Binds (or only checks) every item of the selection in order and deletes
// those that do not resolve. Returns the number deleted.
int RebindSelection(std::vector<OutputItem>& selection, const BindingContext& context, bool bind);

}  // namespace vireon
