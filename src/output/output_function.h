#pragma once
// A user-defined output function: a named expression over model quantities,
// such as a+b for the sum of two fluxes. Every symbol is a single letter
// standing for one output item; all occurrences of a letter share that item.
// Functions are evaluated whenever output values are produced, and each can
// itself be written, scanned or linked as an output item of its own (type 24,
// found by its name).
//
// The expressions are those of the rate laws (same scanner design, linker,
// evaluator and record) with their own dialect: single-letter symbols, the
// random factors rand, gauss and boltz, and 1+a(b) refused.

#include <string>
#include <string_view>
#include <vector>

#include "kinetics/expression.h"
#include "output/output_item.h"
#include "output/output_item_binding.h"
#include "output/output_item_record.h"

namespace vireon {

class RandomGenerator;

class OutputFunction {
 public:
  OutputFunction() = default;
  OutputFunction(std::string name, std::string_view description);

  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  // The expression on one line.
  const std::string& description() const { return description_; }
  // Takes the text with every carriage return and line feed removed.
  void set_description(std::string_view text);

  // Scans, parses and links the description. Returns 0 on success: every
  // distinct letter then has one new, still undefined item, shared by all
  // its nodes. Otherwise returns the number of errors (at least 1) and the
  // function has no nodes and no items.
  int Parse();

  // Computes the expression from the current values of the symbols' items,
  // drawing the random factors from `random` (rand(x) = u * x with u uniform
  // in [0, 1); gauss(x) and boltz(x) = z * x with z standard normal), stores
  // the result as the current value and returns it. A function of a single
  // node (read from an old file) is the value of that node.
  double Evaluate(RandomGenerator& random);
  // The result of the last evaluation; binding points type-24 items here.
  double value() const { return value_; }
  double* valuePointer() { return &value_; }

  int NodeCount() const { return static_cast<int>(nodes_.size()); }
  const std::vector<ExpressionNode>& nodes() const { return nodes_; }

  // The symbols: their letters in order of first appearance, and one item
  // each (items()[k] belongs to letters()[k]).
  std::vector<char> letters() const;
  std::vector<OutputItem>& items() { return items_; }
  const std::vector<OutputItem>& items() const { return items_; }
  // The item of a letter, or null when the expression does not use it.
  OutputItem* ItemOf(char letter);

  // Appends the record: "Name=", "Description=", "Nodes=%d", and per node
  // "Node=%d,%d", then "Value=%le" for a number or the item's record for a
  // symbol (once per occurrence).
  void WriteRecord(std::string& out) const;
  // Reads a record written by WriteRecord from the cursor's line on. A
  // symbol whose letter occurred before takes the earlier node's item. With
  // the root sentinel first, the tree must link without error; a record
  // whose node 0 is a number or a symbol is accepted as it is. Bad lines and
  // bad trees are reported through the sink; on failure the function is
  // left unchanged and false is returned.
  bool ReadRecord(RecordCursor& cursor, MessageSink& sink);

  // Functions are the same when their stored contents are.
  bool operator==(const OutputFunction& other) const;

 private:
  // Gives every symbol node the item of its letter, making new items for
  // letters not seen before (in order of first appearance).
  void AssignItems();

  std::string name_;
  std::string description_;
  // Symbol nodes keep the position of their item in `index`.
  std::vector<ExpressionNode> nodes_;
  std::vector<OutputItem> items_;
  double value_ = 0.0;
};

// The message for a name-less function in the function dialog, and for a
// function that the list dialog could not add.
inline constexpr const char* kFunctionNeedsName = "You must give this function a name.";
inline constexpr const char* kFunctionSymbolsNotAssociated =
    "You must associate all symbols in the mathematical\nexpression to items of the model before "
    "you return.";
inline constexpr const char* kFunctionNotAdded =
    "An internal error ocurred.\nThis function was not added to the model.\n\nPlease contact the "
    "author of this program\n(see help file).";

// The value of a random factor (`rand`, `gauss`, `boltz`) of an output
// function with the given operand, drawn from `random`; 0 for any other
// function code. Whoever plans a function's draws ahead goes through this
// too, so that the draws stay the same in number and order.
double RandomFactorValue(char code, double operand, RandomGenerator& random);

// The document's evaluation of all functions, in list order.
void EvaluateOutputFunctions(std::vector<OutputFunction>& functions, RandomGenerator& random);

inline constexpr std::string_view kOutputFunctionSection = "User-defined functions";

// Appends "User-defined functions\nItems=%d\n" and every function's record.
void SaveOutputFunctionSection(const std::vector<OutputFunction>& functions, std::string& out);
// Reads the section (the header's text is not examined), replacing
// `functions`. A bad or negative count is kBadCount, a failed record
// kBadRecord; `functions` then holds those read before the failure.
SelectionLoadStatus LoadOutputFunctionSection(RecordCursor& cursor, MessageSink& sink,
                                              std::vector<OutputFunction>& functions);

// The current value of the function with that name, or null.
double* FindOutputFunctionValue(std::vector<OutputFunction>& functions, std::string_view name);
// The lookup that binds items of type 24 to these functions' values. The
// list must not change while the bound items are in use.
UserFunctionLookup OutputFunctionLookup(std::vector<OutputFunction>& functions);

// Binds (with `bind`) or only checks the symbols' items of every function.
// A function is never deleted for a symbol that no longer resolves: that
// symbol stays unbound and counts as 0 until it is associated again.
// Returns the number of such symbols.
int RebindOutputFunctions(std::vector<OutputFunction>& functions, const BindingContext& context,
                          bool bind);

}  // namespace vireon
