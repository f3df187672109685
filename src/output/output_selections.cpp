#include "output/output_selections.h"

#include <cstddef>
#include <utility>

namespace vireon {

int RebindItems(OutputSelections& selections, const BindingContext& context, bool bind) {
  return RebindSelection(selections.interactive, context, bind) +
         RebindSelection(selections.timeCourse, context, bind) +
         RebindSelection(selections.steadyState, context, bind);
}

bool MoveSelectionItem(std::vector<OutputItem>& selection, int index, int delta) {
  const long size = static_cast<long>(selection.size());
  const long from = index;
  const long to = from + delta;
  if (from < 0 || from >= size || to < 0 || to >= size) return false;
  std::swap(selection[static_cast<std::size_t>(from)], selection[static_cast<std::size_t>(to)]);
  return true;
}

}  // namespace vireon
