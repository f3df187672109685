#include "output/output_item_lookup.h"

#include <algorithm>

#include "model/model.h"
#include "output/output_data_editor.h"

namespace vireon {

namespace {

void AddDistinct(std::vector<OutputItem>& items, OutputItem item) {
  if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(std::move(item));
}

void AddTitled(const std::vector<OutputDataNode>& nodes, std::string_view text,
               std::vector<OutputItem>& items) {
  for (const OutputDataNode& node : nodes) {
    for (const OutputItem& entry : node.entries) {
      if (entry.title == text && entry.type != kTime) AddDistinct(items, entry);
    }
    AddTitled(node.children, text, items);
  }
}

}  // namespace

std::vector<OutputItem> FindTimeCourseItems(const Model& model, std::string_view text,
                                            bool stepNames) {
  std::vector<OutputItem> items;
  if (model.FindMetabolite(text) >= 0) {
    AddDistinct(items, MakeOutputItem(kTransientConcentration, text));
  }
  if (stepNames && model.FindStep(text) >= 0) {
    AddDistinct(items, MakeOutputItem(kTransientFlux, text));
  }
  if (model.FindCompartment(text) >= 0) AddDistinct(items, MakeOutputItem(kCurrentVolume, text));
  if (model.FindGlobalQuantity(text) >= 0) {
    AddDistinct(items, MakeOutputItem(kCurrentGlobalQuantity, text));
  }
  if (!items.empty()) return items;
  AddTitled(BuildOutputDataTree(OutputDataMode::kTimeCourse, model, {}), text, items);
  return items;
}

}  // namespace vireon
