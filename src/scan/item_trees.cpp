#include "scan/item_trees.h"

#include <string_view>
#include <utility>

#include "model/model.h"

namespace vireon {

namespace {

OutputDataNode Leaf(std::string text, std::vector<OutputItem> entries) {
  return {std::move(text), {}, std::move(entries)};
}

// The entries of the tree's node at this path, or none.
std::vector<OutputItem> EntriesAt(const std::vector<OutputDataNode>& tree,
                                  std::initializer_list<std::string_view> path) {
  const std::vector<OutputDataNode>* level = &tree;
  const OutputDataNode* found = nullptr;
  for (std::string_view text : path) {
    found = nullptr;
    for (const OutputDataNode& node : *level) {
      if (node.text == text) found = &node;
    }
    if (found == nullptr) return {};
    level = &found->children;
  }
  return found != nullptr ? found->entries : std::vector<OutputItem>{};
}

// The nodes both trees share, taken from the output selection's tree so that
// the titles and names are built in one place.
struct SharedNodes {
  std::vector<OutputItem> initialConcentrations, kineticConstants, compartments, functions;
};

SharedNodes Shared(const Model& model, std::span<const std::string> functionNames) {
  const std::vector<OutputDataNode> tree =
      BuildOutputDataTree(OutputDataMode::kTimeCourse, model, functionNames);
  return {EntriesAt(tree, {"metabolites", "initial concentrations"}),
          EntriesAt(tree, {"steps", "kinetic constants"}), EntriesAt(tree, {"compartments"}),
          EntriesAt(tree, {"user functions"})};
}

// The values of the global quantities, which scans and links set as they
// set a volume; a model without global quantities has no such node.
void AppendGlobalQuantities(const Model& model, std::vector<OutputDataNode>& tree) {
  if (model.globalQuantities.empty()) return;
  std::vector<OutputItem> values;
  for (const GlobalQuantity& quantity : model.globalQuantities) {
    values.push_back(MakeOutputItem(kGlobalQuantity, quantity.name));
  }
  tree.push_back(Leaf(std::string(kGlobalQuantitiesNode), std::move(values)));
}

}  // namespace

std::vector<OutputDataNode> BuildScanItemTree(const Model& model) {
  SharedNodes shared = Shared(model, {});
  std::vector<OutputDataNode> tree;
  tree.push_back(Leaf("time", {MakeOutputItem(kEndTime)}));
  tree.push_back(Leaf("initial concentrations", std::move(shared.initialConcentrations)));
  tree.push_back(Leaf("kinetic constants", std::move(shared.kineticConstants)));
  tree.push_back(Leaf("compartments", std::move(shared.compartments)));
  AppendGlobalQuantities(model, tree);
  tree.push_back(Leaf("numerical methods",
                      {MakeOutputItem(kRelativeTolerance), MakeOutputItem(kAbsoluteTolerance),
                       MakeOutputItem(kDerivationFactor), MakeOutputItem(kSteadyStateResolution)}));
  return tree;
}

std::vector<OutputDataNode> BuildLinkItemTree(const Model& model,
                                              std::span<const std::string> functionNames) {
  SharedNodes shared = Shared(model, functionNames);
  std::vector<OutputDataNode> tree;
  tree.push_back(Leaf("time", {MakeOutputItem(kEndTime)}));
  tree.push_back(Leaf("initial concentrations", std::move(shared.initialConcentrations)));
  tree.push_back(Leaf("kinetic constants", std::move(shared.kineticConstants)));
  tree.push_back(Leaf("compartments", std::move(shared.compartments)));
  AppendGlobalQuantities(model, tree);
  tree.push_back(Leaf("user functions", std::move(shared.functions)));
  return tree;
}

}  // namespace vireon
