#pragma once
// The document's three output selections: the columns of the time-course
// data file, the items of the interactive time-course window (at most 4,
// enforced by the Output Data dialog) and the columns of the steady-state
// data file. Their order is the column order.

#include <vector>

#include "output/output_item.h"
#include "output/output_item_binding.h"

namespace vireon {

struct OutputSelections {
  std::vector<OutputItem> interactive;
  std::vector<OutputItem> timeCourse;
  std::vector<OutputItem> steadyState;

  bool operator==(const OutputSelections&) const = default;
};

// Binds (or, without `bind`, only checks) every item of the three
// selections and deletes the ones whose names no longer resolve. Called
// after every change of the model and, binding, at the start of each run.
// The scan items, links and output functions are rebound by their owners
// with BindOutputItem. Returns the number of items deleted.
int RebindItems(OutputSelections& selections, const BindingContext& context, bool bind);

// "Up" (delta -1) and "Down" (delta +1) of the Tasks page: swaps the item at
// `index` with its neighbour, changing the column order. False, and no
// change, when either place is outside the list.
bool MoveSelectionItem(std::vector<OutputItem>& selection, int index, int delta);

}  // namespace vireon
