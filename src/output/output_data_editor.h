#pragma once
// The content and rules of the "Output Data" dialog, without the dialog: the
// tree of available items for one selection, the working list of selected
// items, and the add, delete and close operations. The dialog draws the
// tree and the lists and forwards the user's actions here.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "output/output_item.h"

namespace vireon {

class Model;

// Which selection the dialog edits.
enum class OutputDataMode : int {
  kTimeCourse = 1,   // the columns of the time-course data file
  kSteadyState = 2,  // the columns of the steady-state data file
  kInteractive = 3,  // the interactive time-course window, at most 4 items
};

// The most items the interactive window shows.
inline constexpr int kInteractiveItemLimit = 4;

// The message shown when an addition would pass the limit; %d is the limit.
inline constexpr const char* kSelectionLimitFormat = "You can only select a total of %d items.";

// A node of the "Available items" tree: either a branch with children or a
// leaf whose list shows the entries (items not yet bound).
struct OutputDataNode {
  std::string text;
  std::vector<OutputDataNode> children;
  std::vector<OutputItem> entries;
};

// The texts of the nodes of current volumes and of global quantities, which
// follow "compartments" in a model with rules or global quantities.
inline constexpr std::string_view kCurrentVolumesNode = "current volumes";
inline constexpr std::string_view kGlobalQuantitiesNode = "global quantities";

// The tree for a mode, nodes in the order the dialog shows them. The
// function names are those of the user-defined output functions. A model
// with rules or global quantities also has "current volumes" (V(c)t), and
// one with global quantities "global quantities" (their current values,
// q(t)), after "compartments"; other models have neither.
std::vector<OutputDataNode> BuildOutputDataTree(OutputDataMode mode, const Model& model,
                                                std::span<const std::string> functionNames);

class OutputDataEditor {
 public:
  // Copies the selection into the working list (for the interactive window,
  // only its first 4 items) and builds the tree.
  OutputDataEditor(OutputDataMode mode, const Model& model,
                   std::span<const std::string> functionNames,
                   const std::vector<OutputItem>& selection);

  OutputDataMode mode() const { return mode_; }
  // "Time-Course Output Data", "Steady-State Output Data" or "Time-Course Window Data".
  std::string_view Title() const;
  // The most items the list may hold; 0 for no limit.
  int limit() const { return limit_; }
  const std::vector<OutputDataNode>& tree() const { return tree_; }
  const std::vector<OutputItem>& selected() const { return selected_; }

  // "&Add": appends the node's entries at the chosen indices, in the order
  // given (indices outside the list are ignored). When the limit would be
  // passed, shows the limit message and adds nothing. True when something
  // was added.
  bool Add(const OutputDataNode& node, std::span<const int> chosen, MessageSink& sink);
  // "Add A&ll": every entry of the node, under the same rule.
  bool AddAll(const OutputDataNode& node, MessageSink& sink);
  // "&Delete": removes the selected items at these indices.
  void Delete(std::span<const int> indices);
  // "Dele&te All".
  void DeleteAll() { selected_.clear(); }
  // "&Close": the working list replaces the selection and the document is
  // marked modified. The new items are unbound; the caller rebinds them.
  void Close(std::vector<OutputItem>& selection, bool& modified) const;

 private:
  bool AddEntries(const std::vector<const OutputItem*>& entries, MessageSink& sink);

  OutputDataMode mode_;
  int limit_ = 0;
  std::vector<OutputDataNode> tree_;
  std::vector<OutputItem> selected_;
};

}  // namespace vireon
